#include "app/RowShapeBox.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>
#include <string>

#include "convert/RowOptionText.h"

namespace {

QSpinBox* MakeFadeBox(const QString& name, int value, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(0, MaxFadeMs);
    box->setSuffix(RowShapeBox::tr(" ms"));
    box->setValue(value);
    box->setAccessibleName(name);
    return box;
}

}  // namespace

RowShapeBox::RowShapeBox(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* times = new QHBoxLayout;
    m_start = AddTime(times, tr("Start"), tr("Start time"), &RowShapeBox::StartTyped);
    m_length = AddTime(times, tr("Length"), tr("Row length"), &RowShapeBox::LengthTyped);
    m_end = AddTime(times, tr("End"), tr("End time"), &RowShapeBox::EndTyped);
    m_endAuto = new QCheckBox(tr("End after last sound"), this);
    times->addWidget(m_endAuto);
    times->addStretch();
    layout->addLayout(times);

    auto* shape = new QHBoxLayout;
    m_snap = new QCheckBox(tr("Snap to zero crossings"), this);
    m_reverse = new QCheckBox(tr("Reverse"), this);
    m_pitch = new QDoubleSpinBox(this);
    m_pitch->setRange(-MaxPitchCents / 100, MaxPitchCents / 100);
    m_pitch->setDecimals(2);
    m_pitch->setSingleStep(1.0);
    m_pitch->setSuffix(tr(" st"));
    m_pitch->setAccessibleName(tr("Pitch in semitones"));
    m_fadeIn = MakeFadeBox(tr("Fade-in"), 0, this);
    m_fadeOut = MakeFadeBox(tr("Fade-out"), DefaultFadeOutMs, this);
    shape->addWidget(m_snap);
    shape->addWidget(m_reverse);
    shape->addWidget(new QLabel(tr("Pitch"), this));
    shape->addWidget(m_pitch);
    shape->addWidget(new QLabel(tr("Fade in"), this));
    shape->addWidget(m_fadeIn);
    shape->addWidget(new QLabel(tr("out"), this));
    shape->addWidget(m_fadeOut);
    shape->addStretch();
    layout->addLayout(shape);

    for (QCheckBox* box : {m_endAuto, m_snap, m_reverse})
        connect(box, &QCheckBox::toggled, this, &RowShapeBox::ShapeChanged);
    connect(m_pitch, &QDoubleSpinBox::valueChanged, this, &RowShapeBox::ShapeChanged);
    for (QSpinBox* box : {m_fadeIn, m_fadeOut})
        connect(box, &QSpinBox::valueChanged, this, &RowShapeBox::ShapeChanged);
    // The end follows the sound while it is set by it.
    connect(m_endAuto, &QCheckBox::toggled, this, [this](bool on) {
        m_end->setEnabled(!on);
        m_length->setEnabled(!on);
    });
}

QLineEdit* RowShapeBox::AddTime(QHBoxLayout* row, const QString& label, const QString& name,
                                void (RowShapeBox::*typed)(int64_t)) {
    auto* edit = new QLineEdit(this);
    edit->setAccessibleName(name);
    edit->setToolTip(tr("m:ss.mmm, for example 54:00.000"));
    edit->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("000:00.0000")) + 12);
    row->addWidget(new QLabel(label, this));
    row->addWidget(edit);
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::editingFinished, this, [this, edit, typed] {
        if (!edit->isModified()) return;
        edit->setModified(false);
        int64_t nanoseconds = 0;
        if (ParseClockText(edit->text().toStdString(), &nanoseconds)) {
            emit(this->*typed)(nanoseconds);
        } else {
            edit->setText(edit->property("shown").toString());
        }
    });
    return edit;
}

bool RowShapeBox::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit != nullptr && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            emit edit->editingFinished();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void RowShapeBox::SetShape(const VoiceOptions& options) {
    const QSignalBlocker blocks[] = {QSignalBlocker(m_endAuto), QSignalBlocker(m_snap),
                                     QSignalBlocker(m_reverse), QSignalBlocker(m_pitch),
                                     QSignalBlocker(m_fadeIn),  QSignalBlocker(m_fadeOut)};
    m_endAuto->setChecked(options.endAtLastSound);
    m_end->setEnabled(!options.endAtLastSound);
    m_length->setEnabled(!options.endAtLastSound);
    m_snap->setChecked(options.snap);
    m_reverse->setChecked(options.reverse);
    m_pitch->setValue(options.pitchCents / 100.0);
    m_fadeIn->setValue(options.fadeInMs);
    m_fadeOut->setValue(options.fadeOutMs);
}

void RowShapeBox::ApplyShape(VoiceOptions* options) const {
    options->endAtLastSound = m_endAuto->isChecked();
    options->snap = m_snap->isChecked();
    options->reverse = m_reverse->isChecked();
    options->pitchCents = static_cast<int>(std::lround(m_pitch->value() * 100));
    options->fadeInMs = m_fadeIn->value();
    options->fadeOutMs = m_fadeOut->value();
}

void RowShapeBox::SetFade(bool in, int ms) { (in ? m_fadeIn : m_fadeOut)->setValue(ms); }

void RowShapeBox::ShowTimes(int64_t start, int64_t length, int rate) {
    // A field being typed in keeps what the user typed.
    const auto show = [](QLineEdit* edit, int64_t frame, int rate) {
        if (edit->hasFocus() && edit->isModified()) return;
        edit->setText(QString::fromStdString(ClockText(frame, rate)));
        edit->setProperty("shown", edit->text());
        edit->setModified(false);
    };
    show(m_start, start, rate);
    show(m_length, length, rate);
    show(m_end, start + length, rate);
}

#include "app/RowsView.h"

#include <QColor>
#include <QMetaObject>
#include <QThread>

#include <initializer_list>
#include <utility>

#include "app/RowOptions.h"
#include "app/WindowContext.h"
#include "controls/SlotPanel.h"

namespace {

// The file name of a path without its directory and its last extension.
QString BaseNameOf(const QString& path) {
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    return name;
}

const QColor MissingText(130, 132, 130);

}  // namespace

RowsView::RowsView(WindowContext& context, QObject* parent) : QObject(parent), m_context(context) {}

bool RowsView::SetRowState(int slot, bool loaded) {
    const bool ok =
        m_context.panel.SetRowState(slot, loaded, loaded && m_context.model.IsSlotPlaying(slot));
    UpdateSaveButton();
    return ok;
}

bool RowsView::SetPlayButtonState(int slot, bool playing) {
    return m_context.panel.SetPlayButtonState(slot, playing);
}

void RowsView::UpdateSaveButton() {
    m_context.panel.SetSaveEnabled(m_context.model.CountLoadedSlots() > 0);
}

void RowsView::SlotChanged(int slot, SlotChange change) {
    if (QThread::currentThread() != thread()) {
        // Never block: the GUI thread may be waiting for this very thread.
        QMetaObject::invokeMethod(
            this, [this, slot, change] { SlotChanged(slot, change); }, Qt::QueuedConnection);
        return;
    }
    if (!SlotPanel::IsValidSlot(slot)) return;
    switch (change) {
    case SlotChange::Cleared:
    case SlotChange::Loaded:
        // Every label: the slices of a file are numbered across the rows.
        for (int i = 0; i < SlotCount; ++i) SetSlotLabel(i);
        (void)SetRowState(slot, change == SlotChange::Loaded);
        break;
    case SlotChange::Started: (void)SetPlayButtonState(slot, true); break;
    case SlotChange::Stopped:
        // A report from before a new start must not undo its look.
        if (!m_context.model.IsSlotPlaying(slot)) (void)SetPlayButtonState(slot, false);
        break;
    }
}

void RowsView::UpdateRowControls(int slot) {
    if (!SlotPanel::IsValidSlot(slot)) return;
    SlotPanel& panel = m_context.panel;
    // A bank being opened replaces every row: none takes a click meanwhile.
    const bool busy = m_context.IsRowBusy(slot) || m_context.openingBank;
    if (busy) {
        for (QWidget* control :
             std::initializer_list<QWidget*>{panel.LoadButton(slot), panel.ClearButton(slot),
                                             panel.PlayButton(slot), panel.Label(slot)})
            control->setEnabled(false);
    } else {
        panel.LoadButton(slot)->setEnabled(true);
        panel.Label(slot)->setEnabled(true);
        // Clear and play as the row's state has them.
        (void)SetRowState(slot, m_context.model.IsSlotLoaded(slot));
    }
    SetSlotLabel(slot);
}

void RowsView::UpdateAllRows() {
    for (int i = 0; i < SlotCount; ++i) UpdateRowControls(i);
}

void RowsView::SetSlotLabel(int slot) {
    const SlotModel& model = m_context.model;
    const QString path = m_context.SlotPath(slot);
    QString tip;
    SlotFormat format;
    if (!path.isEmpty() && model.ReadSlotFormat(slot, &format)) {
        // One arg call: a marker such as %1 inside the path stays as it is.
        tip = tr("%1\n%2, %3 Hz, %4-bit\n%5 ms")
                  .arg(path, format.channels == 2 ? tr("Stereo") : tr("Mono"),
                       QString::number(format.sampleRate), QString::number(format.bitsPerSample),
                       QString::number(static_cast<qint64>(format.frames) * 1000 / 44100));
        if (format.fromBank) tip += QLatin1Char('\n') + BankOriginLine(format);
        const QString options = DescribeRowOptions(format.options, format.startFrame,
                                                   format.sampleRate, &format.loudness);
        if (!options.isEmpty()) tip += QLatin1Char('\n') + options;
    }
    QString name = BaseNameOf(path);
    if (const int number = SliceNumber(slot); number > 0)
        name = tr("%1 #%2").arg(name, QString::number(number));
    const std::string& missing = model.SlotMissingReason(slot);
    const bool busy = m_context.IsRowBusy(slot);
    const bool dimmed = !missing.empty() || busy;
    if (busy) {
        name = tr("%1 (loading...)").arg(name);
        tip = path;
    } else if (!missing.empty()) {
        tip = tr("%1\nMissing: %2").arg(path, QString::fromStdString(missing));
    }
    SlotLabel* label = m_context.panel.Label(slot);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, dimmed ? MissingText : QColor(Qt::black));
    label->setPalette(palette);
    (void)m_context.panel.SetSlotText(slot, name, tip);
}

int RowsView::SliceNumber(int slot) const {
    const SlotModel& model = m_context.model;
    SlotFormat format;
    if (!model.IsSlotLoaded(slot) || !model.ReadSlotFormat(slot, &format) ||
        format.options.lengthNanoseconds <= 0)
        return 0;
    const std::string& path = model.SlotPath(slot);
    int sharing = 0;
    int earlier = 0;
    for (int other = 0; other < SlotCount; ++other) {
        if (other == slot || !model.IsSlotLoaded(other) || model.SlotPath(other) != path) continue;
        ++sharing;
        SlotFormat theirs;
        if (model.ReadSlotFormat(other, &theirs) && theirs.options.lengthNanoseconds > 0 &&
            std::pair(theirs.startFrame, other) < std::pair(format.startFrame, slot))
            ++earlier;
    }
    return sharing == 0 ? 0 : earlier + 1;
}

QString RowsView::BankOriginLine(const SlotFormat& format) {
    return tr("Row %1 of the bank \"%2\", %3 frames")
        .arg(QString::number(format.origin.row), FromModel(format.origin.bankName),
             QString::number(format.frames));
}

#include "app/MatchLevelsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>
#include <new>

#include "app/MakeLevelBox.h"
#include "audio/AudioData.h"

namespace {

enum Column { ColumnRow, ColumnFile, ColumnLoudness, ColumnPeak, ColumnNew, ColumnCount };

QString Tenths(double value, const QString& unit) {
    return QString::number(RoundToTenth(value) == 0.0 ? 0.0 : RoundToTenth(value), 'f', 1) +
           QLatin1Char(' ') + unit;
}

// Measures the rows as they are made without a level option, off the GUI
// thread.
std::vector<MatchLevelsDialog::Row> Measure(std::vector<MatchLevelsDialog::Row> rows,
                                            std::vector<std::string> paths, bool convert,
                                            const std::atomic<bool>& cancelled) {
    const std::unique_ptr<AudioData> record(new (std::nothrow) AudioData());
    for (size_t i = 0; i < rows.size() && record && !cancelled; ++i) {
        MatchLevelsDialog::Row& row = rows[i];
        *record = {};
        VoiceLoadOutcome outcome;
        row.readable = LoadVoice(paths[i].c_str(), row.options, convert, record.get(), &outcome) &&
                       MeasureRow(*record, &row.match.level);
        row.match.group = SourceGroup(paths[i]);
    }
    return rows;
}

}  // namespace

MatchLevelsDialog::MatchLevelsDialog(const SlotModel& model, QWidget* parent)
    : QDialog(parent), m_model(model) {
    setWindowTitle(tr("Match levels"));
    BuildWidgets();
    ConnectControls();
    StartMeasuring();
}

// The rows' table, the target (the median or a number), whether sliced rows
// keep their relative levels, the status and the buttons.
void MatchLevelsDialog::BuildWidgets() {
    auto* layout = new QVBoxLayout(this);
    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setHorizontalHeaderLabels(
        {tr("Row"), tr("File"), tr("Loudness"), tr("Peak"), tr("Set to")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->horizontalHeader()->setSectionResizeMode(ColumnFile, QHeaderView::Stretch);
    m_table->setMinimumSize(520, 260);
    layout->addWidget(m_table);

    auto* target = new QHBoxLayout;
    m_median = new QRadioButton(tr("Median of the rows"), this);
    m_number = new QRadioButton(tr("Target"), this);
    m_target =
        MakeLevelBox(LoudnessMinLufs, LoudnessMaxLufs, tr("LUFS"), tr("Target loudness"), this);
    m_target->setValue(-16.0);
    m_median->setChecked(true);
    target->addWidget(m_median);
    target->addWidget(m_number);
    target->addWidget(m_target);
    target->addStretch();
    layout->addLayout(target);
    m_keepGroups = new QCheckBox(tr("keep the relative levels of rows sliced from one file"), this);
    m_keepGroups->setChecked(true);
    layout->addWidget(m_keepGroups);
    m_status = new QLabel(tr("Measuring the rows..."), this);
    layout->addWidget(m_status);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this);
    m_buttons->button(QDialogButtonBox::Apply)->setEnabled(false);
    layout->addWidget(m_buttons);
}

void MatchLevelsDialog::ConnectControls() {
    connect(m_number, &QRadioButton::toggled, m_target, &QWidget::setEnabled);
    connect(m_number, &QRadioButton::toggled, this, &MatchLevelsDialog::ShowTargets);
    connect(m_target, &QDoubleSpinBox::valueChanged, this, &MatchLevelsDialog::ShowTargets);
    connect(m_keepGroups, &QCheckBox::toggled, this, &MatchLevelsDialog::ShowTargets);
    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this,
            &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void MatchLevelsDialog::StartMeasuring() {
    // What to measure is copied here; the worker touches nothing of the model.
    std::vector<Row> rows;
    std::vector<std::string> paths;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!m_model.IsSlotLoaded(slot)) continue;
        Row row;
        row.slot = slot;
        row.options = m_model.SlotOptions(slot);
        row.options.normalize = false;
        row.options.loudness = false;
        rows.push_back(row);
        paths.push_back(m_model.SlotPath(slot));
    }
    m_jobs.Run<std::vector<Row>>(
        JobLane{JobLane::Kind::Measure}, this,
        [rows, paths, convert = m_model.ConvertFormats()](const std::atomic<bool>& cancelled) {
            return Measure(rows, paths, convert, cancelled);
        },
        [this](std::vector<Row> measured) { TakeMeasures(std::move(measured)); });
}

void MatchLevelsDialog::TakeMeasures(std::vector<Row> rows) {
    m_rows = std::move(rows);
    std::vector<MatchRow> matches;
    for (const Row& row : m_rows) matches.push_back(row.match);
    m_medianLevel = MedianLoudness(matches);
    m_table->setRowCount(static_cast<int>(m_rows.size()));
    for (int i = 0; i < static_cast<int>(m_rows.size()); ++i) {
        const Row& row = m_rows[static_cast<size_t>(i)];
        const QString path = QString::fromUtf8(m_model.SlotPath(row.slot));
        const RowLevel& level = row.match.level;
        const QString loudness = !row.readable     ? tr("cannot be read")
                                 : !level.sounding ? tr("silent")
                                                   : Tenths(level.loudnessLufs, tr("LUFS"));
        const QStringList cells = {
            QString::number(row.slot + 1), path.mid(path.lastIndexOf(QLatin1Char('/')) + 1),
            loudness, level.sounding ? Tenths(level.peakDbfs, tr("dBFS")) : QString(), QString()};
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c == ColumnFile) item->setToolTip(path);
            m_table->setItem(i, c, item);
        }
    }
    m_median->setText(m_medianLevel
                          ? tr("Median of the rows (%1)").arg(Tenths(*m_medianLevel, tr("LUFS")))
                          : tr("Median of the rows"));
    if (m_medianLevel) m_target->setValue(*m_medianLevel);
    m_measured = true;
    ShowTargets();
}

double MatchLevelsDialog::Target() const {
    return m_median->isChecked() && m_medianLevel ? *m_medianLevel : m_target->value();
}

void MatchLevelsDialog::ShowTargets() {
    if (!m_measured) return;
    std::vector<MatchRow> matches;
    for (const Row& row : m_rows) {
        MatchRow match = row.match;
        if (!row.readable) match.level = {};
        matches.push_back(match);
    }
    m_matches = MatchLoudness(matches, Target(), m_keepGroups->isChecked());
    QStringList outside;
    for (int i = 0; i < static_cast<int>(m_matches.size()); ++i) {
        const LoudnessMatch& match = m_matches[static_cast<size_t>(i)];
        QString text;
        switch (match.step) {
        case LoudnessMatch::Step::Silent: text = tr("left as it is"); break;
        case LoudnessMatch::Step::AsIs: text = tr("as it is"); break;
        case LoudnessMatch::Step::Set: text = Tenths(match.lufs, tr("LUFS")); break;
        case LoudnessMatch::Step::Outside:
            text = tr("%1: outside").arg(Tenths(match.lufs, tr("LUFS")));
            outside << QString::number(m_rows[static_cast<size_t>(i)].slot + 1);
            break;
        }
        m_table->item(i, ColumnNew)->setText(text);
    }
    if (!m_medianLevel) {
        m_status->setText(tr("No loaded row sounds: nothing to match."));
    } else if (!outside.isEmpty()) {
        m_status->setText((outside.size() == 1 ? tr("Row %1 would need a loudness outside %2 to "
                                                    "%3 LUFS: choose another target.")
                                               : tr("Rows %1 would need a loudness outside %2 "
                                                    "to %3 LUFS: choose another target."))
                              .arg(outside.join(QStringLiteral(", ")))
                              .arg(LoudnessMinLufs, 0, 'f', 0)
                              .arg(LoudnessMaxLufs, 0, 'f', 0));
    } else {
        m_status->setText(tr("Each row's loudness is its loudest 400 ms; no row's true peak "
                             "passes %1 dBTP.")
                              .arg(LoudnessCeilingDbtp, 0, 'f', 1));
    }
    m_buttons->button(QDialogButtonBox::Apply)->setEnabled(outside.isEmpty() && !Changes().empty());
}

std::vector<std::pair<int, VoiceOptions>> MatchLevelsDialog::Changes() const {
    std::vector<std::pair<int, VoiceOptions>> changes;
    for (size_t i = 0; i < m_matches.size() && i < m_rows.size(); ++i) {
        const LoudnessMatch& match = m_matches[i];
        if (match.step == LoudnessMatch::Step::Silent || match.step == LoudnessMatch::Step::Outside)
            continue;
        // A row left as it is keeps no level option: it is matched as measured.
        VoiceOptions options = m_rows[i].options;
        options.loudness = match.step == LoudnessMatch::Step::Set;
        options.loudnessLufs = options.loudness ? match.lufs : options.loudnessLufs;
        if (options != m_model.SlotOptions(m_rows[i].slot))
            changes.emplace_back(m_rows[i].slot, options);
    }
    return changes;
}

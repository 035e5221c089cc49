#include "app/SliceDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/AuditionFile.h"
#include "app/SliceView.h"
#include "audio/AudioData.h"
#include "core/RowPlacement.h"
#include "jobs/JobRunner.h"

namespace {

constexpr int ViewBins = 2048;

// The mode list's entries, in order: equal parts come by a count or by a
// tempo.
enum ModeEntry { TransientsEntry, EqualEntry, TempoEntry, StrongestEntry };
constexpr double DefaultTempo = 120.0;

// The note lengths offered for equal parts by tempo.
struct NoteChoice {
    const char* value;
    const char* label;
};
constexpr NoteChoice NoteChoices[] = {
    {"1/4", QT_TRANSLATE_NOOP("SliceDialog", "1/4")},
    {"1/8", QT_TRANSLATE_NOOP("SliceDialog", "1/8")},
    {"1/16", QT_TRANSLATE_NOOP("SliceDialog", "1/16")},
    {"1/32", QT_TRANSLATE_NOOP("SliceDialog", "1/32")},
    {"3/16", QT_TRANSLATE_NOOP("SliceDialog", "3/16 (dotted 1/8)")},
    {"1/12", QT_TRANSLATE_NOOP("SliceDialog", "1/12 (1/8 triplet)")},
    {"1/24", QT_TRANSLATE_NOOP("SliceDialog", "1/24 (1/16 triplet)")},
};
constexpr int DefaultNoteChoice = 2;

// What the worker makes of the file: the analysis and the waveform.
struct Analysed {
    std::shared_ptr<const OnsetAnalysis> analysis;
    std::vector<PeakBin> bins;
    QString failure;
};

// The markers a setting finds, at most MaxSlices; more says whether there
// were more.
struct Found {
    std::vector<int64_t> markers;
    bool more = false;
};

}  // namespace

SliceDialog::SliceDialog(SlotModel& model, int slot, QWidget* parent)
    : QDialog(parent),
      m_model(model),
      m_slot(slot),
      m_path(model.SlotPath(slot)),
      m_convert(model.ConvertFormats()),
      m_jobs(std::make_unique<JobRunner>()) {
    setWindowTitle(tr("Slice across rows"));
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QString::fromStdString(m_path), this);
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(name);
    m_view = new SliceView(this);
    m_view->setToolTip(
        tr("Double-click to add or remove a marker, drag one to move it, Delete removes the one "
           "last touched; click a slice to hear it"));
    m_view->setAccessibleName(tr("Waveform with the slice markers"));
    layout->addWidget(m_view);
    m_status = new QLabel(tr("Finding the hits..."), this);
    layout->addWidget(m_status);

    layout->addLayout(BuildSliceChoice());
    layout->addLayout(BuildTempoChoice());
    layout->addLayout(BuildRowChoice(slot));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_apply = buttons->addButton(tr("Apply"), QDialogButtonBox::AcceptRole);
    m_apply->setEnabled(false);
    layout->addWidget(buttons);
    ConnectControls(buttons);
    Analyse();
}

// How to slice: the mode, the sensitivity for transients, the count for
// equal divisions and the strongest hits.
QHBoxLayout* SliceDialog::BuildSliceChoice() {
    auto* choice = new QHBoxLayout;
    m_mode = new QComboBox(this);
    m_mode->addItems({tr("Transients"), tr("Equal divisions"), tr("Equal divisions by tempo"),
                      tr("Strongest hits")});
    m_mode->setAccessibleName(tr("Slice by"));
    m_sensitivity = new QSlider(Qt::Horizontal, this);
    m_sensitivity->setRange(MinSensitivity, MaxSensitivity);
    m_sensitivity->setValue(DefaultSensitivity);
    m_sensitivity->setAccessibleName(tr("Sensitivity"));
    m_count = new QSpinBox(this);
    m_count->setRange(1, 999);
    m_count->setValue(DefaultSliceCount);
    m_count->setEnabled(false);
    m_count->setAccessibleName(tr("Slices"));
    choice->addWidget(m_mode);
    choice->addWidget(new QLabel(tr("Sensitivity"), this));
    choice->addWidget(m_sensitivity, 1);
    choice->addWidget(new QLabel(tr("Slices"), this));
    choice->addWidget(m_count);
    return choice;
}

// Equal divisions by tempo: the tempo and the note length.
QHBoxLayout* SliceDialog::BuildTempoChoice() {
    auto* tempo = new QHBoxLayout;
    m_tempo = new QDoubleSpinBox(this);
    m_tempo->setRange(MinTempo, MaxTempo);
    m_tempo->setDecimals(2);
    m_tempo->setValue(DefaultTempo);
    m_tempo->setSuffix(tr(" BPM"));
    m_tempo->setAccessibleName(tr("Tempo"));
    m_tempo->setToolTip(tr("Quarter notes a minute"));
    m_note = new QComboBox(this);
    for (const NoteChoice& note : NoteChoices)
        m_note->addItem(tr(note.label), QString::fromLatin1(note.value));
    m_note->setCurrentIndex(DefaultNoteChoice);
    m_note->setAccessibleName(tr("Note length"));
    m_tempo->setEnabled(false);
    m_note->setEnabled(false);
    tempo->addWidget(new QLabel(tr("Tempo"), this));
    tempo->addWidget(m_tempo);
    tempo->addWidget(new QLabel(tr("Note"), this));
    tempo->addWidget(m_note);
    tempo->addStretch(1);
    return tempo;
}

// The first row the slices fill (the dialog's row to begin with), and which
// rows they take.
QHBoxLayout* SliceDialog::BuildRowChoice(int slot) {
    auto* rows = new QHBoxLayout;
    m_firstRow = new QSpinBox(this);
    m_firstRow->setRange(1, SlotCount);
    m_firstRow->setValue(slot + 1);
    m_firstRow->setAccessibleName(tr("First row"));
    m_rows = new QLabel(this);
    // Wrapped, so that a long note on the rows does not widen the dialog.
    m_rows->setWordWrap(true);
    rows->addWidget(new QLabel(tr("First row"), this));
    rows->addWidget(m_firstRow);
    rows->addWidget(m_rows, 1);
    return rows;
}

void SliceDialog::ConnectControls(QDialogButtonBox* buttons) {
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_mode, &QComboBox::currentIndexChanged, this, [this](int mode) {
        m_sensitivity->setEnabled(mode == TransientsEntry);
        m_count->setEnabled(mode == EqualEntry || mode == StrongestEntry);
        m_tempo->setEnabled(mode == TempoEntry);
        m_note->setEnabled(mode == TempoEntry);
        FindMarkers();
    });
    connect(m_sensitivity, &QSlider::valueChanged, this, &SliceDialog::FindMarkers);
    connect(m_count, &QSpinBox::valueChanged, this, &SliceDialog::FindMarkers);
    connect(m_tempo, &QDoubleSpinBox::valueChanged, this, &SliceDialog::FindMarkers);
    connect(m_note, &QComboBox::currentIndexChanged, this, &SliceDialog::FindMarkers);
    connect(m_firstRow, &QSpinBox::valueChanged, this, &SliceDialog::ShowRows);
    connect(m_view, &SliceView::MarkersEdited, this, &SliceDialog::ShowRows);
    connect(m_view, &SliceView::MarkerPut, this, &SliceDialog::PlaceMarker);
    connect(m_view, &SliceView::SliceClicked, this, &SliceDialog::PlaySlice);
}

SliceDialog::~SliceDialog() = default;

void SliceDialog::Analyse() {
    m_jobs->Run<Analysed>(
        JobLane{JobLane::Kind::Analyse}, this,
        [path = m_path, convert = m_convert](const std::atomic<bool>& cancelled) {
            Analysed result;
            std::string why;
            auto analysis = std::make_shared<OnsetAnalysis>();
            if (!analysis->Analyse(path.c_str(), convert, &why, cancelled)) {
                result.failure = QString::fromStdString(why);
                return result;
            }
            result.bins = analysis->Overview(ViewBins);
            result.analysis = std::move(analysis);
            return result;
        },
        [this](Analysed result) {
            if (!result.analysis) {
                m_status->setText(tr("The file cannot be sliced: %1").arg(result.failure));
                return;
            }
            m_analysis = std::move(result.analysis);
            m_view->SetSource(m_analysis->Frames(), m_analysis->SampleRate(),
                              std::move(result.bins));
            FindMarkers();
        });
}

SliceSettings SliceDialog::Settings() const {
    SliceSettings settings;
    switch (m_mode->currentIndex()) {
    case EqualEntry: settings.mode = SliceMode::Equal; break;
    case TempoEntry:
        settings.mode = SliceMode::Equal;
        settings.tempo = m_tempo->value();
        (void)ParseNoteLength(m_note->currentData().toString().toStdString(), &settings.note);
        break;
    case StrongestEntry: settings.mode = SliceMode::Strongest; break;
    default: settings.mode = SliceMode::Transients; break;
    }
    settings.sensitivity = m_sensitivity->value();
    settings.count = m_count->value();
    return settings;
}

void SliceDialog::SetSettings(const SliceSettings& settings) {
    m_sensitivity->setValue(settings.sensitivity);
    m_count->setValue(settings.count);
    if (settings.tempo > 0.0) {
        m_tempo->setValue(settings.tempo);
        const int note = m_note->findData(QString::fromStdString(NoteLengthText(settings.note)));
        if (note < 0) {
            // A length the list does not offer yet.
            const QString text = QString::fromStdString(NoteLengthText(settings.note));
            m_note->addItem(text, text);
            m_note->setCurrentIndex(m_note->count() - 1);
        } else {
            m_note->setCurrentIndex(note);
        }
    }
    const int entry = settings.mode == SliceMode::Strongest ? StrongestEntry
                      : settings.mode == SliceMode::Transients
                          ? TransientsEntry
                          : (settings.tempo > 0.0 ? TempoEntry : EqualEntry);
    m_mode->setCurrentIndex(entry);
    FindMarkers();
}

void SliceDialog::FindMarkers() {
    if (!m_analysis) return;
    const SliceSettings settings = Settings();
    // Only the latest setting matters while the slider moves.
    m_jobs->Cancel(JobLane{JobLane::Kind::Markers});
    m_jobs->Run<Found>(
        JobLane{JobLane::Kind::Markers}, this,
        [analysis = m_analysis, settings](const std::atomic<bool>&) {
            Found found;
            found.markers = analysis->SliceStarts(settings);
            found.more = found.markers.size() > static_cast<size_t>(MaxSlices);
            if (found.more) found.markers.resize(static_cast<size_t>(MaxSlices));
            return found;
        },
        [this](Found found) {
            m_more = found.more;
            m_view->SetMarkers(std::move(found.markers));
            ShowRows();
        });
}

void SliceDialog::PlaceMarker(int64_t frame, int64_t pixelFrames, bool added) {
    if (!m_analysis) return;
    const int rate = m_analysis->SampleRate();
    // A double click may miss what it aims at by a pixel and a half; a zero
    // crossing is looked for within half a pixel (1 to 5 ms), unseen.
    const int64_t hitReach = added ? std::max<int64_t>(3 * pixelFrames / 2, rate / 100) : 0;
    const int64_t crossingReach = std::clamp<int64_t>(pixelFrames / 2, rate / 1000, rate / 200);
    // The hits the other markers hold are not this one's.
    std::vector<int64_t> marked = m_view->Markers();
    marked.erase(std::remove(marked.begin(), marked.end(), frame), marked.end());
    // Behind a new setting's markers in their lane, and gone with them.
    m_jobs->Run<std::optional<int64_t>>(
        JobLane{JobLane::Kind::Markers}, this,
        [analysis = m_analysis, frame, hitReach, crossingReach,
         marked = std::move(marked)](const std::atomic<bool>&) -> std::optional<int64_t> {
            if (hitReach > 0)
                if (const std::optional<int64_t> start =
                        analysis->HitStartNear(frame, hitReach, marked))
                    return start;
            return analysis->ZeroCrossingNear(frame, crossingReach);
        },
        [this, frame](std::optional<int64_t> start) {
            if (start && *start != frame) m_view->MoveMarker(frame, *start);
        });
}

std::vector<Slice> SliceDialog::Slices() const {
    return m_analysis ? SlicesFromStarts(m_view->Markers(), m_analysis->Frames())
                      : std::vector<Slice>{};
}

int SliceDialog::LeftOut() const {
    return static_cast<int>(PlaceOnRows(m_firstRow->value() - 1, Slices().size()).leftOut);
}

void SliceDialog::ShowRows() {
    const int first = m_firstRow->value() - 1;
    m_view->SetFirstRow(first);
    const std::vector<Slice> slices = Slices();
    m_apply->setEnabled(!slices.empty());
    if (!m_analysis) return;
    QString status = tr("%n slice(s)", nullptr, static_cast<int>(slices.size()));
    if (m_more) status += ' ' + tr("(more were found; only the first %1 are shown)").arg(MaxSlices);
    m_status->setText(status);
    if (slices.empty()) {
        m_rows->setText(tr("No slices: lower the sensitivity's threshold or add markers."));
        return;
    }
    const int filled = static_cast<int>(slices.size()) - LeftOut();
    QString text =
        tr("Rows %1 to %2 get slices 1 to %3.").arg(first + 1).arg(first + filled).arg(filled);
    if (LeftOut() > 0)
        text += ' ' + tr("Slices %1 to %2 do not fit.").arg(filled + 1).arg(slices.size());
    const int64_t limit = SliceView::RowLimitFrames(m_analysis->SampleRate());
    int cut = 0;
    for (int i = 0; i < filled; ++i) cut += slices[static_cast<size_t>(i)].length > limit ? 1 : 0;
    if (cut > 0)
        text +=
            ' ' + tr("%n slice(s) longer than a row are cut at its end (shaded).", nullptr, cut);
    m_rows->setText(text);
}

std::vector<SliceDialog::RowFill> SliceDialog::Rows() const {
    std::vector<RowFill> rows;
    if (!m_analysis) return rows;
    const std::vector<Slice> slices = Slices();
    const int rate = m_analysis->SampleRate();
    for (const PlacedItem& p : PlaceOnRows(m_firstRow->value() - 1, slices.size()).items)
        rows.push_back({p.row, SliceOptions(slices[p.item], rate, p.row)});
    return rows;
}

void SliceDialog::PlaySlice(int index) {
    // Every slice sounds as its row will, also one that finds no row.
    const std::vector<Slice> slices = Slices();
    if (index < 0 || static_cast<size_t>(index) >= slices.size()) return;
    const VoiceOptions options =
        SliceOptions(slices[static_cast<size_t>(index)], m_analysis->SampleRate(),
                     m_firstRow->value() - 1 + index);
    // The newest click is the one heard.
    const JobLane lane{JobLane::Kind::Audition};
    m_jobs->Cancel(lane);
    AuditionFile(*m_jobs, lane, this, m_model, m_path, options, m_model.ConvertFormats());
}

VoiceOptions SliceDialog::SliceOptions(const Slice& slice, int rate, int row) const {
    // The row's own level stays, as every placement of files and slices keeps it.
    const VoiceOptions rowOptions =
        SlotModel::IsValidSlot(row) ? m_model.SlotOptions(row) : VoiceOptions{};
    return PlacedRowOptions(rowOptions, SliceVoiceOptions(slice, rate));
}

void SliceDialog::done(int result) {
    m_jobs->CancelAll();
    m_model.StopAudition();
    QDialog::done(result);
}

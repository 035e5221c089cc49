#include "app/SoundPreview.h"

#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>

#include <memory>
#include <string>
#include <utility>

#include "core/SlotModel.h"
#include "jobs/JobRunner.h"

namespace {

// Type-ahead letters play the file where the typing rests.
constexpr int SettleMs = 70;

}  // namespace

SoundPreview::SoundPreview(SlotModel& model, JobRunner& jobs, QWidget* parent)
    : QWidget(parent), m_model(model), m_jobs(jobs) {
    m_on = new QCheckBox(tr("&Preview"), this);
    m_on->setAccessibleName(tr("Preview the selected file"));
    m_on->setChecked(true);
    m_level = new QSlider(Qt::Horizontal, this);
    m_level->setAccessibleName(tr("Preview level"));
    m_level->setRange(0, 100);
    m_level->setValue(100);
    auto* levelLabel = new QLabel(tr("&Level"), this);
    levelLabel->setBuddy(m_level);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_on);
    row->addWidget(levelLabel);
    row->addWidget(m_level, 1);
    setFocusProxy(m_on);

    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_settle, &QTimer::timeout, this, &SoundPreview::Settled);
    connect(m_on, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) Stop();
    });
}

SoundPreview::~SoundPreview() {
    if (m_previewAsked > 0) m_model.StopAudition();
}

void SoundPreview::SetOn(bool on) { m_on->setChecked(on); }

bool SoundPreview::IsOn() const { return m_on->isChecked(); }

void SoundPreview::SetLevel(int percent) { m_level->setValue(percent); }

int SoundPreview::Level() const { return m_level->value(); }

void SoundPreview::Play(const QString& path) {
    m_settle.stop();
    const quint64 asked = ++m_previewAsked;
    const std::string native = QFile::encodeName(path).toStdString();
    const bool convert = m_model.ConvertFormats();
    // A preview still being made is of no use any more.
    m_jobs.Cancel(JobLane{JobLane::Kind::Audition});
    m_jobs.Run<std::shared_ptr<MadeRow>>(
        JobLane{JobLane::Kind::Audition}, this,
        [native, convert](const std::atomic<bool>&) {
            // The row exactly as a load would make it.
            return std::make_shared<MadeRow>(SlotModel::MakeRow(native, {}, convert));
        },
        [this, asked, path](std::shared_ptr<MadeRow> row) {
            if (asked != m_previewAsked) {
                emit Dropped(path);
                return;
            }
            const float gain = static_cast<float>(Level()) / 100.0f;
            if (!m_model.AuditionRow(std::move(*row), nullptr, gain)) return;
            emit Started(path);
        });
}

void SoundPreview::Stop() {
    m_settle.stop();
    ++m_previewAsked;  // a preview being made does not start after all
    m_jobs.Cancel(JobLane{JobLane::Kind::Audition});
    m_model.StopAudition();
}

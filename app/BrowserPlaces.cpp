#include "app/BrowserPlaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "jobs/JobRunner.h"
#include "volumes/VolumeSource.h"

namespace {

using Places = std::vector<std::pair<QString, QString>>;  // name, folder

}  // namespace

BrowserPlaces::BrowserPlaces(const VolumeSource* volumes, JobRunner& jobs, QWidget* parent)
    : QListWidget(parent), m_volumes(volumes), m_jobs(jobs) {
    setAccessibleName(tr("Places"));
    setMaximumHeight(110);
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        emit FolderPicked(item->data(Qt::UserRole).toString());
    });
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        emit FolderPicked(item->data(Qt::UserRole).toString());
    });
    Rebuild();
}

void BrowserPlaces::Rebuild() {
    clear();
    const auto add = [this](const QString& name, const QString& path) {
        if (path.isEmpty()) return;
        auto* item = new QListWidgetItem(name, this);
        item->setData(Qt::UserRole, path);
        item->setToolTip(path);
    };
    add(tr("Home"), QDir::homePath());
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && music != QDir::homePath()) add(tr("Music"), music);
    for (const auto& [name, root] : m_cards) add(name, root);
    for (const QString& folder : m_recent)
        add(tr("%1 (recent)").arg(QFileInfo(folder).fileName()), folder);
}

void BrowserPlaces::ListCards() {
    // The mount table and the volumes' sizes are read on a worker: a
    // stalled mount must not stall the window.
    const VolumeSource* volumes = m_volumes;
    m_jobs.Run<Places>(
        JobLane{JobLane::Kind::Places}, this,
        [volumes](const std::atomic<bool>&) {
            const SystemVolumeSource system;
            Places out;
            for (const Volume& volume : (volumes != nullptr ? *volumes : system).ListVolumes()) {
                // The machine's own disks are no place to browse for sounds.
                if (volumes == nullptr && !volume.removable) continue;
                out.emplace_back(QString::fromStdString(volume.displayName),
                                 QFile::decodeName(QByteArray::fromStdString(volume.root)));
            }
            return out;
        },
        [this](Places cards) {
            m_cards = std::move(cards);
            Rebuild();
        });
}

void BrowserPlaces::SetRecentFolders(const QStringList& folders) {
    m_recent.clear();
    for (const QString& folder : folders) {
        if (!folder.isEmpty() && !m_recent.contains(folder)) m_recent.append(folder);
        if (m_recent.size() == MaxRecentFolders) break;
    }
    Rebuild();
}

void BrowserPlaces::NoteFolderUsed(const QString& folder) {
    if (folder.isEmpty() || m_recent.value(0) == folder) return;
    m_recent.removeAll(folder);
    m_recent.prepend(folder);
    while (m_recent.size() > MaxRecentFolders) m_recent.removeLast();
    Rebuild();
}

#pragma once

#include <QListWidget>
#include <QStringList>

#include <utility>
#include <vector>

class JobRunner;
class VolumeSource;

// The browser's places: home, music, the mounted cards and the folders
// files were lately played or chosen from. The cards are read on a worker.
class BrowserPlaces : public QListWidget {
    Q_OBJECT
public:
    static constexpr int MaxRecentFolders = 8;

    // volumes: where the mounted cards come from (null: the machine's);
    // it and jobs must outlive the places.
    BrowserPlaces(const VolumeSource* volumes, JobRunner& jobs, QWidget* parent = nullptr);

    // Reads the mounted cards again (in the Places lane of jobs).
    void ListCards();
    // The recent folders, newest first, at most MaxRecentFolders.
    [[nodiscard]] const QStringList& RecentFolders() const { return m_recent; }
    void SetRecentFolders(const QStringList& folders);
    // folder was used: it leads the recent ones.
    void NoteFolderUsed(const QString& folder);

signals:
    // A place was clicked or activated.
    void FolderPicked(const QString& folder);

private:
    void Rebuild();

    const VolumeSource* m_volumes;
    JobRunner& m_jobs;
    QStringList m_recent;
    std::vector<std::pair<QString, QString>> m_cards;  // name, folder
};

#pragma once

#include <QString>
#include <QTreeView>

class QFileSystemModel;

// The browser's folder tree: the machine's folders, read on the model's own
// thread, opened down to the folder shown.
class FolderTree : public QTreeView {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent = nullptr);

    // Opens the tree down to folder and makes it current, now and again as
    // its parents are read; no FolderPicked follows.
    void Reveal(const QString& folder);

signals:
    // The musician picked a folder in the tree.
    void FolderPicked(const QString& folder);

private:
    void RevealAgain();

    QFileSystemModel* m_dirs = nullptr;
    QString m_folder;          // the folder revealed
    bool m_revealing = false;  // the tree is being moved to m_folder, not by the musician
};

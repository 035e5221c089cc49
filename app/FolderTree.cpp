#include "app/FolderTree.h"

#include <QDir>
#include <QFileSystemModel>

FolderTree::FolderTree(QWidget* parent) : QTreeView(parent) {
    m_dirs = new QFileSystemModel(this);
    m_dirs->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_dirs->setRootPath(QStringLiteral("/"));
    setAccessibleName(tr("Folders"));
    setModel(m_dirs);
    for (int column = 1; column < m_dirs->columnCount(); ++column) hideColumn(column);
    setHeaderHidden(true);

    connect(this, &QTreeView::activated, this,
            [this](const QModelIndex& index) { emit FolderPicked(m_dirs->filePath(index)); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) {
                // Only the musician's moves: the tree's own (its first row
                // made current as the focus comes) would list "/".
                if (index.isValid() && !m_revealing && hasFocus())
                    emit FolderPicked(m_dirs->filePath(index));
            });
    // The tree reads folders on its own thread: the folder shown is
    // revealed again as its parents come in.
    connect(m_dirs, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (m_folder.startsWith(loaded)) RevealAgain();
    });
}

void FolderTree::Reveal(const QString& folder) {
    m_folder = folder;
    RevealAgain();
}

void FolderTree::RevealAgain() {
    const QModelIndex index = m_dirs->index(m_folder);
    if (!index.isValid()) return;
    m_revealing = true;
    // Opened down to it: the folders above are read on the model's thread.
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent()) expand(above);
    if (currentIndex() != index) setCurrentIndex(index);
    scrollTo(index, QAbstractItemView::PositionAtCenter);
    m_revealing = false;
}

#include "controls/FileDropTarget.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "controls/MessageBox.h"
#include "res/StringTable.h"

// Hands the owner's drag events to its target, in place of the owner's own
// drag handlers.
class FileDropTarget::EventRouter : public QObject {
public:
    EventRouter(FileDropTarget& target, QWidget& owner) : m_target(target), m_owner(owner) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &m_owner) return false;
        switch (event->type()) {
        case QEvent::DragEnter:
            m_target.HandleDragEnter(&m_owner, static_cast<QDragEnterEvent*>(event));
            return true;
        case QEvent::DragMove:
            m_target.HandleDragMove(&m_owner, static_cast<QDragMoveEvent*>(event));
            return true;
        case QEvent::DragLeave:
            m_target.HandleDragLeave(&m_owner, static_cast<QDragLeaveEvent*>(event));
            return true;
        case QEvent::Drop:
            m_target.HandleDrop(&m_owner, static_cast<QDropEvent*>(event));
            return true;
        default: return false;
        }
    }

private:
    FileDropTarget& m_target;
    QWidget& m_owner;
};

FileDropTarget::FileDropTarget() = default;

FileDropTarget::~FileDropTarget() = default;

bool FileDropTarget::Register(QWidget* owner) {
    if (owner == nullptr) {
        return false;
    }
    owner->setAcceptDrops(true);
    if (!m_router) {
        m_router = std::make_unique<EventRouter>(*this, *owner);
        owner->installEventFilter(m_router.get());
    }
    m_registered = true;
    return true;
}

Qt::DropAction FileDropTarget::ChooseDropAction(Qt::DropActions possible, Qt::DropAction proposed) {
    if (possible.testFlag(Qt::CopyAction)) {
        return Qt::CopyAction;
    }
    return proposed;
}

namespace {

bool HoldsOneLocalFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return false;
    }
    const QList<QUrl> urls = data->urls();
    return urls.size() == 1 && urls.front().isLocalFile();
}

}  // namespace

QString FileDropTarget::SingleLocalFile(const QMimeData* data) {
    return HoldsOneLocalFile(data) ? data->urls().front().toLocalFile() : QString();
}

QStringList FileDropTarget::BrowserFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasFormat(QLatin1String(BrowserFilesFormat))) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files.append(url.toLocalFile());
    return files;
}

bool FileDropTarget::OnDragEnter(QWidget* window, const QMimeData* data) {
    if (window == nullptr || data == nullptr) {
        return false;
    }
    if (window->parentWidget() != nullptr && m_reports.dragEntered) {
        m_reports.dragEntered();
    }
    return true;
}

void FileDropTarget::OnDragLeave(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    if (window->parentWidget() != nullptr && m_reports.dragLeft) {
        m_reports.dragLeft();
    }
}

bool FileDropTarget::OnDrop(QWidget* window, const QMimeData* data, QPoint point) {
    if (window == nullptr || data == nullptr) {
        return false;
    }
    if (window->parentWidget() == nullptr) {
        return false;
    }
    if (const QStringList files = BrowserFiles(data); !files.isEmpty()) {
        if (m_reports.filesDropped) m_reports.filesDropped(files);
        if (m_reports.afterDrop) m_reports.afterDrop(point);
        return true;
    }
    QString path;
    if (HoldsOneLocalFile(data)) {
        path = SingleLocalFile(data);
        if (path.isEmpty()) {
            return false;
        }
    } else {
        ShowMessage(window, IdsMultipleFiles, QMessageBox::Ok);
    }
    if (m_reports.dropped) m_reports.dropped(path);
    if (m_reports.afterDrop) m_reports.afterDrop(point);
    return true;
}

void FileDropTarget::HandleDragEnter(QWidget* window, QDragEnterEvent* event) {
    if (!m_registered || !OnDragEnter(window, event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(ChooseDropAction(event->possibleActions(), event->proposedAction()));
    event->accept();
}

void FileDropTarget::HandleDragMove(QWidget* window, QDragMoveEvent* event) {
    if (!m_registered || window == nullptr || event->mimeData() == nullptr) {
        event->ignore();
        return;
    }
    event->setDropAction(ChooseDropAction(event->possibleActions(), event->proposedAction()));
    event->accept();
}

void FileDropTarget::HandleDragLeave(QWidget* window, QDragLeaveEvent* event) {
    if (m_registered) {
        OnDragLeave(window);
    }
    event->accept();
}

void FileDropTarget::HandleDrop(QWidget* window, QDropEvent* event) {
    if (!m_registered || !OnDrop(window, event->mimeData(), event->position().toPoint())) {
        event->ignore();
        return;
    }
    event->setDropAction(ChooseDropAction(event->possibleActions(), event->proposedAction()));
    event->accept();
}

#include "controls/FileDropTarget.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "controls/MessageBox.h"
#include "controls/SlotMessages.h"
#include "res/StringTable.h"

bool CFileDropTarget::Register(QWidget* owner) {
    if (owner == nullptr) {
        return false;
    }
    owner->setAcceptDrops(true);
    m_registered = true;
    return true;
}

Qt::DropAction CFileDropTarget::ChooseDropAction(Qt::DropActions possible, Qt::DropAction proposed) {
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

QString CFileDropTarget::SingleLocalFile(const QMimeData* data) {
    return HoldsOneLocalFile(data) ? data->urls().front().toLocalFile() : QString();
}

bool CFileDropTarget::OnDragEnter(QWidget* window, const QMimeData* data) {
    if (window == nullptr || data == nullptr) {
        return false;
    }
    if (QWidget* parent = window->parentWidget()) {
        SlotMessageEvent message(WM_SLOT_DRAGENTER, &m_nIndex, nullptr);
        QCoreApplication::sendEvent(parent, &message);
    }
    return true;
}

void CFileDropTarget::OnDragLeave(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    if (QWidget* parent = window->parentWidget()) {
        SlotMessageEvent message(WM_SLOT_DRAGLEAVE, &m_nIndex, nullptr);
        QCoreApplication::sendEvent(parent, &message);
    }
}

bool CFileDropTarget::OnDrop(QWidget* window, const QMimeData* data, QPoint point) {
    if (window == nullptr || data == nullptr) {
        return false;
    }
    QWidget* parent = window->parentWidget();
    if (parent == nullptr) {
        return false;
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
    SlotMessageEvent message(WM_SLOT_DROP, &m_nIndex, &path);
    QCoreApplication::sendEvent(parent, &message);
    AfterDrop(point);
    return true;
}

void CFileDropTarget::HandleDragEnter(QWidget* window, QDragEnterEvent* event) {
    if (!m_registered || !OnDragEnter(window, event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(ChooseDropAction(event->possibleActions(), event->proposedAction()));
    event->accept();
}

void CFileDropTarget::HandleDragMove(QWidget* window, QDragMoveEvent* event) {
    if (!m_registered || window == nullptr || event->mimeData() == nullptr) {
        event->ignore();
        return;
    }
    event->setDropAction(ChooseDropAction(event->possibleActions(), event->proposedAction()));
    event->accept();
}

void CFileDropTarget::HandleDragLeave(QWidget* window, QDragLeaveEvent* event) {
    if (m_registered) {
        OnDragLeave(window);
    }
    event->accept();
}

void CFileDropTarget::HandleDrop(QWidget* window, QDropEvent* event) {
    if (!m_registered || !OnDrop(window, event->mimeData(), event->position().toPoint())) {
        event->ignore();
        return;
    }
    event->setDropAction(ChooseDropAction(event->possibleActions(), event->proposedAction()));
    event->accept();
}

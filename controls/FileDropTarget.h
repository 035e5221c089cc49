#pragma once

#include <QPoint>
#include <QString>
#include <Qt>

class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QWidget;

// Lets a control accept one file dragged from the desktop and report the
// drag to its parent widget as WM_SLOT_DRAGENTER, WM_SLOT_DRAGLEAVE and
// WM_SLOT_DROP (controls/SlotMessages.h), each sent synchronously.
//
// A control derives from its widget class first and from this second, and
// forwards its four drag event handlers to the Handle* functions below.
class CFileDropTarget {
public:
    CFileDropTarget() = default;
    virtual ~CFileDropTarget() = default;
    CFileDropTarget(const CFileDropTarget&) = delete;
    CFileDropTarget& operator=(const CFileDropTarget&) = delete;

    // Makes owner (the control itself) accept drops. Returns false for a
    // null owner, else true. Until it succeeds the target stays inert.
    [[nodiscard]] bool Register(QWidget* owner);

    // The number that identifies the control to its parent (the slot).
    void SetIndex(int index) { m_nIndex = index; }
    [[nodiscard]] int GetIndex() const { return m_nIndex; }

    // The drop action reported while a drag is over a registered control.
    // Copy whenever the source offers it: reporting a move would let a file
    // manager delete the user's sound file after the drop.
    [[nodiscard]] static Qt::DropAction ChooseDropAction(Qt::DropActions possible,
                                                         Qt::DropAction proposed);

    // The path a drop delivers: the full path when data holds exactly one
    // local file, else an empty string (no files, several files, text, a
    // remote URL).
    [[nodiscard]] static QString SingleLocalFile(const QMimeData* data);

protected:
    // Drag entered window: sends WM_SLOT_DRAGENTER to its parent (when it
    // has one). Returns false, sending nothing, for a null window or data.
    bool OnDragEnter(QWidget* window, const QMimeData* data);

    // The drag left window without a drop: sends WM_SLOT_DRAGLEAVE.
    void OnDragLeave(QWidget* window);

    // Data dropped on window at point: exactly one local file sends
    // WM_SLOT_DROP with its path; anything else shows message 109 and sends
    // WM_SLOT_DROP with an empty path. Returns false, sending nothing, for a
    // null window or data, no parent, or a single file with an empty path.
    bool OnDrop(QWidget* window, const QMimeData* data, QPoint point);

    // Runs after the parent has handled WM_SLOT_DROP; point in the control's
    // coordinates. The button shows its hover look here.
    virtual void AfterDrop(QPoint point) { (void)point; }

    // Event plumbing for the control's overrides of the drag handlers.
    void HandleDragEnter(QWidget* window, QDragEnterEvent* event);
    void HandleDragMove(QWidget* window, QDragMoveEvent* event);
    void HandleDragLeave(QWidget* window, QDragLeaveEvent* event);
    void HandleDrop(QWidget* window, QDropEvent* event);

    int m_nIndex = 0;

private:
    bool m_registered = false;
};

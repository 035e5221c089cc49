#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <Qt>

#include <functional>
#include <memory>

class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QWidget;

// Lets a control accept one file dragged from the desktop and report the
// drag through its Reports, which the control sets to emit its signals
// (connected directly, so each report is handled before the drag event
// returns).
//
// A control derives from its widget class first and from this second, sets
// its reports and registers itself: the target then takes the control's
// drag events (an event filter), so the control needs no drag handlers.
class FileDropTarget {
public:
    // The control's reports; each names the control by its index.
    struct Reports {
        std::function<void()> dragEntered;
        std::function<void()> dragLeft;
        // path: the dropped file's full path, empty when the drop did not
        // hold exactly one local file.
        std::function<void(const QString& path)> dropped;
        // Files dragged out of the sound browser (BrowserFilesFormat), one
        // or more, which fill rows from this one.
        std::function<void(const QStringList& paths)> filesDropped;
        // Runs after the drop was reported and handled; point in the
        // control's coordinates (may be empty).
        std::function<void(QPoint point)> afterDrop;
    };

    FileDropTarget();
    virtual ~FileDropTarget();
    FileDropTarget(const FileDropTarget&) = delete;
    FileDropTarget& operator=(const FileDropTarget&) = delete;

    // Makes owner (the control itself) accept drops and routes its drag
    // events here. Returns false for a null owner, else true. Until it
    // succeeds the target stays inert.
    [[nodiscard]] bool Register(QWidget* owner);
    void SetReports(Reports reports) { m_reports = std::move(reports); }

    // The number that identifies the control in its reports (the slot).
    void SetIndex(int index) { m_index = index; }
    [[nodiscard]] int GetIndex() const { return m_index; }

    // The drop action reported while a drag is over a registered control.
    // Copy whenever the source offers it: reporting a move would let a file
    // manager delete the user's sound file after the drop.
    [[nodiscard]] static Qt::DropAction ChooseDropAction(Qt::DropActions possible,
                                                         Qt::DropAction proposed);

    // The path a drop delivers: the full path when data holds exactly one
    // local file, else an empty string (no files, several files, text, a
    // remote URL).
    [[nodiscard]] static QString SingleLocalFile(const QMimeData* data);

    // The mark of a drag out of the sound browser (an empty payload beside
    // the file URLs): its files fill rows rather than being refused as
    // several files.
    static constexpr const char* BrowserFilesFormat = "application/x-gridlume-browser-files";
    // The local files of a drag that carries BrowserFilesFormat; empty
    // for any other drag.
    [[nodiscard]] static QStringList BrowserFiles(const QMimeData* data);

protected:
    // Drag entered window: reports it when window has a parent. Returns
    // false, reporting nothing, for a null window or data.
    bool OnDragEnter(QWidget* window, const QMimeData* data);

    // The drag left window without a drop: reports it.
    void OnDragLeave(QWidget* window);

    // Data dropped on window at point: files from the sound browser are
    // reported together; else exactly one local file is reported
    // with its path; anything else shows message 109 and is reported with an
    // empty path. Returns false, reporting nothing, for a null window or
    // data, no parent, or a single file with an empty path.
    bool OnDrop(QWidget* window, const QMimeData* data, QPoint point);

    // Event plumbing for the control's drag events.
    void HandleDragEnter(QWidget* window, QDragEnterEvent* event);
    void HandleDragMove(QWidget* window, QDragMoveEvent* event);
    void HandleDragLeave(QWidget* window, QDragLeaveEvent* event);
    void HandleDrop(QWidget* window, QDropEvent* event);

    int m_index = 0;

private:
    class EventRouter;

    Reports m_reports;
    std::unique_ptr<EventRouter> m_router;
    bool m_registered = false;
};

#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "app/RecordDialog.h"

class FillController;
class QMenu;
class QShortcut;
class WindowContext;

// "Record into row N..." of the context menu and Ctrl+R: a take recorded
// for the target row (RecordDialog) is loaded onto it as any file is, with
// its start at the first sound, as one undo step; the row refers to the
// kept take, so the profile brings it back at the next start.
class RecordController : public QObject {
    Q_OBJECT
public:
    RecordController(WindowContext& context, FillController& fill, QObject* parent = nullptr);
    ~RecordController() override;

    // Adds "Record into row N..." with its key.
    void AddMenuItems(QMenu& menu);
    // Shows the record dialog for the target row until it closes; false
    // when it did not open (the window is busy, closing or the row loads)
    // or closed without a take.
    bool RecordIntoTargetRow();

private:
    WindowContext& m_context;
    FillController& m_fill;
    std::unique_ptr<QShortcut> m_shortcut;
    RecordChoices m_choices;  // as the dialog was left last time
    bool m_showing = false;
};

#pragma once

#include <QObject>

#include <memory>

class BlockedCloseFilter;
class RowEditorDialog;
class SliceController;
class WindowContext;

// The row editor: opened on a loaded row (double-click on its label, or its
// context menu); after OK the row is loaded again with the chosen options.
class EditController : public QObject {
    Q_OBJECT
public:
    EditController(WindowContext& context, SliceController& slices, QObject* parent = nullptr);
    ~EditController() override;

    // False when the row is empty or it was not changed.
    bool EditRow(int slot);
    // The window manager asked to close the window while a dialog blocks
    // it: with the row editor up, the editor closes as Cancel and then the
    // window as its close button does (CloseAsked).
    void OnBlockedCloseRequest();

signals:
    void CloseAsked();

private:
    WindowContext& m_context;
    SliceController& m_slices;
    std::unique_ptr<BlockedCloseFilter> m_blockedClose;
    RowEditorDialog* m_rowEditor = nullptr;  // while EditRow runs it
    bool m_closeAfterEditor = false;
};

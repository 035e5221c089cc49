#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "core/SlotModel.h"

class PendingRowStep;
class QMenu;
class QShortcut;
class QUndoStack;
class RowHistory;
class RowStepScope;
class WindowContext;

// Undo and redo of the rows: the shortcuts, the context menu's items and
// the steps of changes (loads record theirs as their jobs end); and the
// way back to an earlier version of the rows' bank.
class HistoryController : public QObject {
    Q_OBJECT
public:
    explicit HistoryController(WindowContext& context, QObject* parent = nullptr);
    ~HistoryController() override;

    // Every change of the rows is one step; nothing is undone while row
    // jobs, a save or a bank's opening run. False when nothing was undone
    // or redone.
    bool UndoRowChange();
    bool RedoRowChange();
    [[nodiscard]] RowHistory& Rows() { return *m_history; }
    [[nodiscard]] const QUndoStack& Stack() const;

    // Row loads queued until the returned scope ends are one undo step
    // named text (inside another such scope: part of that one).
    [[nodiscard]] std::unique_ptr<RowStepScope> BeginRowStep(const QString& text);
    // The open step of a change of several rows, else a new one named text.
    [[nodiscard]] std::shared_ptr<PendingRowStep> RowStepFor(const QString& text);
    // Every row as it stands, for a change of all of them, and its step.
    [[nodiscard]] std::vector<RowState> TakeAllRows() const;
    void PushAllRows(const QString& text, std::vector<RowState> before, const QString& bankBefore);

    // Undo, Redo and Earlier versions... of the context menu.
    void AddUndoMenuItems(QMenu& menu);
    // "Earlier versions..." of the rows' bank: the copies kept of it; Open
    // there opens one as the bank itself (its name and card proposed),
    // through openCopy(copy, bank). False when no bank name is known or
    // nothing was opened.
    bool ShowEarlierVersions();
    void SetOpenCopy(std::function<bool(const QString&, const QString&)> openCopy);

private:
    // The name the rows' bank is kept under (its file name without ".glw"),
    // and its place on the card; empty when not known.
    [[nodiscard]] QString VersionsBankName() const;
    [[nodiscard]] QString VersionsCardBank(const QString& name) const;

    WindowContext& m_context;
    std::unique_ptr<RowHistory> m_history;
    std::shared_ptr<PendingRowStep> m_openStep;
    std::vector<std::unique_ptr<QShortcut>> m_undoShortcuts;
    std::function<bool(const QString&, const QString&)> m_openCopy;
};

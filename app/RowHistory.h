#pragma once

// Undo and redo of the rows. Every change of the rows (a load, a clear, a
// drop, the row editor's OK, a bank opened, levels matched, a row sliced
// across rows ...) becomes one step that keeps, for the rows it changed
// only, each row as it was before and after: its stored sound, path and
// options. Undo and redo put those rows back without reading any file, so
// a row comes back even when its file changed or went.

#include <QObject>
#include <QString>
#include <QUndoStack>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "core/SlotModel.h"

struct RowChange {
    int slot = -1;
    RowState before;
    RowState after;
};

// A change whose rows are stored one by one as their jobs end: each row
// is taken as it was just before its first store and as the last store
// left it. The step is pushed once every row expected has been stored, or
// when the history closes it (its other jobs were cancelled).
class PendingRowStep {
public:
    explicit PendingRowStep(QString text) : m_text(std::move(text)) {}
    [[nodiscard]] const QString& Text() const { return m_text; }

private:
    friend class RowHistory;
    QString m_text;
    std::vector<RowChange> m_rows;
    int m_outstanding = 0;
};

class RowHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxSteps = 100;
    static constexpr size_t MaxBytes = size_t{64} << 20;

    // openedBank: called with the bank the rows came from whenever a step
    // that changed it is undone or redone (may be empty).
    explicit RowHistory(SlotModel& model, std::function<void(const QString&)> openedBank = {},
                        size_t maxBytes = MaxBytes, QObject* parent = nullptr);
    ~RowHistory() override;

    [[nodiscard]] QUndoStack& Stack() { return m_stack; }
    [[nodiscard]] const QUndoStack& Stack() const { return m_stack; }
    // The memory the steps keep.
    [[nodiscard]] size_t Bytes() const;

    // Records a change already made, as one step named text ("clear row 3").
    // Rows that did not change are dropped; false when none changed. bank:
    // the bank the rows came from before and after, when the change set it.
    // Pending steps are closed first, so steps keep the order of changes.
    bool Push(const QString& text, std::vector<RowChange> changes);
    bool Push(const QString& text, std::vector<RowChange> changes, const QString& bankBefore,
              const QString& bankAfter);

    // A change made by row jobs: Begin names it, Expect counts each row job
    // queued for it, Stored gives the row as it was before that job's store
    // and after it.
    [[nodiscard]] static std::shared_ptr<PendingRowStep> Begin(const QString& text);
    void Expect(const std::shared_ptr<PendingRowStep>& step);
    void Stored(PendingRowStep& step, int slot, RowState before, RowState after);
    // Pushes what every pending step holds so far (their other jobs were
    // cancelled or are no longer awaited).
    void ClosePending();

    // Puts the rows back; false when there is nothing to undo or redo.
    bool Undo();
    bool Redo();

private:
    class Command;
    struct Step;
    bool PushChanges(const QString& text, std::vector<RowChange> changes, const QString& bankBefore,
                     const QString& bankAfter);
    void Close(PendingRowStep& step);
    // Drops the oldest steps until the memory bound holds (the newest
    // stays).
    void Trim();

    SlotModel& m_model;
    std::function<void(const QString&)> m_openedBank;
    size_t m_maxBytes;
    QUndoStack m_stack;
    std::vector<std::shared_ptr<PendingRowStep>> m_pending;  // in the order begun
};

// While it lives, the row jobs queued join step (kept in current); an outer
// step already open is kept, so a change made of other changes is one step.
class RowStepScope {
public:
    RowStepScope(std::shared_ptr<PendingRowStep>& current, std::shared_ptr<PendingRowStep> step)
        : m_current(current), m_previous(current) {
        if (!m_current) m_current = std::move(step);
    }
    ~RowStepScope() { m_current = std::move(m_previous); }
    RowStepScope(const RowStepScope&) = delete;
    RowStepScope& operator=(const RowStepScope&) = delete;

private:
    std::shared_ptr<PendingRowStep>& m_current;
    std::shared_ptr<PendingRowStep> m_previous;
};

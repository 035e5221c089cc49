#include "app/RowHistory.h"

#include <QUndoCommand>

#include <algorithm>
#include <utility>

struct RowHistory::Step {
    QString text;
    std::vector<RowChange> rows;  // only rows that changed
    bool setsBank = false;
    QString bankBefore;
    QString bankAfter;

    [[nodiscard]] size_t Bytes() const {
        size_t bytes = sizeof(Step);
        for (const RowChange& row : rows) bytes += row.before.Bytes() + row.after.Bytes();
        return bytes;
    }
};

// The stack's view of a step. The change is already made when it is
// pushed, so its first redo does nothing.
class RowHistory::Command final : public QUndoCommand {
public:
    Command(RowHistory& history, std::shared_ptr<const Step> step)
        : QUndoCommand(step->text), m_history(history), m_step(std::move(step)) {}

    void undo() override { Put(false); }
    void redo() override {
        if (m_pushed) {
            Put(true);
        } else {
            m_pushed = true;
        }
    }
    [[nodiscard]] const std::shared_ptr<const Step>& TheStep() const { return m_step; }

private:
    void Put(bool after) {
        for (const RowChange& row : m_step->rows)
            (void)m_history.m_model.PutRow(row.slot, after ? row.after : row.before);
        if (m_step->setsBank && m_history.m_openedBank)
            m_history.m_openedBank(after ? m_step->bankAfter : m_step->bankBefore);
    }

    RowHistory& m_history;
    std::shared_ptr<const Step> m_step;
    bool m_pushed = false;
};

RowHistory::RowHistory(SlotModel& model, std::function<void(const QString&)> openedBank,
                       size_t maxBytes, QObject* parent)
    : QObject(parent), m_model(model), m_openedBank(std::move(openedBank)), m_maxBytes(maxBytes) {
    m_stack.setUndoLimit(MaxSteps);
}

RowHistory::~RowHistory() = default;

size_t RowHistory::Bytes() const {
    size_t bytes = 0;
    for (int i = 0; i < m_stack.count(); ++i)
        bytes += static_cast<const Command*>(m_stack.command(i))->TheStep()->Bytes();
    return bytes;
}

bool RowHistory::Push(const QString& text, std::vector<RowChange> changes) {
    return Push(text, std::move(changes), QString(), QString());
}

bool RowHistory::Push(const QString& text, std::vector<RowChange> changes,
                      const QString& bankBefore, const QString& bankAfter) {
    ClosePending();
    return PushChanges(text, std::move(changes), bankBefore, bankAfter);
}

bool RowHistory::PushChanges(const QString& text, std::vector<RowChange> changes,
                             const QString& bankBefore, const QString& bankAfter) {
    auto step = std::make_shared<Step>();
    step->text = text;
    std::sort(changes.begin(), changes.end(),
              [](const RowChange& a, const RowChange& b) { return a.slot < b.slot; });
    for (RowChange& change : changes)
        if (!change.before.SameRow(change.after)) step->rows.push_back(std::move(change));
    step->setsBank = bankBefore != bankAfter;
    step->bankBefore = bankBefore;
    step->bankAfter = bankAfter;
    if (step->rows.empty() && !step->setsBank) return false;
    m_stack.push(new Command(*this, std::move(step)));
    Trim();
    return true;
}

void RowHistory::Trim() {
    if (Bytes() <= m_maxBytes || m_stack.count() < 2) return;
    // A stack drops its oldest command only by its step limit: it is built
    // again without the oldest steps. Right after a push nothing waits to
    // be redone, so every step stays done.
    std::vector<std::shared_ptr<const Step>> steps;
    for (int i = 0; i < m_stack.count(); ++i)
        steps.push_back(static_cast<const Command*>(m_stack.command(i))->TheStep());
    size_t bytes = 0;
    for (const auto& step : steps) bytes += step->Bytes();
    size_t first = 0;
    while (bytes > m_maxBytes && first + 1 < steps.size()) bytes -= steps[first++]->Bytes();
    m_stack.clear();
    for (size_t i = first; i < steps.size(); ++i) m_stack.push(new Command(*this, steps[i]));
}

std::shared_ptr<PendingRowStep> RowHistory::Begin(const QString& text) {
    return std::make_shared<PendingRowStep>(text);
}

void RowHistory::Expect(const std::shared_ptr<PendingRowStep>& step) {
    ++step->m_outstanding;
    // Held here until pushed: a step whose last job was cancelled still
    // keeps the rows its other jobs stored.
    if (std::find(m_pending.begin(), m_pending.end(), step) == m_pending.end())
        m_pending.push_back(step);
}

void RowHistory::Stored(PendingRowStep& step, int slot, RowState before, RowState after) {
    auto same = std::find_if(step.m_rows.begin(), step.m_rows.end(),
                             [slot](const RowChange& row) { return row.slot == slot; });
    if (same != step.m_rows.end()) {
        same->after = std::move(after);
    } else {
        step.m_rows.push_back({slot, std::move(before), std::move(after)});
    }
    if (step.m_outstanding > 0) --step.m_outstanding;
    if (step.m_outstanding > 0) return;
    Close(step);
    std::erase_if(m_pending, [&step](const auto& pending) { return pending.get() == &step; });
}

void RowHistory::Close(PendingRowStep& step) {
    step.m_outstanding = 0;
    (void)PushChanges(step.m_text, std::exchange(step.m_rows, {}), QString(), QString());
}

void RowHistory::ClosePending() {
    for (const auto& step : std::exchange(m_pending, {})) Close(*step);
}

bool RowHistory::Undo() {
    ClosePending();
    if (!m_stack.canUndo()) return false;
    m_stack.undo();
    return true;
}

bool RowHistory::Redo() {
    ClosePending();
    if (!m_stack.canRedo()) return false;
    m_stack.redo();
    return true;
}

#pragma once

#include <QObject>

#include "core/SlotModel.h"

class WindowContext;

// Keeps the panel's rows in step with the rows: their look (loaded,
// playing, busy, missing), their labels and tooltips, and the Save button.
class RowsView : public QObject, public SlotModelListener {
    Q_OBJECT
public:
    explicit RowsView(WindowContext& context, QObject* parent = nullptr);

    // Row looks, kept in step with the model (playing when it plays).
    bool SetRowState(int slot, bool loaded);
    bool SetPlayButtonState(int slot, bool playing);
    // Save button: enabled while a slot is loaded.
    void UpdateSaveButton();
    // Enables the row's controls unless a job of the row runs (or a bank
    // is being opened), and marks it.
    void UpdateRowControls(int slot);
    void UpdateAllRows();

    // The model's changes; from another thread they are posted to the
    // window's thread before any widget is touched.
    void SlotChanged(int slot, SlotChange change) override;

private:
    void SetSlotLabel(int slot);
    // A row cut from a file that other rows also hold (a slice, with its
    // length) is told apart by its number, 1 for the earliest start among
    // them; 0 for any other row.
    [[nodiscard]] int SliceNumber(int slot) const;
    [[nodiscard]] static QString BankOriginLine(const SlotFormat& format);

    WindowContext& m_context;
};

#pragma once

#include <QObject>

class WindowContext;

// "Slice across rows...": the window's side of the slice dialog.
class SliceController : public QObject {
    Q_OBJECT
public:
    explicit SliceController(WindowContext& context, QObject* parent = nullptr);

    // Fills consecutive rows with the slices of the row's file, asking
    // first when that replaces filled rows.
    bool SliceAcrossRows(int slot);

private:
    WindowContext& m_context;
};

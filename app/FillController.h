#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

#include "core/SlotModel.h"

class RowFilesFolder;
class WindowContext;

// Filling rows: the target row, files put on rows in natural order (from
// the open dialog, a folder or the sound browser), files dropped on rows,
// and rows dragged out of the window as files and back in.
class FillController : public QObject {
    Q_OBJECT
public:
    explicit FillController(WindowContext& context, QObject* parent = nullptr);

    // Connects the panel's rows: their buttons, labels and drops.
    void ConnectRows();

    // The row that Enter in the browser and pads make current; shown in the
    // panel. Slot 0 is the bottom row.
    [[nodiscard]] int TargetRow() const { return m_targetRow; }
    void SetTargetRow(int slot);
    // Up and Down move the target row; true for those keys.
    bool MoveTargetByKey(int key);
    // Puts files on rows upward from firstSlot (-1: the target row) in
    // natural order of their names, one question before filled rows are
    // replaced, a word when some do not fit; the target then moves to the
    // row after the last one filled. True when loading started.
    bool PutFilesOnRows(const QStringList& files, int firstSlot = -1);
    // "Fill rows from folder...": asks for a folder and puts its sound
    // files on rows from the target row.
    bool FillRowsFromFolder();
    [[nodiscard]] QString FillMenuText() const;
    // The row's load button: asks for a sound file with the file dialog and
    // loads it; several chosen fill rows from this one. False when none was
    // chosen.
    bool BrowseForSoundFile(int slot);

    // A filled row's label pressed writes the row, as made and marked, as a
    // WAV into a temporary folder on a worker (removed when the window
    // ends); dragging the label then carries that file. Empty until it is
    // written. Dropped on a row of this window, the file is kept in the
    // user's data folder and the row loads from there.
    [[nodiscard]] QString RowFileForDrag(int slot) const;
    // Removes the row folders that windows which died left behind.
    void RemoveStaleRowFiles();

signals:
    // A bank file (or a kit file) was dropped on a row.
    void BankDropped(const QString& path);

private:
    void OnFileDragEntered(int slot);
    void OnFileDragLeft(int slot);
    void OnFileDropped(int slot, const QString& path);
    void OnFilesDropped(int slot, const QStringList& files);
    // Shows once, when the fill's loads are done, the files the rows refused.
    void ReportFillRefusals(int firstSlot, const QStringList& files);
    void PrepareRowFile(int slot);
    // A row file of this window dropped on a row: copied on a worker into
    // the user's data folder and loaded from there. False for any other
    // file.
    bool KeepDroppedRowFile(int slot, const QString& path);
    void OnRowDragAsked(int slot);
    void StartRowDrag(int slot);

    WindowContext& m_context;
    int m_targetRow = 0;
    std::shared_ptr<RowFilesFolder> m_rowFilesFolder;  // where rows taken out go; made on use
    std::array<QString, SlotCount> m_rowFiles;         // written for a drag, by slot
    int m_dragWanted = -1;                             // a row dragged before its file was written
};

#pragma once

#include <QStringList>
#include <QTimer>
#include <QTreeView>

#include "controls/RepeatedKeyFilter.h"

class SoundListModel;

// The list of sound files of the browser's folder, over its own
// SoundListModel: its keys and drags are the browser's own. Letters and
// digits search the names as in any file list.
class SoundList : public QTreeView {
    Q_OBJECT
public:
    explicit SoundList(QWidget* parent = nullptr);

    // What a drag out of the list carries besides the files' URLs, so a
    // row can tell the browser's files from a desktop drop.
    static constexpr const char* BrowserFilesFormat = "application/x-gridlume-browser-files";

    // What moved the current row, while it moves.
    enum class Move {
        None,    // the program (a listing, the focus arriving)
        Fresh,   // a fresh press of a moving key, or a click
        Repeat,  // a held moving key's repeat
        Typing,  // a letter of the type-ahead search
    };
    [[nodiscard]] Move CurrentMove() const { return m_move; }
    // How long a released moving key waits for the repeat's press of the
    // same instant before the hold counts as over (X11 repeats come as a
    // release and a press with one timestamp).
    static constexpr int HoldEndGraceMs = 10;

    [[nodiscard]] SoundListModel& Files() const { return *m_files; }
    // The files listed (filtered ones too), in the list's order.
    [[nodiscard]] QStringList ListedFiles() const;
    // The selected files, in the list's order.
    [[nodiscard]] QStringList SelectedFiles() const;
    // The current row's file; empty for none.
    [[nodiscard]] QString CurrentFile() const;
    // Selects the file and makes it current (the program's move: nothing
    // plays). False when it is not shown.
    bool SelectFile(const QString& path);
    // Makes the first row current and selected, when nothing is selected.
    // False when nothing changed.
    bool SelectFirstIfNone();
    // Shows only the names holding text; what stays shown stays selected
    // and current. The rows shown change (ViewMoved).
    void SetFilter(const QString& text);

signals:
    void ReplayAsked();  // Right, Space
    void StopAsked();    // Left, Escape
    void EnterPressed();
    // A moving key held down (its repeats moved the current row) was let go.
    void HoldEnded();
    // The rows shown changed (scrolled, resized).
    void ViewMoved();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    SoundListModel* m_files = nullptr;
    Move m_move = Move::None;
    bool m_heldRepeated = false;
    KeyRepeats m_repeats;  // of the moving keys
    QTimer m_holdEnd;
};

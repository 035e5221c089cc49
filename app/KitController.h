#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>
#include <vector>

#include "core/SlotModel.h"
#include "kits/KitFile.h"

class QMenu;
class RollDialog;
struct KitRowsMade;
class WindowContext;

// Kits for other samplers and kits rolled from folders: "Export bank...",
// "Import kit..." (also a kit file dropped on the window) and "Roll rows
// from folders..." of the context menu. Files are read, scanned, made and
// written by jobs; an import and each roll are one undo step.
class KitController : public QObject {
    Q_OBJECT
public:
    explicit KitController(WindowContext& context, QObject* parent = nullptr);
    ~KitController() override;

    // A .sfz or .dspreset file.
    [[nodiscard]] static bool IsKitFile(const QString& path);

    void AddMenuItems(QMenu& menu);
    // Asks where and in which format, then exports the rows as a kit.
    bool ExportBank();
    // Writes the rows into folder as "NAME NN.wav" and, for Sfz and
    // Dspreset, NAME's kit file; asks before any file there is replaced.
    bool ExportBankTo(const QString& folder, const QString& name, KitFormat format);
    // Asks for a kit file (path empty) and puts its samples on the rows,
    // asking first when rows are filled. False when nothing started.
    bool ImportKit(const QString& path = {});
    // ImportKit(path) from the event loop (a drop's handler has returned).
    void ImportKitLater(const QString& path);
    // Shows "Roll rows from folders..." until it is closed.
    bool ShowRollDialog();
    // Draws a sound from each slot's folder for the slots chosen, never a
    // file another row holds, and puts them on the rows as one step.
    bool RollSlots(const std::vector<int>& chosen, const std::array<QString, SlotCount>& folders);

signals:
    // A roll's rows are in (or it failed); the dialog takes its controls back.
    void RollFinished();

private:
    void SetBusy(bool busy);
    void FinishImport(const QString& path, KitRowsMade made);
    void FinishRoll(std::vector<int> chosen, KitRowsMade made);

    WindowContext& m_context;
    std::unique_ptr<RollDialog> m_rollDialog;
    bool m_busy = false;
};

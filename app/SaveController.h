#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

class SaveBankDialog;
class WindowContext;

// The Save button: the save dialog, and the save it asks for on a worker
// (core/BankSave.h) while the rows and the button are disabled.
class SaveController : public QObject {
    Q_OBJECT
public:
    explicit SaveController(WindowContext& context, QObject* parent = nullptr);

    // Asks for the volume and name, then saves the bank: message 104 with
    // the reason when the save fails, and the dialog again with the name and
    // volume chosen; else the volume is remembered and the rows count as
    // that bank (the next save proposes it, its earlier versions are
    // listed).
    void OnSaveButton();
    // A save runs.
    [[nodiscard]] bool IsSaving() const;

    // "MMDDhmmss-VOICE" for the given local time: hour 0-9 as a digit,
    // 10-23 as a letter A-N. MakeDefaultBankName uses the clock.
    [[nodiscard]] static QString MakeBankName(const QDateTime& time);
    [[nodiscard]] static QString MakeDefaultBankName();

private:
    void ProposeSaveTarget(SaveBankDialog& dialog) const;
    // The save dialog (proposing name and volume when given) and the save
    // it asks for; a failed save comes back to it with the name kept.
    void RunSaveDialog(const QString& name, const QString& volume);
    // Rows and Save disabled and a busy cursor while a save runs.
    void SetSaving(bool saving);

    WindowContext& m_context;
};

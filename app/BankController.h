#pragma once

#include <QObject>
#include <QString>

class WindowContext;
struct CheckedBank;
struct MadeBankRows;

// Opening a voice bank into the 16 rows (from the menu, Ctrl+O, a drop,
// the command line or an earlier version): its file work on a worker while
// the rows are disabled and the cursor shows busy, the question before
// loaded rows are replaced, and the rows copied out of the bank.
class BankController : public QObject {
    Q_OBJECT
public:
    explicit BankController(WindowContext& context, QObject* parent = nullptr);

    // Opens the voice bank at path: a missing file shows message 113, a
    // file the checker refuses message 110 with its first problem, and
    // nothing changes; with rows loaded, message 111 asks first (Cancel
    // changes nothing). The rows are copied as row files into the user's
    // data folder (a failure: message 112, nothing changed) and every row
    // loads from its copy, empty bank rows cleared. Saves then propose the
    // bank's name and volume. While a dialog is open over the window or
    // another bank is opening, the request waits (OpenBankLater). True
    // when the opening started.
    bool OpenBankFile(const QString& path);
    // Opens the copy at path as OpenBankFile does, the saves then proposing
    // bank (its name and card) as if that had been opened.
    bool OpenBankCopy(const QString& path, const QString& bank);
    // A bank waits to be opened, or is being opened (its file work runs or
    // its question is up).
    [[nodiscard]] bool IsOpeningBank() const;
    // "Open bank..." and Ctrl+O: asks for a bank file and opens it, once the
    // folder the dialog starts in has been found.
    void OnOpenBank();
    // Opens path once the window has been shown (the command line's bank).
    void OpenBankWhenShown(const QString& path);
    // The window was shown for the first time.
    void OnShown();
    // Opens path from the event loop, after the caller has returned, and
    // only once no dialog is open over the window and no bank is opening;
    // of the requests waiting, only the last is kept.
    void OpenBankLater(const QString& path);

private:
    // Asks for a bank file, the dialog starting in start (the home folder
    // when empty); true with its path in out when one was chosen.
    bool BrowseForBankFile(const QString& start, QString& out);
    [[nodiscard]] bool CanOpenBankNow() const;
    void OpenPendingBank();
    void OnBankChecked(const QString& absolute, CheckedBank checked);
    void OnBankRowsMade(const QString& absolute, MadeBankRows made);

    static constexpr int PendingBankRetryMs = 100;
    WindowContext& m_context;
    QString m_bankToOpen;   // opened once shown
    QString m_pendingBank;  // the newest request to open a bank, waiting
    bool m_pendingBankPosted = false;
};

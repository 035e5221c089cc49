#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

#include "core/CardBanks.h"

class JobRunner;
class QWidget;
class SlotModel;

// The card view's writes and their questions: rename, duplicate and delete
// a bank, back up the whole card, restore a backup and compare the card
// with one. Each runs on a worker of the view's runner (core/CardBanks.h
// checks before every write that the card is still the one listed); a
// failure shows its reason in a box over the view, and Finished comes after
// each, so the view lists the card again.
class CardActions : public QObject {
    Q_OBJECT
public:
    // parent: the card view, over which the questions and boxes show.
    // model plays the rows of a kept copy. backupsRoot: where replaced and
    // removed banks are kept; cardBackupsRoot: where whole-card backups go.
    CardActions(QWidget& parent, SlotModel& model, JobRunner& jobs, std::string backupsRoot,
                std::string cardBackupsRoot);

    // Each asks what it needs (a new name, a confirmation, a backup), then
    // starts its write; false when nothing was started. names: the banks
    // listed on the card, for the question before one is replaced.
    bool RenameBank(const CardPlace& place, const QString& name, const QStringList& names);
    bool DuplicateBank(const CardPlace& place, const QString& name, const QStringList& names);
    bool DeleteBank(const CardPlace& place, const QString& name);
    // cardLabel names the backup's folder (the card's folder name when empty).
    bool BackUpCard(const CardPlace& place, const QString& cardLabel);
    // Both first list the backups (on a worker), then ask which one.
    bool RestoreCard(const CardPlace& place);
    bool CompareCard(const CardPlace& place);
    // "Earlier versions..." of a bank on this card, also one deleted: lists
    // the names copies are kept of (on a worker), asks which (selected
    // first; its file at selectedPath), then shows that bank's copies.
    bool ShowEarlierVersions(const CardPlace& place, const QString& selected,
                             const QString& selectedPath);

    // A write or a read of the backups runs, or its box is still to come.
    [[nodiscard]] bool IsRunning() const { return m_running; }

signals:
    // A write ended (reason empty when it did all it should), or a compare
    // was shown; the card should be listed again.
    void Finished(const QString& reason);
    // Open was chosen for a kept copy of the card's bank (its path on the
    // card); no Finished follows.
    void CopyOpenAsked(const QString& copy, const QString& bank);
    // A rename or duplicate made the bank name (before Finished).
    void BankWritten(const QString& name);
    // A write or read started: doing says what it does.
    void Started(const QString& doing);

private:
    [[nodiscard]] QString AskNewName(const QString& title, const QString& proposed,
                                     const QStringList& names, bool* replace);
    // doneId: a box that says it was done (0: none), with the folder of
    // what was written first.
    // newBank: the name of the bank it makes, for BankWritten.
    void RunWrite(const QString& doing, std::function<CardOutcome()> write, int doneId = 0,
                  const QString& newBank = {});
    // Lists the backups, asks for one, then runs chosen(folder).
    void ChooseBackup(const QString& title, std::function<void(const std::string&)> chosen);
    void SetRunning(bool running, const QString& doing);
    void ShowOutcome(const QString& reason);

    QWidget& m_parent;
    SlotModel& m_model;
    JobRunner& m_jobs;
    std::string m_backupsRoot;
    std::string m_cardBackupsRoot;
    bool m_running = false;
};

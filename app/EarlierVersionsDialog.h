#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "core/SlotModel.h"
#include "jobs/JobRunner.h"
#include "volumes/VolumeSource.h"

class QLabel;
class QListWidget;
class QPushButton;
struct VoiceBankImage;

// "Earlier versions...": the copies kept of a bank each time it was
// replaced, newest first, with their date, rows filled and the rows that
// differ from the bank on the card. A copy's rows play from the row list
// (without touching the slots); Open asks the window to open the copy into
// the rows, Restore to card writes it back over the card's bank after the
// replace question, keeping that bank first. Files are read and written on
// workers.
class EarlierVersionsDialog : public QDialog {
    Q_OBJECT
public:
    // Returned by exec when Open was chosen; ChosenCopy() names the copy.
    static constexpr int OpenAsked = 2;

    // name: the bank's file name without ".glw"; cardBank: the bank on the
    // card (empty: none known, restore is off); backupsRoot: where the
    // copies are kept. model plays the rows and must outlive the dialog.
    EarlierVersionsDialog(SlotModel& model, QString name, QString cardBank, std::string backupsRoot,
                          QWidget* parent = nullptr);
    ~EarlierVersionsDialog() override;

    struct Version {
        std::string path;
        QString text;                                 // date, rows filled, rows that differ
        std::shared_ptr<const VoiceBankImage> image;  // null: unreadable or damaged
    };

    [[nodiscard]] const QString& ChosenCopy() const { return m_chosen; }
    [[nodiscard]] bool IsListed() const { return m_listed; }
    [[nodiscard]] const std::vector<Version>& Versions() const { return m_versions; }
    [[nodiscard]] QListWidget* VersionList() const { return m_list; }
    [[nodiscard]] QListWidget* RowList() const { return m_rows; }
    // Plays row (0 ... 15) of the selected copy; false when it is empty.
    bool PlayRow(int row);
    // Restore to card, after the replace question.
    void RestoreSelected();
    // The card the bank is on, as it was listed: a restore then writes
    // nothing once that card was pulled (its mount folder is no card).
    void SetCardVolume(const VolumeIdentity& volume) { m_cardVolume = volume; }

signals:
    // The listing is in (again, after a restore).
    void Listed();
    // A restore ended; reason is empty when it succeeded.
    void Restored(const QString& reason);

private:
    void List();
    void ShowVersions(std::vector<Version> versions);
    void ShowRows();
    [[nodiscard]] const Version* Selected() const;

    SlotModel& m_model;
    QString m_name;
    QString m_cardBank;
    bool m_cardHasBank = true;  // as the last listing found; asks until then
    std::string m_backupsRoot;
    VolumeIdentity m_cardVolume;  // root empty: not known, not checked
    std::vector<Version> m_versions;
    bool m_listed = false;
    QString m_chosen;
    QLabel* m_status = nullptr;
    QListWidget* m_list = nullptr;
    QListWidget* m_rows = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_restore = nullptr;
    JobRunner m_jobs;  // last: its work ends before the rest goes
};

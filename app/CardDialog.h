#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "core/CardBanks.h"
#include "jobs/JobRunner.h"
#include "volumes/VolumeSource.h"

class CardActions;
class CardRowList;
class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;
class SlotModel;

// Where the card view keeps what it takes off the card, and the volume it
// chooses first.
struct CardFolders {
    std::string backupsRoot;      // the kept copies of replaced and removed banks
    std::string cardBackupsRoot;  // the whole-card backups
    std::string volume;           // a volume's root (empty or not listed: the first volume)
};

// "Card...": the volumes as the save dialog lists them (cards first) and,
// for the chosen one, every bank in its bank folder with its name, rows
// filled, size and date, damaged ones with the checker's reason, and the
// card's free space against the space the banks take. A selected bank's 16
// rows show with their lengths and play at once without the bank being
// opened; Open asks the window to open it. The writes (rename, duplicate,
// delete, back up, restore, compare) are CardActions'. Every read of the
// card runs on a worker; the listing comes again after each write.
class CardDialog : public QDialog {
    Q_OBJECT
public:
    // Returned by exec when Open was chosen; ChosenBank() names the bank.
    static constexpr int OpenAsked = 2;

    // model plays the rows, volumes lists the volumes; both must outlive
    // the dialog.
    CardDialog(SlotModel& model, const VolumeSource& volumes, CardFolders folders,
               QWidget* parent = nullptr);
    ~CardDialog() override;

    // Lists the volumes again (keeping the chosen one when it is still
    // there), then its banks.
    void Refresh();
    // The volumes and the chosen volume's banks are listed and no read runs.
    [[nodiscard]] bool IsListed() const { return m_listed; }
    [[nodiscard]] const CardBank* SelectedBank() const;
    // The chosen volume as listed, for a write (root empty: none chosen).
    [[nodiscard]] CardPlace Place() const;
    [[nodiscard]] QString ChosenBank() const { return m_chosen; }
    // When a kept copy was chosen (ChosenBank), the card's bank it is a copy
    // of; else empty.
    [[nodiscard]] QString ChosenCopyOf() const { return m_chosenCopyOf; }
    // The root of the volume chosen last.
    [[nodiscard]] const std::string& ChosenVolume() const { return m_chosenRoot; }

    [[nodiscard]] CardActions& Actions() { return *m_actions; }
    [[nodiscard]] QListWidget* VolumeList() const { return m_volumeList; }
    [[nodiscard]] QTreeWidget* BankList() const { return m_bankList; }
    [[nodiscard]] CardRowList* RowList() const { return m_rowList; }

    // Not while a write runs: its outcome is still to be shown.
    void reject() override;

signals:
    // The listing is in (again).
    void Listed();

protected:
    // A held Enter or Escape acts once.
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct ListedVolume {
        Volume volume;
        VolumeIdentity identity;
    };
    void BuildControls();
    void ShowVolumes(std::vector<ListedVolume> volumes);
    void ListBanks();
    void ShowBanks(CardListing listing);
    // The selected bank's rows, or why it is damaged.
    void ShowBank();
    void UpdateButtons();

    SlotModel& m_model;
    const VolumeSource& m_volumes;
    CardFolders m_folders;
    std::vector<ListedVolume> m_listedVolumes;  // entry i belongs to list item i
    std::string m_chosenRoot;                   // the volume chosen last
    CardListing m_listing;
    bool m_listed = false;
    bool m_volumesListed = false;
    QString m_chosen;
    QString m_chosenCopyOf;
    QString m_listingText;  // what the status says of the listing
    QString m_selectName;   // the bank a write made, selected once listed
    QLabel* m_status = nullptr;
    QLabel* m_space = nullptr;
    QListWidget* m_volumeList = nullptr;
    QTreeWidget* m_bankList = nullptr;
    CardRowList* m_rowList = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_close = nullptr;
    std::vector<QPushButton*> m_bankButtons;  // rename, duplicate, delete, earlier versions
    std::vector<QPushButton*> m_cardButtons;  // back up, restore, compare, refresh
    JobRunner m_jobs;
    std::unique_ptr<CardActions> m_actions;  // after the runner it uses: it goes first
};

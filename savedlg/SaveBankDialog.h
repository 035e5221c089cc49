#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "volumes/VolumeSource.h"

class FileNameEdit;
class JobRunner;
class QListWidget;
class QPushButton;
struct DialogItem;

// The "FileSave" dialog: the user picks a volume and names the voice bank.
// exec() returns Accepted only after a successful Save, else Rejected.
// A successful Save makes sure the volume's gridlume folder exists, builds
// the bank's path (root + "gridlume/" + name + ".glw") and asks before
// anything standing there is replaced. It writes no bank itself.
//
// Keys: Enter in the volume list or the name edit saves, Enter on Cancel
// cancels, Enter on Save clicks it, Escape cancels; no other Enter closes
// it. It opens with the focus in the name edit, its text selected, so a
// name typed at once replaces the proposed one. Save is disabled while no
// volume is selected. It has no close box.
//
// The volumes are listed, and the card looked at before a save, on a
// worker of the runner given: a slow or pulled card never stalls the
// window. A Save asked for while the volumes are being listed goes ahead
// once they are.
class SaveBankDialog : public QDialog {
    Q_OBJECT
public:
    // A dialog over the machine's mounted volumes.
    explicit SaveBankDialog(JobRunner& jobs, QWidget* parent = nullptr);
    // A dialog over the volumes of source, which must outlive the work of
    // jobs.
    SaveBankDialog(const VolumeSource& source, JobRunner& jobs, QWidget* parent = nullptr);
    ~SaveBankDialog() override;

    // The name the edit shows when the dialog opens (shown as given, not
    // cleaned or cut; the user's first change cleans it).
    void SetFileName(const QString& name) { m_fileName = name; }
    // The root (ending in '/') to preselect; it must equal a listed root
    // exactly, case included, or nothing is selected. Empty selects the
    // first volume.
    void SetVolume(const QString& root) { m_volume = root; }
    // A root preselected before the one SetVolume gives, when it is listed
    // (exactly, as with SetVolume).
    void SetPreferredVolume(const QString& root) { m_preferredVolume = root; }

    // The bank's full path, built at the last Save attempt.
    [[nodiscard]] QString GetFilePath() const { return m_filePath; }
    // The chosen volume's root, as of the last Save attempt (or as preset).
    [[nodiscard]] QString GetVolume() const { return m_volume; }
    // The chosen volume as it was when listed, for the check just before
    // the bank is written.
    [[nodiscard]] const VolumeIdentity& GetVolumeIdentity() const { return m_identity; }

    // The volumes are being listed or the card looked at.
    [[nodiscard]] bool IsBusy() const { return m_listing || m_looking; }

    // Fills the dialog whenever it is about to be shown (exec, open, show);
    // hiding it drops the work still running for it.
    void setVisible(bool visible) override;
    // The platform's OK does nothing: only a successful Save closes with OK.
    void accept() override {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    QWidget* CreateItem(const DialogItem& item, const QString& text);
    struct ListedVolume;
    struct CardLook;

    void FillControls();
    void ListVolumes();
    void ShowVolumes(std::vector<ListedVolume> listed);
    void OnSave();
    void OnCardLooked(const CardLook& look, const QString& folder, const QString& path);
    // A busy cursor over the dialog while it lists or looks.
    void UpdateCursor();
    [[nodiscard]] int SelectedVolumeItem() const;

    // Shared with the listing jobs, which may outlive the dialog.
    std::shared_ptr<const VolumeSource> m_source;
    JobRunner& m_jobs;
    bool m_listing = false;
    bool m_looking = false;
    bool m_saveWhenListed = false;

    QString m_fileName;
    QString m_volume;
    QString m_preferredVolume;
    QString m_filePath;
    QStringList m_volumeRoots;                 // entry i belongs to list item i
    std::vector<VolumeIdentity> m_identities;  // likewise
    VolumeIdentity m_identity;

    // Children, owned by the dialog.
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    FileNameEdit* m_nameEdit = nullptr;
    QListWidget* m_volumeList = nullptr;
};

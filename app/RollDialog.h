#pragma once

#include <QDialog>
#include <QString>

#include <array>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;

// "Roll rows from folders...": a folder per row (or one for all), a lock
// per row, and a roll of one row or of every row not locked. It asks its
// controller to roll (RollAsked) and waits, its buttons off, until told
// the rows are in (SetRolling(false)).
class RollDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int Rows = 16;

    explicit RollDialog(QWidget* parent = nullptr);

    [[nodiscard]] const std::array<QString, Rows>& Folders() const { return m_folders; }
    void SetFolder(int slot, const QString& folder);
    void SetFolderForAll(const QString& folder);
    [[nodiscard]] bool IsLocked(int slot) const;
    void SetLocked(int slot, bool locked);
    // The rows Roll all rolls: each with a folder and not locked.
    [[nodiscard]] std::vector<int> RowsToRoll() const;
    void SetRolling(bool rolling);

signals:
    void RollAsked(const std::vector<int>& chosen);

private:
    void ChooseFolder(int slot);  // -1: one folder for all
    void UpdateButtons();

    std::array<QString, Rows> m_folders;
    std::array<QLabel*, Rows> m_folderLabels{};
    std::array<QCheckBox*, Rows> m_locks{};
    std::array<QPushButton*, Rows> m_rollOne{};
    QPushButton* m_rollAll = nullptr;
    bool m_rolling = false;
};

#pragma once

#include <QLineEdit>
#include <QStringList>

class SoundList;

// The browser's filter: what is typed narrows the sound list to the names
// holding it, Enter hands on the selected files (the first match when none
// is selected), and Down or Page Down goes on into the list.
class SoundFilterEdit : public QLineEdit {
    Q_OBJECT
public:
    // list must outlive the filter.
    explicit SoundFilterEdit(SoundList& list, QWidget* parent = nullptr);

signals:
    // Enter, with the files chosen.
    void FilesChosen(const QStringList& files);
    // Down took the focus into a list with nothing selected: its first
    // file is now selected.
    void FirstFileSelected();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    SoundList& m_list;
};

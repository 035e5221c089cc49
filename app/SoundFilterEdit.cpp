#include "app/SoundFilterEdit.h"

#include <QKeyEvent>

#include "app/SoundList.h"
#include "app/SoundListModel.h"

SoundFilterEdit::SoundFilterEdit(SoundList& list, QWidget* parent)
    : QLineEdit(parent), m_list(list) {
    setAccessibleName(tr("Filter sound files"));
    setPlaceholderText(tr("Filter"));
    setClearButtonEnabled(true);
    connect(this, &QLineEdit::textChanged, &m_list, &SoundList::SetFilter);
    connect(this, &QLineEdit::returnPressed, this, [this] {
        // Nothing selected: the first file that matches.
        (void)m_list.SelectFirstIfNone();
        const QStringList files = m_list.SelectedFiles();
        if (!files.isEmpty()) emit FilesChosen(files);
    });
}

void SoundFilterEdit::keyPressEvent(QKeyEvent* event) {
    // Down (or Page Down) goes on into the files it left.
    if ((event->key() == Qt::Key_Down || event->key() == Qt::Key_PageDown) &&
        event->modifiers() == Qt::NoModifier && m_list.Files().rowCount({}) > 0) {
        m_list.setFocus(Qt::TabFocusReason);
        if (m_list.SelectFirstIfNone()) emit FirstFileSelected();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

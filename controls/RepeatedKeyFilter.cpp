#include "controls/RepeatedKeyFilter.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace {

bool IsEnterKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// Keys that confirm or close a dialog: a repeat of one that closed a dialog
// would otherwise act on the window beneath.
bool IsClosingKey(int key) { return IsEnterKey(key) || key == Qt::Key_Escape; }

}  // namespace

quint32 KeyRepeats::KeyOf(const QKeyEvent& event) const {
    if (m_same == SameKey::ByPosition && event.nativeScanCode() != 0) return event.nativeScanCode();
    return static_cast<quint32>(event.key());
}

void KeyRepeats::NoteRelease(const QKeyEvent& release) {
    m_lastRelease[KeyOf(release)] = release.timestamp();
}

bool KeyRepeats::IsRepeat(const QKeyEvent& press) const {
    if (press.isAutoRepeat()) return true;
    const auto found = m_lastRelease.find(KeyOf(press));
    return found != m_lastRelease.end() && press.timestamp() != 0 &&
           found->second == press.timestamp();
}

bool RepeatedKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const bool watchedKey =
            IsClosingKey(key->key()) ||
            (key->key() == Qt::Key_Space && qobject_cast<QAbstractButton*>(watched) != nullptr);
        if (type == QEvent::KeyRelease &&
            (IsClosingKey(key->key()) || key->key() == Qt::Key_Space)) {
            m_repeats.NoteRelease(*key);
        } else if (type == QEvent::KeyPress && watchedKey && IsRepeat(*key)) {
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

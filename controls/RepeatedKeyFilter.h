#pragma once

#include <QObject>

#include <map>

class QKeyEvent;

// Tells a held key's repeats from fresh presses. Qt marks only some repeats
// as such under X11: a repeat comes as a release and a press with the same
// timestamp, and Qt sees the pair only when both are already queued. So a
// press whose timestamp equals that of the same key's last release counts
// as a repeat as well.
class KeyRepeats {
public:
    // Which presses are "the same key": by Qt key, or by position (the
    // native scan code, the Qt key where the platform gives none).
    enum class SameKey { ByKey, ByPosition };
    explicit KeyRepeats(SameKey same = SameKey::ByKey) : m_same(same) {}

    void NoteRelease(const QKeyEvent& release);
    [[nodiscard]] bool IsRepeat(const QKeyEvent& press) const;

private:
    [[nodiscard]] quint32 KeyOf(const QKeyEvent& event) const;

    SameKey m_same;
    std::map<quint32, quint64> m_lastRelease;  // key -> timestamp of its last release
};

// Installed on the application: swallows the auto-repeated presses of a
// held Enter, Return or Escape everywhere, and of a held Space on buttons,
// so a held key confirms, closes or clicks at most once, and a repeat that
// began in one dialog never confirms or closes the window beneath.
//
// Qt marks only some repeats as such under X11: a repeat comes as a release
// and a press with the same timestamp, and Qt sees the pair only when both
// are already queued. So a press whose timestamp equals that of the same
// key's last release counts as a repeat as well.
class RepeatedKeyFilter : public QObject {
    Q_OBJECT
public:
    explicit RepeatedKeyFilter(QObject* parent = nullptr) : QObject(parent) {}

    // True for a press of key that repeats a held key.
    [[nodiscard]] bool IsRepeat(const QKeyEvent& press) const { return m_repeats.IsRepeat(press); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyRepeats m_repeats;
};

#pragma once

#include <QObject>

#include <map>

class QKeyEvent;

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
    [[nodiscard]] bool IsRepeat(const QKeyEvent& press) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::map<int, quint64> m_lastRelease;  // key -> timestamp of its last release
};

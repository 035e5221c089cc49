#pragma once

#include <QObject>

#include <array>
#include <csignal>
#include <memory>

class QSocketNotifier;

// Turns SIGTERM, SIGHUP and SIGINT into the Received signal on the thread
// that made this object (the GUI thread). The signal handler only writes
// one byte to a socket pair; a socket notifier reads it in the event loop.
// A signal ignored when the program started (nohup) stays ignored. One
// object at a time; its destruction puts the former handlers back.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the socket pair or a handler could not be set up; the
    // signals then end the process as they would without this object.
    [[nodiscard]] bool IsActive() const { return m_active; }

signals:
    void Received(int signalNumber);

private:
    void OnReadable();

    std::unique_ptr<QSocketNotifier> m_notifier;
    std::array<struct sigaction, 3> m_previous{};
    std::array<bool, 3> m_installed{};
    bool m_active = false;
};

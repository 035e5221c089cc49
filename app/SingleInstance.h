#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

// One copy per user: the first copy holds a lock file in the user's runtime
// folder and listens on a local socket beside it; a later copy finds the
// lock taken, asks the first copy through the socket to come to the front
// and ends. A crashed copy's lock is recognised by its dead process and
// taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the lock's and socket's name; runtimeDir: the folder for both.
    SingleInstance(const QString& runtimeDir, const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock and starts listening. Returns true for the first
    // copy, false when another copy holds the lock or the lock cannot be
    // made (treated the same way).
    [[nodiscard]] bool TryBecomeFirst();

    // From a later copy: asks the first copy to come forward, handing on the
    // desktop's activation token (may be empty) and the absolute path of a
    // bank to open (may be empty; one too long to send is left out). Waits
    // at most timeoutMs in all. Returns true when the request was delivered.
    bool AskFirstToComeForward(const QString& activationToken, int timeoutMs = 2000,
                               const QString& bankPath = QString()) const;

    [[nodiscard]] QString SocketPath() const;
    [[nodiscard]] QString LockPath() const;

signals:
    // A later copy asked this one to come forward.
    void ComeForwardRequested(const QString& activationToken);
    // The same request named a bank to open (after ComeForwardRequested).
    void OpenBankRequested(const QString& path);

private:
    void OnNewConnection();
    void HandleRequest(const QByteArray& request);

    QString m_dir;
    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};

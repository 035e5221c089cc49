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
// taken over. A connection that sends no whole request soon is closed.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the lock's and socket's name; runtimeDir: the folder for both.
    SingleInstance(const QString& runtimeDir, const QString& name, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Role {
        First,  // the lock is taken; ListenProblem() says when later copies cannot call
        Later,  // another live copy holds the lock
        Alone,  // no lock can be made here (LockProblem() says why): run without one
    };
    // Takes the lock and starts listening.
    [[nodiscard]] Role TryBecomeFirst();
    // Why the lock could not be made, or why this copy does not listen;
    // empty when it could, or does.
    [[nodiscard]] const QString& LockProblem() const { return m_lockProblem; }
    [[nodiscard]] const QString& ListenProblem() const { return m_listenProblem; }

    // From a later copy: asks the first copy to come forward, handing on the
    // desktop's activation token (may be empty) and the absolute path of a
    // bank to open (may be empty; one too long to send is left out), or
    // else of a folder to browse. Waits at most timeoutMs in all. Returns
    // true when the request was delivered.
    bool AskFirstToComeForward(const QString& activationToken, int timeoutMs = 2000,
                               const QString& bankPath = QString(),
                               const QString& browseFolder = QString()) const;

    [[nodiscard]] QString SocketPath() const;
    [[nodiscard]] QString LockPath() const;

signals:
    // A later copy asked this one to come forward.
    void ComeForwardRequested(const QString& activationToken);
    // The same request named a bank to open (after ComeForwardRequested).
    void OpenBankRequested(const QString& path);
    // The same request named a folder to browse instead.
    void BrowseRequested(const QString& folder);

private:
    void OnNewConnection();
    // Why a local socket cannot be bound or reached at path; empty when it can.
    [[nodiscard]] static QString SocketPathProblem(const QString& path);
    void HandleRequest(const QByteArray& request);

    QString m_dir;
    QString m_name;
    QString m_lockProblem;
    QString m_listenProblem;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};

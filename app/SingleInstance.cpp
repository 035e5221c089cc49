#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <memory>

#include <sys/un.h>

namespace {

// A request: "come-forward", the activation token, and from newer copies a
// third line "open " with the bank's path percent-encoded, or "browse " with
// a folder's. Copies that know only two lines act on the first two and
// ignore the rest; those that know only "open " ignore "browse ".
constexpr char RequestLine[] = "come-forward";
constexpr char OpenPrefix[] = "open ";
constexpr char BrowsePrefix[] = "browse ";
constexpr qint64 MaxTokenBytes = 1024;     // a token is far shorter
constexpr qint64 MaxPathBytes = 4096;      // PATH_MAX
constexpr qint64 MaxRequestBytes = 16384;  // all three lines, the path encoded
// A later copy sends its request at once; a connection idle longer, or one
// beyond the limit, is some other program's and is closed.
constexpr int IdleConnectionMs = 2000;
constexpr int MaxConnections = 32;
constexpr int RetryMs = 50;

}  // namespace

SingleInstance::SingleInstance(const QString& runtimeDir, const QString& name, QObject* parent)
    : QObject(parent), m_dir(runtimeDir), m_name(name) {
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::LockPath() const {
    return QDir(m_dir).filePath(m_name + QStringLiteral(".lock"));
}

QString SingleInstance::SocketPath() const {
    return QDir(m_dir).filePath(m_name + QStringLiteral(".socket"));
}

QString SingleInstance::SocketPathProblem(const QString& path) {
    // sockaddr_un holds 108 bytes with the closing NUL.
    constexpr qsizetype SocketPathBytes = sizeof(sockaddr_un{}.sun_path);
    if (QFile::encodeName(path).size() >= SocketPathBytes)
        return QStringLiteral(
                   "the socket path %1 is longer than the %2 bytes a local socket "
                   "allows")
            .arg(path)
            .arg(SocketPathBytes - 1);
    return {};
}

SingleInstance::Role SingleInstance::TryBecomeFirst() {
    m_lockProblem.clear();
    m_listenProblem.clear();
    if (m_dir.isEmpty()) {
        m_lockProblem = QStringLiteral("the platform names no runtime folder for this user");
        return Role::Alone;
    }
    const QFileInfo lockInfo(LockPath());
    if (lockInfo.exists() && !lockInfo.isFile()) {
        m_lockProblem = QStringLiteral("%1 is not a file").arg(LockPath());
        return Role::Alone;
    }
    auto lock = std::make_unique<QLockFile>(LockPath());
    // A live copy's lock never goes stale; a dead copy's is taken over.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError) return Role::Later;
        m_lockProblem = QStringLiteral("%1 cannot be made").arg(LockPath());
        return Role::Alone;
    }
    m_lock = std::move(lock);
    m_listenProblem = SocketPathProblem(SocketPath());
    if (!m_listenProblem.isEmpty()) return Role::First;
    // A socket left by a crashed copy would block listening.
    QLocalServer::removeServer(SocketPath());
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(SocketPath()))
        m_listenProblem = SocketPath() + QStringLiteral(": ") + m_server.errorString();
    return Role::First;
}

bool SingleInstance::AskFirstToComeForward(const QString& activationToken, int timeoutMs,
                                           const QString& bankPath,
                                           const QString& browseFolder) const {
    const QDeadlineTimer deadline(timeoutMs);
    if (!SocketPathProblem(SocketPath()).isEmpty()) return false;
    QLocalSocket socket;
    // The first copy listens just after taking the lock: a start in between
    // tries again until the deadline.
    for (;;) {
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
        if (deadline.remainingTime() < RetryMs) return false;
        QThread::msleep(RetryMs);
    }
    QByteArray request(RequestLine);
    request += '\n';
    request += activationToken.toUtf8().left(MaxTokenBytes).replace('\n', ' ');
    request += '\n';
    const bool bank = !bankPath.isEmpty();
    const QByteArray path = QFile::encodeName(bank ? bankPath : browseFolder);
    if (!path.isEmpty() && path.size() < MaxPathBytes) {
        request += bank ? OpenPrefix : BrowsePrefix;
        request += path.toPercentEncoding();
        request += '\n';
    }
    socket.write(request);
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(static_cast<int>(deadline.remainingTime()));
    }
    return true;
}

void SingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        // The server owns its connections until they are deleted.
        if (m_server.findChildren<QLocalSocket*>().size() > MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Acted on once: at the third line, or at the end of a two-line
        // request from an older copy.
        auto handled = std::make_shared<bool>(false);
        QTimer::singleShot(IdleConnectionMs, socket, [socket, handled] {
            *handled = true;
            socket->abort();
            socket->deleteLater();
        });
        const auto take = [this, socket, handled](bool atEnd) {
            if (*handled) return;
            if (socket->bytesAvailable() > MaxRequestBytes) {
                *handled = true;
                socket->abort();
                return;
            }
            const QByteArray pending = socket->peek(MaxRequestBytes);
            const qsizetype lines = pending.count('\n');
            if (lines < 3 && !(atEnd && lines >= 2)) return;
            *handled = true;
            HandleRequest(socket->readAll());
        };
        connect(socket, &QLocalSocket::readyRead, this, [take] { take(false); });
        connect(socket, &QLocalSocket::disconnected, this, [take] { take(true); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void SingleInstance::HandleRequest(const QByteArray& request) {
    const QList<QByteArray> lines = request.split('\n');
    if (lines.value(0) != RequestLine) return;
    emit ComeForwardRequested(QString::fromUtf8(lines.value(1)));
    const QByteArray third = lines.value(2);
    const bool open = third.startsWith(OpenPrefix);
    if (!open && !third.startsWith(BrowsePrefix)) return;
    const qsizetype prefix = qsizetype(open ? sizeof OpenPrefix : sizeof BrowsePrefix) - 1;
    const QByteArray path = QByteArray::fromPercentEncoding(third.mid(prefix));
    if (path.isEmpty() || path.size() >= MaxPathBytes || !path.startsWith('/') ||
        path.contains('\0'))
        return;
    if (open) {
        emit OpenBankRequested(QFile::decodeName(path));
    } else {
        emit BrowseRequested(QFile::decodeName(path));
    }
}

#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>

namespace {

constexpr char RequestLine[] = "come-forward";
constexpr qint64 MaxRequestBytes = 4096;  // a token is far shorter

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

bool SingleInstance::TryBecomeFirst() {
    if (m_dir.isEmpty()) return false;
    auto lock = std::make_unique<QLockFile>(LockPath());
    // A live copy's lock never goes stale; a dead copy's is taken over.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) return false;
    m_lock = std::move(lock);
    // A socket left by a crashed copy would block listening.
    QLocalServer::removeServer(SocketPath());
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    (void)m_server.listen(SocketPath());  // without it this copy just cannot be called forward
    return true;
}

bool SingleInstance::AskFirstToComeForward(const QString& activationToken, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) return false;
    QByteArray request(RequestLine);
    request += '\n';
    request += activationToken.toUtf8();
    request += '\n';
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
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > MaxRequestBytes) {
                socket->abort();
                return;
            }
            // Act once both lines are in.
            const QByteArray pending = socket->peek(MaxRequestBytes);
            if (pending.count('\n') < 2) return;
            const QList<QByteArray> lines = socket->readAll().split('\n');
            if (lines.value(0) != RequestLine) return;
            emit ComeForwardRequested(QString::fromUtf8(lines.value(1)));
        });
    }
}

#include "OneInst.h"
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>

namespace za {

namespace {

const QByteArray kLocate = "locate\n";
const QByteArray kExist = "exist\n";
constexpr int kMaxRequest = 64;       // a request longer than this is not ours
constexpr int kClientGraceMs = 2000;  // a client that says nothing is dropped after this

// Per-user folder shared by all instances of this user; the same for every
// instance, so they all find the same lock and socket.
QString GuardFolder() {
    static const QString folder = [] {
        QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (dir.isEmpty() || !QDir(dir).exists()) dir = QDir::tempPath();
        return dir;
    }();
    return folder;
}

QString FileSafe(QString name) {
    name.replace('/', '_');
    name.replace('\\', '_');
    return name;
}

} // namespace

QString TOneInst::LockFilePath(const QString& name) {
    return GuardFolder() + "/" + FileSafe(name) + "_MUTEX";
}

QString TOneInst::ServerName(const QString& name) {
    QString path = GuardFolder() + "/LOCATE_" + FileSafe(name);
    // A local socket path is limited to about 107 bytes; a long name (such as
    // one made from a deep executable path) is shortened to a hash.
    if (path.toLocal8Bit().size() > 100) {
        const QByteArray h = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(24);
        path = GuardFolder() + "/LOCATE_" + QString::fromLatin1(h);
        if (path.toLocal8Bit().size() > 100) path = QDir::tempPath() + "/LOCATE_" + QString::fromLatin1(h);
    }
    return path;
}

TOneInst::TOneInst(const QString& name, QObject* parent) : QObject(parent), name_(name) {
    if (name_.isEmpty()) {
        name_ = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString("zentrellapp");
        name_.replace('/', '_');
    }

    lock_ = std::make_unique<QLockFile>(LockFilePath(name_));
    // Never stale by age: only a lock whose owner process is gone is taken over.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        holdsLock_ = true;
        const QString serverName = ServerName(name_);
        // A killed first instance leaves its socket file behind.
        QLocalServer::removeServer(serverName);
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        connect(server_, &QLocalServer::newConnection, this, &TOneInst::OnNewConnection);
        if (!server_->listen(serverName))
            qWarning("TOneInst: cannot listen on %s: %s", qPrintable(serverName),
                     qPrintable(server_->errorString()));
    } else if (lock_->error() == QLockFile::LockFailedError) {
        alreadyRunning_ = true;
    } else {
        // The lock file cannot be made at all (folder not writable and the like).
        // Treating that as "already running" would stop the logger from ever
        // starting, so this instance runs as if it were the first.
        qWarning("TOneInst: cannot create the lock file %s", qPrintable(lock_->fileName()));
    }
}

TOneInst::~TOneInst() {
    if (server_) server_->close();
    if (holdsLock_) lock_->unlock();
}

bool TOneInst::IsAlreadyRunning() {
    if (!alreadyRunning_) return false;
    AskFirstInstance();
    return true;
}

bool TOneInst::AskFirstInstance() {
    // Blocking and bounded: this runs during start-up, before the event loop,
    // and must not hang when the first instance is busy or half dead.
    QDeadlineTimer deadline(AnswerTimeoutMs);
    QLocalSocket sock;
    sock.connectToServer(ServerName(name_));
    if (!sock.waitForConnected(int(deadline.remainingTime()))) return false;
    sock.write(kLocate);
    if (!sock.waitForBytesWritten(int(deadline.remainingTime()))) return false;
    QByteArray answer;
    while (!deadline.hasExpired() && answer.size() <= kMaxRequest) {
        if (sock.bytesAvailable() == 0 && !sock.waitForReadyRead(int(deadline.remainingTime()))) break;
        answer += sock.readAll();
        if (answer.contains(kExist)) {
            answered_ = true;
            break;
        }
    }
    sock.abort();
    return answered_;
}

void TOneInst::OnNewConnection() {
    while (server_->hasPendingConnections()) {
        QLocalSocket* sock = server_->nextPendingConnection();
        connect(sock, &QLocalSocket::readyRead, this, [this, sock] { OnRequestData(sock); });
        connect(sock, &QLocalSocket::disconnected, sock, &QObject::deleteLater);
        QTimer::singleShot(kClientGraceMs, sock, [sock] {
            sock->abort();
            sock->deleteLater();
        });
    }
}

void TOneInst::OnRequestData(QLocalSocket* sock) {
    if (!sock->canReadLine()) {
        if (sock->bytesAvailable() > kMaxRequest) sock->abort();
        return;
    }
    const QByteArray line = sock->readLine(kMaxRequest + 1);
    if (line != kLocate) {
        sock->abort();
        return;
    }
    // Answer first, so the asking instance is not kept waiting by whatever the
    // window does to come to the front.
    sock->write(kExist);
    sock->flush();
    sock->disconnectFromServer();
    emit ActivateRequested();
}

} // namespace za

#include "ui/single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

#include "foundation/config_file.h"
#include "foundation/log.h"

namespace tarn::app {
namespace {

constexpr const char* kLockName = "/tray.lock";
constexpr const char* kSocketName = "/tray.socket";
constexpr const char* kShow = "show";
constexpr const char* kQuit = "quit";
constexpr const char* kOk = "ok\n";
// A command is one short line; anything longer is not ours.
constexpr qint64 kMaxCommandBytes = 16;
// A tray that is starting holds the lock before its socket listens.
constexpr int kConnectRetryMs = 100;
// Hex digits of a machine root's digest in the folder's name.
constexpr qsizetype kRootDigestChars = 16;

// A folder of ours alone: a symbolic link or another user's folder in its
// place (the shared temporary folder) is not used.
bool IsPrivateFolder(const QString& path) {
  const QFileInfo info(path);
  return info.isDir() && !info.isSymLink() && info.ownerId() == ::getuid() &&
         (info.permissions() & (QFile::WriteGroup | QFile::WriteOther)) == 0;
}

}  // namespace

QString InstanceName() { return InstanceNameFor(MachinePath("")); }

QString InstanceNameFor(const std::string& root) {
  // A tray follows one service: that of another machine root (TARN_ROOT)
  // has trays of its own.
  if (root.empty()) return QStringLiteral("tarn");
  const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(root), QCryptographicHash::Sha256);
  return QStringLiteral("tarn-") + QString::fromLatin1(digest.toHex().left(kRootDigestChars));
}

QString RuntimeFolder() {
  QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
  QString folder = base.isEmpty() ? QDir::tempPath() + QLatin1Char('/') + InstanceName() + QLatin1Char('-') +
                                        QString::number(::getuid())
                                  : base + QLatin1Char('/') + InstanceName();
  QDir().mkpath(folder);
  QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return IsPrivateFolder(folder) ? folder : QString();
}

SingleInstance::SingleInstance(const QString& folder) : folder_(folder), lock_(folder + kLockName) {
  // Only a lock whose process is gone is stale, however old it is.
  lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
  if (server_) server_->close();
}

SingleInstance::Claim SingleInstance::claim() {
  if (folder_.isEmpty()) return Claim::kUnprotected;
  if (lock_.tryLock(0)) return Claim::kFirst;
  return lock_.error() == QLockFile::LockFailedError ? Claim::kOtherRuns : Claim::kUnprotected;
}

bool SingleInstance::listen() {
  if (folder_.isEmpty()) return false;
  const QString path = folder_ + kSocketName;
  // We hold the lock: a socket left there belongs to a tray that is gone.
  QLocalServer::removeServer(path);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::answer);
  return server_->listen(path);
}

void SingleInstance::answer() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxCommandBytes) socket->abort();
        return;
      }
      const QByteArray command = socket->readLine(kMaxCommandBytes).trimmed();
      // Taken before it is answered: the later start ends knowing it was.
      if (command == kShow || command == kQuit) {
        vx::log::write(vx::log::kInfo, "tray: a later start asks to %s", command.constData());
        if (command == kShow) {
          Q_EMIT showRequested();
        } else {
          Q_EMIT quitRequested();
        }
      }
      socket->write(kOk);
      socket->flush();
      socket->disconnectFromServer();
    });
  }
}

TrayAnswer AskRunningTray(const QString& folder, const QByteArray& command) {
  const QDeadlineTimer deadline(kQuitWaitMs);
  QLocalSocket socket;
  for (;;) {
    socket.connectToServer(folder + kSocketName);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) break;
    if (deadline.hasExpired()) return TrayAnswer::kNoAnswer;
    QThread::msleep(kConnectRetryMs);
  }
  socket.write(command + '\n');
  bool taken = true;
  while (taken && socket.bytesToWrite() > 0)
    taken = socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
  while (taken && !socket.canReadLine()) taken = socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
  taken = taken && socket.readLine(kMaxCommandBytes) == kOk;
  if (command != kQuit) return taken ? TrayAnswer::kDone : TrayAnswer::kNoAnswer;
  // The tray's lock goes with its process, which may end before its answer
  // is read: only the lock tells that it has ended.
  QLockFile lock(folder + kLockName);
  lock.setStaleLockTime(0);
  if (lock.tryLock(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)))) {
    lock.unlock();
    return TrayAnswer::kDone;
  }
  return taken ? TrayAnswer::kStillRuns : TrayAnswer::kNoAnswer;
}

}  // namespace tarn::app

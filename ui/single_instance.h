// One tray per user and service: a lock file and a local socket in the
// user's runtime folder ($XDG_RUNTIME_DIR/tarn, or a folder of its own for
// a service below TARN_ROOT). The first tray holds the lock for its
// whole life and answers later starts on the socket; a later start asks it
// to show its window or to quit, and ends. Lines of at most a few bytes go
// each way: "show" or "quit", then "ok". UI thread.
#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>
#include <string>

class QLocalServer;

namespace tarn::app {

inline constexpr int kQuitWaitMs = 5000;

// "tarn" for the service of this machine, "tarn-" and a digest of the
// machine root for a service below TARN_ROOT.
QString InstanceName();
// The same for the machine root `root` (empty: none).
QString InstanceNameFor(const std::string& root);
// $XDG_RUNTIME_DIR/<instance name> (a private folder of the user's in the
// temporary folder when there is no runtime folder), created on first use;
// empty when no private folder can be had.
QString RuntimeFolder();

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class Claim {
    kFirst,        // this process is the tray
    kOtherRuns,    // another tray holds the lock
    kUnprotected,  // no lock can be made here: run without one
  };

  explicit SingleInstance(const QString& folder);
  ~SingleInstance() override;

  Claim claim();
  // The first tray answers later starts from now on; false when the socket
  // cannot be made (later starts then find no one and end).
  bool listen();

 Q_SIGNALS:
  void showRequested();
  void quitRequested();

 private:
  void answer();

  QString folder_;
  QLockFile lock_;
  std::unique_ptr<QLocalServer> server_;
};

enum class TrayAnswer {
  kDone,       // the tray took the command (and, for "quit", has ended)
  kNoAnswer,   // nothing took the command in time
  kStillRuns,  // the tray took "quit" but had not ended in time
};

// A later start: tells the running tray `command` ("show" or "quit") and,
// for "quit", waits until it has ended, in all at most kQuitWaitMs.
TrayAnswer AskRunningTray(const QString& folder, const QByteArray& command);

}  // namespace tarn::app

// Test support of the desktop application: one Qt application drawing
// offscreen for the whole test program, answers to message boxes and file
// pickers given by the test, the service on a thread of the test's own
// process on a machine of its own (TARN_ROOT), waiting for the tray's next
// statuses, and screenshots of windows and menus in several languages,
// written to ui-shots/ of the build folder (at each scale the tests are run
// with).
//
// Test code only, used from the test's thread, which is the UI thread.
// Header-only, as the service it runs sits above this folder.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/manager/backup_manager.h"
#include "testing/fake_server_process.h"
#include "testing/service_thread.h"
#include "testing/temp_dir.h"
#include "ui/dialogs.h"
#include "ui/language.h"
#include "ui/tray.h"

extern "C" char** environ;

namespace tarn::app::test {

// Long enough for a mount on a loaded machine; a wait that runs out fails.
inline constexpr int kEventWaitMs = 120000;

// The screen the windows are drawn for, in logical pixels: a common laptop
// screen at scale 1, and one of 2560 x 1440 pixels at scale 2.
inline QSize ScreenFor(double scale) { return scale >= 2 ? QSize(1280, 720) : QSize(1366, 768); }

// The application object, made before the first test and destroyed after
// the last one. Widgets draw offscreen, on a screen of a realistic size for
// the scale the test runs at (QT_SCALE_FACTOR), unless the environment
// names a platform.
class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
      bool given = false;
      double scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&given);
      if (!given || scale <= 0) scale = 1;
      const QSize screen = ScreenFor(scale) * scale;
      screenConfig_ = QDir::temp().filePath(QStringLiteral("tarn-ui-screen-%1.json").arg(::getpid()));
      QFile config(screenConfig_);
      if (config.open(QIODevice::WriteOnly)) {
        config.write(QStringLiteral(R"({"screens":[{"name":"test","x":0,"y":0,"width":%1,"height":%2,)"
                                    R"("logicalDpi":96,"logicalBaseDpi":96}]})")
                         .arg(screen.width())
                         .arg(screen.height())
                         .toUtf8());
        config.close();
      }
      qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screenConfig_.toUtf8());
    }
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void TearDown() override {
    // Results of workers still on their way must not outlive the objects
    // they would be handed to.
    WaitForWorkers(std::chrono::milliseconds(kEventWaitMs));
    QApplication::processEvents();
    app_.reset();
    if (!screenConfig_.isEmpty()) QFile::remove(screenConfig_);
  }

 private:
  QString screenConfig_;
  int argc_ = 1;
  char name_[8] = "tarn";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// Answers the message boxes and file pickers of the code under test, from
// lists the test fills, and keeps what was asked. While it lives it is the
// process's IDialogs. An answer not given is Cancel or no file.
class AnsweredDialogs : public IDialogs {
 public:
  AnsweredDialogs() { SetDialogs(this); }
  ~AnsweredDialogs() override { SetDialogs(nullptr); }

  MessageAnswer message(QWidget*, const MessageSpec& spec) override {
    asked.push_back(spec);
    return Take(answers, MessageAnswer::kCancel);
  }
  QString pickFolder(QWidget*, const QString& caption, const QString&) override {
    pickCaptions.push_back(caption);
    return Take(picks, QString());
  }
  QString pickFile(QWidget*, const QString& caption, const QString&, const QString&) override {
    pickCaptions.push_back(caption);
    return Take(picks, QString());
  }
  int choose(QWidget*, const ChoiceSpec& spec) override {
    questions.push_back(spec);
    return Take(choices, -1);
  }

  std::deque<MessageAnswer> answers;
  std::deque<QString> picks;
  std::deque<int> choices;
  std::vector<MessageSpec> asked;
  std::vector<QString> pickCaptions;
  std::vector<ChoiceSpec> questions;

 private:
  template <typename T>
  static T Take(std::deque<T>& from, T otherwise) {
    if (from.empty()) return otherwise;
    T next = from.front();
    from.pop_front();
    return next;
  }
};

// The service with its backup manager on a thread, on a fresh machine
// (TARN_ROOT) of its own, for the life of the object. One per test program:
// the data folder is fixed at its first use. A test may wrap the backups
// the service is given.
class ServiceMachine {
 public:
  // `backendsFor`: the drives' back-ends; empty, made by their protocols.
  explicit ServiceMachine(tarn::test::ServiceThread::MakeBackups makeBackups = MakeServiceBackups,
                          ServiceState::BackendsFor backendsFor = {})
      : machine_("tarn-ui", 0755) {
    ::setenv("TARN_ROOT", machine_.path().c_str(), 1);
    service_.start(std::move(makeBackups), std::move(backendsFor));
  }
  ~ServiceMachine() { service_.stop(); }
  const std::string& root() const { return machine_.path(); }

 private:
  tarn::test::TempDir machine_;
  tarn::test::ServiceThread service_;
};

inline constexpr uid_t kNobody = 65534;

struct ChildRun {
  int exitCode = -1;
  std::string output;
};

// Runs `exe` as nobody with this process's environment, its runtime folder
// replaced, and `extra`.
inline ChildRun RunAsNobody(const std::string& exe, const std::vector<std::string>& args,
                            const std::vector<std::string>& extra) {
  // Everything the child needs is made before the fork: a thread of this
  // process may hold a lock the child would wait for.
  std::vector<std::string> env(extra);
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("XDG_RUNTIME_DIR=", 0) != 0) env.emplace_back(*e);
  }
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings{exe};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2] = {-1, -1};
  EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(out[1], STDERR_FILENO);
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(99);
    ::execve(exe.c_str(), argv.data(), envp.data());
    ::_exit(98);
  }
  ::close(out[1]);
  ChildRun r;
  char buffer[4096];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) r.output.append(buffer, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// Runs the test `filter` of this test program once more as nobody, against
// the service of `machine`, with `variable` set so that the test knows it
// is that run. The run's output tells what failed there.
inline ChildRun RunThisTestAsNobody(const ServiceMachine& machine, const std::string& filter,
                                    const std::string& variable) {
  // A copy nobody may run, wherever the build lives.
  const std::string exe = machine.root() + "/ui-test";
  std::filesystem::copy_file("/proc/self/exe", exe, std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(::chmod(exe.c_str(), 0755), 0);
  // A runtime folder of its own, which Qt wants to belong to the user.
  const std::string runtime = machine.root() + "/runtime-nobody";
  std::filesystem::create_directories(runtime);
  EXPECT_EQ(::chmod(runtime.c_str(), 0700), 0);
  EXPECT_EQ(::chown(runtime.c_str(), kNobody, kNobody), 0);
  return RunAsNobody(exe, {filter}, {variable + "=1", "XDG_RUNTIME_DIR=" + runtime});
}

// A drive on a WebDAV server with the test server's login, as the service's
// "setMount" takes it. A server out of reach is told at once, not after
// minutes of retries.
inline vx::json::Value DavDrive(const std::string& name, const std::string& letter, const std::string& url) {
  vx::json::Value drive = vx::json::Value::object();
  drive.set("name", name);
  drive.set("drive", letter);
  vx::json::Value endpoint = vx::json::Value::object();
  endpoint.set("host", url);
  endpoint.set("user", tarn::testing::RequiredEnv("TARN_DAV_USER"));
  endpoint.set("password", tarn::testing::RequiredEnv("TARN_DAV_PASSWORD"));
  drive.set("endpoint", endpoint);
  vx::json::Value net = vx::json::Value::object();
  net.set("retries", 1);
  net.set("retryMinMs", 100);
  drive.set("net", net);
  return drive;
}

// Adds a drive to the service; its id.
inline std::string AddDrive(const vx::json::Value& drive) {
  std::string id;
  std::string error;
  EXPECT_TRUE(RequestSetMount(drive, id, error)) << error;
  return id;
}

// Removes every drive of the service, as tests leave it.
inline void RemoveAllDrives() {
  ServiceStatus status;
  ASSERT_TRUE(RequestStatus(status)) << status.error;
  for (const MountStatus& m : status.mounts) {
    std::string error;
    EXPECT_TRUE(RequestRemoveMount(m.id, error)) << error;
  }
}

// Runs the event loop until `done` holds, checking after each event from
// `sender`'s `signal`; false when kEventWaitMs pass first.
template <typename Sender, typename Signal>
bool WaitFor(Sender* sender, Signal signal, const std::function<bool()>& done) {
  if (done()) return true;
  QEventLoop loop;
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
  QObject::connect(sender, signal, &loop, [&] {
    if (done()) loop.exit(0);
  });
  limit.start(kEventWaitMs);
  return loop.exec() == 0;
}

// Runs the event loop until `sender` next emits `signal`; false when
// kEventWaitMs pass first.
template <typename Sender, typename Signal>
bool WaitForNext(Sender* sender, Signal signal) {
  bool came = false;
  const QMetaObject::Connection seen = QObject::connect(sender, signal, sender, [&came] { came = true; });
  const bool ok = WaitFor(sender, signal, [&came] { return came; });
  QObject::disconnect(seen);
  return ok;
}

// Runs the event loop until the tray has taken a status that satisfies
// `done` (the tray asks every few seconds, and after each command); false
// when none did in time.
inline bool WaitForStatus(TrayState& state, const std::function<bool(const ServiceStatus&)>& done) {
  return WaitFor(state.window.get(), &TrayWindow::statusTaken, [&] { return done(state.status); });
}

// The languages of the screenshots: all of them, each checked for texts
// that do not fit.
inline std::vector<std::string> ShotLanguages() {
  std::vector<std::string> codes;
  for (int i = 0; i < kLanguageCount; ++i) codes.push_back(LanguageAt(i).code);
  return codes;
}

// Lets a window finish its layout as it does before a user sees it: a
// label that asks for more room posts a new layout, which may post another,
// and lists lay out their items on a timer of their own.
inline void SettleLayouts() {
  for (int round = 0; round < 3; ++round) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
  }
}

// One language in force, with its layout direction, for the life of the
// object; automatic afterwards.
class LanguageScope {
 public:
  explicit LanguageScope(const std::string& code) {
    SetLanguageByCode(code);
    ApplyLayout();
  }
  ~LanguageScope() {
    SetLanguageSetting(kAutomaticLanguage);
    ApplyLayout();
  }
};

// Writes the widget as it is drawn to <build>/ui-shots/<name>-<code>@<n>x.png,
// n being the display's scale (QT_SCALE_FACTOR); the file, or empty when it
// could not be written.
inline QString SaveScreenshot(QWidget& widget, const QString& name, const std::string& code) {
  const QString folder = QStringLiteral(TARN_SHOTS_DIR);
  QDir().mkpath(folder);
  const QPixmap image = widget.grab();
  const QString file =
      QStringLiteral("%1/%2-%3@%4x.png")
          .arg(folder, name, QString::fromStdString(code), QString::number(qRound(image.devicePixelRatio())));
  return !image.isNull() && image.save(file) ? file : QString();
}

}  // namespace tarn::app::test

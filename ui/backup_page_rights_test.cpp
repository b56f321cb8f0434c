// Who manages backups: root sees the jobs and may act on them; a user
// outside the administrators is refused every backup request by the
// service, and the page then says so and offers no command. That user is
// this test program run once more as nobody, against the service of the
// first run.
#include "ui/backup_page.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>
#include <string>
#include <vector>

#include "ui/string_ids.h"
#include "ui/ui_test_harness.h"

extern char** environ;

namespace tarn::app {
namespace {

using vx::json::Value;

// Set in the run as nobody.
constexpr const char* kOutsiderVariable = "TARN_UI_TEST_OUTSIDER";
constexpr const char* kTestFilter = "--gtest_filter=BackupPageRights.OnlyAdministratorsManageBackups";
constexpr uid_t kNobody = 65534;

struct ChildRun {
  int exitCode = -1;
  std::string output;
};

// Runs `exe` as nobody with this process's environment, its runtime folder
// replaced, and `extra`.
ChildRun RunAsNobody(const std::string& exe, const std::vector<std::string>& args,
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

// Shows a page and waits for its first list.
void ShowAndList(BackupPage& page) {
  page.show();
  ASSERT_TRUE(test::WaitForNext(&page, &BackupPage::listTaken));
}

TEST(BackupPageRights, OnlyAdministratorsManageBackups) {
  SetLanguageSetting(kEnglish);
  if (qEnvironmentVariableIsSet(kOutsiderVariable)) {
    ASSERT_NE(::getuid(), 0u);
    BackupPage page;
    ShowAndList(page);
    EXPECT_TRUE(page.refusedByRights());
    EXPECT_EQ(page.note()->text(), QStringLiteral("Backups are set up by an administrator of this computer."));
    EXPECT_EQ(page.list()->topLevelItemCount(), 0);
    for (int c = 0; c < kPageCommandCount; ++c) EXPECT_FALSE(page.button(c)->isEnabled()) << c;
    return;
  }

  test::ServiceMachine machine;
  Value reply;
  std::string error;
  ASSERT_TRUE(RequestBackup(
      "backupSet", "",
      [](Value& request) {
        Value job;
        vx::json::Parse(R"({"name":"Home","sources":["/home"],"password":"p","schedule":{"mode":"manual"},
            "endpoint":{"protocol":"sftp","host":"127.0.0.1","port":1,"root":"/backups"}})",
                        job);
        request.set("job", job);
      },
      reply, error))
      << error;

  {
    BackupPage page;
    ShowAndList(page);
    EXPECT_FALSE(page.refusedByRights());
    EXPECT_EQ(page.note()->text(), Tr(kStrBackupNote));
    ASSERT_EQ(page.list()->topLevelItemCount(), 1);
    EXPECT_TRUE(page.button(kCommandAdd)->isEnabled());
    page.list()->setCurrentItem(page.list()->topLevelItem(0));
    EXPECT_TRUE(page.button(kCommandEdit)->isEnabled());
    EXPECT_TRUE(page.button(kCommandRemove)->isEnabled());
  }

  // A copy nobody may run, wherever the build lives.
  const std::string exe = machine.root() + "/ui-test";
  std::filesystem::copy_file("/proc/self/exe", exe);
  ASSERT_EQ(::chmod(exe.c_str(), 0755), 0);
  // A runtime folder of its own, which Qt wants to belong to the user.
  const std::string runtime = machine.root() + "/runtime-nobody";
  ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
  ASSERT_EQ(::chown(runtime.c_str(), kNobody, kNobody), 0);
  const ChildRun outsider =
      RunAsNobody(exe, {kTestFilter}, {std::string(kOutsiderVariable) + "=1", "XDG_RUNTIME_DIR=" + runtime});
  EXPECT_EQ(outsider.exitCode, 0) << outsider.output;
  EXPECT_NE(outsider.output.find("[  PASSED  ] 1 test"), std::string::npos) << outsider.output;
  SetLanguageSetting(kAutomaticLanguage);
}

}  // namespace
}  // namespace tarn::app

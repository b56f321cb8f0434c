#include "platform/service_manager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/file_util.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

TEST(ServiceUnit, ProgramPathIsQuotedForSystemd) {
  struct Case {
    const char* exe;
    const char* execLine;
  };
  const Case cases[] = {
      {"/usr/bin/tarn", "ExecStart=\"/usr/bin/tarn\" service\n"},
      {"/opt/my tools/tarn", "ExecStart=\"/opt/my tools/tarn\" service\n"},
      {"/opt/100%/tarn", "ExecStart=\"/opt/100%%/tarn\" service\n"},
      {"/opt/a\"b\\c/tarn", "ExecStart=\"/opt/a\\\"b\\\\c/tarn\" service\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exe);
    const std::string unit = ServiceUnitText(c.exe);
    EXPECT_NE(unit.find(c.execLine), std::string::npos) << unit;
    EXPECT_NE(unit.find("Description=Tarn network drives\n"), std::string::npos);
    EXPECT_NE(unit.find("WantedBy=multi-user.target\n"), std::string::npos);
  }
}

// This machine's stand-in root has no systemd: every command says how to run
// the service instead, and nothing is written.
TEST(ServiceManager, WithoutSystemdEveryCommandSaysWhatToDo) {
  test::TempDir root("tarn-units");
  const char* previous = std::getenv("TARN_ROOT");
  const std::string saved = previous != nullptr ? previous : "";
  ::setenv("TARN_ROOT", root.path().c_str(), 1);
  ASSERT_FALSE(SystemdRunning());

  Status installed = InstallService("/usr/bin/tarn");
  EXPECT_EQ(installed.code, Status::kUnsupported);
  EXPECT_NE(installed.message.find("\"tarn run\""), std::string::npos);
  EXPECT_FALSE(IsServiceInstalled());
  EXPECT_EQ(UninstallService().code, Status::kUnsupported);
  std::string message;
  EXPECT_FALSE(StartServiceNow(message));
  EXPECT_EQ(message, installed.message);
  EXPECT_FALSE(IsServiceRunning());

  ASSERT_EQ(ServiceUnitPath(), root.path() + "/etc/systemd/system/tarn.service");
  ASSERT_TRUE(vx::MakeDirs(root.path() + "/etc/systemd/system"));
  ASSERT_TRUE(vx::WriteFileAtomic(ServiceUnitPath(), ServiceUnitText("/usr/bin/tarn")));
  EXPECT_TRUE(IsServiceInstalled());
  if (previous != nullptr) ::setenv("TARN_ROOT", saved.c_str(), 1);
  else ::unsetenv("TARN_ROOT");
}

}  // namespace
}  // namespace tarn

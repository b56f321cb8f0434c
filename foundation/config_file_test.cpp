#include "foundation/config_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "foundation/codec.h"
#include "foundation/data_protection.h"
#include "foundation/file_util.h"
#include "foundation/log.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using vx::json::Value;

// One private machine per test process: TARN_ROOT is set before anything
// asks for the data root, which is computed once per process.
class ConfigFileTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (root().empty()) root() = UseNewRoot("tarn-cfg");
  }
  void SetUp() override { ::setenv("TARN_ROOT", root().c_str(), 1); }
  static std::string& root() {
    static std::string r;
    return r;
  }
  // A fresh folder as TARN_ROOT: another computer with its own machine secret.
  static std::string UseNewRoot(const char* prefix) {
    std::string tmpl = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    EXPECT_NE(::mkdtemp(tmpl.data()), nullptr);
    ::setenv("TARN_ROOT", tmpl.c_str(), 1);
    return tmpl;
  }
  static std::string Path(const std::string& name) { return root() + "/" + name; }
  static void WriteText(const std::string& path, const std::string& text) { vx::WriteFileAtomic(path, text); }
  static std::string ReadText(const std::string& path) {
    std::string text;
    vx::ReadWholeFile(path, text);
    return text;
  }
  static Value ParseOrDie(const std::string& text) {
    Value v;
    EXPECT_TRUE(vx::json::Parse(text, v)) << text;
    return v;
  }
  static MountConfig DriveFrom(const std::string& json) { return MountConfigFromJson(ParseOrDie(json)); }
  static MountConfig ValidDrive(const std::string& id) {
    MountConfig m;
    m.id = id;
    m.drive = u'R';
    m.endpoint.protocol = "sftp";
    m.endpoint.host = "files.example";
    m.endpoint.user = "bob";
    m.endpoint.password = "pa:ss\"word";
    m.endpoint.privateKey = "-----BEGIN KEY-----\nabc\n";
    m.net.retries = 9;
    m.cache.blockBytes = 131072;
    m.transfer.chunkBytes = 5 * 131072;
    m.compat.unicode = CompatOptions::kUnicodeNfd;
    m.compat.caseCollision = CompatOptions::kCaseAllow;
    m.probed.valid = true;
    m.probed.probedAt = 1700000000;
    m.probed.server = "OpenSSH";
    EXPECT_EQ(ValidateMountConfig(m), "");
    return m;
  }
};

TEST_F(ConfigFileTest, ValuesAreReadByKind) {
  struct Case {
    const char* json;
    std::function<bool(const MountConfig&)> check;
    const char* what;
  } cases[] = {
      {"{}",
       [](const MountConfig& m) {
         return m.endpoint.protocol == "webdav" && m.endpoint.root == "/" && m.endpoint.tls && m.drive == u'P';
       },
       "defaults"},
      {R"({"drive":"e"})", [](const MountConfig& m) { return m.drive == u'E'; }, "lower letter"},
      {R"({"drive":""})", [](const MountConfig& m) { return m.drive == u'P'; }, "empty letter"},
      {R"({"drive":"xyz"})", [](const MountConfig& m) { return m.drive == u'X'; }, "first byte"},
      {R"({"drive":5})", [](const MountConfig& m) { return m.drive == u'5'; }, "number as text"},
      {R"({"drive":"\u00e9"})", [](const MountConfig& m) { return m.drive == u'?'; }, "non-ASCII letter"},
      {R"({"net":{"retries":2.5}})", [](const MountConfig& m) { return m.net.retries == 3; }, "round"},
      {R"({"net":{"retryMinMs":2.5}})", [](const MountConfig& m) { return m.net.retryMinMs == 2; }, "trunc"},
      {R"({"net":{"retries":"7"}})", [](const MountConfig& m) { return m.net.retries == 5; }, "string number"},
      {R"({"net":{"retries":true}})", [](const MountConfig& m) { return m.net.retries == 5; }, "bool number"},
      {R"({"cache":{"offlineMode":1}})", [](const MountConfig& m) { return !m.cache.offlineMode; }, "1 not bool"},
      {R"({"cache":{"offlineMode":true}})", [](const MountConfig& m) { return m.cache.offlineMode; }, "bool"},
      {R"({"compat":{"unicode":"NFD"}})", [](const MountConfig& m) { return m.compat.unicode == 1; }, "NFD"},
      {R"({"compat":{"unicode":"nfd"}})", [](const MountConfig& m) { return m.compat.unicode == 2; }, "nfd"},
      {R"({"compat":{"unicode":"none"}})", [](const MountConfig& m) { return m.compat.unicode == 0; }, "none"},
      {R"({"compat":{}})", [](const MountConfig& m) { return m.compat.caseCollision == 1; }, "case default"},
      {R"({"compat":{"caseCollision":"Allow"}})", [](const MountConfig& m) { return m.compat.caseCollision == 0; }, "Allow"},
      {R"({"compat":{"caseCollision":"allow"}})", [](const MountConfig& m) { return m.compat.caseCollision == 1; }, "allow"},
      {R"({"endpoint":{"tls":false,"port":8443.5}})", [](const MountConfig& m) { return !m.endpoint.tls && m.endpoint.port == 8444; }, "port"},
      {R"({"endpoint":{"host":12}})", [](const MountConfig& m) { return m.endpoint.host == "12"; }, "host number"},
      {R"({"endpoint":{"host":[1]}})", [](const MountConfig& m) { return m.endpoint.host.empty(); }, "host array"},
      {R"({"endpoint":[1,2]})", [](const MountConfig& m) { return m.endpoint.protocol == "webdav"; }, "section array"},
      {R"({"net":"fast"})", [](const MountConfig& m) { return m.net.connections == 4; }, "section text"},
      {R"({"probed":{"probedAt":true}})", [](const MountConfig& m) { return m.probed.probedAt == 1; }, "probedAt bool"},
      {R"({"probed":{"probedAt":"1234"}})", [](const MountConfig& m) { return m.probed.probedAt == 1234; }, "probedAt text"},
      {R"({"probed":{"probedAt":"99999999999999999999"}})", [](const MountConfig& m) { return m.probed.probedAt == 0; }, "probedAt huge text"},
      {R"({"probed":{"probedAt":-9007199254740992}})", [](const MountConfig& m) { return m.probed.probedAt == -9007199254740992; }, "probedAt exact"},
      {R"({"net":{"ioTimeoutMs":2000,"connectTimeoutMs":3000,"keepaliveSec":7}})",
       [](const MountConfig& m) {
         return m.endpoint.ioTimeoutMs == 2000 && m.endpoint.connectTimeoutMs == 3000 &&
                m.endpoint.keepaliveSec == 7;
       },
       "endpoint copies"},
  };
  for (const Case& c : cases) EXPECT_TRUE(c.check(DriveFrom(c.json))) << c.what << ": " << c.json;
}

TEST_F(ConfigFileTest, HostileNumbersKeepDefaults) {
  const MountConfig m = DriveFrom(R"({
    "endpoint":{"port":1e300},
    "net":{"retries":1e300,"connections":-1e300,"retryMinMs":-5,"retryMaxMs":4294967296,
           "connectTimeoutMs":1e19,"speedLimitKbps":-0.5},
    "cache":{"maxBytes":1e30,"blockBytes":-1,"wholeFileBelow":-7,"readaheadBlocks":4294967295},
    "transfer":{"chunkBytes":18446744073709551616,"parallelChunks":3e9},
    "probed":{"probedAt":1e300,"maxNameBytes":-255}})");
  // Every value that does not fit keeps its default; -0.5 truncates to 0, a
  // valid speed limit, and the largest 32-bit value fits.
  MountConfig want = DriveFrom("{}");
  want.cache.readaheadBlocks = 4294967295u;
  EXPECT_EQ(MountConfigToJson(m, true).dump(), MountConfigToJson(want, true).dump());

  // A 32-bit port read from a file is refused by validation, not truncated.
  MountConfig big = DriveFrom(R"({"drive":"F","endpoint":{"host":"h","port":70000}})");
  EXPECT_EQ(big.endpoint.port, 70000u);
  EXPECT_EQ(ValidateMountConfig(big), "port must be 0..65535");
}

TEST_F(ConfigFileTest, ValidationClampsNumbers) {
  struct Case {
    uint32_t block;
    uint64_t chunk;
    int32_t connections;
    int32_t parallel;
    uint32_t wantBlock;
    uint64_t wantChunk;
    int32_t wantConnections;
    int32_t wantParallel;
  } cases[] = {
      {100000, 16777216, 4, 2, 131072, 16777216, 4, 2},
      {10, 16777216, 0, -3, 65536, 16777216, 1, 1},
      {50000000, 1000, 100, 17, 16777216, 16777216, 32, 16},
      {1048576, 5000000, 32, 16, 1048576, 4194304, 32, 16},
      {1048576, 1000, 1, 1, 1048576, 1048576, 1, 1},
      {UINT32_MAX, UINT64_MAX, INT32_MIN, INT32_MAX, 16777216, UINT64_MAX - (UINT64_MAX % 16777216), 1, 16},
  };
  for (const Case& c : cases) {
    MountConfig m;
    m.endpoint.protocol = "webdav";
    m.endpoint.host = "h";
    m.cache.blockBytes = c.block;
    m.transfer.chunkBytes = c.chunk;
    m.net.connections = c.connections;
    m.transfer.parallelChunks = c.parallel;
    ASSERT_EQ(ValidateMountConfig(m), "");
    EXPECT_EQ(m.cache.blockBytes, c.wantBlock) << c.block;
    EXPECT_EQ(m.transfer.chunkBytes, c.wantChunk) << c.chunk;
    EXPECT_EQ(m.net.connections, c.wantConnections);
    EXPECT_EQ(m.transfer.parallelChunks, c.wantParallel);
  }
  MountConfig m;
  m.endpoint.protocol = "nfs";
  m.endpoint.host = "h";
  m.endpoint.root = "a//b/../c/";
  m.net.retries = -4;
  m.net.retryMinMs = 5;
  m.net.retryMaxMs = 50;
  m.net.connectTimeoutMs = 0;
  m.net.ioTimeoutMs = 999;
  m.cache.readaheadBlocks = 0;
  m.cache.readaheadMaxBlocks = 0;
  m.cache.maxBytes = 1;
  ASSERT_EQ(ValidateMountConfig(m), "");
  EXPECT_EQ(m.endpoint.root, "/a/c");
  EXPECT_EQ(m.net.retries, 1);
  EXPECT_EQ(m.net.retryMinMs, 100u);
  EXPECT_EQ(m.net.retryMaxMs, 100u);
  EXPECT_EQ(m.net.connectTimeoutMs, 1000u);
  EXPECT_EQ(m.endpoint.connectTimeoutMs, 1000u);
  EXPECT_EQ(m.endpoint.ioTimeoutMs, 1000u);
  EXPECT_EQ(m.cache.readaheadBlocks, 1u);
  EXPECT_EQ(m.cache.readaheadMaxBlocks, 1u);
  EXPECT_EQ(m.cache.maxBytes, 67108864ull);
  EXPECT_EQ(m.id.size(), 16u);
  EXPECT_EQ(m.name, "h");
}

TEST_F(ConfigFileTest, ValidationVerdicts) {
  struct Case {
    char16_t drive;
    const char* protocol;
    const char* host;
    uint32_t port;
    const char* want;
  } cases[] = {
      {u'c', "webdav", "h", 0, "drive letter must be D..Z"},
      {u'C', "webdav", "h", 0, "drive letter must be D..Z"},
      {u'[', "webdav", "h", 0, "drive letter must be D..Z"},
      {u'd', "webdav", "h", 0, ""},
      {u'z', "memory", "h", 0, ""},
      {u'E', "webdav", "", 0, "host is empty"},
      {u'E', "webdav", "   ", 0, ""},
      {u'E', "s3", "h", 0, "unknown protocol: s3"},
      {u'E', "WebDAV", "h", 0, "unknown protocol: WebDAV"},
      {u'E', "webdav", "ftp://h/", 0, "unsupported link: ftp://"},
      {u'E', "", "https://h:0/", 0, "bad port in the link: 0"},
      {u'E', "sftp", "h", 65535, ""},
      {u'E', "sftp", "h", 65536, "port must be 0..65535"},
  };
  for (const Case& c : cases) {
    MountConfig m;
    m.drive = c.drive;
    m.endpoint.protocol = c.protocol;
    m.endpoint.host = c.host;
    m.endpoint.port = c.port;
    EXPECT_EQ(ValidateMountConfig(m), c.want) << c.host << " " << c.protocol;
  }
  MountConfig link;
  link.drive = u'g';
  link.endpoint.protocol = "sftp";
  link.endpoint.host = " https://server:8443/remote.php/dav/files/bob/ ";
  ASSERT_EQ(ValidateMountConfig(link), "");
  EXPECT_EQ(link.drive, u'G');
  EXPECT_EQ(link.endpoint.protocol, "webdav");
  EXPECT_EQ(link.endpoint.host, "server");
  EXPECT_EQ(link.name, "server");
}

TEST_F(ConfigFileTest, WritersEmitSecretsOnlyWhenAsked) {
  MountConfig m = ValidDrive("d1");
  const Value with = MountConfigToJson(m, true);
  EXPECT_EQ(with["endpoint"]["password"].asString(), m.endpoint.password);
  EXPECT_FALSE(with["endpoint"].has("hasPassword"));
  const Value status = MountConfigToJson(m, false);
  EXPECT_FALSE(status["endpoint"].has("password"));
  EXPECT_FALSE(status["endpoint"].has("privateKey"));
  EXPECT_TRUE(status["endpoint"]["hasPassword"].asBool());
  EXPECT_TRUE(status["endpoint"]["hasPrivateKey"].asBool());
  m.endpoint.privateKey.clear();
  EXPECT_FALSE(MountConfigToJson(m, false)["endpoint"]["hasPrivateKey"].asBool(true));
  EXPECT_EQ(with["drive"].asString(), "R");
  EXPECT_EQ(with["compat"]["unicode"].asString(), "nfd");
  EXPECT_EQ(with["compat"]["caseCollision"].asString(), "allow");

  AppConfig a;
  a.mounts.push_back(m);
  const Value app = AppConfigToJson(a, true);
  EXPECT_EQ(app["version"].asInt64(), 1);
  EXPECT_EQ(app.keys.front(), "version");
  EXPECT_EQ(app.keys.back(), "mounts");
  EXPECT_EQ(app["mounts"].size(), 1u);
}

TEST_F(ConfigFileTest, SaveAndLoadRoundTripWithSealedSecrets) {
  AppConfig a;
  a.cacheRoot = "/srv/cache";
  a.logLevel = "debug";
  a.language = "de";
  a.mounts.push_back(ValidDrive("d1"));
  MountConfig empty = ValidDrive("d2");
  empty.endpoint.password.clear();
  empty.endpoint.privateKey.clear();
  a.mounts.push_back(empty);
  const AppConfig before = a;

  const std::string path = Path("roundtrip.json");
  std::string error;
  ASSERT_TRUE(SaveConfig(a, path, &error)) << error;

  const std::string text = ReadText(path);
  EXPECT_EQ(text.find(before.mounts[0].endpoint.password), std::string::npos);
  const Value file = ParseOrDie(text);
  EXPECT_EQ(file["mounts"].at(0)["endpoint"]["password"].asString().rfind("dpapi:", 0), 0u);
  EXPECT_EQ(file["mounts"].at(0)["endpoint"]["privateKey"].asString().rfind("dpapi:", 0), 0u);
  EXPECT_EQ(file["mounts"].at(1)["endpoint"]["password"].asString(), "");
  EXPECT_NE(text.find("\n  \"cacheRoot\""), std::string::npos);  // indent of 2
  // There is no update server: no setting names what nothing reads.
  EXPECT_FALSE(file.has("autoUpdate")) << text;

  AppConfig loaded;
  ASSERT_TRUE(LoadConfig(loaded, path, &error)) << error;
  ASSERT_EQ(loaded.mounts.size(), 2u);
  EXPECT_EQ(AppConfigToJson(loaded, true).dump(2), AppConfigToJson(before, true).dump(2));
}

// Sealed secrets tell the lengths of their passwords: the file is its
// owner's alone, however it was left before.
TEST_F(ConfigFileTest, ConfigFileIsReadableByItsOwnerAlone) {
  AppConfig a;
  a.mounts.push_back(ValidDrive("d1"));
  struct Case {
    const char* name;
    mode_t before;  // 0: no file yet
    bool save;      // else loaded
  };
  const Case cases[] = {{"written anew", 0, true}, {"0644 rewritten", 0644, true}, {"0644 loaded", 0644, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(std::string("private-") + c.name + ".json");
    if (c.before != 0) {
      ASSERT_TRUE(SaveConfig(a, path));
      ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
    }
    AppConfig loaded;
    ASSERT_TRUE(c.save ? SaveConfig(a, path) : LoadConfig(loaded, path));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
  }
}

TEST_F(ConfigFileTest, LoadFailuresLeaveTheRecord) {
  AppConfig a;
  a.logLevel = "keep";
  std::string error;
  EXPECT_FALSE(LoadConfig(a, Path("missing.json"), &error));
  EXPECT_EQ(error, "cannot read " + Path("missing.json"));
  WriteText(Path("bad.json"), "{\"mounts\": [");
  EXPECT_FALSE(LoadConfig(a, Path("bad.json"), &error));
  EXPECT_EQ(error, "config is not valid JSON");
  EXPECT_FALSE(LoadConfig(a, Path("bad.json")));  // no error text asked for
  EXPECT_EQ(a.logLevel, "keep");

  WriteText(Path("odd.json"), R"({"mounts":[{"endpoint":{"host":"","password":"plain"}},
    {"drive":"c","endpoint":{"host":"h"}}, 7, "x"], "logLevel": ["no"]})");
  ASSERT_TRUE(LoadConfig(a, Path("odd.json"), &error));
  ASSERT_EQ(a.mounts.size(), 4u);  // invalid drives stay listed
  EXPECT_EQ(a.mounts[0].endpoint.password, "plain");
  EXPECT_EQ(a.mounts[1].drive, u'C');
  EXPECT_EQ(a.logLevel, "info");
  WriteText(Path("nomounts.json"), R"({"mounts":{"a":1}})");
  ASSERT_TRUE(LoadConfig(a, Path("nomounts.json")));
  EXPECT_TRUE(a.mounts.empty());
}

TEST_F(ConfigFileTest, SecretThatDoesNotOpenIsNeverUsedButWrittenBack) {
  // Seal on "another computer", then load the file here.
  const std::string tmpl = UseNewRoot("tarn-other");
  const std::string foreign = ProtectSecret("their password");
  ::setenv("TARN_ROOT", root().c_str(), 1);
  fs::remove_all(tmpl);
  ASSERT_EQ(foreign.rfind("dpapi:", 0), 0u);

  const std::string path = Path("foreign.json");
  WriteText(path, R"({"mounts":[{"id":"f1","drive":"F","endpoint":{"protocol":"sftp","host":"h",
    "password":")" + foreign + R"(","privateKey":"plainkey"}}]})");
  AppConfig a;
  vx::log::setConsole(true);
  ::testing::internal::CaptureStderr();
  const bool loaded = LoadConfig(a, path);
  const std::string logged = ::testing::internal::GetCapturedStderr();
  vx::log::setConsole(false);
  ASSERT_TRUE(loaded);
  EXPECT_NE(logged.find("f1: cannot open the stored password; kept as stored"), std::string::npos)
      << logged;
  EXPECT_EQ(logged.find("private key"), std::string::npos) << logged;
  ASSERT_EQ(a.mounts.size(), 1u);
  // The sealed text is no password: a back-end would send it to the server.
  EXPECT_EQ(a.mounts[0].endpoint.password, "");
  EXPECT_EQ(a.mounts[0].endpoint.sealedPassword, foreign);
  EXPECT_FALSE(MountConfigToJson(a.mounts[0], false)["endpoint"]["hasPassword"].asBool(true));
  EXPECT_EQ(a.mounts[0].endpoint.privateKey, "plainkey");
  ASSERT_TRUE(SaveConfig(a, path));
  const Value file = ParseOrDie(ReadText(path));
  EXPECT_EQ(file["mounts"].at(0)["endpoint"]["password"].asString(), foreign);
  const std::string sealedKey = file["mounts"].at(0)["endpoint"]["privateKey"].asString();
  EXPECT_EQ(sealedKey.rfind("dpapi:", 0), 0u);
  EXPECT_EQ(UnprotectSecret(sealedKey), "plainkey");

  // A new password typed in replaces the text set aside.
  a.mounts[0].endpoint.password = "mine";
  ASSERT_TRUE(SaveConfig(a, path));
  ASSERT_TRUE(LoadConfig(a, path));
  EXPECT_EQ(a.mounts[0].endpoint.password, "mine");
  EXPECT_EQ(a.mounts[0].endpoint.sealedPassword, "");
}

// The prefix of the sealed form is no reason to leave a password unsealed.
TEST_F(ConfigFileTest, PasswordsThatLookSealedAreSealedToo) {
  AppConfig a;
  a.mounts.push_back(ValidDrive("d1"));
  for (const char* secret : {"dpapi:", "dpapi:abc", "dpapi:!!"}) {
    a.mounts[0].endpoint.password = secret;
    const std::string path = Path("prefix.json");
    ASSERT_TRUE(SaveConfig(a, path));
    const std::string text = ReadText(path);
    EXPECT_EQ(text.find(std::string("\"") + secret + "\""), std::string::npos) << secret;
    AppConfig loaded;
    ASSERT_TRUE(LoadConfig(loaded, path));
    EXPECT_EQ(loaded.mounts[0].endpoint.password, secret);
  }
}

TEST_F(ConfigFileTest, SealFailureFailsTheSaveAndKeepsTheOldFile) {
  const std::string path = Path("keep.json");
  WriteText(path, "{\"old\":true}");
  const std::string other = UseNewRoot("tarn-broken");
  fs::create_directories(other + "/etc/tarn");
  WriteText(other + "/etc/tarn/machine.key", "short");  // damaged machine secret

  AppConfig a;
  a.mounts.push_back(ValidDrive("s1"));
  std::string error;
  EXPECT_FALSE(SaveConfig(a, path, &error));
  EXPECT_EQ(error, "cannot seal the password of drive s1");
  EXPECT_EQ(ReadText(path), "{\"old\":true}");
  EXPECT_EQ(ProtectSecret("x"), "");
  std::string stored = "same";
  EXPECT_FALSE(TryProtectSecret("x", stored));
  EXPECT_EQ(stored, "same");

  // Drives without secrets need no seal and still save.
  a.mounts[0].endpoint.password.clear();
  a.mounts[0].endpoint.privateKey.clear();
  EXPECT_TRUE(SaveConfig(a, path, &error)) << error;
  ::setenv("TARN_ROOT", root().c_str(), 1);
  fs::remove_all(other);

  EXPECT_FALSE(SaveConfig(a, Path("no/such/folder/c.json"), &error));
  EXPECT_EQ(error, "cannot write " + Path("no/such/folder/c.json"));
}

TEST_F(ConfigFileTest, SecretForms) {
  EXPECT_EQ(ProtectSecret(""), "");
  EXPECT_EQ(UnprotectSecret(""), "");
  EXPECT_EQ(UnprotectSecret("dpapi"), "dpapi");
  EXPECT_EQ(UnprotectSecret("plain text"), "plain text");
  const std::string s = ProtectSecret("\xC3\xA4 secret");
  EXPECT_EQ(s.rfind("dpapi:", 0), 0u);
  EXPECT_EQ(UnprotectSecret(s), "\xC3\xA4 secret");
  // Sealed with another entropy, or no sealed text at all: does not open.
  std::vector<uint8_t> sealed;
  ASSERT_TRUE(vx::ProtectData({'a'}, "other entropy", sealed));
  for (const std::string& bad : {"dpapi:" + vx::Base64Encode(sealed), std::string("dpapi:!!notbase64!!")}) {
    std::string plain = "untouched";
    EXPECT_FALSE(TryUnprotectSecret(bad, plain)) << bad;
    EXPECT_EQ(plain, "untouched");
    EXPECT_EQ(UnprotectSecret(bad), "");
  }
}

TEST_F(ConfigFileTest, LocationsFollowTheRootFolder) {
  EXPECT_EQ(DataRoot(), root() + "/var/lib/tarn");
  EXPECT_TRUE(fs::is_directory(DataRoot()));
  EXPECT_EQ(ConfigPath(), root() + "/var/lib/tarn/config.json");
  EXPECT_EQ(DefaultCacheDir(), root() + "/var/lib/tarn/cache");
  EXPECT_EQ(ControlSocketPath(), root() + "/run/tarn/Tarn");
  EXPECT_EQ(MountPointPath(u'P'), root() + "/mnt/tarn/P");
}

}  // namespace
}  // namespace tarn

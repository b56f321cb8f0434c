// Host-key pinning against the OpenSSH test server, with OpenSSH's own
// tools (ssh-keyscan, ssh-keygen) as the independent reader and writer of
// the known-hosts format.
#include "backends/ssh_nfs/sftp_known_hosts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "backends/ssh_nfs/sftp_backend.h"
#include "backends/ssh_nfs/sftp_test_server.h"
#include "foundation/codec.h"

namespace tarn {
namespace {

using sftp_test::Env;

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
  EXPECT_EQ(::pclose(p), 0) << command;
  return out;
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class SftpHostKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sftp_test::ServerConfigured());
    sftp_test::PrivateDataRoot();
    file_ = KnownHostsPath();
    std::filesystem::remove(file_);
    port_ = Env("SFTP_PORT");
    name_ = "[127.0.0.1]:" + port_;
  }

  // The server's key of one type as ssh-keyscan shows it: "name type base64\n".
  std::string scan(const char* type) {
    return Shell("ssh-keyscan -p " + port_ + " -t " + type + " 127.0.0.1 2>/dev/null");
  }
  // A key the server does not have, as a known-hosts line for it.
  std::string foreign(const char* keyVar) {
    std::string pub = sftp_test::FileText(Env(keyVar) + ".pub");
    return name_ + " " + pub.substr(0, pub.rfind(' ')) + "\n";
  }
  // ssh-keygen's fingerprint of the key on a known-hosts line.
  std::string fingerprint(const std::string& line) {
    std::string tmp = file_ + ".one";
    WriteText(tmp, line);
    std::string out = Shell("ssh-keygen -l -f " + tmp);
    std::filesystem::remove(tmp);
    size_t at = out.find("SHA256:");
    return out.substr(at, out.find(' ', at) - at);
  }
  Status connect(bool verify) {
    EndpointConfig cfg = sftp_test::ServerEndpoint();
    cfg.verifyTls = verify;
    SftpBackend b(cfg);
    return b.connect();
  }

  std::string file_, port_, name_;
};

TEST_F(SftpHostKeys, FirstConnectRecordsTheKeyAsSshSeesIt) {
  ASSERT_TRUE(connect(true).ok());
  const std::string recorded = sftp_test::FileText(file_);
  EXPECT_EQ(recorded, scan("ecdsa"));
  Shell("ssh-keygen -F '" + name_ + "' -f " + file_ + " >/dev/null");  // fails unless ssh finds the host
  ASSERT_TRUE(connect(true).ok());
  EXPECT_EQ(sftp_test::FileText(file_), recorded);

  // Our fingerprint is the one ssh prints.
  std::vector<uint8_t> blob;
  ASSERT_TRUE(vx::Base64Decode(recorded.substr(recorded.rfind(' ') + 1, recorded.size() - recorded.rfind(' ') - 2), blob));
  EXPECT_EQ(HostKeyFingerprint(blob.data(), blob.size()), fingerprint(recorded));
}

TEST_F(SftpHostKeys, RecordedKeysDecideWhoMayHearTheCredentials) {
  const std::string others = "# kept\n@cert-authority *.example.org " + foreign("SFTP_KEY_UNLISTED").substr(name_.size() + 1) +
                             "not a known-hosts line\n";
  struct Case {
    const char* what;
    std::string file;
    bool verify;
    int32_t code;
    std::string expectFile;  // empty: unchanged
    bool hashed = false;     // names hashed by ssh-keygen -H
  } cases[] = {
      {"the recorded key", scan("ecdsa"), true, Status::kOk, ""},
      {"the recorded key under a hashed name", scan("ecdsa"), true, Status::kOk, "", true},
      {"only another type recorded: the server shows that one", scan("ed25519"), true, Status::kOk, ""},
      {"lines of other kinds stay as they are", others, true, Status::kOk, others + scan("ecdsa")},
      {"another key of the same type", foreign("SFTP_KEY_ECDSA"), true, Status::kAuthFailed, ""},
      {"another key under a hashed name", foreign("SFTP_KEY_ECDSA"), true, Status::kAuthFailed, "", true},
      {"another key of another type", foreign("SFTP_KEY_UNLISTED"), true, Status::kAuthFailed, ""},
      {"a changed key with the check off", foreign("SFTP_KEY_ECDSA"), false, Status::kOk, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteText(file_, c.file);
    if (c.hashed) Shell("ssh-keygen -H -f " + file_ + " >/dev/null 2>&1");
    const std::string written = sftp_test::FileText(file_);
    ASSERT_EQ(written.rfind("|1|", 0) == 0, c.hashed) << written;
    Status st = connect(c.verify);
    EXPECT_EQ(st.code, c.code) << st.toString();
    EXPECT_EQ(sftp_test::FileText(file_), c.expectFile.empty() ? written : c.expectFile);
    if (c.code != Status::kAuthFailed) continue;
    // Both fingerprints, as ssh prints them, and how to accept the new key.
    const std::string type = c.file.substr(name_.size() + 1, c.file.find(' ', name_.size() + 1) - name_.size() - 1);
    const std::string offered = scan(type.rfind("ecdsa", 0) == 0 ? "ecdsa" : "ed25519");
    EXPECT_NE(st.message.find("host key of " + name_ + " changed"), std::string::npos) << st.message;
    EXPECT_NE(st.message.find(fingerprint(c.file)), std::string::npos) << st.message;
    EXPECT_NE(st.message.find(fingerprint(offered)), std::string::npos) << st.message;
    const std::string hint = "ssh-keygen -R '" + name_ + "' -f " + file_;
    ASSERT_NE(st.message.find(hint), std::string::npos) << st.message;
    Shell(hint + " >/dev/null 2>&1");
    EXPECT_TRUE(connect(true).ok());
  }
}

// Keys that cannot be read may pin the key a server now swaps: such a file
// refuses every server with the reason, and stays as it was. Only a file
// that is not there stands for hosts never met.
TEST_F(SftpHostKeys, KnownHostsThatCannotBeReadRefuseTheServer) {
  constexpr uint64_t kBeyondReadable = 65ull * 1024 * 1024;
  struct Case {
    const char* what;
    std::function<void(const std::string&)> make;
    const char* reason;  // empty: connects and records the key
  } cases[] = {
      {"a folder in its place", [](const std::string& f) { std::filesystem::create_directory(f); }, "Is a directory"},
      {"a link to a folder",
       [](const std::string& f) {
         std::filesystem::create_directory(f + ".dir");
         std::filesystem::create_symlink(f + ".dir", f);
       },
       "Is a directory"},
      {"a file too large to read",
       [](const std::string& f) {
         WriteText(f, "# kept\n");
         std::filesystem::resize_file(f, kBeyondReadable);
       },
       "File too large"},
      {"a link to nothing", [](const std::string& f) { std::filesystem::create_symlink(f + ".gone", f); }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(file_);
    std::filesystem::remove_all(file_ + ".dir");
    c.make(file_);
    const auto kindBefore = std::filesystem::symlink_status(file_).type();
    const Status st = connect(true);
    if (*c.reason == '\0') {
      EXPECT_TRUE(st.ok()) << st.toString();
      EXPECT_EQ(sftp_test::FileText(file_), scan("ecdsa"));
      continue;
    }
    EXPECT_EQ(st.code, Status::kIo) << st.toString();
    EXPECT_NE(st.message.find("cannot read known hosts file " + file_ + ": " + c.reason), std::string::npos)
        << st.message;
    EXPECT_EQ(std::filesystem::symlink_status(file_).type(), kindBefore);
    if (kindBefore == std::filesystem::file_type::regular) {
      EXPECT_EQ(std::filesystem::file_size(file_), kBeyondReadable);
    }
  }
  std::filesystem::remove_all(file_);
  std::filesystem::remove_all(file_ + ".dir");
}

// The key a connection shows its user reads as "ssh-keygen -lf" prints it
// (fingerprint, then the kind in brackets), for each kind the server has
// (the recorded kind goes first), also when the log-in is then refused.
TEST_F(SftpHostKeys, ServerKeyReadsAsSshKeygenPrintsIt) {
  for (const char* type : {"ecdsa", "ed25519"}) {
    SCOPED_TRACE(type);
    const std::string line = scan(type);
    WriteText(file_, line);
    std::string printed = Shell("ssh-keygen -l -f " + file_);
    while (!printed.empty() && printed.back() == '\n') printed.pop_back();
    const std::string fp = printed.substr(printed.find("SHA256:"));
    const std::string want = fp.substr(0, fp.find(' ')) + " " + printed.substr(printed.rfind(' ') + 1);
    for (bool rightPassword : {true, false}) {
      EndpointConfig cfg = sftp_test::ServerEndpoint();
      if (!rightPassword) cfg.password = "wrong";
      SftpBackend b(cfg);
      EXPECT_EQ(b.serverKey(), "");
      Status st = b.connect();
      EXPECT_EQ(st.ok(), rightPassword) << st.toString();
      EXPECT_EQ(b.serverKey(), want) << printed;
    }
  }
}

}  // namespace
}  // namespace tarn

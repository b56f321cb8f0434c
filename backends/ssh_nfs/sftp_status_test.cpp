// How SFTP statuses, attributes and SSH library errors become tarn::Status
// and RemoteAttr values, and how remote paths resolve against the endpoint's
// root. No server needed.
#include <gtest/gtest.h>
#include <libssh2.h>

#include "backends/ssh_nfs/sftp_backend.h"
#include "backends/ssh_nfs/sftp_connection.h"
#include "backends/ssh_nfs/sftp_status.h"
#include "backends/ssh_nfs/sftp_streams.h"

namespace tarn {
namespace {

TEST(SftpStatus, ServerStatusNumbersMapToCodesAndNameTheStep) {
  struct Case {
    uint32_t fx;
    int32_t code;
    const char* name;
  } cases[] = {
      {1, Status::kIo, "end of file"},
      {2, Status::kNotFound, "no such file"},
      {3, Status::kAccessDenied, "permission denied"},
      {4, Status::kIo, "failure"},
      {5, Status::kInvalid, "bad message"},
      {6, Status::kNetwork, "no connection"},
      {7, Status::kNetwork, "connection lost"},
      {8, Status::kUnsupported, "operation unsupported"},
      {10, Status::kNotFound, "no such path"},
      {11, Status::kExists, "file already exists"},
      {12, Status::kAccessDenied, "write protect"},
      {14, Status::kNoSpace, "no space on file system"},
      {15, Status::kNoSpace, "quota exceeded"},
      {17, Status::kBusy, "lock conflict"},
      {18, Status::kNotEmpty, "directory not empty"},
      {19, Status::kNotDirectory, "not a directory"},
      {24, Status::kIsDirectory, "file is a directory"},
      {0, Status::kProtocol, "ok"},            // a failure that claims success
      {999, Status::kProtocol, "unknown status"},
  };
  for (const auto& c : cases) {
    Status st = SftpStatusError("open /a b", c.fx);
    EXPECT_EQ(st.code, c.code) << c.fx;
    EXPECT_EQ(st.native, int32_t(c.fx));
    EXPECT_EQ(st.message, "open /a b: sftp error " + std::to_string(c.fx) + " (" + c.name + ")");
  }
}

TEST(SftpStatus, LibraryErrorsSeparateTransportTimeoutAndCredentials) {
  struct Case {
    int rc;
    int32_t code;
    bool breaks;
  } cases[] = {
      {LIBSSH2_ERROR_SOCKET_SEND, Status::kNetwork, true},
      {LIBSSH2_ERROR_SOCKET_RECV, Status::kNetwork, true},
      {LIBSSH2_ERROR_SOCKET_DISCONNECT, Status::kNetwork, true},
      {LIBSSH2_ERROR_BANNER_RECV, Status::kNetwork, true},
      {LIBSSH2_ERROR_KEX_FAILURE, Status::kNetwork, true},
      {LIBSSH2_ERROR_CHANNEL_CLOSED, Status::kNetwork, true},
      {LIBSSH2_ERROR_TIMEOUT, Status::kTimeout, true},
      {LIBSSH2_ERROR_SOCKET_TIMEOUT, Status::kTimeout, true},
      {LIBSSH2_ERROR_AUTHENTICATION_FAILED, Status::kAuthFailed, false},
      {LIBSSH2_ERROR_PUBLICKEY_UNVERIFIED, Status::kAuthFailed, false},
      {LIBSSH2_ERROR_PASSWORD_EXPIRED, Status::kAuthFailed, false},
      {LIBSSH2_ERROR_CHANNEL_REQUEST_DENIED, Status::kUnsupported, false},
      {LIBSSH2_ERROR_ALLOC, Status::kIo, false},
      {LIBSSH2_ERROR_BUFFER_TOO_SMALL, Status::kProtocol, false},
  };
  for (const auto& c : cases) {
    Status st = SshLibraryError("ssh handshake", c.rc, "Unable to exchange keys");
    EXPECT_EQ(st.code, c.code) << c.rc;
    EXPECT_EQ(st.native, c.rc);
    EXPECT_EQ(st.retryable(), c.code == Status::kNetwork || c.code == Status::kTimeout) << c.rc;
    EXPECT_EQ(SshErrorBreaksConnection(c.rc), c.breaks) << c.rc;
    EXPECT_EQ(st.message,
              "ssh handshake: Unable to exchange keys (libssh2 error " + std::to_string(c.rc) + ")");
  }
  EXPECT_EQ(SshLibraryError("x", LIBSSH2_ERROR_SOCKET_SEND, "").message, "x: ssh error (libssh2 error -7)");
}

TEST(SftpServerPath, RemotePathsResolveAgainstTheRoot) {
  struct Case {
    const char* root;
    const char* path;
    const char* expect;
  } cases[] = {
      {"", "/", "/"},
      {"", "", "/"},
      {"", "/a/b", "/a/b"},
      {"/", "/a", "/a"},
      {"/srv/data", "/", "/srv/data"},
      {"/srv/data/", "/x", "/srv/data/x"},
      {"/srv/data", "a/./b/../c", "/srv/data/a/c"},
      {"/srv/data", "/../../etc/passwd", "/srv/data/etc/passwd"},
      {"/srv/data", "\\win\\style", "/srv/data/win/style"},
      {"data", "/", "data"},
      {"data", "/x/y", "data/x/y"},
      {".", "/x", "./x"},
  };
  for (const auto& c : cases) {
    EndpointConfig cfg;
    cfg.root = c.root;
    SftpBackend b(cfg);
    EXPECT_EQ(b.serverPath(c.path), c.expect) << "root " << c.root << " path " << c.path;
  }
}

TEST(SftpTempNames, WorkFilesSitBesideTheirTargetAndAreRecognised) {
  struct Case {
    const char* path;
    const char* folderPrefix;
  } cases[] = {{"/srv/a/file.txt", "/srv/a/"}, {"/top", "/"}, {"relative", ""}};
  for (const auto& c : cases) {
    std::string a = SftpConnection::SiblingTempName(c.path, "upload");
    std::string b = SftpConnection::SiblingTempName(c.path, "upload");
    EXPECT_NE(a, b);
    ASSERT_EQ(a.rfind(c.folderPrefix, 0), 0u) << a;
    std::string name = a.substr(std::string(c.folderPrefix).size());
    EXPECT_EQ(name.rfind(".tarn-upload-", 0), 0u) << name;
    EXPECT_TRUE(SftpConnection::IsTempName(name)) << name;
  }
  for (const char* name : {"file", ".tarn-", ".tarn-upload-", ".tarn-upload-0123456789abcdeF", ".tarn-upload-xyz",
                           "x.tarn-upload-0123456789abcdef", ".tarn-upload-0123456789abcde"})
    EXPECT_FALSE(SftpConnection::IsTempName(name)) << name;
  EXPECT_TRUE(SftpConnection::IsTempName(".tarn-replaced-0123456789abcdef"));
}

TEST(SftpStatus, SizesBeyondWhatAFileCanHoldAreRefused) {
  struct Case {
    uint64_t size;
    uint32_t type;
    bool ok;
  } cases[] = {
      {kMaxRemoteFileBytes, LIBSSH2_SFTP_S_IFREG, true},
      {kMaxRemoteFileBytes + 1, LIBSSH2_SFTP_S_IFREG, false},
      {~uint64_t(0), LIBSSH2_SFTP_S_IFREG, false},  // "-1" read as unsigned
      {~uint64_t(0), LIBSSH2_SFTP_S_IFDIR, true},   // a folder's size is not used
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    LIBSSH2_SFTP_ATTRIBUTES a{};
    a.flags = LIBSSH2_SFTP_ATTR_SIZE | LIBSSH2_SFTP_ATTR_PERMISSIONS;
    a.permissions = c.type | 0644;
    a.filesize = c.size;
    RemoteAttr out;
    out.size = 7;
    Status st = AttrFromSftp(a, "/srv/x", out);
    EXPECT_EQ(st.ok(), c.ok) << st.toString();
    if (c.ok) continue;
    EXPECT_EQ(st.code, Status::kProtocol);
    EXPECT_NE(st.message.find("/srv/x"), std::string::npos) << st.message;
    EXPECT_NE(st.message.find(std::to_string(c.size)), std::string::npos) << st.message;
    EXPECT_EQ(out.size, 7u);  // left as it was
  }
}

}  // namespace
}  // namespace tarn

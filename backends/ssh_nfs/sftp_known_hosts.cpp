#include "backends/ssh_nfs/sftp_known_hosts.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "foundation/codec.h"
#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/text.h"

namespace tarn {
namespace {

constexpr uint32_t kSshDefaultPort = 22;
constexpr size_t kMaxLineBytes = 16384;

// Orders read-modify-write of the file between connections of this process.
std::mutex gFileMutex;

struct KeyKind {
  int hostkeyType;  // LIBSSH2_HOSTKEY_TYPE_*
  int knownType;    // LIBSSH2_KNOWNHOST_KEY_*
  const char* method;
};

constexpr std::array<KeyKind, 6> kKeyKinds = {{
    {LIBSSH2_HOSTKEY_TYPE_ECDSA_256, LIBSSH2_KNOWNHOST_KEY_ECDSA_256, "ecdsa-sha2-nistp256"},
    {LIBSSH2_HOSTKEY_TYPE_ECDSA_384, LIBSSH2_KNOWNHOST_KEY_ECDSA_384, "ecdsa-sha2-nistp384"},
    {LIBSSH2_HOSTKEY_TYPE_ECDSA_521, LIBSSH2_KNOWNHOST_KEY_ECDSA_521, "ecdsa-sha2-nistp521"},
    {LIBSSH2_HOSTKEY_TYPE_ED25519, LIBSSH2_KNOWNHOST_KEY_ED25519, "ssh-ed25519"},
    {LIBSSH2_HOSTKEY_TYPE_RSA, LIBSSH2_KNOWNHOST_KEY_SSHRSA, "ssh-rsa"},
    {LIBSSH2_HOSTKEY_TYPE_DSS, LIBSSH2_KNOWNHOST_KEY_SSHDSS, "ssh-dss"},
}};

class KnownHosts {
 public:
  explicit KnownHosts(LIBSSH2_SESSION* session) : hosts_(libssh2_knownhost_init(session)) {}
  ~KnownHosts() {
    if (hosts_ != nullptr) libssh2_knownhost_free(hosts_);
  }
  KnownHosts(const KnownHosts&) = delete;
  KnownHosts& operator=(const KnownHosts&) = delete;
  LIBSSH2_KNOWNHOSTS* get() const { return hosts_; }

 private:
  LIBSSH2_KNOWNHOSTS* hosts_;
};

// The file's text (empty when it does not exist yet), its lines loaded into
// `hosts`. Lines the library cannot read (markers, key types it does not
// know, comments) are skipped here and kept in `text`.
Status Load(const std::string& file, LIBSSH2_KNOWNHOSTS* hosts, std::string& text) {
  text.clear();
  if (hosts == nullptr) return Status(Status::kIo, "known hosts: out of memory");
  errno = 0;
  if (!vx::ReadWholeFile(file, text)) {
    // Only a file that is not there means a host never met: one that is
    // there but unreadable may pin the very key a server now swaps.
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 && errno == ENOENT) return Status();
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno != 0 ? errno : EFBIG;
    return Status(Status::kIo,
                  "cannot read known hosts file " + file + ": " + vx::FormatWin32Error(static_cast<uint32_t>(error)) +
                      "; no host key can be checked, so no connection is made",
                  error);
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    libssh2_knownhost_readline(hosts, line.c_str(), line.size(), LIBSSH2_KNOWNHOST_FILE_OPENSSH);
  }
  return Status();
}

// OpenSSH's name for a host: the bare name on port 22, "[host]:port" else.
std::string EntryName(const std::string& host, uint32_t port) {
  if (port == kSshDefaultPort) return host;
  return "[" + host + "]:" + std::to_string(port);
}

// The algorithm name a public-key blob starts with.
std::string BlobKeyType(const std::vector<uint8_t>& blob) {
  if (blob.size() < 4) return "unknown";
  uint32_t n = uint32_t(blob[0]) << 24 | uint32_t(blob[1]) << 16 | uint32_t(blob[2]) << 8 | blob[3];
  if (n > blob.size() - 4) return "unknown";
  return std::string(reinterpret_cast<const char*>(blob.data()) + 4, n);
}

const KeyKind* KindOfHostkey(int hostkeyType) {
  for (const auto& k : kKeyKinds)
    if (k.hostkeyType == hostkeyType) return &k;
  return nullptr;
}

const KeyKind* KindOfKnown(int typemask) {
  for (const auto& k : kKeyKinds)
    if (k.knownType == (typemask & LIBSSH2_KNOWNHOST_KEY_MASK)) return &k;
  return nullptr;
}

}  // namespace

std::string KnownHostsPath() { return vx::JoinPath(DataRoot(), "known_hosts"); }

std::string HostKeyFingerprint(const void* blob, size_t size) {
  std::string b64 = vx::Base64Encode(vx::Sha256(blob, size));
  while (!b64.empty() && b64.back() == '=') b64.pop_back();
  return "SHA256:" + b64;
}

std::string SessionHostKeyText(LIBSSH2_SESSION* session) {
  size_t keyLen = 0;
  int keyType = 0;
  const char* key = session != nullptr ? libssh2_session_hostkey(session, &keyLen, &keyType) : nullptr;
  if (key == nullptr || keyLen == 0) return std::string();
  // ssh-keygen's names of the kinds: one for the three ECDSA curves.
  const std::string type = BlobKeyType(std::vector<uint8_t>(key, key + keyLen));
  std::string kind = type == "ssh-ed25519" ? "ED25519"
                     : type.rfind("ecdsa-", 0) == 0 ? "ECDSA"
                     : type == "ssh-rsa"            ? "RSA"
                                                    : type;
  return HostKeyFingerprint(key, keyLen) + " (" + kind + ")";
}

void PreferKnownHostKeyType(LIBSSH2_SESSION* session, const std::string& host, uint32_t port,
                            const std::string& file) {
  const KeyKind* kind = nullptr;
  {
    std::lock_guard<std::mutex> lock(gFileMutex);
    KnownHosts hosts(session);
    std::string text;
    if (!Load(file, hosts.get(), text).ok() || text.empty()) return;
    // A key that matches nothing, compared with keys of every type: the
    // answer names the first key recorded for the host.
    const char probe = 0;
    libssh2_knownhost* found = nullptr;
    int rc = libssh2_knownhost_checkp(hosts.get(), host.c_str(), int(port), &probe, 1,
                                      LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW, &found);
    if (rc != LIBSSH2_KNOWNHOST_CHECK_MISMATCH || found == nullptr) return;
    kind = KindOfKnown(found->typemask);
  }
  if (kind == nullptr) return;
  const char** algs = nullptr;
  int count = libssh2_session_supported_algs(session, LIBSSH2_METHOD_HOSTKEY, &algs);
  if (count <= 0) return;
  std::string prefs = kind->method;
  for (int i = 0; i < count; ++i)
    if (std::strcmp(algs[i], kind->method) != 0) prefs += std::string(",") + algs[i];
  libssh2_free(session, algs);
  libssh2_session_method_pref(session, LIBSSH2_METHOD_HOSTKEY, prefs.c_str());
}

Status CheckHostKey(LIBSSH2_SESSION* session, const std::string& host, uint32_t port, const std::string& file) {
  const std::string name = EntryName(host, port);
  size_t keyLen = 0;
  int keyType = LIBSSH2_HOSTKEY_TYPE_UNKNOWN;
  const char* key = libssh2_session_hostkey(session, &keyLen, &keyType);
  if (key == nullptr || keyLen == 0) return Status(Status::kProtocol, "ssh handshake with " + name + ": no host key");
  const std::vector<uint8_t> offered(key, key + keyLen);
  const std::string offeredPrint = HostKeyFingerprint(key, keyLen);

  std::lock_guard<std::mutex> lock(gFileMutex);
  KnownHosts hosts(session);
  std::string text;
  Status st = Load(file, hosts.get(), text);
  if (!st.ok()) return st;
  // Key type 0 compares with the keys of every type recorded for the host,
  // so that a server cannot dodge its recorded key by offering a new kind.
  libssh2_knownhost* found = nullptr;
  int rc = libssh2_knownhost_checkp(hosts.get(), host.c_str(), int(port), key, keyLen,
                                    LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW, &found);
  if (rc == LIBSSH2_KNOWNHOST_CHECK_MATCH) return Status();
  if (rc == LIBSSH2_KNOWNHOST_CHECK_MISMATCH && found != nullptr) {
    std::vector<uint8_t> known;
    std::string knownText = "an unreadable key";
    if (found->key != nullptr && vx::Base64Decode(found->key, known))
      knownText = BlobKeyType(known) + " " + HostKeyFingerprint(known.data(), known.size());
    return Status(Status::kAuthFailed,
                  "host key of " + name + " changed: " + file + " has " + knownText + ", the server offers " +
                      BlobKeyType(offered) + " " + offeredPrint +
                      "; if the server's key was replaced on purpose, accept the new one with ssh-keygen -R '" +
                      name + "' -f " + file + " and connect again");
  }
  if (rc != LIBSSH2_KNOWNHOST_CHECK_NOTFOUND)
    return Status(Status::kIo, "check the host key of " + name + " against " + file + ": the ssh library failed");

  // A new host: record the key it offered, as ssh's accept-new does.
  const KeyKind* kind = KindOfHostkey(keyType);
  libssh2_knownhost* added = nullptr;
  std::string line(kMaxLineBytes, '\0');
  size_t lineLen = 0;
  if (kind == nullptr ||
      libssh2_knownhost_addc(hosts.get(), name.c_str(), nullptr, key, keyLen, nullptr, 0,
                             LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | kind->knownType,
                             &added) != 0 ||
      libssh2_knownhost_writeline(hosts.get(), added, line.data(), line.size(), &lineLen,
                                  LIBSSH2_KNOWNHOST_FILE_OPENSSH) != 0) {
    vx::log::write(vx::log::kWarn, "sftp: cannot record the %s host key of %s (%s)", BlobKeyType(offered).c_str(),
                   name.c_str(), offeredPrint.c_str());
    return Status();
  }
  line.resize(lineLen);
  if (line.empty() || line.back() != '\n') line += '\n';
  if (!text.empty() && text.back() != '\n') text += '\n';
  if (!vx::WritePrivateFileAtomic(file, text + line)) {
    vx::log::write(vx::log::kWarn, "sftp: cannot write %s; the host key of %s (%s) stays unrecorded", file.c_str(),
                   name.c_str(), offeredPrint.c_str());
    return Status();
  }
  vx::log::write(vx::log::kInfo, "sftp: recorded the %s host key of %s (%s) in %s", BlobKeyType(offered).c_str(),
                 name.c_str(), offeredPrint.c_str(), file.c_str());
  return Status();
}

}  // namespace tarn

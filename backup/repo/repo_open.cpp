// Creating a repository ("/config" with the keys sealed under the password)
// and opening it again.
#include "backup/repo/repo.h"
#include "foundation/codec.h"
#include "foundation/file_util.h"
#include "foundation/hash.h"
#include "foundation/json.h"
#include "foundation/text.h"

namespace tarn::backup {
namespace {

constexpr const char* kFormat = "tarn-backup";
constexpr int64_t kFormatVersion = 1;
constexpr size_t kRepoIdBytes = 16;
constexpr size_t kSaltBytes = 32;
constexpr size_t kKeyBlockBytes = 72;
constexpr size_t kIdKeyAt = 32;
constexpr size_t kSeedAt = 64;
constexpr int32_t kConfigIndent = 2;
// What a repository keeps beside "/config" (and "keys", where other tools
// keep theirs): found without it, it is the data of a repository whose
// "/config" is lost, which new keys could never read.
constexpr const char* kRepositoryEntries[] = {"data", "index", "snapshots", "locks", "keys"};

// Wipes a key buffer however the function that holds it ends.
struct Wiped {
  std::vector<uint8_t>& bytes;
  ~Wiped() { vx::SecureWipe(bytes); }
};

Status NotARepository() {
  return Status(Status::kProtocol, "the folder does not hold a Tarn backup repository");
}

// The three chunk sizes, each within what a pack can hold.
bool ReadChunkerSizes(const vx::json::Value& chunker, ChunkerParams& out) {
  const std::pair<const char*, uint32_t*> members[] = {{"min", &out.min}, {"avg", &out.avg}, {"max", &out.max}};
  for (const auto& [name, field] : members) {
    int64_t v = chunker[name].asInt64(*field);
    if (v < 0 || v > kMaxChunkBytes) return false;
    *field = uint32_t(v);
  }
  return true;
}

}  // namespace

Status Repo::init(const std::string& password) {
  if (password.empty()) return Status(Status::kInvalid, "the repository password is empty");
  if (int64_t(options.kdfIterations) > kMaxKdfIterations)
    return Status(Status::kInvalid, "the key derivation iteration count is too large");
  Status st = probe();
  if (st.ok()) return Status(Status::kExists, "the folder already holds a backup repository");
  if (st.code != Status::kNotFound) return st;
  st = checkNoStrayData();
  if (st.code == Status::kExists)
    return Status(Status::kExists, "the folder holds " + st.message + "; no new repository is made over it");
  if (!st.ok()) return st;

  std::vector<uint8_t> keyBlock = vx::RandomBytes(kKeyBlockBytes);
  Wiped wipeBlock{keyBlock};
  std::vector<uint8_t> salt = vx::RandomBytes(kSaltBytes);
  std::vector<uint8_t> passwordKey;
  Wiped wipeKey{passwordKey};
  if (!DeriveKey(password, salt, options.kdfIterations, passwordKey))
    return Status(Status::kIo, "key derivation failed");
  GcmCipher keyCipher;
  std::vector<uint8_t> sealedKeys;
  if (!keyCipher.setKey(passwordKey) || !keyCipher.seal(keyBlock.data(), keyBlock.size(), kLabelKeys, sealedKeys))
    return Status(Status::kIo, "cannot seal the repository keys");

  vx::json::Value config = vx::json::Value::object();
  config.set("format", kFormat);
  config.set("version", kFormatVersion);
  config.set("id", vx::HexEncode(vx::RandomBytes(kRepoIdBytes)));
  config.set("created", vx::UnixNow());
  vx::json::Value kdf = vx::json::Value::object();
  kdf.set("alg", "pbkdf2-sha256");
  kdf.set("iterations", options.kdfIterations);
  kdf.set("salt", vx::Base64Encode(salt));
  config.set("kdf", std::move(kdf));
  config.set("cipher", "aes-256-gcm");
  config.set("keys", vx::Base64Encode(sealedKeys));
  vx::json::Value chunker = vx::json::Value::object();
  chunker.set("min", kChunkMinDefault);
  chunker.set("avg", kChunkAvgDefault);
  chunker.set("max", kChunkMaxDefault);
  config.set("chunker", std::move(chunker));

  for (const char* folder : {"/data", "/index", "/snapshots"}) {
    st = ensureDir(folder);
    if (!st.ok()) return st;
  }
  std::string text = config.dump(kConfigIndent);
  st = putObject("/config", std::vector<uint8_t>(text.begin(), text.end()));
  if (!st.ok()) return st;
  return open(password);
}

Status Repo::checkNoStrayData() {
  std::vector<DirEntry> present;
  Status st = listDir("/", present);
  if (!st.ok()) return st;
  std::string found;
  for (const char* name : kRepositoryEntries) {
    for (const DirEntry& e : present) {
      if (e.name != name) continue;
      found += (found.empty() ? "" : ", ") + e.name + (e.attr.isDir() ? "/" : "");
    }
  }
  if (found.empty()) return Status();
  return Status(Status::kExists, "backup data without its \"/config\" (" + found + ")");
}

Status Repo::open(const std::string& password) {
  std::vector<uint8_t> bytes;
  Status st = getObject("/config", bytes);
  if (!st.ok()) return st;
  vx::json::Value config;
  if (!vx::json::Parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), config) ||
      !config["format"].isString() || config["format"].asString() != kFormat)
    return NotARepository();
  int64_t version = config["version"].asInt64(0);
  if (version != kFormatVersion)
    return Status(Status::kUnsupported,
                  "the repository was made by a newer Tarn (format " + std::to_string(version) + ")");
  std::vector<uint8_t> salt, sealedKeys;
  if (!vx::Base64Decode(config["kdf"]["salt"].asString(), salt) ||
      !vx::Base64Decode(config["keys"].asString(), sealedKeys))
    return Status(Status::kProtocol, "the repository config is damaged");
  // Checked before any work: the file is not authenticated.
  int64_t iterations = config["kdf"]["iterations"].asInt64(0);
  if (iterations < 1 || iterations > kMaxKdfIterations)
    return Status(Status::kProtocol, "the repository config has an iteration count out of range");
  ChunkerParams chunker;
  if (!ReadChunkerSizes(config["chunker"], chunker))
    return Status(Status::kProtocol, "the repository config has chunk sizes out of range");

  std::vector<uint8_t> passwordKey;
  Wiped wipeKey{passwordKey};
  if (!DeriveKey(password, salt, uint32_t(iterations), passwordKey))
    return Status(Status::kIo, "key derivation failed");
  GcmCipher keyCipher;
  std::vector<uint8_t> keyBlock;
  Wiped wipeBlock{keyBlock};
  if (!keyCipher.setKey(passwordKey) || !keyCipher.open(sealedKeys.data(), sealedKeys.size(), kLabelKeys, keyBlock) ||
      keyBlock.size() != kKeyBlockBytes)
    return Status(Status::kAuthFailed, "wrong repository password");

  if (!cipher.setKey(keyBlock.data(), kKeySize)) return Status(Status::kIo, "cannot set up the cipher");
  idKey.assign(keyBlock.begin() + kIdKeyAt, keyBlock.begin() + kSeedAt);
  chunker.seed = 0;
  for (size_t i = 0; i < 8; ++i) chunker.seed |= uint64_t(keyBlock[kSeedAt + i]) << (8 * i);
  chunkerParams = chunker;
  repoId = config["id"].asString();
  return Status();
}

}  // namespace tarn::backup

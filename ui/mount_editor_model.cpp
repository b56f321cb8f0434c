#include "ui/mount_editor_model.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/share_link.h"
#include "foundation/text.h"
#include "mount/mount_table.h"
#include "ui/language.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

using vx::json::Value;

constexpr uint64_t kMaxU32 = std::numeric_limits<uint32_t>::max();
constexpr uint64_t kMaxI32 = std::numeric_limits<int32_t>::max();
constexpr uint64_t kMaxU64 = std::numeric_limits<uint64_t>::max();
constexpr uint64_t kMs = 1000;        // seconds in the field, milliseconds stored
constexpr uint64_t kMiB = 1u << 20;   // MiB in the field, bytes stored
constexpr uint64_t kKiB = 1u << 10;
constexpr qsizetype kPasswordPlaceholderChars = 8;
constexpr char16_t kPlaceholderBullet = u'\u2022';
// A private key is a few kilobytes; anything far larger is not one.
constexpr off_t kMaxKeyFileBytes = 1 << 20;

constexpr std::string_view kDavFilesPath = "/remote.php/dav/files/";
constexpr std::string_view kDavFilesRoot = "/remote.php/dav/files";

// Stored values are in range by construction (IntFromDlgItem checks them
// against maxStored).
template <typename T>
T Narrow(uint64_t v) {
  return static_cast<T>(v);
}

const NumberFieldSpec kNumberFields[kNumberFieldCount] = {
    {kStrPort, 1, 0, kMaxEndpointPort, [](const MountConfig& c) -> uint64_t { return c.endpoint.port; },
     [](MountConfig& c, uint64_t v) { c.endpoint.port = Narrow<uint32_t>(v); }},
    {kStrConnectTimeout, kMs, 15, kMaxU32, [](const MountConfig& c) -> uint64_t { return c.net.connectTimeoutMs; },
     [](MountConfig& c, uint64_t v) { c.net.connectTimeoutMs = Narrow<uint32_t>(v); }},
    {kStrIoTimeout, kMs, 30, kMaxU32, [](const MountConfig& c) -> uint64_t { return c.net.ioTimeoutMs; },
     [](MountConfig& c, uint64_t v) { c.net.ioTimeoutMs = Narrow<uint32_t>(v); }},
    {kStrAttempts, 1, 5, kMaxI32,
     [](const MountConfig& c) -> uint64_t { return static_cast<uint64_t>(std::max(c.net.retries, 0)); },
     [](MountConfig& c, uint64_t v) { c.net.retries = Narrow<int32_t>(v); }},
    {kStrKeepalive, 1, 30, kMaxU32, [](const MountConfig& c) -> uint64_t { return c.net.keepaliveSec; },
     [](MountConfig& c, uint64_t v) { c.net.keepaliveSec = Narrow<uint32_t>(v); }},
    {kStrRetryMin, 1, 500, kMaxU32, [](const MountConfig& c) -> uint64_t { return c.net.retryMinMs; },
     [](MountConfig& c, uint64_t v) { c.net.retryMinMs = Narrow<uint32_t>(v); }},
    {kStrRetryMax, 1, 30000, kMaxU32, [](const MountConfig& c) -> uint64_t { return c.net.retryMaxMs; },
     [](MountConfig& c, uint64_t v) { c.net.retryMaxMs = Narrow<uint32_t>(v); }},
    {kStrConnections, 1, 4, kMaxI32,
     [](const MountConfig& c) -> uint64_t { return static_cast<uint64_t>(std::max(c.net.connections, 0)); },
     [](MountConfig& c, uint64_t v) { c.net.connections = Narrow<int32_t>(v); }},
    {kStrSpeedLimit, 1, 0, kMaxU32, [](const MountConfig& c) -> uint64_t { return c.net.speedLimitKbps; },
     [](MountConfig& c, uint64_t v) { c.net.speedLimitKbps = Narrow<uint32_t>(v); }},
    {kStrUploadChunk, kMiB, 16, kMaxU64, [](const MountConfig& c) -> uint64_t { return c.transfer.chunkBytes; },
     [](MountConfig& c, uint64_t v) { c.transfer.chunkBytes = v; }},
    {kStrParallelChunks, 1, 2, kMaxI32,
     [](const MountConfig& c) -> uint64_t { return static_cast<uint64_t>(std::max(c.transfer.parallelChunks, 0)); },
     [](MountConfig& c, uint64_t v) { c.transfer.parallelChunks = Narrow<int32_t>(v); }},
    {kStrCacheSize, kMiB, 4096, kMaxU64, [](const MountConfig& c) -> uint64_t { return c.cache.maxBytes; },
     [](MountConfig& c, uint64_t v) { c.cache.maxBytes = v; }},
    {kStrReadahead, 1, 4, kMaxU32, [](const MountConfig& c) -> uint64_t { return c.cache.readaheadBlocks; },
     [](MountConfig& c, uint64_t v) { c.cache.readaheadBlocks = Narrow<uint32_t>(v); }},
    {kStrReadaheadMax, 1, 32, kMaxU32, [](const MountConfig& c) -> uint64_t { return c.cache.readaheadMaxBlocks; },
     [](MountConfig& c, uint64_t v) { c.cache.readaheadMaxBlocks = Narrow<uint32_t>(v); }},
    {kStrMetadataTtl, kMs, 10, kMaxU32, [](const MountConfig& c) -> uint64_t { return c.cache.metaTtlMs; },
     [](MountConfig& c, uint64_t v) { c.cache.metaTtlMs = c.cache.dirTtlMs = Narrow<uint32_t>(v); }},
    {kStrWritebackDelay, kMs, 2, kMaxU32, [](const MountConfig& c) -> uint64_t { return c.cache.writebackDelayMs; },
     [](MountConfig& c, uint64_t v) { c.cache.writebackDelayMs = Narrow<uint32_t>(v); }},
    {kStrWholeFileBelow, kMiB, 4, kMaxU64, [](const MountConfig& c) -> uint64_t { return c.cache.wholeFileBelow; },
     [](MountConfig& c, uint64_t v) { c.cache.wholeFileBelow = v; }},
};

// The unit each field's text is in, as its label names it (-1: a plain
// count).
constexpr int kNumberUnits[kNumberFieldCount] = {
    -1,                          // port
    kStrUnitSeconds,             // connect timeout
    kStrUnitSeconds,             // I/O timeout
    -1,                          // attempts
    kStrUnitSeconds,             // keepalive
    kStrUnitMilliseconds,        // retry delay min
    kStrUnitMilliseconds,        // retry delay max
    -1,                          // connections
    kStrUnitKilobytesPerSecond,  // speed limit
    kStrUnitMegabytes,           // upload chunk
    -1,                          // parallel chunks
    kStrUnitMegabytes,           // cache size
    -1,                          // read-ahead, blocks
    -1,                          // read-ahead max, blocks
    kStrUnitSeconds,             // metadata lifetime
    kStrUnitSeconds,             // write-back delay
    kStrUnitMegabytes,           // whole files below
};

QString Str(const std::string& text) { return QString::fromStdString(text); }
std::string Utf8(const QString& text) { return text.toStdString(); }

// A number of a field as the field counts it, with its unit.
QString NumberInUnit(uint64_t value, NumberField field) {
  QString text = QLocale().toString(static_cast<qulonglong>(value));
  const int unit = kNumberUnits[field];
  if (unit >= 0) text += QLatin1Char(' ') + Tr(unit);
  return LeftToRightText(text);
}

int Clamp(int index, int count, int otherwise) { return index >= 0 && index < count ? index : otherwise; }

int UnicodeIndex(uint32_t unicode) {
  if (unicode == CompatOptions::kUnicodeNfd) return 1;
  if (unicode == CompatOptions::kUnicodeNone) return 2;
  return 0;
}

constexpr uint32_t kUnicodeOfIndex[] = {CompatOptions::kUnicodeNfc, CompatOptions::kUnicodeNfd,
                                        CompatOptions::kUnicodeNone};

bool InUse(const std::u16string& inUse, char16_t letter) { return inUse.find(letter) != std::u16string::npos; }

// The checks of a probe by the names the service gives them.
struct CheckName {
  const char* check;
  int textId;
};
constexpr CheckName kCheckNames[] = {
    {"connect", kStrProbeConnect},   {"list", kStrProbeList},
    {"names", kStrProbeNames},       {"space", kStrProbeSpace},
    {"write", kStrProbeWrite},       {"mkdir", kStrProbeMkdir},
    {"stat", kStrProbeStat},         {"range", kStrProbeRange},
    {"random-write", kStrProbeRandomWrite}, {"mtime", kStrProbeMtime},
    {"rename", kStrProbeRename},     {"case", kStrProbeCase},
    {"long-name", kStrProbeLongName}, {"unicode", kStrProbeUnicode},
    {"windows-names", kStrProbeWindowsNames}, {"host-key", kStrProbeHostKey},
    {"cleanup", kStrTaskCleanup},    {"canceled", kStrProbeCanceled},
    {"backend", kStrProbeBackend},
};

QString CheckWords(const std::string& check) {
  for (const CheckName& c : kCheckNames) {
    if (check == c.check) return Tr(c.textId);
  }
  // A check this program does not know yet keeps the service's name.
  return LeftToRightText(Str(check));
}

int LevelTextId(const std::string& level) {
  if (level == "ok") return kStrProbeOk;
  return level == "warn" ? kStrProbeWarning : kStrResultFailed;
}

}  // namespace

MountEditorState OpenMountEditor(const Value& drive, bool isNew) {
  MountEditorState state;
  state.config = MountConfigFromJson(drive);
  state.isNew = isNew;
  const Value& ep = drive["endpoint"];
  state.hasPassword = !state.config.endpoint.password.empty() || ep["hasPassword"].asBool();
  state.hasPrivateKey = !state.config.endpoint.privateKey.empty() || ep["hasPrivateKey"].asBool();
  if (isNew) {
    state.config.id.clear();
    state.config.endpoint.root.clear();
    state.config.endpoint.protocol = kProtocols[0];
  }
  return state;
}

QStringList LetterItems(const std::u16string& inUse, char16_t own) {
  QStringList items;
  for (char16_t letter = kFirstLetter; letter <= kLastLetter; ++letter) {
    QString item = QString(QChar(letter)) + QLatin1Char(':');
    if (letter != own && InUse(inUse, letter)) item += QStringLiteral(" *");
    // "D:" stays "D:" in a right-to-left list, not ":D".
    items << LeftToRightText(item);
  }
  return items;
}

int LetterIndexFor(const MountEditorState& state, const std::u16string& inUse) {
  if (state.isNew) {
    for (char16_t letter = kFirstNewLetter; letter <= kLastLetter; ++letter) {
      if (!InUse(inUse, letter)) return letter - kFirstLetter;
    }
  }
  const char16_t own = state.config.drive;
  return own >= kFirstLetter && own <= kLastLetter ? own - kFirstLetter : -1;
}

std::u16string LettersInUse(const ServiceStatus& status, const std::string& ownId) {
  std::u16string letters;
  for (const MountStatus& m : status.mounts) {
    if (m.id != ownId) letters += m.drive;
  }
  const std::vector<std::string> mounted = MountPoints();
  for (char16_t letter = kFirstLetter; letter <= kLastLetter; ++letter) {
    if (InUse(letters, letter)) continue;
    if (std::find(mounted.begin(), mounted.end(), MountPointPath(letter)) != mounted.end()) letters += letter;
  }
  return letters;
}

const NumberFieldSpec& NumberFieldAt(NumberField field) { return kNumberFields[field]; }

bool IntFromDlgItem(const QString& text, NumberField field, uint64_t& value, QString& error) {
  const NumberFieldSpec& spec = kNumberFields[field];
  const uint64_t max = spec.maxStored / spec.scale;
  const QString t = text.trimmed();
  if (t.isEmpty()) {
    value = spec.emptyValue;
    return true;
  }
  qsizetype i = t.startsWith(QLatin1Char('+')) ? 1 : 0;
  bool ok = i < t.size();
  uint64_t v = 0;
  for (; ok && i < t.size(); ++i) {
    const char16_t c = t[i].unicode();
    ok = c >= u'0' && c <= u'9';
    if (!ok) break;
    const uint64_t digit = c - u'0';
    ok = v <= (max - digit) / 10;
    if (ok) v = v * 10 + digit;
  }
  if (!ok) {
    error = FormatText(Tr(kStrWholeNumber), {Tr(spec.labelId), NumberInUnit(0, field), NumberInUnit(max, field)});
    return false;
  }
  value = v;
  return true;
}

QString SetDlgItemNumber(NumberField field, const MountConfig& config) {
  const NumberFieldSpec& spec = kNumberFields[field];
  return QString::number(spec.get(config) / spec.scale);
}

int ProtocolIndex(const std::string& protocol) {
  for (size_t i = 0; i < kProtocols.size(); ++i) {
    if (protocol == kProtocols[i]) return static_cast<int>(i);
  }
  return 0;
}

QString PasswordPlaceholder() { return QString(kPasswordPlaceholderChars, QChar(kPlaceholderBullet)); }

MountFields FillMountFields(const MountEditorState& state, const std::u16string& inUse) {
  const MountConfig& c = state.config;
  const EndpointConfig& ep = c.endpoint;
  MountFields f;
  f.name = Str(c.name);
  f.letter = LetterIndexFor(state, inUse);
  f.protocol = ProtocolIndex(ep.protocol);
  f.tls = ep.tls;
  f.verifyTls = ep.verifyTls;
  f.user = Str(ep.user);
  f.extra = Str(ep.extra);
  f.autoMount = c.autoMount;
  f.readOnly = c.compat.readOnly;

  const std::string link = ep.protocol == kProtocols[0] ? EndpointUrl(ep) : std::string();
  if (ep.protocol == kProtocols[0] && (state.isNew || !link.empty())) {
    f.host = Str(link);
  } else {
    f.host = Str(ep.host);
    if (ep.port != 0) f.numbers[kFieldPort] = QString::number(ep.port);
    f.root = Str(ep.root);
  }
  if (!state.isNew && state.hasPassword) f.password = PasswordPlaceholder();
  if (!state.isNew && state.hasPrivateKey) f.keyFile = Tr(kStrSavedSecret);

  for (int i = kFieldPort + 1; i < kNumberFieldCount; ++i) {
    f.numbers[static_cast<size_t>(i)] = SetDlgItemNumber(static_cast<NumberField>(i), c);
  }
  f.uploadsRetryForever = c.net.uploadsRetryForever;
  f.resume = c.transfer.resume;
  f.verifyAfterUpload = c.transfer.verifyAfterUpload;

  f.cacheDir = Str(c.cache.dir);
  f.block = kDefaultBlockIndex;
  for (size_t i = 0; i < kBlockKiB.size(); ++i) {
    if (uint64_t{kBlockKiB[i]} * kKiB == c.cache.blockBytes) f.block = static_cast<int>(i);
  }
  f.offlineMode = c.cache.offlineMode;
  f.keepDirtyForever = c.cache.keepDirtyForever;

  f.unicode = UnicodeIndex(c.compat.unicode);
  f.caseCollision = c.compat.caseCollision == CompatOptions::kCaseAllow ? 1 : 0;
  f.allowReservedNames = c.compat.allowReservedNames;
  f.allowTrailingDotSpace = c.compat.allowTrailingDotSpace;
  f.setMtime = c.compat.setMtime;
  f.hideDotFiles = c.compat.hideDotFiles;
  return f;
}

ProtocolFields EnableMountFields(int protocol) {
  switch (protocol) {
    case 1:
      return {kStrHintSftp, false, true, true};
    case 2:
      return {kStrHintNfs, false, false, false};
    default:
      return {kStrHintWebDav, true, false, true};
  }
}

void ProtocolChosen(MountFields& fields) {
  if (fields.protocol == 0 && fields.root.trimmed().isEmpty()) fields.root = Str(std::string(kDavFilesPath));
}

bool ParseServerLink(MountFields& fields, MountEditorState& state) {
  const std::string link = vx::Trim(Utf8(fields.host));
  if (link.size() < 3 || link.find("://") == std::string::npos) return false;
  EndpointConfig ep;
  ep.host = link;
  if (!ParseShareLink(ep).empty()) return false;

  fields.protocol = ProtocolIndex(ep.protocol);
  const bool webdav = ep.protocol == kProtocols[0];
  if (webdav) fields.tls = ep.tls;
  const std::string root = vx::Trim(Utf8(fields.root));
  if (root == "/" || root == kDavFilesPath || root == kDavFilesRoot) fields.root.clear();
  std::string login = ep.user;
  if (login.empty() && webdav) login = DavFilesUser(ep.root);
  if (!login.empty() && fields.user.trimmed().isEmpty()) fields.user = Str(login);
  if (!ep.password.empty() && fields.password.isEmpty()) {
    fields.password = Str(ep.password);
    state.passwordEdited = true;
  }
  vx::SecureWipe(ep.password);
  return true;
}

bool ReadKeyFile(const std::string& path, std::string& content, std::string& reason) {
  vx::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  int error = 0;
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) error = errno;
  else if (S_ISDIR(st.st_mode)) error = EISDIR;
  else if (st.st_size > kMaxKeyFileBytes) error = EFBIG;
  std::string data;
  while (error == 0) {
    char buffer[4096];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
    if (data.size() > static_cast<size_t>(kMaxKeyFileBytes)) error = EFBIG;
  }
  if (error != 0) {
    vx::SecureWipe(data);
    reason = std::strerror(error);
    return false;
  }
  content = std::move(data);
  return true;
}

bool CollectMount(MountEditorState& state, const MountFields& f, QString& error) {
  MountConfig& c = state.config;
  for (int i = 0; i < kNumberFieldCount; ++i) {
    const auto field = static_cast<NumberField>(i);
    uint64_t value = 0;
    if (!IntFromDlgItem(f.numbers[static_cast<size_t>(i)], field, value, error)) return false;
    kNumberFields[i].set(c, value * kNumberFields[i].scale);
  }

  EndpointConfig& ep = c.endpoint;
  c.name = Utf8(f.name);
  c.drive = static_cast<char16_t>(f.letter >= 0 && f.letter < kLetterCount ? kFirstLetter + f.letter
                                                                            : kFirstNewLetter);
  ep.protocol = kProtocols[static_cast<size_t>(Clamp(f.protocol, static_cast<int>(kProtocols.size()), 0))];
  ep.tls = f.tls;
  ep.verifyTls = f.verifyTls;
  ep.host = Utf8(f.host.trimmed());
  ep.root = Utf8(f.root.trimmed());
  ep.user = Utf8(f.user.trimmed());
  ep.extra = Utf8(f.extra.trimmed());
  c.autoMount = f.autoMount;
  c.compat.readOnly = f.readOnly;

  // An existing drive sends empty secrets the user did not touch: the
  // service keeps the stored ones.
  if (state.passwordEdited) ep.password = Utf8(f.password);
  else if (!state.isNew) ep.password.clear();
  if (state.keyEdited) {
    const std::string path = Utf8(f.keyFile.trimmed());
    std::string key;
    std::string reason;
    if (!path.empty() && !ReadKeyFile(path, key, reason)) {
      // Sending no key would silently keep the stored one, or save none.
      error = FormatText(Tr(kStrFileUnreadable), {Str(path), Str(reason)});
      return false;
    }
    vx::SecureWipe(ep.privateKey);
    ep.privateKey = std::move(key);
  } else if (!state.isNew) {
    ep.privateKey.clear();
  }

  c.net.uploadsRetryForever = f.uploadsRetryForever;
  c.transfer.resume = f.resume;
  c.transfer.verifyAfterUpload = f.verifyAfterUpload;
  c.cache.dir = Utf8(f.cacheDir);
  if (f.block >= 0 && f.block < static_cast<int>(kBlockKiB.size()))
    c.cache.blockBytes = kBlockKiB[static_cast<size_t>(f.block)] * static_cast<uint32_t>(kKiB);
  c.cache.offlineMode = f.offlineMode;
  c.cache.keepDirtyForever = f.keepDirtyForever;
  c.compat.unicode = kUnicodeOfIndex[Clamp(f.unicode, 3, 0)];
  c.compat.caseCollision = f.caseCollision == 1 ? CompatOptions::kCaseAllow : CompatOptions::kCaseRefuse;
  c.compat.allowReservedNames = f.allowReservedNames;
  c.compat.allowTrailingDotSpace = f.allowTrailingDotSpace;
  c.compat.setMtime = f.setMtime;
  c.compat.hideDotFiles = f.hideDotFiles;
  return true;
}

QString ProbeReportText(const ProbeOutcome& outcome) {
  if (!outcome.ok) return ErrorWords(outcome.error);
  const Value& items = outcome.report["items"];
  if (!items.isArray() || items.size() == 0) return Str(outcome.summary);
  // The level words are padded to one width, so that the checks' names
  // start in one column of the report's fixed font.
  qsizetype width = 0;
  for (const char* level : {"ok", "warn", "fail"}) width = std::max(width, Tr(LevelTextId(level)).size());
  QStringList lines{Tr(outcome.reportOk ? kStrProbeVerdictOk : kStrProbeVerdictFailed), QString()};
  for (size_t i = 0; i < items.size(); ++i) {
    const Value& item = items.at(i);
    lines << Tr(LevelTextId(item["level"].asString())).leftJustified(width) + QStringLiteral("  ") +
                 CheckWords(item["check"].asString()) + QStringLiteral(": ") + ErrorWords(item["message"].asString());
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace tarn::app

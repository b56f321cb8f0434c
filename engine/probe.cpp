// The probe's checks, in the order they run, and the two forms of its report.
#include "engine/probe.h"

#include <cstring>
#include <random>

#include "foundation/codec.h"
#include "foundation/error.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/name_policy.h"

namespace tarn {
namespace {

constexpr size_t kScratchRandomBytes = 4;
constexpr size_t kLongNameLetters = 250;  // with ".txt": 254 bytes, one short of the usual limit
constexpr char kWriteProbe[] = "XYZ";
constexpr size_t kWriteProbeBytes = sizeof kWriteProbe - 1;

std::string ScratchFolder() {
  std::vector<uint8_t> bytes;
  try {
    bytes = vx::RandomBytes(kScratchRandomBytes);
  } catch (const vx::Error&) {
    // The name only has to avoid other probes running at the same time.
    std::random_device rd;
    bytes.resize(kScratchRandomBytes);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rd());
  }
  return "/.tarn-probe-" + vx::HexEncode(bytes, false);
}

std::string TestData() {
  std::string data(kProbeFileBytes, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  return data;
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

Status WriteFile(IBackend& backend, const std::string& path, const std::string& data) {
  std::unique_ptr<IWriteStream> stream;
  Status st = backend.openWrite(path, 0, data.size(), stream);
  if (!st.ok()) return st;
  st = stream->write(Bytes(data), data.size());
  if (!st.ok()) {
    stream->abort();
    return st;
  }
  return stream->finish(nullptr);
}

// A file under a name being tried goes the road of a new file on the
// drive: made empty, then its content uploaded, then looked up by its name.
// A server may make the name and still refuse content under it.
constexpr char kNamedContent[] = "name check\n";
constexpr uint64_t kNamedContentBytes = sizeof kNamedContent - 1;

enum class Saved { kYes, kRefused, kElsewhere };

Saved SaveNamed(IBackend& backend, const std::string& path, Status& why) {
  why = backend.create(path);
  if (why.ok()) why = WriteFile(backend, path, kNamedContent);
  if (!why.ok()) return Saved::kRefused;
  RemoteAttr attr;
  why = backend.stat(path, attr);
  if (why.ok() && attr.size != kNamedContentBytes)
    why = Status(Status::kConflict, "size after write is " + std::to_string(attr.size));
  return why.ok() ? Saved::kYes : Saved::kElsewhere;
}

// A status for a line of the report, with a long name in it shortened.
std::string Reason(const Status& st, const std::string& name) {
  std::string text = st.words();
  for (size_t at; (at = text.find(name)) != std::string::npos;)
    text.replace(at, name.size(), "<the " + std::to_string(name.size()) + "-byte name>");
  return text;
}

// Steps 8 to 10 need the test file's content.
void ProbeContent(ProbeReport& report, IBackend& backend, const std::string& file, const std::string& data) {
  RemoteAttr attr;
  Status st = backend.stat(file, attr);
  if (!st.ok() || attr.size != kProbeFileBytes)
    report.add(ProbeItem::kFailure, "stat",
               "size after write is " + (st.ok() ? std::to_string(attr.size) : st.words()));
  else
    report.add(ProbeItem::kOk, "stat", "size and attributes read back");

  std::string piece(kProbeRangeBytes, '\0');
  uint64_t got = 0;
  st = backend.readRange(file, kProbeRangeOffset, reinterpret_cast<uint8_t*>(piece.data()), kProbeRangeBytes, got);
  bool ranged = st.ok() && got == kProbeRangeBytes && piece == data.substr(kProbeRangeOffset, kProbeRangeBytes);
  // A drive reads the last block of a file (all of a small one) with a range
  // that runs past its end: some servers answer that one wrongly.
  std::string tail(2 * kProbeRangeBytes, '\0');
  const uint64_t tailOffset = kProbeFileBytes - kProbeRangeBytes;
  if (ranged) st = backend.readRange(file, tailOffset, reinterpret_cast<uint8_t*>(tail.data()), tail.size(), got);
  ranged = ranged && st.ok() && got == kProbeRangeBytes && tail.substr(0, got) == data.substr(tailOffset);
  if (ranged && backend.caps().rangeRead) {
    report.add(ProbeItem::kOk, "range", "partial reads work (downloads resume)");
    report.caps.rangeRead = true;
  } else {
    report.add(ProbeItem::kWarning, "range",
               "the server (or a caching proxy in front of it) ignores Range requests; files are read as one "
               "stream from the start, and opening a big file in the middle waits for everything before it");
    report.caps.rangeRead = false;
  }

  if (!report.caps.randomWrite) {
    report.add(ProbeItem::kOk, "random-write",
               "a changed file is uploaded whole: this protocol cannot write into part of a file");
  } else {
    std::string back(kWriteProbeBytes, '\0');
    got = 0;
    st = backend.writeAt(file, kProbeWriteOffset, reinterpret_cast<const uint8_t*>(kWriteProbe), kWriteProbeBytes);
    if (st.ok())
      st = backend.readRange(file, kProbeWriteOffset, reinterpret_cast<uint8_t*>(back.data()), kWriteProbeBytes, got);
    if (st.ok() && got == kWriteProbeBytes && back == kWriteProbe) {
      report.add(ProbeItem::kOk, "random-write", "writes at an offset work (uploads send only changed blocks)");
    } else {
      report.add(ProbeItem::kWarning, "random-write",
                 "offset writes failed: " + st.words() + "; falling back to whole-file uploads");
      report.caps.randomWrite = false;
    }
  }

  st = backend.setTimes(file, Timestamp{kProbeMtimeSeconds, 0}, Timestamp());
  if (st.ok()) st = backend.stat(file, attr);
  if (st.ok() && attr.mtime.seconds == kProbeMtimeSeconds) {
    report.add(ProbeItem::kOk, "mtime", "modification time can be set");
    report.caps.setMtime = true;
  } else {
    report.add(ProbeItem::kWarning, "mtime",
               "server keeps its own modification time; copied files will show the upload time");
    report.caps.setMtime = false;
  }
}

// Steps 11 to 15: names and renames; they run whether or not the test file
// could be written. Returns the test file's path after a rename.
std::string ProbeNames(ProbeReport& report, IBackend& backend, const std::string& scratch, std::string file) {
  const std::string other = scratch + "/other.bin";
  (void)backend.create(other);
  Status st = backend.rename(file, other, true);
  RemoteAttr attr;
  if (st.ok()) st = backend.stat(other, attr);
  if (st.ok() && attr.size == kProbeFileBytes) {
    report.add(ProbeItem::kOk, "rename", "rename over an existing file works");
    report.caps.renameOverwrite = true;
    file = other;
  } else {
    report.add(ProbeItem::kWarning, "rename",
               "rename over an existing file failed: " + st.words() +
                   " (a file manager's replace will delete first)");
    report.caps.renameOverwrite = false;
    (void)backend.remove(other, false);
  }

  Status why;
  const std::string upper = scratch + "/Case.txt";
  if (SaveNamed(backend, upper, why) == Saved::kYes) {
    if (!backend.stat(scratch + "/case.txt", attr).ok()) {
      report.add(ProbeItem::kOk, "case", "names are case-sensitive, as on Linux: 'A.txt' and 'a.txt' are two files");
      report.caps.caseSensitive = true;
    } else {
      report.add(ProbeItem::kWarning, "case",
                 "names are not case-sensitive: 'A.txt' and 'a.txt' are one file on this server, so programs that "
                 "keep both lose one");
      report.caps.caseSensitive = false;
    }
  }
  (void)backend.remove(upper, false);

  const std::string longName = std::string(kLongNameLetters, 'n') + ".txt";
  const std::string longPath = scratch + "/" + longName;
  if (SaveNamed(backend, longPath, why) != Saved::kYes) {
    report.add(ProbeItem::kWarning, "long-name",
               "a file with a name of " + std::to_string(longName.size()) + " bytes could not be saved (" +
                   Reason(why, longName) + "); the drive refuses names longer than " +
                   std::to_string(kProbeShortNameBytes) + " bytes");
    report.caps.maxNameBytes = kProbeShortNameBytes;
  } else {
    report.add(ProbeItem::kOk, "long-name", "names of " + std::to_string(longName.size()) + " bytes work");
  }
  (void)backend.remove(longPath, false);

  const std::string unicodeName = "\xd0\xa4\xd0\xb0\xd0\xb9\xd0\xbb \xe2\x80\x94 \xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88.txt";
  const std::string unicode = scratch + "/" + unicodeName;
  switch (SaveNamed(backend, unicode, why)) {
    case Saved::kYes:
      report.add(ProbeItem::kOk, "unicode", "names in any script work ('" + unicodeName + "')");
      break;
    case Saved::kRefused:
      report.add(ProbeItem::kWarning, "unicode",
                 "a file named '" + unicodeName + "' could not be saved (" + why.words() +
                     "); names in other scripts than Latin may fail");
      break;
    case Saved::kElsewhere:
      report.add(ProbeItem::kWarning, "unicode",
                 "a file named '" + unicodeName +
                     "' was saved, but the server shows it under another form of its name; such files may not "
                     "open under the name they were saved with");
      break;
  }
  (void)backend.remove(unicode, false);

  // Linux names may hold ':'; servers on Windows file systems refuse them.
  const std::string colon = scratch + "/a:b";
  if (SaveNamed(backend, colon, why) == Saved::kYes)
    report.add(ProbeItem::kOk, "windows-names", "names with ':' work");
  else
    report.add(ProbeItem::kWarning, "windows-names",
               "a file named 'a:b' could not be saved (" + why.words() + "); names with ':' fail on this drive");
  (void)backend.remove(colon, false);
  return file;
}

// A create over the test file must fail and leave it whole: programs that
// make a file only where none stands (O_EXCL, lock files) rely on it.
void ProbeCreate(ProbeReport& report, IBackend& backend, const std::string& file) {
  const Status st = backend.create(file);
  RemoteAttr attr;
  const bool kept = backend.stat(file, attr).ok() && attr.size == kProbeFileBytes;
  report.caps.exclusiveCreate = !st.ok() && kept && backend.caps().exclusiveCreate;
  if (st.ok() || !kept)
    report.add(ProbeItem::kWarning, "create",
               std::string("making a file where one stands ") + (kept ? "did not fail" : "emptied the file there") +
                   "; a program that makes a file only where none stands may overwrite another's");
  else if (!report.caps.exclusiveCreate)
    report.add(ProbeItem::kWarning, "create",
               "the server replaces a file at the target of a copy or move even when asked not to; the drive looks "
               "before it makes a file, so a file another client makes in that moment can still be replaced");
  else
    report.add(ProbeItem::kOk, "create", "making a file never replaces one that stands there");
}

const char* LevelLabel(int32_t level) {
  switch (level) {
    case ProbeItem::kOk: return "[ok]   ";
    case ProbeItem::kWarning: return "[warn] ";
    default: return "[FAIL] ";
  }
}

const char* LevelName(int32_t level) {
  switch (level) {
    case ProbeItem::kOk: return "ok";
    case ProbeItem::kWarning: return "warn";
    default: return "fail";
  }
}

// The token of whoever asked for the probe, on the back-end for the probe's
// calls, so that one blocked on a slow server ends when it is cancelled.
class CancelScope {
 public:
  CancelScope(IBackend& backend, const CancelToken* cancel) : backend_(backend) { backend_.setCancelToken(cancel); }
  ~CancelScope() { backend_.setCancelToken(nullptr); }
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;

 private:
  IBackend& backend_;
};

void AddServerKey(ProbeReport& report, const IBackend& backend) {
  const std::string key = backend.serverKey();
  if (!key.empty())
    report.add(ProbeItem::kOk, "host-key",
               "the server's host key is " + key + "; compare it with the one its administrator gives");
}

// True, with the item that says so, once the probe's asker has gone: the
// probe then ends at its next step.
bool Canceled(ProbeReport& report, const CancelToken* cancel) {
  if (cancel == nullptr || !cancel->isCancelled()) return false;
  report.add(ProbeItem::kFailure, "canceled", "the probe was canceled");
  return true;
}

}  // namespace

void ProbeReport::add(int32_t level, std::string check, std::string message) {
  if (level == ProbeItem::kFailure) ok = false;
  items.push_back(ProbeItem{level, std::move(check), std::move(message)});
}

std::string ProbeReport::toText() const {
  std::string text;
  for (const ProbeItem& item : items) text += LevelLabel(item.level) + item.check + ": " + item.message + "\n";
  return text;
}

vx::json::Value ProbeReport::toJson() const {
  vx::json::Value list = vx::json::Value::array();
  for (const ProbeItem& item : items) {
    vx::json::Value v = vx::json::Value::object();
    v.set("level", LevelName(item.level));
    v.set("check", item.check);
    v.set("message", item.message);
    list.append(std::move(v));
  }
  vx::json::Value c = vx::json::Value::object();
  c.set("server", caps.server);
  c.set("rangeRead", caps.rangeRead);
  c.set("randomWrite", caps.randomWrite);
  c.set("resumableUpload", caps.resumableUpload);
  c.set("setMtime", caps.setMtime);
  c.set("caseSensitive", caps.caseSensitive);
  c.set("freeSpace", caps.freeSpace);
  c.set("maxNameBytes", caps.maxNameBytes);
  vx::json::Value out = vx::json::Value::object();
  out.set("items", std::move(list));
  out.set("ok", ok);
  out.set("writable", writable);
  out.set("caps", std::move(c));
  return out;
}

void ProbeServer(ProbeReport& report, IBackend& backend, const CompatOptions& compat, const CancelToken* cancel) {
  CancelScope scope(backend, cancel);
  if (!backend.isConnected()) {
    Status st = backend.connect();
    if (!st.ok()) {
      // A key exchange that came before the refusal still tells which
      // server answered; a key refused as changed is no key to pass as ok,
      // and the refusal names it.
      if (st.message.rfind("host key of ", 0) != 0) AddServerKey(report, backend);
      report.add(ProbeItem::kFailure, "connect", st.words());
      report.caps = backend.caps();
      return;
    }
  }
  report.caps = backend.caps();
  AddServerKey(report, backend);
  report.add(ProbeItem::kOk, "connect",
             report.caps.server.empty() ? std::string("connected") : "connected (" + report.caps.server + ")");
  if (Canceled(report, cancel)) return;

  std::vector<DirEntry> entries;
  Status st = backend.list("/", entries);
  if (!st.ok()) {
    report.add(ProbeItem::kFailure, "list", "cannot list the root: " + st.words());
    return;
  }
  report.add(ProbeItem::kOk, "list", Counted(entries.size(), "entry", "entries") + " in the root");

  // Linux shows every name a server lists, but for those holding '\',
  // which the drive cannot tell from a path.
  for (const DirEntry& entry : entries) {
    if (report.items.size() > kProbeMaxItemsForNames) break;
    if (entry.name.find('\\') != std::string::npos)
      report.add(ProbeItem::kWarning, "names",
                 "'" + PrintableName(entry.name) + "': not shown on the drive (names holding '\\' cannot be told "
                                                   "from a path)");
  }

  if (Canceled(report, cancel)) return;

  FsStats space;
  st = backend.statfs(space);
  if (st.ok() && space.known) {
    report.add(ProbeItem::kOk, "space", "free " + FormatBytes(space.available) + " of " + FormatBytes(space.total));
    report.caps.freeSpace = true;
  } else {
    report.add(ProbeItem::kWarning, "space",
               "the server does not tell its free space; the drive shows " + FormatBytes(kUnknownSpaceBytes) +
                   " free, and a copy that does not fit fails only when the server refuses it");
    report.caps.freeSpace = false;
  }

  if (Canceled(report, cancel)) return;

  const std::string scratch = ScratchFolder();
  st = backend.mkdir(scratch);
  if (!st.ok()) {
    if (compat.readOnly)
      report.add(ProbeItem::kOk, "write", "read-only mount; write checks skipped");
    else
      report.add(ProbeItem::kFailure, "write",
                 "cannot create a directory in the root: " + st.words() + " (the drive will be read-only)");
    report.refusesWrites = !compat.readOnly;
    return;
  }
  report.writable = true;
  report.add(ProbeItem::kOk, "mkdir", "folders can be created");

  std::string file = scratch + "/probe.bin";
  const std::string data = TestData();
  st = WriteFile(backend, file, data);
  const bool written = st.ok();
  if (written) {
    report.add(ProbeItem::kOk, "write", FormatBytes(kProbeFileBytes) + " written");
    ProbeContent(report, backend, file, data);
  } else {
    report.add(ProbeItem::kFailure, "write", "cannot write a file: " + st.words());
  }
  // The cleanup is tried even when cancelled; a back-end that ends the
  // calls of a cancelled caller leaves the scratch folder behind.
  if (!Canceled(report, cancel)) {
    file = ProbeNames(report, backend, scratch, file);
    if (written) ProbeCreate(report, backend, file);
  }

  (void)backend.remove(file, false);
  // What a check could not remove by its name (a server that keeps it under
  // another form) goes before the folder, which goes only when empty.
  std::vector<DirEntry> left;
  if (backend.list(scratch, left).ok())
    for (const DirEntry& e : left) (void)backend.remove(scratch + "/" + e.name, e.attr.isDir());
  st = backend.remove(scratch, true);
  if (st.ok())
    report.add(ProbeItem::kOk, "cleanup", "scratch directory removed");
  else
    report.add(ProbeItem::kWarning, "cleanup", "could not remove " + scratch + ": " + st.words());
}

void TakeProbeReport(MountConfig& config, const ProbeReport& report) {
  if (report.ok) {
    config.probed = ProbedCaps::fromReport(report.caps);
  } else if (report.refusesWrites) {
    // Writes would wait in the cache for uploads the server refuses.
    config.compat.readOnly = true;
    vx::log::write(vx::log::kWarn, "%s: the server refuses writes; the drive is read-only", config.id.c_str());
  } else {
    vx::log::write(vx::log::kWarn, "%s: the server check failed; the drive runs with what the protocol promises",
                   config.id.c_str());
  }
}

}  // namespace tarn

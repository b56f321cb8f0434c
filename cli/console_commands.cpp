#include "cli/console_commands.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <thread>

#include "client/drive_link.h"
#include "client/mount_follow.h"
#include "client/service_client.h"
#include "cli/terminal.h"
#include "backends/ssh_nfs/ssh_key.h"
#include "engine/probe.h"
#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/share_link.h"
#include "foundation/text.h"
#include "platform/service_manager.h"

namespace tarn::app {
namespace {

using vx::json::Value;

constexpr int kDefaultLogLines = 50;
// Looks at a drive's status, kMountPollMs apart, that find it without its
// server before a sync says that changes wait for the server.
constexpr int kLooksWithoutServer = 4;
// New drives take the first free letter from here on, wrapping to D.
constexpr char16_t kFirstDefaultLetter = u'P';
constexpr char16_t kFirstLetter = u'D';
constexpr char16_t kLastLetter = u'Z';

using Args = std::vector<std::string>;

std::string Letter(char16_t drive) { return drive == 0 ? std::string("-") : vx::WideToUtf8(std::u16string(1, drive)); }

// "P", "p" or "P:" as a drive letter; 0 when the text is none.
char16_t ParseLetter(const std::string& text) {
  if (text.empty() || text.size() > 2 || (text.size() == 2 && text[1] != ':')) return 0;
  const char c = static_cast<char>(text[0] & ~0x20);
  return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c) : 0;
}

// The first drive of a new status that `match` picks; false with the reason
// (`missing` when none matches) otherwise.
bool FindDrive(const std::function<bool(const MountStatus&)>& match, const std::string& missing, MountStatus& out,
               std::string& error) {
  ServiceStatus status;
  if (!RequestStatus(status)) {
    error = status.error;
    return false;
  }
  for (const MountStatus& m : status.mounts) {
    if (match(m)) {
      out = m;
      return true;
    }
  }
  error = missing;
  return false;
}

// Where a drive belongs, an option ("--all") is a mistake of the arguments,
// not a drive that is missing.
bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// A drive is named by its letter or by its id.
bool ResolveDrive(const std::string& arg, MountStatus& drive, std::string& error) {
  const char16_t letter = ParseLetter(arg);
  if (letter != 0)
    return FindDrive([letter](const MountStatus& m) { return m.drive == letter; },
                     "no drive has the letter " + Letter(letter), drive, error);
  return FindDrive([&arg](const MountStatus& m) { return m.id == arg; }, "no such drive", drive, error);
}

bool ResolveDrive(const std::string& arg, std::string& id, std::string& error) {
  MountStatus drive;
  if (!ResolveDrive(arg, drive, error)) return false;
  id = drive.id;
  return true;
}

// The drive as the console names it in what it reports: "S:".
std::string Shown(const MountStatus& drive) { return Letter(drive.drive) + ":"; }

// Changes of a drive not yet on its server: files to upload and changes
// made offline.
int64_t Unsent(const MountStatus& drive) { return drive.pendingUploads + drive.journalOps; }

// ---- commands ------------------------------------------------------------

int RunStatus(const Args& args) {
  if (!args.empty()) return ReportUsage("status takes no arguments");
  ServiceStatus status;
  if (!RequestStatus(status)) return ReportFailure(status.error);
  std::printf("Tarn service %s, mount driver: %s\n", status.version.c_str(),
              status.driver.name.empty() ? "none" : (status.driver.name + " " + status.driver.version).c_str());
  if (status.mounts.empty()) {
    std::printf("no drives; add one with \"tarn add <link>\"\n");
    return kExitOk;
  }
  std::printf("%-16s  %-5s  %-20s  %-16s  %s\n", "ID", "DRIVE", "STATE", "NAME", "SERVER");
  for (const MountStatus& m : status.mounts) {
    std::string state = m.mounting    ? "mounting"
                        : !m.mounted   ? "not mounted"
                        : m.offlineMode ? "offline"
                        : m.online      ? "mounted"
                                        : "no server";
    if (m.mounted && Unsent(m) > 0) state += ", " + std::to_string(Unsent(m)) + " to send";
    std::printf("%-16s  %-5s  %-20s  %-16s  %s\n", m.id.c_str(), (Letter(m.drive) + ":").c_str(), state.c_str(),
                Printable(vx::WideToUtf8(m.name)).c_str(), Printable(DriveLink(m)).c_str());
    if (m.mounted) std::printf("%18s%s, cache %s\n", "", m.mountPoint.c_str(), FormatBytes(m.cacheBytes).c_str());
    if (!m.lastError.empty()) std::printf("%18serror: %s\n", "", Printable(StatusTextWords(m.lastError)).c_str());
  }
  return kExitOk;
}

// What "add" and "probe" take from their arguments.
struct DriveArgs {
  std::string link;
  std::string name;
  std::string user;
  std::string keyFile;
  char16_t letter = 0;
  bool insecure = false;  // the server's TLS certificate goes unchecked
};

// Empty when `text` may travel in a request as the value of `what`.
std::string TextProblem(const std::string& what, const std::string& text) {
  if (!vx::IsValidUtf8(text)) return what + " is not valid UTF-8";
  for (const unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return what + " holds a line feed or another control character";
  }
  return std::string();
}

// Empty when the arguments are usable, else what is wrong with them.
std::string ParseDriveArgs(const Args& args, bool forAdd, DriveArgs& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool named = a == "--user" || a == "--key" || (forAdd && (a == "--drive" || a == "--name"));
    if (a == "--insecure") {
      out.insecure = true;
    } else if (named) {
      if (i + 1 == args.size()) return a + " needs a value";
      const std::string& v = args[++i];
      if (a == "--drive" && ((out.letter = ParseLetter(v)) < kFirstLetter || out.letter > kLastLetter))
        return "not a drive letter: " + v + " (give one of D to Z)";
      if (a == "--name") out.name = v;
      if (a == "--user") out.user = v;
      if (a == "--key") out.keyFile = v;
      if (a != "--key")
        if (std::string problem = TextProblem(a, v); !problem.empty()) return problem;
    } else if (a.compare(0, 2, "--") == 0 || !out.link.empty()) {
      return "unexpected argument: " + a;
    } else {
      if (std::string problem = TextProblem("the link", a); !problem.empty()) return problem;
      out.link = a;
    }
  }
  if (vx::Utf8ToWide(out.name).size() > kMaxDriveNameChars)
    return "--name is longer than " + std::to_string(kMaxDriveNameChars) + " characters";
  return out.link.empty() ? "give the share link or URL of the drive" : std::string();
}

void WipeSecrets(MountConfig& cfg) {
  vx::SecureWipe(cfg.endpoint.password);
  vx::SecureWipe(cfg.endpoint.privateKey);
}

// The drive's name and endpoint from the arguments. Empty when they can
// make a drive, else what is wrong with them (no server is asked).
std::string BuildDrive(const DriveArgs& a, MountConfig& cfg) {
  if (a.link.find("://") == std::string::npos)
    return "not a share link or URL: " + a.link + " (give https://, http://, sftp:// or nfs://; see \"tarn add --help\")";
  cfg.name = a.name;
  cfg.endpoint.host = a.link;
  cfg.endpoint.user = a.user;
  EndpointConfig parsed = cfg.endpoint;
  const std::string linkError = ParseShareLink(parsed);
  if (!linkError.empty()) return linkError;
  // As in the drive editor: only a TLS server has a certificate to check.
  if (a.insecure && !(parsed.protocol == "webdav" && parsed.tls))
    return "--insecure is for https:// links only: " + a.link + " has no certificate";
  cfg.endpoint.verifyTls = !a.insecure;
  // Command lines are visible to every user of the machine.
  if (!parsed.password.empty())
    return "the link holds a password; leave it out and give it in " + std::string(kPasswordVariable) +
           " or when asked";
  // An export is a folder of the server's own choice: "/" is hardly ever one.
  if (parsed.protocol == "nfs" && (parsed.root.empty() || parsed.root == "/"))
    return "the link names no export: give nfs://server/export/folder";
  if (!a.keyFile.empty() && parsed.protocol != "sftp")
    return "--key is for sftp:// drives; " + parsed.protocol + " drives log in with a password";
  return std::string();
}

// The drive's secrets: the key file, the password or the key's passphrase.
// Empty on success, else why they cannot be had.
std::string ReadDriveSecrets(const DriveArgs& a, MountConfig& cfg) {
  EndpointConfig parsed = cfg.endpoint;
  (void)ParseShareLink(parsed);
  if (!a.keyFile.empty() && !vx::ReadWholeFile(a.keyFile, cfg.endpoint.privateKey))
    return "cannot read the key file " + a.keyFile;
  const std::string problem = ServerSecret(parsed.user, !a.keyFile.empty(), false, cfg.endpoint.password);
  if (!problem.empty()) return problem;
  if (!a.keyFile.empty()) {
    std::unique_ptr<SshKey> key;
    const Status read = SshKey::Read(cfg.endpoint.privateKey, cfg.endpoint.password, key);
    if (read.code == Status::kAuthFailed) return "--key " + a.keyFile + ": " + read.message;
    if (!read.ok()) return "--key " + a.keyFile + " is not a private key that can be used: " + read.message;
  }
  return std::string();
}

int RunAdd(const Args& args) {
  DriveArgs a;
  std::string usage = ParseDriveArgs(args, true, a);
  MountConfig cfg;
  if (usage.empty()) usage = BuildDrive(a, cfg);
  if (!usage.empty()) return ReportUsage(usage, "tarn add --help");
  // Asked first, so that nobody types a password for a service that is not
  // there.
  ServiceStatus status;
  if (!RequestStatus(status)) return ReportFailure(status.error);
  char16_t letter = a.letter;
  const int letters = kLastLetter - kFirstLetter + 1;
  for (int k = 0; letter == 0 && k < letters; ++k) {
    const auto c = static_cast<char16_t>(kFirstLetter + (kFirstDefaultLetter - kFirstLetter + k) % letters);
    bool used = false;
    for (const MountStatus& m : status.mounts) used = used || m.drive == c;
    if (!used) letter = c;
  }
  if (letter == 0) return ReportFailure("every drive letter is in use; free one or give --drive");

  cfg.drive = letter;
  const std::string problem = ReadDriveSecrets(a, cfg);
  if (!problem.empty()) {
    WipeSecrets(cfg);
    return ReportFailure(problem);
  }
  Value mount = MountConfigToJson(cfg, true);
  WipeSecrets(cfg);
  std::string id;
  std::string error;
  LoginCheck login;
  bool added = false;
  {
    ProgressLine line("logging in to " + a.link);
    added = RequestSetMount(mount, id, error, &login);
  }
  if (!added) return ReportFailure(error);
  if (!login.serverKey.empty())
    std::printf("the server's host key is %s; compare it with the one its administrator gives\n",
                Printable(login.serverKey).c_str());
  const std::string drive = Letter(letter);
  if (login.tried) {
    std::printf("added drive %s: with id %s, logged in to its server; mount it with \"tarn mount %s\"\n",
                drive.c_str(), id.c_str(), drive.c_str());
  } else {
    std::printf("added drive %s: with id %s without trying the log-in, as its server cannot be reached (%s); mount it "
                "with \"tarn mount %s\" once it can\n",
                drive.c_str(), id.c_str(), Printable(StatusTextWords(login.problem)).c_str(), drive.c_str());
  }
  return kExitOk;
}

// Probes here, without the service, with this user's rights.
int RunProbeCommand(const Args& args) {
  DriveArgs a;
  std::string usage = ParseDriveArgs(args, false, a);
  MountConfig cfg;
  if (usage.empty()) usage = BuildDrive(a, cfg);
  if (!usage.empty()) return ReportUsage(usage, "tarn probe --help");
  const std::string problem = ReadDriveSecrets(a, cfg);
  if (!problem.empty()) {
    WipeSecrets(cfg);
    return ReportFailure(problem);
  }
  ProbeReport report;
  {
    ProgressLine line("probing " + a.link);
    report = RunProbe(cfg, nullptr);
  }
  WipeSecrets(cfg);
  std::fputs(report.toText().c_str(), stdout);
  return report.ok ? kExitOk : kExitFailed;
}

// A mount is done when the drive answers from its server: a drive that is
// mounted but cannot reach its server, or whose server refuses the log-in,
// serves only its cache.
int RunMount(const Args& args) {
  if (args.size() != 1) return ReportUsage("give one drive id or letter");
  if (IsOption(args[0])) return ReportUsage("unexpected argument: " + args[0], "tarn mount --help");
  std::string id;
  std::string error;
  if (!ResolveDrive(args[0], id, error)) return ReportFailure(error);
  MountFollowResult mounted;
  {
    ProgressLine line("mounting " + args[0]);
    mounted = FollowMount(id);
  }
  switch (mounted.end) {
    case MountEnd::kMounted:
      std::printf("mounted %s at %s%s\n", Shown(mounted.drive).c_str(), mounted.mountPoint.c_str(),
                  mounted.drive.offlineMode ? " (offline: changes stay in its cache)" : "");
      return kExitOk;
    case MountEnd::kStillMounting:
      return ReportFailure("the drive is still being mounted: its server is slow to answer (see \"tarn status\")");
    case MountEnd::kCacheOnly:
      return ReportFailure("the drive is mounted at " + mounted.mountPoint + " but serves only its cache: " +
                           Printable(StatusTextWords(mounted.reason)));
    case MountEnd::kFailed:
      break;
  }
  return ReportFailure(mounted.reason);
}
int RunUnmount(const Args& args) {
  if (args.size() != 1) return ReportUsage("give one drive letter or id");
  if (IsOption(args[0])) return ReportUsage("unexpected argument: " + args[0], "tarn unmount --help");
  MountStatus drive;
  std::string error;
  if (!ResolveDrive(args[0], drive, error)) return ReportFailure(error);
  int64_t unsent = 0;
  bool ok = false;
  {
    ProgressLine line("unmounting " + args[0]);
    ok = RequestUnmount(drive.id, error, unsent);
  }
  if (!ok) return ReportFailure(error);
  if (unsent == 0) {
    std::printf("unmounted %s\n", Shown(drive).c_str());
  } else {
    std::printf("unmounted %s; %s not sent yet, which %s sent at its next mount\n", Shown(drive).c_str(),
                Counted(static_cast<uint64_t>(unsent), "change", "changes").c_str(), unsent == 1 ? "is" : "are");
  }
  return kExitOk;
}

// Changes not yet sent are thrown away with the drive only when the user
// says so: on the terminal, or with --force.
int RunRemove(const Args& args) {
  bool force = false;
  Args drives;
  for (const std::string& a : args) {
    if (a == "--force") {
      force = true;
    } else if (a.starts_with("-")) {
      return ReportUsage("unexpected argument: " + a, "tarn remove --help");
    } else {
      drives.push_back(a);
    }
  }
  if (drives.size() != 1) return ReportUsage("give one drive letter or id", "tarn remove --help");
  MountStatus drive;
  std::string error;
  if (!ResolveDrive(drives[0], drive, error)) return ReportFailure(error);
  UnsentFiles unsent;
  std::string code;
  bool removed = false;
  {
    ProgressLine line("removing " + drives[0]);
    removed = RequestRemoveMount(drive.id, error, !force, unsent, code);
  }
  if (!removed && code == kUnsentCode) {
    std::string what = Shown(drive) + " has changes of " +
                       Counted(static_cast<uint64_t>(unsent.files), "file", "files") + " (" +
                       FormatBytes(static_cast<uint64_t>(unsent.bytes)) + ") not yet sent to its server";
    if (unsent.openFiles != 0)
      what += " (" + std::to_string(unsent.openFiles) + " of them open in a program)";
    bool yes = false;
    if (!AskOnTerminal(what + "; remove it and throw them away? [y/N] ", yes)) {
      // Only a mounted drive sends; an open file's changes wait for its close.
      const std::string letter = Letter(drive.drive);
      std::string sends = "\"tarn sync " + letter + "\" sends them";
      if (!drive.mounted && drive.offlineMode)
        sends = "\"tarn offline " + letter + " off\" and \"tarn mount " + letter + "\" send them";
      else if (!drive.mounted)
        sends = "\"tarn mount " + letter + "\" sends them";
      else if (unsent.openFiles != 0)
        sends += " once the files are closed";
      return ReportFailure(what + "; " + sends + ", or \"tarn remove " + letter +
                           " --force\" throws them away with the drive");
    }
    if (!yes) {
      std::printf("kept the drive %s\n", Shown(drive).c_str());
      return kExitFailed;
    }
    ProgressLine line("removing " + drives[0]);
    removed = RequestRemoveMount(drive.id, error, false, unsent, code);
  }
  if (!removed) return ReportFailure(error);
  if (unsent.files == 0) {
    std::printf("removed the drive %s and its cache\n", Shown(drive).c_str());
  } else {
    std::printf("removed the drive %s and its cache, with changes of %s (%s) that were not sent\n",
                Shown(drive).c_str(), Counted(static_cast<uint64_t>(unsent.files), "file", "files").c_str(),
                FormatBytes(static_cast<uint64_t>(unsent.bytes)).c_str());
  }
  return kExitOk;
}

// Sends what waits and follows it for as long as a mount is followed, so
// that the user learns whether everything is on the server: done in part
// when not.
int RunSync(const Args& args) {
  if (args.size() != 1) return ReportUsage("give one drive letter or id");
  if (IsOption(args[0])) return ReportUsage("unexpected argument: " + args[0], "tarn sync --help");
  MountStatus drive;
  std::string error;
  if (!ResolveDrive(args[0], drive, error)) return ReportFailure(error);
  const std::string id = drive.id;
  {
    ProgressLine line("syncing " + args[0]);
    if (!RequestControl("syncNow", id, true, error)) return ReportFailure(error);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMountTimeoutMs);
    // A server back from an outage is connected again by the uploads the
    // sync started: one look without it may come before they did.
    int looksWithoutServer = 0;
    for (;;) {
      if (!FindDrive([&id](const MountStatus& m) { return m.id == id; }, "no such drive", drive, error))
        return ReportFailure(error);
      looksWithoutServer = drive.online ? 0 : looksWithoutServer + 1;
      // Offline, or without a server, nothing is sent until that changes.
      if (Unsent(drive) == 0 || drive.offlineMode || looksWithoutServer == kLooksWithoutServer ||
          std::chrono::steady_clock::now() >= deadline)
        break;
      line.setLabel("syncing " + args[0] + ": " + std::to_string(Unsent(drive)) + " to send");
      std::this_thread::sleep_for(std::chrono::milliseconds(kMountPollMs));
    }
  }
  const int64_t unsent = Unsent(drive);
  const int64_t open = drive.openChangedFiles;
  if (unsent == 0 && open == 0) {
    std::printf("%s everything is on the server\n", Shown(drive).c_str());
    return kExitOk;
  }
  std::string what;
  if (unsent != 0) {
    std::string until;
    if (drive.offlineMode) until = " until offline mode is off (\"tarn offline " + Letter(drive.drive) + " off\")";
    else if (!drive.online) until = " until the server can be reached";
    what = Counted(static_cast<uint64_t>(unsent), "change", "changes") + " still " + (unsent == 1 ? "waits" : "wait") +
           " to be sent" + until;
  }
  // A program's writes go up when it closes the file, not at a sync.
  if (open != 0) {
    if (!what.empty()) what += ", and ";
    what += Counted(static_cast<uint64_t>(open), "open file holds", "open files hold") + " changes that go up when " +
            (open == 1 ? "it is" : "they are") + " closed";
  }
  if (unsent != 0) what += "; \"tarn transfers\" lists the files";
  std::fprintf(stderr, "tarn: %s %s\n", Shown(drive).c_str(), what.c_str());
  return kExitPartial;
}

int RunOffline(const Args& args) {
  if (args.size() != 2 || (args[1] != "on" && args[1] != "off") || IsOption(args[0]))
    return ReportUsage("give a drive and on or off");
  MountStatus drive;
  std::string error;
  if (!ResolveDrive(args[0], drive, error)) return ReportFailure(error);
  if (!RequestControl("setOffline", drive.id, args[1] == "on", error)) return ReportFailure(error);
  if (args[1] == "on") {
    std::printf("%s offline: changes stay in its cache until \"tarn offline %s off\"\n", Shown(drive).c_str(),
                Letter(drive.drive).c_str());
  } else if (!drive.mounted) {
    std::printf("%s online: changes are sent once it is mounted (\"tarn mount %s\")\n", Shown(drive).c_str(),
                Letter(drive.drive).c_str());
  } else {
    std::printf("%s online: changes made offline are being sent\n", Shown(drive).c_str());
  }
  return kExitOk;
}

int RunLog(const Args& args) {
  int lines = kDefaultLogLines;
  if (args.size() > 1) return ReportUsage("log takes at most one number");
  if (args.size() == 1) {
    char* end = nullptr;
    const long n = std::strtol(args[0].c_str(), &end, 10);
    if (end == args[0].c_str() || *end != '\0' || n < 1 || n > INT32_MAX) return ReportUsage("not a line count: " + args[0]);
    lines = static_cast<int>(n);
  }
  std::string text;
  std::string error;
  if (!RequestGetLog(lines, text, error)) return ReportFailure(error);
  text = Printable(text);
  std::fputs(text.c_str(), stdout);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stdout);
  return kExitOk;
}

int RunTransfers(const Args& args) {
  if (!args.empty()) return ReportUsage("transfers takes no arguments");
  Value list;
  std::string error;
  if (!RequestTransfers(list, error)) return ReportFailure(error);
  if (list.size() == 0) {
    std::printf("no transfers\n");
    return kExitOk;
  }
  std::printf("%-5s  %-8s  %-7s  %-22s  %s\n", "DRIVE", "KIND", "STATE", "SIZE", "PATH");
  for (size_t i = 0; i < list.size(); ++i) {
    const Value& t = list.at(i);
    const uint64_t done = static_cast<uint64_t>(std::max<int64_t>(t["done"].asInt64(), 0));
    const uint64_t total = static_cast<uint64_t>(std::max<int64_t>(t["total"].asInt64(), 0));
    // One that has not begun shows what it will move; one under way how far it is.
    std::string amount = done == 0 && total > 0 ? FormatBytes(total) : FormatBytes(done);
    if (done > 0 && total > 0) amount += " of " + FormatBytes(total);
    std::printf("%-5s  %-8s  %-7s  %-22s  %s", (t["drive"].asString() + ":").c_str(),
                t["upload"].asBool() ? "upload" : "download", t["state"].asString().c_str(), amount.c_str(),
                Printable(t["path"].asString()).c_str());
    if (t["attempt"].asInt() > 1) std::printf("  attempt %d", t["attempt"].asInt());
    if (!t["error"].asString().empty())
      std::printf("  error: %s", Printable(StatusTextWords(t["error"].asString())).c_str());
    std::printf("\n");
  }
  return kExitOk;
}

constexpr const char* kMountHelp =
    "Mounts a drive of the service at /mnt/tarn/LETTER. A drive is named by its letter (S or S:) or its id.\n"
    "\n"
    "tarn mount --foreground DRIVE.json FOLDER\n"
    "  mounts one drive without the service at FOLDER until Ctrl+C, SIGTERM or \"fusermount3 -u FOLDER\".\n"
    "  DRIVE.json holds one drive as the service's config.json stores it, with its secrets in plain text; a\n"
    "  member left out keeps its default. The least it needs:\n"
    "    {\"name\": \"Team\",\n"
    "     \"endpoint\": {\"host\": \"https://dav.example.com/team\", \"user\": \"ann\", \"password\": \"secret\"}}\n"
    "  \"host\" takes any link \"tarn add\" takes; an SFTP key goes in \"privateKey\" (its text, with its\n"
    "  passphrase in \"password\"). Its cache lies in /var/lib/tarn/cache/ID, ID being the drive's \"id\" (when\n"
    "  none is given, one made from the server and folder, so that the next start finds what was not sent).\n"
    "  A drive without a \"probed\" record is checked first, as \"tarn probe\" does.";

constexpr ConsoleCommand kCommands[] = {
    {"status", "", "Shows the service's version and every drive with its state.", RunStatus},
    {"add", "<share link or URL> [--drive X] [--name N] [--user U] [--key FILE] [--insecure]",
     "Adds a drive. The link is one of\n"
     "  https://[user@]server[:port]/folder   WebDAV over TLS (also davs:// and webdavs://)\n"
     "  http://[user@]server[:port]/folder    WebDAV without TLS (also dav:// and webdav://)\n"
     "  sftp://[user@]server[:port]/folder    SFTP (also ssh://)\n"
     "  nfs://server[:port]/export/folder     NFS version 3\n"
     "(S3 stores take backups only: see \"tarn backup set --help\".) The password comes from the environment\n"
     "variable TARN_PASSWORD or is asked on the terminal; it is never taken from the command line. With --key the\n"
     "private key is read from FILE and the password is its passphrase. Without --drive the first free letter\n"
     "from P on is taken. The service logs in to the server once before it saves the drive: a refused log-in\n"
     "saves nothing, and a server that cannot be reached leaves the drive saved without the log-in tried. For\n"
     "an SFTP server it shows the server's host key. --insecure accepts the TLS certificate of an https:// server\n"
     "without checking it (for a server you trust whose certificate is self-signed or made for another name).",
     RunAdd},
    {"mount", "DRIVE", kMountHelp, RunMount},
    {"unmount", "DRIVE",
     "Unmounts a drive after sending its changes: it waits up to 20 s for them and says how many are left, which\n"
     "are sent at the drive's next mount. The drive stays unmounted when the service starts again (\"tarn mount\"\n"
     "mounts it again, also at later starts). A drive is named by its letter or its id.",
     RunUnmount},
    {"remove", "DRIVE [--force]",
     "Removes a drive and its cache. When it has changes not yet sent, they are named and the removal is asked\n"
     "on the terminal; without a terminal the drive is kept unless --force throws them away with it.",
     RunRemove},
    {"sync", "DRIVE",
     "Sends a drive's changes now and waits up to a minute for them. Exits with 0 when everything is on the\n"
     "server, and with 4 (done in part) when changes still wait: offline, without its server, or still going up.",
     RunSync},
    {"offline", "DRIVE on|off", "Switches a drive's offline mode on or off.", RunOffline},
    {"probe", "<share link or URL> [--user U] [--key FILE] [--insecure]",
     "Tries what a server can do, from this computer, without the service. The password and --insecure are taken\n"
     "as for add.",
     RunProbeCommand},
    {"log", "[N]", "Shows the last N lines of the service log (50 when not given).", RunLog},
    {"transfers", "", "Lists the uploads and downloads of the mounted drives.", RunTransfers},
};

const ConsoleCommand* FindCommand(std::span<const ConsoleCommand> table, const std::string& name) {
  for (const ConsoleCommand& c : table) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

}  // namespace

int ReportFailure(const std::string& error) {
  if (error == kServiceNotRunning) {
    // A service run with another TARN_ROOT listens elsewhere.
    const std::string where = " (nothing answers at " + ControlSocketPath() + ")";
    if (SystemdRunning()) {
      std::fprintf(stderr,
                   "tarn: the service is not running; start it with \"tarn start\" or run it in the foreground with "
                   "\"tarn run\"%s\n",
                   where.c_str());
    } else {
      std::fprintf(stderr, "tarn: the service is not running; run it with \"tarn run\" (this system has no systemd)%s\n",
                   where.c_str());
    }
    return kExitNoService;
  }
  std::fprintf(stderr, "tarn: %s\n", std::string(StatusTextWords(error)).c_str());
  return kExitFailed;
}

std::string ServerSecret(const std::string& user, bool withKey, bool s3, std::string& secret) {
  if (const char* fromEnv = std::getenv(kPasswordVariable)) {
    secret = fromEnv;
    return std::string();
  }
  // Without a terminal the key is taken as one without a passphrase.
  if (withKey) {
    ReadSecretFromTerminal("passphrase of the key (empty for none): ", secret);
    return std::string();
  }
  if (user.empty()) return std::string();
  const std::string what = s3 ? "secret key" : "password";
  if (ReadSecretFromTerminal(what + (s3 ? " of " : " for ") + user + ": ", secret)) return std::string();
  return "no " + what + " for " + user + ": give it in " + std::string(kPasswordVariable) +
         " or run the command on a terminal";
}

int ReportUsage(const std::string& message, std::string_view help) {
  std::fprintf(stderr, "tarn: %s (see \"%s\")\n", message.c_str(), std::string(help).c_str());
  return kExitUsage;
}

bool IsConsoleCommand(const std::string& name) { return FindCommand(kCommands, name) != nullptr; }

int RunConsoleCommand(const std::vector<std::string>& args) { return RunCommandOf(kCommands, "tarn", args); }

std::string ConsoleCommandsUsage() { return CommandList(kCommands); }

int RunCommandOf(std::span<const ConsoleCommand> table, std::string_view prefix, const std::vector<std::string>& args) {
  const ConsoleCommand* command = args.empty() ? nullptr : FindCommand(table, args[0]);
  if (command == nullptr) {
    return ReportUsage(args.empty() ? "unknown command" : "unknown command: " + args[0],
                       std::string(prefix) + " help");
  }
  const Args rest(args.begin() + 1, args.end());
  for (const std::string& a : rest) {
    if (a == "--help" || a == "-h") {
      std::string line = "usage: " + std::string(prefix) + " " + std::string(command->name);
      if (!command->synopsis.empty()) line += " " + std::string(command->synopsis);
      std::printf("%s\n\n%s\n", line.c_str(), std::string(command->help).c_str());
      return kExitOk;
    }
  }
  return command->run(rest);
}

std::string CommandList(std::span<const ConsoleCommand> table) {
  std::string text;
  for (const ConsoleCommand& c : table) {
    std::string line = "  " + std::string(c.name);
    if (!c.synopsis.empty()) line += " " + std::string(c.synopsis);
    text += line + "\n";
  }
  return text;
}

}  // namespace tarn::app

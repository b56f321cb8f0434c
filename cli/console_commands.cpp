#include "cli/console_commands.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <thread>

#include "client/service_client.h"
#include "cli/terminal.h"
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
// How often a mount that goes on is looked at.
constexpr uint32_t kMountPollMs = 500;
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

// A drive is named by its id or by its letter.
bool ResolveDrive(const std::string& arg, std::string& id, std::string& error) {
  const char16_t letter = ParseLetter(arg);
  if (letter == 0) {
    id = arg;
    return true;
  }
  MountStatus drive;
  if (!FindDrive([letter](const MountStatus& m) { return m.drive == letter; },
                 "no drive has the letter " + Letter(letter), drive, error))
    return false;
  id = drive.id;
  return true;
}

// Runs one request on the drive named by args[0], with a progress line.
int DriveRequest(const Args& args, const char* progress,
                 bool (*request)(const std::string& id, std::string& error)) {
  if (args.size() != 1) return ReportUsage("give one drive id or letter");
  std::string id;
  std::string error;
  if (!ResolveDrive(args[0], id, error)) return ReportFailure(error);
  bool ok = false;
  {
    ProgressLine line(std::string(progress) + " " + args[0]);
    ok = request(id, error);
  }
  return ok ? kExitOk : ReportFailure(error);
}

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
    std::string state = !m.mounted ? "not mounted" : m.offlineMode ? "offline" : m.online ? "mounted" : "no server";
    if (m.mounted && m.pendingUploads > 0) state += ", " + std::to_string(m.pendingUploads) + " to send";
    const MountConfig cfg = MountConfigFromJson(m.config);
    std::printf("%-16s  %-5s  %-20s  %-16s  %s\n", m.id.c_str(), (Letter(m.drive) + ":").c_str(), state.c_str(),
                vx::WideToUtf8(m.name).c_str(), DisplayUrl(cfg).c_str());
    if (m.mounted) std::printf("%18s%s, cache %s\n", "", m.mountPoint.c_str(), FormatBytes(m.cacheBytes).c_str());
    if (!m.lastError.empty()) std::printf("%18serror: %s\n", "", Printable(m.lastError).c_str());
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
};

// Empty when the arguments are usable, else what is wrong with them.
std::string ParseDriveArgs(const Args& args, bool forAdd, DriveArgs& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool named = a == "--user" || a == "--key" || (forAdd && (a == "--drive" || a == "--name"));
    if (named) {
      if (i + 1 == args.size()) return a + " needs a value";
      const std::string& v = args[++i];
      if (a == "--drive" && (out.letter = ParseLetter(v)) == 0) return "not a drive letter: " + v;
      if (a == "--name") out.name = v;
      if (a == "--user") out.user = v;
      if (a == "--key") out.keyFile = v;
    } else if (a.compare(0, 2, "--") == 0 || !out.link.empty()) {
      return "unexpected argument: " + a;
    } else {
      out.link = a;
    }
  }
  return out.link.empty() ? "give the share link or URL of the drive" : std::string();
}

// The drive's name and endpoint with its secrets. Empty on success, else
// why the drive cannot be made.
std::string BuildDrive(const DriveArgs& a, MountConfig& cfg) {
  if (a.link.find("://") == std::string::npos)
    return "not a share link or URL: " + a.link + " (give https://, http://, sftp:// or nfs://; see \"tarn add --help\")";
  cfg.name = a.name;
  cfg.endpoint.host = a.link;
  cfg.endpoint.user = a.user;
  EndpointConfig parsed = cfg.endpoint;
  const std::string linkError = ParseShareLink(parsed);
  if (!linkError.empty()) return linkError;
  // Command lines are visible to every user of the machine.
  if (!parsed.password.empty())
    return "the link holds a password; leave it out and give it in " + std::string(kPasswordVariable) +
           " or when asked";
  if (!a.keyFile.empty() && !vx::ReadWholeFile(a.keyFile, cfg.endpoint.privateKey))
    return "cannot read the key file " + a.keyFile;
  const char* fromEnv = std::getenv(kPasswordVariable);
  if (fromEnv != nullptr) {
    cfg.endpoint.password = fromEnv;
  } else if (!parsed.user.empty() || !a.keyFile.empty()) {
    const std::string prompt =
        a.keyFile.empty() ? "password for " + parsed.user + ": " : "passphrase of the key (empty for none): ";
    // Without a terminal the drive goes without a password.
    ReadSecretFromTerminal(prompt, cfg.endpoint.password);
  }
  return std::string();
}

int RunAdd(const Args& args) {
  DriveArgs a;
  const std::string usage = ParseDriveArgs(args, true, a);
  if (!usage.empty()) return ReportUsage(usage);
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

  MountConfig cfg;
  cfg.drive = letter;
  const std::string problem = BuildDrive(a, cfg);
  if (!problem.empty()) return ReportFailure(problem);
  Value mount = MountConfigToJson(cfg, true);
  vx::SecureWipe(cfg.endpoint.password);
  vx::SecureWipe(cfg.endpoint.privateKey);
  std::string id;
  std::string error;
  if (!RequestSetMount(mount, id, error)) return ReportFailure(error);
  std::printf("added drive %s: with id %s; mount it with \"tarn mount %s\"\n", Letter(letter).c_str(), id.c_str(),
              id.c_str());
  return kExitOk;
}

// Probes here, without the service, with this user's rights.
int RunProbeCommand(const Args& args) {
  DriveArgs a;
  const std::string usage = ParseDriveArgs(args, false, a);
  if (!usage.empty()) return ReportUsage(usage);
  MountConfig cfg;
  const std::string problem = BuildDrive(a, cfg);
  if (!problem.empty()) return ReportFailure(problem);
  ProbeReport report;
  {
    ProgressLine line("probing " + DisplayUrl(cfg));
    report = RunProbe(cfg, nullptr);
  }
  vx::SecureWipe(cfg.endpoint.password);
  vx::SecureWipe(cfg.endpoint.privateKey);
  std::fputs(report.toText().c_str(), stdout);
  return report.ok ? kExitOk : kExitFailed;
}

// A mount is done when the drive answers from its server: a drive that is
// mounted but cannot reach its server, or whose server refuses the log-in,
// serves only its cache.
int RunMount(const Args& args) {
  if (args.size() != 1) return ReportUsage("give one drive id or letter");
  std::string id;
  std::string error;
  if (!ResolveDrive(args[0], id, error)) return ReportFailure(error);
  MountStatus drive;
  {
    ProgressLine line("mounting " + args[0]);
    if (!RequestMount(id, error)) return ReportFailure(error);
    // A server slow to answer leaves the mount going on in the service.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMountTimeoutMs);
    for (;;) {
      if (!FindDrive([&id](const MountStatus& m) { return m.id == id; }, "no such drive", drive, error))
        return ReportFailure(error);
      if (!drive.mounting || std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(kMountPollMs));
    }
  }
  if (drive.mounting)
    return ReportFailure("the drive is still being mounted: its server is slow to answer (see \"tarn status\")");
  if (!drive.mounted) return ReportFailure(drive.lastError.empty() ? "the drive is not mounted" : drive.lastError);
  if (!drive.online && !drive.offlineMode) {
    return ReportFailure("the drive is mounted at " + drive.mountPoint + " but serves only its cache: " +
                         Printable(drive.lastError.empty() ? "its server cannot be reached" : drive.lastError));
  }
  return kExitOk;
}
int RunUnmount(const Args& args) { return DriveRequest(args, "unmounting", RequestUnmount); }
int RunRemove(const Args& args) { return DriveRequest(args, "removing", RequestRemoveMount); }

int RunSync(const Args& args) {
  return DriveRequest(args, "syncing", [](const std::string& id, std::string& error) {
    return RequestControl("syncNow", id, true, error);
  });
}

int RunOffline(const Args& args) {
  if (args.size() != 2 || (args[1] != "on" && args[1] != "off")) return ReportUsage("give a drive and on or off");
  std::string id;
  std::string error;
  if (!ResolveDrive(args[0], id, error)) return ReportFailure(error);
  return RequestControl("setOffline", id, args[1] == "on", error) ? kExitOk : ReportFailure(error);
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
  for (size_t i = 0; i < list.size(); ++i) {
    const Value& t = list.at(i);
    const int64_t done = t["done"].asInt64();
    const int64_t total = t["total"].asInt64();
    std::string amount = FormatBytes(done > 0 ? static_cast<uint64_t>(done) : 0);
    if (total > 0) amount += " of " + FormatBytes(static_cast<uint64_t>(total));
    std::printf("%s: %-8s %-6s %s  %s", t["drive"].asString().c_str(), t["upload"].asBool() ? "upload" : "download",
                t["state"].asString().c_str(), Printable(t["path"].asString()).c_str(), amount.c_str());
    if (t["attempt"].asInt() > 1) std::printf("  attempt %d", t["attempt"].asInt());
    if (!t["error"].asString().empty()) std::printf("  error: %s", Printable(t["error"].asString()).c_str());
    std::printf("\n");
  }
  return kExitOk;
}

constexpr ConsoleCommand kCommands[] = {
    {"status", "", "Shows the service's version and every drive with its state.", RunStatus},
    {"add", "<share link or URL> [--drive X] [--name N] [--user U] [--key FILE]",
     "Adds a drive. The link is one of\n"
     "  https://[user@]server[:port]/folder   WebDAV over TLS (also davs:// and webdavs://)\n"
     "  http://[user@]server[:port]/folder    WebDAV without TLS (also dav:// and webdav://)\n"
     "  sftp://[user@]server[:port]/folder    SFTP (also ssh://)\n"
     "  nfs://server[:port]/export/folder     NFS version 3\n"
     "(S3 stores take backups only: see \"tarn backup set --help\".) The password comes from the environment\n"
     "variable TARN_PASSWORD or is asked on the terminal; it is never taken from the command line. With --key the\n"
     "private key is read from FILE and the password is its passphrase. Without --drive the first free letter\n"
     "from P on is taken.",
     RunAdd},
    {"mount", "ID", "Mounts a drive. A drive is named by its id or its letter.", RunMount},
    {"unmount", "ID", "Unmounts a drive after sending its changes.", RunUnmount},
    {"remove", "ID", "Removes a drive and its cache, including changes not yet sent.", RunRemove},
    {"sync", "ID", "Sends a drive's changes now.", RunSync},
    {"offline", "ID on|off", "Switches a drive's offline mode on or off.", RunOffline},
    {"probe", "<share link or URL> [--user U] [--key FILE]",
     "Tries what a server can do, from this computer, without the service. The password is taken as for add.",
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
    if (SystemdRunning()) {
      std::fprintf(stderr,
                   "tarn: the service is not running; start it with \"tarn start\" or run it in the foreground with "
                   "\"tarn run\"\n");
    } else {
      std::fprintf(stderr, "tarn: the service is not running; run it with \"tarn run\" (this system has no systemd)\n");
    }
    return kExitNoService;
  }
  std::fprintf(stderr, "tarn: %s\n", error.c_str());
  return kExitFailed;
}

int ReportUsage(const std::string& message) {
  std::fprintf(stderr, "tarn: %s (see \"tarn help\")\n", message.c_str());
  return kExitUsage;
}

bool IsConsoleCommand(const std::string& name) { return FindCommand(kCommands, name) != nullptr; }

int RunConsoleCommand(const std::vector<std::string>& args) { return RunCommandOf(kCommands, "tarn", args); }

std::string ConsoleCommandsUsage() { return CommandList(kCommands); }

int RunCommandOf(std::span<const ConsoleCommand> table, std::string_view prefix, const std::vector<std::string>& args) {
  const ConsoleCommand* command = args.empty() ? nullptr : FindCommand(table, args[0]);
  if (command == nullptr) return ReportUsage(args.empty() ? "unknown command" : "unknown command: " + args[0]);
  const Args rest(args.begin() + 1, args.end());
  for (const std::string& a : rest) {
    if (a == "--help" || a == "-h") {
      std::printf("usage: %s %s %s\n\n%s\n", std::string(prefix).c_str(), std::string(command->name).c_str(),
                  std::string(command->synopsis).c_str(), std::string(command->help).c_str());
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

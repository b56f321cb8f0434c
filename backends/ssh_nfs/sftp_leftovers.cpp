// The tidying of what interrupted replacements and uploads leave on the
// server, by this client or any other: a replacement in steps keeps the old
// copy under its own name in a ".tarn-replaced-" work folder beside it, so
// whichever connection meets that folder later can put the copy back.
#include <cstring>
#include <ctime>

#include "backends/ssh_nfs/sftp_connection.h"
#include "foundation/log.h"

namespace tarn {
namespace {

constexpr size_t kNameBuffer = 4096;
constexpr unsigned kRenameFlags = LIBSSH2_SFTP_RENAME_ATOMIC | LIBSSH2_SFTP_RENAME_NATIVE;
constexpr std::string_view kReplacedPrefix = ".tarn-replaced-";
constexpr std::string_view kUploadPrefix = ".tarn-upload-";

bool IsDir(const LIBSSH2_SFTP_ATTRIBUTES& a) {
  return (a.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) && LIBSSH2_SFTP_S_ISDIR(a.permissions);
}

}  // namespace

std::string SftpConnection::ParentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string SftpConnection::Child(const std::string& folder, std::string_view name) {
  return (folder == "/" ? "/" : folder + "/") + std::string(name);
}

bool SftpConnection::readFolder(const std::string& path, std::vector<SftpTempEntry>& entries) {
  entries.clear();
  LIBSSH2_SFTP_HANDLE* h = libssh2_sftp_open_ex(sftp_, path.data(), unsigned(path.size()), 0, 0, LIBSSH2_SFTP_OPENDIR);
  // A time-out breaks the connection, so that the call asks nothing more.
  if (h == nullptr) {
    (void)error("open folder " + path);
    return false;
  }
  std::vector<char> name(kNameBuffer);
  for (;;) {
    SftpTempEntry e;
    std::memset(&e.attrs, 0, sizeof(e.attrs));
    int n = libssh2_sftp_readdir_ex(h, name.data(), name.size(), nullptr, 0, &e.attrs);
    if (n < 0) (void)error("read folder " + path, n);
    if (n <= 0) {
      dropHandle(h);
      return n == 0;
    }
    e.name.assign(name.data(), size_t(n));
    if (e.name != "." && e.name != "..") entries.push_back(std::move(e));
  }
}

void SftpConnection::tidyLeftovers() {
  if (!leftovers_) return;
  auto& folders = leftovers_->folders;
  std::vector<std::string> pending(folders.begin(), folders.end());
  folders.clear();
  for (const std::string& folder : pending) {
    if (swept_.count(folder) != 0) continue;
    std::vector<SftpTempEntry> entries, temps;
    if (usable() && readFolder(folder, entries)) {
      for (auto& e : entries)
        if (IsTempName(e.name)) temps.push_back(std::move(e));
      tidyFolder(folder, temps);
    }
    // Kept only when this connection broke too.
    if (!usable()) folders.push_back(folder);
  }
  auto& uploads = leftovers_->uploads;
  for (auto it = uploads.begin(); it != uploads.end() && usable();) {
    Status st = removePath(*it, false);
    if (st.ok() || usable()) it = uploads.erase(it);
    else ++it;
  }
}

bool SftpConnection::sweepOnce(const std::string& folder) {
  if (!usable() || swept_.count(folder) != 0) return false;
  std::vector<SftpTempEntry> entries, temps;
  if (!readFolder(folder, entries)) return false;
  for (auto& e : entries)
    if (IsTempName(e.name)) temps.push_back(std::move(e));
  return tidyFolder(folder, temps);
}

bool SftpConnection::tidyFolder(const std::string& folder, const std::vector<SftpTempEntry>& temps) {
  swept_.insert(folder);
  bool changed = false;
  const int64_t now = int64_t(std::time(nullptr));
  for (const SftpTempEntry& t : temps) {
    if (!usable()) break;
    const std::string full = Child(folder, t.name);
    if (t.name.rfind(kReplacedPrefix, 0) == 0 && IsDir(t.attrs)) {
      changed = restoreAside(folder, full) || changed;
    } else if (t.name.rfind(kUploadPrefix, 0) == 0 && !IsDir(t.attrs) &&
               (t.attrs.flags & LIBSSH2_SFTP_ATTR_ACMODTIME) &&
               int64_t(t.attrs.mtime) + kStaleUploadSeconds < now) {
      // No upload writes for an hour without failing on its time-out: its
      // client is gone.
      if (removePath(full, false).ok()) {
        changed = true;
        vx::log::write(vx::log::kInfo, "sftp: removed the abandoned upload work file %s", full.c_str());
      }
    }
  }
  return changed;
}

bool SftpConnection::restoreAside(const std::string& folder, const std::string& aside) {
  std::vector<SftpTempEntry> inside;
  if (!readFolder(aside, inside)) return false;
  bool restored = false;
  for (const SftpTempEntry& e : inside) {
    const std::string target = Child(folder, e.name);
    const std::string copy = Child(aside, e.name);
    LIBSSH2_SFTP_ATTRIBUTES attrs;
    Status there = statPath(target, attrs, false);
    if (there.code == Status::kNotFound) {
      // The replacement stopped between its steps: the old copy goes back.
      int rc = libssh2_sftp_rename_ex(sftp_, copy.data(), unsigned(copy.size()), target.data(),
                                      unsigned(target.size()), kRenameFlags);
      if (rc == 0) {
        restored = true;
        vx::log::write(vx::log::kWarn, "sftp: put %s back after an interrupted replacement", target.c_str());
      } else {
        error("restore " + target, rc);
      }
    } else if (there.ok()) {
      // The replacement got its new copy in place: the old one had only
      // its removal left.
      (void)removePath(copy, IsDir(e.attrs));
    }
  }
  if (usable()) libssh2_sftp_rmdir_ex(sftp_, aside.data(), unsigned(aside.size()));
  return restored;
}

}  // namespace tarn

// Folders that only the service may enter, and the privileges it needs to
// take one over. The backup folder holds sealed passwords and the file-state
// caches of every job: a folder prepared by anyone else (another owner, a
// symbolic link to somewhere else, extra ACL entries) could hand those to a
// user or let a user steer the service's writes, so it is set aside rather
// than trusted. Stateless free functions; any thread.
#pragma once

#include <string>

#include "foundation/status.h"

namespace tarn {

// Inserted between a folder's name and the seconds of the moment it was set
// aside.
inline constexpr const char* kUntrustedSuffix = ".untrusted-";

// Makes `dir` a folder of root's, mode 0700, without POSIX ACLs. Whatever
// else lies at its place (a folder of another owner, a symbolic link, a
// file) is renamed to dir + ".untrusted-" + Unix seconds first, and that name
// goes to `setAside` (empty when nothing was moved). The parent must exist.
// Ok when the folder is in that state afterwards.
Status SecurePrivateFolder(const std::string& dir, std::string* setAside);

// Ok when `dir` is a folder (not a link) owned by root that neither its group
// nor other users may write into: nobody else can then swap what lies in it.
Status CheckTrustedFolder(const std::string& dir);

// Makes one capability (CAP_CHOWN, CAP_FOWNER, ...) effective for the
// calling thread when it is permitted; true when it is effective afterwards.
bool EnablePrivilege(int capability);

}  // namespace tarn

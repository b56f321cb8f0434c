// What the service trusts: folders that only it may enter and files that
// only it may change, and the privileges it needs to take a folder over. The
// data folder holds the settings, the log and the host keys, the backup
// folder sealed passwords and the file-state caches of every job, a cache
// folder what the drives write: one that anyone else could have prepared
// (another owner, a symbolic link to somewhere else, extra ACL entries, a
// parent folder others may write into) could hand those to a user or let a
// user steer the service's writes, so it is set aside or refused rather
// than trusted. "Its own" user is this process's: root for the service.
// Stateless free functions; any thread.
#pragma once

#include <string>

#include "foundation/status.h"

namespace tarn {

// Inserted between a folder's name and the seconds of the moment it was set
// aside.
inline constexpr const char* kUntrustedSuffix = ".untrusted-";

// Makes `dir` a folder of its own user's, mode 0700, without POSIX ACLs.
// Whatever else lies at its place (a folder of another owner, a symbolic
// link, a file) is renamed to dir + ".untrusted-" + Unix seconds first, and
// that name goes to `setAside` (empty when nothing was moved). The parent
// must exist, and the folders above it must pass CheckTrustedParents, or
// nothing is done. Ok when the folder is in that state afterwards.
Status SecurePrivateFolder(const std::string& dir, std::string* setAside);

// Ok when `dir` is a folder (not a link) owned by root that neither its group
// nor other users may write into, below folders that pass
// CheckTrustedParents: nobody else can then swap what lies in it.
Status CheckTrustedFolder(const std::string& dir);

// The same for a folder of its own user's (a drive's cache folder).
Status CheckOwnFolder(const std::string& dir);

// Ok when every folder above `path`, from "/" down, is a folder of root's
// or of its own user's that nobody else may write into, or may write into
// only as into /tmp, where nobody moves what is not theirs: nobody else can
// then swap what lies at `path`. A symbolic link on the way counts when it
// is root's (or its own user's), and the folders along its target are
// checked as well. Folders not made yet stop the walk: whoever makes them
// makes them its own.
Status CheckTrustedParents(const std::string& path);

// A folder of the service's own (the data folder, the machine key's): made,
// mode 0700, with its missing parents, when it is not there; one of its own
// user's is mended to mode 0700 without ACLs. A link, a file or a folder of
// another user in its place, or parents others may change, refuse it with
// the reason, and nothing at its place is changed.
// `mended`, when given, says whether its mode had to be.
Status SecureServiceFolder(const std::string& dir, bool* mended = nullptr);

// A file of the service's own (its settings, a key, its log): none there is
// fine; one of its own user's with no other name is mended to mode 0600
// without ACLs (`mended`, when given, says whether it had to be). A link,
// anything but a plain file, a file of another user or one with other names
// (hard links), or folders above it that fail CheckTrustedParents, refuse
// it with the reason, and it is left as it is.
Status SecureServiceFile(const std::string& path, bool* mended = nullptr);

// Makes one capability (CAP_CHOWN, CAP_FOWNER, ...) effective for the
// calling thread when it is permitted; true when it is effective afterwards.
bool EnablePrivilege(int capability);

}  // namespace tarn

// Local paths as the backup run, the folder walk and the restore use them:
// full paths begin with "/", names are joined with "/", and making a path
// absolute is lexical (symbolic links are not resolved, so a path names the
// place the user chose, not where a link leads). Messages and records use
// these paths as they are. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace tarn::backup {

// The name given to the source "/" where a source needs a name (the job's
// default name, its entry in the root listing): the root has no last
// component of its own.
inline constexpr std::string_view kRootSourceName = "root";

// The form under which file-system calls are made; here the path itself.
std::string ToLongPath(std::string_view path);

// folder + "/" + name, without doubling a "/" that ends the folder; an empty
// folder gives "/" + name. Only "/" separates: "\" is part of a name.
std::string JoinPath(std::string_view folder, std::string_view name);

// The absolute form: a relative path is taken from the current folder, then
// "." and empty components are dropped, ".." removes the component before
// it (never above "/"), and no "/" ends the result except for the root. An
// empty path, or one whose current folder cannot be read, comes back as it
// was.
std::string FullLocalPath(std::string_view path);

// The last component of a full path, trailing "/" ignored; kRootSourceName
// for the root.
std::string LastComponent(std::string_view path);

}  // namespace tarn::backup

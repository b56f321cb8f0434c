// Folder trees deeper than any path can name, as a user can make them to
// stop a program that walks them by recursion: made, read and removed one
// folder at a time by descriptor, never through a whole path, and with two
// descriptors at most. Test code only; any thread.
#pragma once

#include <cstddef>
#include <string>

namespace tarn::test {

// Makes `depth` folders named `name`, each in the one before, below the
// folder `root`, and in the last of them the file `file` holding `content`.
bool MakeDeepChain(const std::string& root, size_t depth, const std::string& name, const std::string& file,
                   const std::string& content);

// Follows the folders named `name` down from `root` as far as they go:
// how many there are, and what the file `file` in the last one holds
// (false when it is not there).
bool ReadDeepChain(const std::string& root, const std::string& name, const std::string& file, size_t& depth,
                   std::string& content);

// Removes the tree at `path`, whatever its depth: each folder's entries are
// moved up into `path` before it goes. False when something stays.
bool RemoveTree(const std::string& path);

}  // namespace tarn::test

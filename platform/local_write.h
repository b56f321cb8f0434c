// Local folders and files as a restore writes them. A folder is held open by
// descriptor, and everything below it is reached relative to that descriptor
// without following a symbolic link: a link that someone placed inside the
// destination cannot lead a write out of it. The folder a restore starts
// from is opened by path, one component at a time from "/", and a link on
// that way is followed only where nobody but root and the caller could have
// put it.
//
// A WriteFolder is shared (std::shared_ptr) between the restore's task thread
// and the files waiting to be filled in it; its operations are single system
// calls on a descriptor that does not change, so any thread may call them.
// A WriteFile is written at explicit offsets, so several threads may write
// different parts of it at once; the rest of its operations belong to one
// thread at a time. Failures come back as tarn::Status with the errno value
// in `native`.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/file_util.h"
#include "foundation/status.h"
#include "platform/local_dir.h"

namespace tarn::localfs {

// What a folder or file is made with before its maker sets the bits it is
// to have: nobody but its owner sees it meanwhile.
constexpr uint32_t kOwnerOnlyFolder = 0700;
constexpr uint32_t kOwnerOnlyFile = 0600;

class WriteFile;

class WriteFolder {
 public:
  WriteFolder() = default;
  WriteFolder(const WriteFolder&) = delete;
  WriteFolder& operator=(const WriteFolder&) = delete;
  WriteFolder(WriteFolder&&) = default;
  WriteFolder& operator=(WriteFolder&&) = default;

  // Opens an existing folder by path, following links.
  static Status open(const std::string& path, WriteFolder& out);
  // Opens the folder at the absolute `path` one component at a time from
  // "/". A symbolic link on the way is followed only when root or
  // `trustedUid` made it and nobody else may change the folder it lies in
  // (owned by one of them, no write bits for group and others unless the
  // sticky bit keeps others' hands off what is not theirs); any other is
  // refused with code kAccessDenied and a message that names it (no
  // errno). With `create`, missing folders are made: the last with `mode`, the
  // others with `parentMode`, whatever the process's umask. Other failures
  // give their errno.
  static Status openPath(const std::string& path, uint32_t trustedUid, bool create, uint32_t mode,
                         uint32_t parentMode, WriteFolder& out);

  // Opens the sub-folder `name`, first creating it with exactly `mode` when
  // `create` is set (an existing entry is no failure, and keeps its mode).
  // A link in its place is refused (ENOTDIR).
  Status openFolder(const std::string& name, bool create, WriteFolder& out, uint32_t mode = kOwnerOnlyFolder) const;
  // Opens the folder that holds this one now (its "..", never a link).
  Status openParent(WriteFolder& out) const;
  // Sets the open folder's own permission bits, and its owner and group.
  Status setMode(uint32_t mode) const;
  Status setOwner(uint32_t uid, uint32_t gid) const;
  // Made by the openFolder that opened it, so empty then.
  bool made() const { return made_; }
  // The entry `name` itself, a link not followed (kind kLink).
  Status stat(const std::string& name, Entry& out) const;
  // Creates a new empty file for writing, with owner-only access until its
  // writer sets the bits it is to have, that is to be called `name`. Where
  // the file system can and `unnamed` allows, it is made without a name (the
  // costly part of making a file then holds no lock on the folder) and named
  // by nameFile; elsewhere it gets its name now. Whatever had that name (an
  // old file or a link) is removed first, and the file is created
  // exclusively, so no link is ever written through.
  Status createFile(const std::string& name, WriteFile& out, bool unnamed = true) const;
  // Gives a file made without a name the name it was made for, replacing
  // an old file or link of that name; nothing for a file that has it.
  Status nameFile(const WriteFile& file) const;
  // Gives a file made without a name `name` instead, where nothing has that
  // name: one call where naming and renaming take two. `named` false when
  // the file has a name already or something holds `name` (left as it is).
  Status nameFileAs(const WriteFile& file, const std::string& name, bool& named) const;
  // Moves `from` over `to` in this folder; a link at `to` is replaced, not
  // followed.
  Status rename(const std::string& from, const std::string& to) const;
  // Removes the file or link `name`.
  Status remove(const std::string& name) const;
  // Whether the current thread's rights let it create files here: tried with
  // an unnamed temporary that leaves nothing behind. A file system that has
  // no such temporaries gives kUnsupported, and the answer is unknown.
  Status probeWrite() const;

  bool valid() const { return fd_.valid(); }
  // The folder's device and inode, which tell two open folders apart.
  uint64_t device() const { return device_; }
  uint64_t inode() const { return inode_; }

 private:
  static Status Adopt(int fd, WriteFolder& out);
  // linkat of an unnamed file to `name` here; errno is left as it set it.
  int LinkUnnamed(const WriteFile& file, const std::string& name) const;

  vx::UniqueFd fd_;
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
  bool made_ = false;
};

class WriteFile {
 public:
  WriteFile() = default;
  WriteFile(const WriteFile&) = delete;
  WriteFile& operator=(const WriteFile&) = delete;
  WriteFile(WriteFile&&) = default;
  WriteFile& operator=(WriteFile&&) = default;

  // Writes all of `size` bytes at `offset`; a short write is an error
  // (ENOSPC when the kernel gave no reason).
  Status writeAt(uint64_t offset, const uint8_t* data, size_t size) const;
  // Sets the modification time (FILETIME units); the access time is left.
  Status setModified(uint64_t filetime) const;
  // Sets the permission bits, and the owner and group.
  Status setMode(uint32_t mode) const;
  Status setOwner(uint32_t uid, uint32_t gid) const;
  // Closes the file; a failure here may be the first sign of lost data.
  Status close();

  bool valid() const { return fd_.valid(); }

 private:
  friend class WriteFolder;
  vx::UniqueFd fd_;
  std::string name_;       // the name it is made for
  bool unnamed_ = false;  // made without a name, not yet named
};

}  // namespace tarn::localfs

#include "service/cache_folder.h"

#include <filesystem>

#include "engine/data_cache.h"
#include "engine/volume.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "platform/secure_folder.h"

namespace tarn {
namespace {

Status CannotUse(const std::string& dir, const Status& why) {
  return Status(why.code, "cannot use the cache folder " + dir + ": " + why.message, why.native);
}

Status SecureFolder(const std::string& dir) {
  const std::string parent = std::filesystem::path(dir).parent_path().string();
  if (!parent.empty() && !vx::MakeDirs(parent)) return Status(Status::kIo, "cannot create " + parent, errno);
  std::string aside;
  const Status st = SecurePrivateFolder(dir, &aside);
  if (!aside.empty())
    vx::log::write(vx::log::kWarn, "cache: %s was not made by the service; set aside as %s", dir.c_str(),
                   aside.c_str());
  return st;
}

}  // namespace

Status OpenCacheRoot(const std::string& cacheRoot) {
  const Status st = SecureFolder(cacheRoot);
  return st.ok() ? st : CannotUse(cacheRoot, st);
}

Status OpenCacheFolder(const MountConfig& config, const std::string& cacheRoot) {
  const bool own = config.cache.dir.empty();
  const std::string dir = own ? vx::JoinPath(cacheRoot, config.id) : config.cache.dir;
  Status st = own ? OpenCacheRoot(cacheRoot) : Status();
  if (!st.ok()) return st;
  st = SecureFolder(dir);
  // What was made while the folder was open to others may lead elsewhere.
  for (const std::string& name : VolumeCacheEntries()) {
    if (!st.ok()) break;
    const std::string entry = vx::JoinPath(dir, name);
    st = name == kDataFolderName ? SecureServiceFolder(entry) : SecureServiceFile(entry);
  }
  return st.ok() ? st : CannotUse(dir, st);
}

}  // namespace tarn

#include <sys/stat.h>
#include <unistd.h>

#include "platform/FolderAccess.h"

namespace kessmar::platform {

bool CanWriteInFolder(const std::filesystem::path& folder) {
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return false;
  // The administrator may write anywhere; what counts is whether the folder is meant to be
  // written by this user, as its permissions say.
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return false;
  if (st.st_uid == ::geteuid()) return (st.st_mode & S_IWUSR) != 0;
  if (st.st_gid == ::getegid()) return (st.st_mode & S_IWGRP) != 0;
  return (st.st_mode & S_IWOTH) != 0;
}

}  // namespace kessmar::platform

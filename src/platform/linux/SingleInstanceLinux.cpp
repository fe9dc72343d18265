// The marker is a lock file in the user's runtime folder held with flock(): the kernel drops the
// lock when the process ends, so a crashed copy never blocks the next start.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/FileDescriptor.h"
#include "platform/SingleInstance.h"

namespace kessmar::platform {
namespace {

std::string LockPath(const std::string& name) {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
    return std::string(runtime) + "/" + name + ".lock";
  }
  return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

class LinuxSingleInstanceMarker final : public SingleInstanceMarker {
 public:
  bool AcquireOrDetectOther(const std::string& name) override {
    FileDescriptor fd(open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) return false;
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK;
    held_ = std::move(fd);
    return false;
  }

  bool IsHeldByOther(const std::string& name) override {
    FileDescriptor fd(open(LockPath(name).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    if (held_) return false;  // this process is the holder
    if (flock(fd.get(), LOCK_SH | LOCK_NB) != 0) return errno == EWOULDBLOCK;
    flock(fd.get(), LOCK_UN);
    return false;
  }

 private:
  FileDescriptor held_;
};

}  // namespace

std::unique_ptr<SingleInstanceMarker> CreateSingleInstanceMarker() {
  return std::make_unique<LinuxSingleInstanceMarker>();
}

}  // namespace kessmar::platform

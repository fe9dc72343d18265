#include "platform/serial/PortsDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "platform/EnvironmentOverrides.h"
#include "platform/FileDescriptor.h"

namespace kessmar::platform {
namespace {

constexpr size_t kMaxSmallFile = 4096;

std::string ErrnoText() {
  return std::strerror(errno);
}

// What a COMn.name file says: the friendly name and the owner (0: none named, -1: unreadable).
struct NameFile {
  bool exists = false;
  std::string friendlyName;
  pid_t owner = 0;
};

// Reads the name file `name` relative to the folder open as directoryFd.
NameFile ReadNameFile(int directoryFd, const std::string& name) {
  NameFile result;
  FileDescriptor fd(::openat(directoryFd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) return result;
  result.exists = true;
  char buffer[kMaxSmallFile];
  ssize_t n;
  do {
    n = ::read(fd.get(), buffer, sizeof buffer);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    result.owner = -1;
    return result;
  }
  std::string_view text(buffer, static_cast<size_t>(n));
  std::string_view first = text.substr(0, text.find('\n'));
  result.friendlyName =
      std::string(first.substr(0, first.find_first_of(std::string_view("\0\r", 2))));
  if (first.size() < text.size()) {
    std::string_view second = text.substr(first.size() + 1);
    second = second.substr(0, second.find_first_of("\r\n"));
    if (second.substr(0, 4) == "pid ") {
      second.remove_prefix(4);
      pid_t pid = 0;
      auto [end, ec] = std::from_chars(second.data(), second.data() + second.size(), pid);
      result.owner =
          ec == std::errc() && end == second.data() + second.size() && pid > 0 ? pid : -1;
    } else if (!second.empty()) {
      result.owner = -1;
    }
  }
  return result;
}

// Writes text to path through a temporary file renamed into place. Throws on failure.
void WriteFileAtomically(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  ::unlink(temporary.c_str());
  FileDescriptor fd(
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd) throw std::runtime_error("Cannot create " + temporary.string() + ": " + ErrnoText());
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::string reason = ErrnoText();
      ::unlink(temporary.c_str());
      throw std::runtime_error("Cannot write " + temporary.string() + ": " + reason);
    }
    done += static_cast<size_t>(n);
  }
  fd.Reset();
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    std::string reason = ErrnoText();
    ::unlink(temporary.c_str());
    throw std::runtime_error("Cannot rename " + temporary.string() + ": " + reason);
  }
}

bool ProcessRuns(pid_t pid) {
  return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// A directory that another user could have planted is not used.
bool DirectoryIsOurs(const std::filesystem::path& directory) {
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && (info.st_uid == ::geteuid() || info.st_uid == 0);
}

void CreateDirectoryChain(const std::filesystem::path& directory) {
  std::filesystem::path partial;
  for (const auto& part : directory) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      throw std::runtime_error("Cannot create the ports directory " + partial.string() + ": " +
                               ErrnoText());
    }
  }
  if (!DirectoryIsOurs(directory)) {
    throw std::runtime_error("The ports directory " + directory.string() +
                             " is not a directory of this user");
  }
}

struct DirectoryCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// Holds the directory's lock file for the lifetime of the object.
class DirectoryLock {
 public:
  explicit DirectoryLock(const std::filesystem::path& directory)
      : fd_(::open((directory / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                   0600)) {
    if (!fd_) {
      throw std::runtime_error("Cannot open " + (directory / ".lock").string() + ": " +
                               ErrnoText());
    }
    while (::flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        throw std::runtime_error("Cannot lock " + (directory / ".lock").string() + ": " +
                                 ErrnoText());
      }
    }
  }

 private:
  FileDescriptor fd_;
};

}  // namespace

std::filesystem::path DefaultPortsDirectory() {
  if (const auto dir = EnvironmentOverride(env::kPortsDir)) return *dir;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/') {
    return std::filesystem::path(runtime) / "kessmar" / "ports";
  }
  return std::filesystem::path("/tmp") / ("kessmar-" + std::to_string(::geteuid())) / "ports";
}

int PortNumberOfName(const std::string& name) {
  if (name.size() < 4 || name.size() > 7 || name.compare(0, 3, "COM") != 0 || name[3] == '0') {
    return 0;
  }
  int number = 0;
  auto [end, ec] = std::from_chars(name.data() + 3, name.data() + name.size(), number);
  if (ec != std::errc() || end != name.data() + name.size()) return 0;
  return number;
}

PortsDirectory::PortsDirectory(std::filesystem::path directory)
    : directory_(std::move(directory)) {}

std::filesystem::path PortsDirectory::FileOf(int number, const char* suffix) const {
  return directory_ / ("COM" + std::to_string(number) + suffix);
}

std::vector<PortsDirectoryEntry> PortsDirectory::List() const {
  std::vector<PortsDirectoryEntry> entries;
  // Every file is reached relative to the open folder: enumeration runs every few seconds.
  FileDescriptor folder(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat info {};
  if (!folder || ::fstat(folder.get(), &info) != 0 ||
      (info.st_uid != ::geteuid() && info.st_uid != 0)) {
    return entries;
  }
  FileDescriptor listing(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0));
  std::unique_ptr<DIR, DirectoryCloser> dir(listing ? ::fdopendir(listing.get()) : nullptr);
  if (!dir) return entries;
  listing.Release();  // now owned by dir
  while (const dirent* item = ::readdir(dir.get())) {
    int number = PortNumberOfName(item->d_name);
    if (number == 0) continue;
    std::string name = item->d_name;
    char target[PATH_MAX];
    ssize_t length = ::readlinkat(folder.get(), name.c_str(), target, sizeof target - 1);
    if (length <= 0) continue;
    PortsDirectoryEntry entry;
    entry.number = number;
    std::filesystem::path device(std::string(target, static_cast<size_t>(length)));
    entry.devicePath = (device.is_absolute() ? device : directory_ / device).lexically_normal();
    // The link is followed: only a character device counts.
    entry.present = ::fstatat(folder.get(), name.c_str(), &info, 0) == 0 && S_ISCHR(info.st_mode);
    if (entry.present) {
      NameFile nameFile = ReadNameFile(folder.get(), name + ".name");
      entry.present = nameFile.owner == 0 || ProcessRuns(nameFile.owner);
      entry.friendlyName = nameFile.friendlyName.empty() ? "Serial port" : nameFile.friendlyName;
    }
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.number < b.number; });
  return entries;
}

int PortsDirectory::Register(const std::string& devicePath, const std::string& friendlyName,
                             pid_t ownerPid, int requestedNumber,
                             const std::set<int>& reservedNumbers) const {
  if (requestedNumber < 0 || requestedNumber > 9999) {
    throw std::runtime_error("Port number " + std::to_string(requestedNumber) +
                             " is out of range 1 to 9999");
  }
  if (friendlyName.find_first_of("\r\n") != std::string::npos) {
    throw std::invalid_argument("Friendly name with a line break: " + friendlyName);
  }
  CreateDirectoryChain(directory_);
  DirectoryLock lock(directory_);
  std::set<int> present;
  for (const auto& entry : List()) {
    if (entry.present) present.insert(entry.number);
  }
  int number = requestedNumber;
  if (number > 0) {
    if (reservedNumbers.count(number) != 0) {
      throw std::runtime_error("COM" + std::to_string(number) +
                               " belongs to a serial device (present, or kept for it while it is "
                               "unplugged); choose another number");
    }
    if (present.count(number) != 0) {
      throw std::runtime_error("COM" + std::to_string(number) + " is already registered in " +
                               directory_.string());
    }
  } else {
    number = 3;
    while (present.count(number) != 0 || reservedNumbers.count(number) != 0) ++number;
    if (number > 9999) throw std::runtime_error("No free port number in " + directory_.string());
  }
  // Leftovers of an absent port under this number go first.
  for (const char* suffix : {"", ".name", ".ctl"}) ::unlink(FileOf(number, suffix).c_str());
  WriteFileAtomically(FileOf(number, ".name"),
                      friendlyName + "\npid " + std::to_string(ownerPid) + "\n");
  if (::symlink(devicePath.c_str(), FileOf(number, "").c_str()) != 0) {
    std::string reason = ErrnoText();
    ::unlink(FileOf(number, ".name").c_str());
    throw std::runtime_error("Cannot create " + FileOf(number, "").string() + ": " + reason);
  }
  return number;
}

void PortsDirectory::Unregister(int number, pid_t ownerPid) const noexcept {
  try {
    DirectoryLock lock(directory_);
    FileDescriptor folder(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return;
    NameFile nameFile = ReadNameFile(folder.get(), "COM" + std::to_string(number) + ".name");
    if (nameFile.owner != 0 && nameFile.owner != ownerPid) return;
    // The link goes first so that readers never see a port without its name.
    for (const char* suffix : {"", ".name", ".ctl"}) {
      ::unlink(FileOf(number, suffix).c_str());
    }
  } catch (...) {
    // Nothing to give back when the directory is gone.
  }
}

}  // namespace kessmar::platform

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/KnownFolders.h"

namespace kessmar::platform {
namespace {

std::optional<std::string> AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value != '/') return std::nullopt;
  return std::string(value);
}

// The value of XDG_DOCUMENTS_DIR in a user-dirs.dirs file: a quoted path, absolute or starting
// with "$HOME/".
std::optional<std::filesystem::path> DocumentsFromUserDirs(const std::filesystem::path& file,
                                                           const std::optional<std::string>& home) {
  std::ifstream in(file);
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=";
  while (std::getline(in, line)) {
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    std::string value = line.substr(start + key.size());
    while (!value.empty() && (value.back() == ' ' || value.back() == '\r')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.rfind("$HOME", 0) == 0) {
      if (!home) return std::nullopt;
      value = *home + value.substr(5);
    }
    if (!value.empty() && value.front() == '/') return std::filesystem::path(value);
  }
  return std::nullopt;
}

}  // namespace

namespace {

// Makes folder (mode 0700) when missing; nullopt when it is there and a private folder of this
// user, else why it cannot serve.
std::optional<std::string> PrivateFolderProblem(const std::filesystem::path& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return "cannot be created: " + std::string(std::strerror(errno));
  }
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) {
    return "cannot be examined: " + std::string(std::strerror(errno));
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
    return "is taken by someone else or open to others";
  }
  return std::nullopt;
}

}  // namespace

std::filesystem::path TemporaryFolder(std::string* fallbackNote) {
  const std::string own = "kessmar-" + std::to_string(::getuid());
  std::filesystem::path first = std::filesystem::path(AbsoluteEnv("TMPDIR").value_or("/tmp")) / own;
  const auto problem = PrivateFolderProblem(first);
  if (!problem) return first;
  std::vector<std::filesystem::path> fallbacks;
  if (auto runtime = AbsoluteEnv("XDG_RUNTIME_DIR")) {
    fallbacks.push_back(std::filesystem::path(*runtime) / "kessmar-scanner-tool");
  }
  if (auto home = AbsoluteEnv("HOME")) {
    const std::filesystem::path cache = std::filesystem::path(*home) / ".cache";
    ::mkdir(cache.c_str(), 0700);
    fallbacks.push_back(cache / "kessmar-scanner-tool");
  }
  for (const auto& folder : fallbacks) {
    if (!PrivateFolderProblem(folder)) {
      if (fallbackNote != nullptr) {
        *fallbackNote = "The temporary folder " + first.string() + " " + *problem + "; using " +
                        folder.string();
      }
      return folder;
    }
  }
  throw std::runtime_error("The temporary folder " + first.string() + " " + *problem +
                           ", and no other private folder can be made");
}

std::filesystem::path DocumentsFolder() {
  const auto home = AbsoluteEnv("HOME");
  std::filesystem::path config;
  if (auto xdg = AbsoluteEnv("XDG_CONFIG_HOME")) {
    config = *xdg;
  } else if (home) {
    config = std::filesystem::path(*home) / ".config";
  }
  if (!config.empty()) {
    if (auto documents = DocumentsFromUserDirs(config / "user-dirs.dirs", home)) return *documents;
  }
  if (auto documents = AbsoluteEnv("XDG_DOCUMENTS_DIR")) return *documents;
  if (home) return *home;
  throw std::runtime_error("Cannot find the user's documents folder: HOME is not set");
}

std::optional<std::filesystem::path> LocalAppDataFolder() {
  if (auto data = AbsoluteEnv("XDG_DATA_HOME")) return std::filesystem::path(*data);
  if (auto home = AbsoluteEnv("HOME")) return std::filesystem::path(*home) / ".local" / "share";
  return std::nullopt;
}

std::filesystem::path WindowsFolder() {
  return "/etc";
}

std::filesystem::path SystemFolder() {
  return "/usr/lib";
}

std::filesystem::path ProgramFilesFolder() {
  return "/opt";
}

}  // namespace kessmar::platform

#include "dbclient/LocalServerRegistry.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <stdexcept>
#include <tuple>

#include "platform/EnvironmentOverrides.h"
#include "platform/Files.h"
#include "platform/net/RuntimeFolder.h"

namespace kessmar::dbclient {
namespace {

namespace fs = std::filesystem;

std::optional<LocalServerEntry> ParseEntry(const std::string& text) {
  LocalServerEntry entry;
  bool havePort = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (key == "name") {
      entry.name = value;
    } else if (key == "socket") {
      entry.socketFolder = value;
    } else if (key == "port") {
      unsigned port = 0;
      const auto [end2, error] = std::from_chars(value.data(), value.data() + value.size(), port);
      if (error != std::errc() || end2 != value.data() + value.size() || port == 0 ||
          port > 65535) {
        return std::nullopt;
      }
      entry.port = static_cast<uint16_t>(port);
      havePort = true;
    }
  }
  if (entry.name.empty() || entry.socketFolder.empty() || entry.socketFolder[0] != '/' ||
      !havePort) {
    return std::nullopt;
  }
  return entry;
}

bool SocketExists(const LocalServerEntry& entry) {
  std::error_code ignored;
  return fs::exists(fs::path(entry.socketFolder) / (".s.PGSQL." + std::to_string(entry.port)),
                    ignored);
}

// path without ".", ".." or a trailing "/".
fs::path Normal(const fs::path& path) {
  return (path / "x").lexically_normal().parent_path();
}

// Whether path is base or lies below it (both normal).
bool IsBelow(const fs::path& path, const fs::path& base) {
  const auto [end, unused] = std::mismatch(base.begin(), base.end(), path.begin(), path.end());
  return end == base.end();
}

// Whether the registry can be trusted: the folder, and every folder between it and the user's
// run-time folder when it lies there, belongs to this user and nobody else writes into it. In
// /tmp another user could have made /tmp/kessmar-<uid> first and fill it with entries that point
// this user's connections at a socket of theirs.
bool Trusted(const fs::path& folder) {
  const fs::path runtime = Normal(platform::UserRuntimeFolder());
  const fs::path normal = Normal(folder);
  if (!IsBelow(normal, runtime)) return platform::IsOwnPrivateFolder(normal);
  for (fs::path up = normal;; up = up.parent_path()) {
    if (!platform::IsOwnPrivateFolder(up)) return false;
    if (up == runtime || up == up.parent_path()) return true;
  }
}

}  // namespace

fs::path DefaultLocalServerRegistry() {
  if (const auto folder = platform::EnvironmentOverride(platform::env::kServerRegistry)) {
    return *folder;
  }
  return platform::UserRuntimeFolder() / "kessmar" / "backoffice-servers";
}

LocalServerRegistry::LocalServerRegistry(fs::path folder) : folder_(std::move(folder)) {}

fs::path LocalServerRegistry::FileOf(const std::string& socketFolder, uint16_t port) const {
  // FNV-1a of "folder:port" names the file, so that one server has one entry.
  uint64_t hash = 1469598103934665603ull;
  for (char c : socketFolder + ":" + std::to_string(port)) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char name[17];
  static constexpr char kHex[] = "0123456789abcdef";
  for (int i = 15; i >= 0; --i) {
    name[i] = kHex[hash & 0xF];
    hash >>= 4;
  }
  name[16] = '\0';
  return folder_ / (std::string(name) + ".server");
}

std::vector<LocalServerEntry> LocalServerRegistry::List() const {
  std::vector<LocalServerEntry> entries;
  if (!Trusted(folder_)) return entries;
  std::error_code error;
  for (auto it = fs::directory_iterator(folder_, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    if (it->path().extension() != ".server") continue;
    try {
      const auto text = platform::ReadFileIfPresent(it->path());
      if (!text) continue;
      if (auto entry = ParseEntry(*text); entry && SocketExists(*entry)) {
        entries.push_back(std::move(*entry));
      }
    } catch (const std::exception&) {
      // An entry that cannot be read is no server.
    }
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return std::tie(a.name, a.socketFolder, a.port) < std::tie(b.name, b.socketFolder, b.port);
  });
  return entries;
}

std::optional<LocalServerEntry> LocalServerRegistry::FindBySocketFolder(
    const std::string& socketFolder) const {
  for (auto& entry : List()) {
    if (entry.socketFolder == socketFolder) return entry;
  }
  return std::nullopt;
}

void LocalServerRegistry::Register(const LocalServerEntry& entry) const {
  auto bad = [](const std::string& value) {
    return value.find('\n') != std::string::npos || value.find('\r') != std::string::npos;
  };
  if (entry.name.empty() || bad(entry.name) || entry.name.find('=') != std::string::npos ||
      bad(entry.socketFolder) || entry.socketFolder.empty() || entry.socketFolder[0] != '/') {
    throw std::invalid_argument("not a server entry: name \"" + entry.name + "\", socket \"" +
                                entry.socketFolder + "\"");
  }
  std::error_code error;
  fs::create_directories(folder_, error);
  if (error) {
    throw std::runtime_error("cannot create " + folder_.string() + ": " + error.message());
  }
  // The folders made here are this user's alone (a umask may have let the group write).
  const fs::path runtime = Normal(platform::UserRuntimeFolder());
  for (fs::path up = Normal(folder_);; up = up.parent_path()) {
    std::error_code ignored;
    fs::permissions(up, fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove,
                    ignored);
    if (up == runtime || up == up.parent_path() || !IsBelow(up, runtime)) break;
  }
  fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::replace, error);
  if (!Trusted(folder_)) {
    throw std::runtime_error("the registry folder " + folder_.string() +
                             " (or a folder above it) belongs to another user or others may "
                             "write into it");
  }
  const fs::path file = FileOf(entry.socketFolder, entry.port);
  try {
    platform::ReplaceFileContent(file, "name=" + entry.name + "\nsocket=" + entry.socketFolder +
                                           "\nport=" + std::to_string(entry.port) + "\n");
  } catch (const platform::FileError& e) {
    throw std::runtime_error("cannot write " + file.string() + ": " + e.what());
  }
}

void LocalServerRegistry::Unregister(const std::string& socketFolder,
                                     uint16_t port) const noexcept {
  std::error_code ignored;
  fs::remove(FileOf(socketFolder, port), ignored);
}

}  // namespace kessmar::dbclient

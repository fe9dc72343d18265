// How servers on this machine are found for single-user connections (ptSingleUser): every
// back-office server that backoffice-server starts leaves one entry in a registry folder, and a
// "broadcast" for ptSingleUser lists the entries whose server socket exists.
//
// Folder: $KESSMAR_SERVER_REGISTRY, else <user run-time folder>/kessmar/backoffice-servers.
// One file per server, named "<16 hex digits>.server" after its socket folder and port, holding
// lines "key=value": name (the announced name), socket (the Unix-socket folder), port.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kessmar::dbclient {

struct LocalServerEntry {
  std::string name;          // "VEMOPRO"
  std::string socketFolder;  // absolute path of the folder holding the server's socket
  uint16_t port = 0;

  // "NAME@/socket/folder": the server address of this server for ptSingleUser.
  std::string ServerAddress() const { return name + "@" + socketFolder; }
};

std::filesystem::path DefaultLocalServerRegistry();

class LocalServerRegistry {
 public:
  explicit LocalServerRegistry(std::filesystem::path folder = DefaultLocalServerRegistry());

  const std::filesystem::path& Folder() const { return folder_; }

  // The entries whose server socket exists, ordered by name, then socket folder, then port.
  // Unreadable or malformed entries are left out; a missing folder gives none. Never throws.
  std::vector<LocalServerEntry> List() const;
  // The live entry for a socket folder, if any (the first by port). Never throws.
  std::optional<LocalServerEntry> FindBySocketFolder(const std::string& socketFolder) const;

  // Adds or replaces the entry of entry's socket folder and port; creates the folder (mode 0700).
  // Throws std::runtime_error naming the path when it cannot be written, std::invalid_argument
  // when a member holds a line break, a "=" in the name, or the socket folder is not absolute.
  void Register(const LocalServerEntry& entry) const;
  // Removes that entry. Never throws.
  void Unregister(const std::string& socketFolder, uint16_t port) const noexcept;

 private:
  std::filesystem::path FileOf(const std::string& socketFolder, uint16_t port) const;
  std::filesystem::path folder_;
};

}  // namespace kessmar::dbclient

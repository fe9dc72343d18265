#include "backoffice-server/Cluster.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "backoffice-server/Processes.h"
#include "common/IniFile.h"
#include "dbclient/LocalServerRegistry.h"
#include "platform/EnvironmentOverrides.h"
#include "platform/Files.h"

namespace kessmar::backoffice_server {
namespace {

namespace fs = std::filesystem;

// A value for postgresql.conf, quoted.
std::string ConfValue(const std::string& value) {
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  return quoted + "'";
}

// pg_ctl hands paths to a shell inside double quotes; refuse what would break out of them.
void CheckPath(const fs::path& path) {
  for (char c : path.string()) {
    if (c == '"' || c == '$' || c == '`' || c == '\\' || c == '\n') {
      throw std::runtime_error("the folder " + path.string() +
                               " holds a character the PostgreSQL tools cannot take (\" $ ` \\)");
    }
  }
}

std::string Tail(const std::string& text, size_t lines) {
  size_t pos = text.size();
  for (size_t n = 0; n <= lines && pos > 0; ++n) {
    pos = text.rfind('\n', pos - 1);
    if (pos == std::string::npos) return text;
  }
  return text.substr(pos + 1);
}

}  // namespace

Cluster::Cluster(const fs::path& folder) : folder_(fs::absolute(folder)) {
  CheckPath(folder_);
}

std::optional<std::string> Cluster::ServerAccount() const {
  if (!RunningAsRoot()) return std::nullopt;
  return std::string("postgres");
}

std::string Cluster::BinPath(const std::string& program) const {
  const std::string bin =
      platform::EnvironmentOverride(platform::env::kPgBin).value_or("/usr/lib/postgresql/15/bin");
  const fs::path path = fs::path(bin) / program;
  if (!fs::exists(path)) {
    throw std::runtime_error(path.string() +
                             " not found: install postgresql-15 or set KESSMAR_PG_BIN to the "
                             "folder of the PostgreSQL programs");
  }
  return path.string();
}

std::string Cluster::LogTail() const {
  try {
    const auto text = platform::ReadFileIfPresent(folder_ / "server.log");
    return text ? Tail(*text, 12) : "";
  } catch (const std::exception&) {
    return "";
  }
}

uint16_t Cluster::SavedPort() const {
  const auto port = IniFile(folder_ / "kessmar-server.ini").Read("server", "port");
  if (!port) throw std::runtime_error("the cluster in " + folder_.string() + " was never started");
  return static_cast<uint16_t>(std::stoi(*port));
}

void Cluster::Init(const InitOptions& options) {
  std::error_code error;
  if (fs::exists(Data(), error) && !fs::is_empty(Data(), error)) {
    throw std::runtime_error(Data().string() + " already holds a database cluster");
  }
  fs::create_directories(Data(), error);
  if (!error) fs::create_directories(Socket(), error);
  if (error) {
    throw std::runtime_error("cannot create " + Data().string() + ": " + error.message());
  }
  fs::permissions(Data(), fs::perms::owner_all, fs::perm_options::replace, error);
  fs::permissions(Socket(),
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::replace, error);
  const auto account = ServerAccount();
  if (account) {
    const Account owner = LookUpAccount(*account);
    GiveTo(folder_.string(), owner);
    GiveTo(Data().string(), owner);
    GiveTo(Socket().string(), owner);
    if (RunProgram({"test", "-w", Data().string()}, account).exitCode != 0) {
      throw std::runtime_error("the " + *account + " account cannot reach " + Data().string() +
                               ": make the folders above it searchable (chmod o+x)");
    }
  }
  const std::string superuser = options.superuser.empty() ? CurrentUserName() : options.superuser;
  std::vector<std::string> initdb = {BinPath("initdb"),
                                     "-D",
                                     Data().string(),
                                     "-U",
                                     superuser,
                                     "-E",
                                     "UTF8",
                                     "--locale=C.UTF-8",
                                     "--auth-local=trust",
                                     "--auth-host=scram-sha-256"};
  if (options.noSync) initdb.push_back("--no-sync");
  const ProgramResult result = RunProgram(initdb, account);
  if (result.exitCode != 0) {
    throw std::runtime_error("initdb failed (exit " + std::to_string(result.exitCode) + "):\n" +
                             Tail(result.output, 15));
  }
  // Who may connect: everyone through the socket; the trusted networks without a password;
  // everybody else with a password.
  std::string hba =
      "# Written by backoffice-server init.\n"
      "# TYPE  DATABASE  USER  ADDRESS  METHOD\n"
      "local   all       all            trust\n";
  for (const auto& net : options.trustedNets) hba += "host    all       all   " + net + "  trust\n";
  hba +=
      "host    all       all   0.0.0.0/0  scram-sha-256\n"
      "host    all       all   ::/0       scram-sha-256\n";
  platform::ReplaceFileContent(Data() / "pg_hba.conf", hba);
  {
    std::ofstream conf(Data() / "postgresql.conf", std::ios::app);
    conf << "\n# Settings of backoffice-server start\ninclude_if_exists = 'kessmar.conf'\n";
    if (!conf) throw std::runtime_error("cannot write " + (Data() / "postgresql.conf").string());
  }
  if (account) {
    const Account owner = LookUpAccount(*account);
    GiveTo((Data() / "pg_hba.conf").string(), owner);
  }
}

void Cluster::Start(const StartOptions& options) {
  if (!fs::exists(Data() / "PG_VERSION")) {
    throw std::runtime_error("no database cluster in " + folder_.string() +
                             " (create one with backoffice-server init)");
  }
  std::string conf = "# Written by backoffice-server start; replaced at every start.\n";
  conf += "listen_addresses = " + ConfValue(options.listen) + "\n";
  conf += "port = " + std::to_string(options.port) + "\n";
  conf += "unix_socket_directories = " + ConfValue(Socket().string()) + "\n";
  if (options.fast) {
    conf +=
        "fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n"
        "shared_buffers = '32MB'\n";
  }
  platform::ReplaceFileContent(Data() / "kessmar.conf", conf);
  const auto account = ServerAccount();
  if (account) GiveTo((Data() / "kessmar.conf").string(), LookUpAccount(*account));
  const ProgramResult result =
      RunProgram({BinPath("pg_ctl"), "start", "-D", Data().string(), "-l",
                  (folder_ / "server.log").string(), "-w", "-t", "30", "-s"},
                 account);
  if (result.exitCode != 0) {
    throw std::runtime_error("the server did not start (pg_ctl exit " +
                             std::to_string(result.exitCode) + "): " + result.output + "\nEnd of " +
                             (folder_ / "server.log").string() + ":\n" + LogTail());
  }
  const IniFile settings(folder_ / "kessmar-server.ini");
  settings.Write("server", "name", options.name);
  settings.Write("server", "listen", options.listen);
  settings.Write("server", "port", std::to_string(options.port));
  dbclient::LocalServerRegistry().Register({options.name, Socket().string(), options.port});

  if (options.announceAddress) {
    const fs::path pidFile = folder_ / "announce.pid";
    fs::remove(pidFile);
    std::vector<std::string> argv = {SelfPath(),   "announce",      "--name",
                                     options.name, "--address",     *options.announceAddress,
                                     "--pid-file", pidFile.string()};
    if (options.discoveryPort != 0) {
      argv.push_back("--discovery-port");
      argv.push_back(std::to_string(options.discoveryPort));
    }
    StartDetached(argv, (folder_ / "announce.log").string());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!fs::exists(pidFile) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!fs::exists(pidFile)) {
      throw std::runtime_error("the discovery responder did not start; see " +
                               (folder_ / "announce.log").string());
    }
  }
}

void Cluster::Stop(bool immediate) {
  const fs::path pidFile = folder_ / "announce.pid";
  if (const auto text = platform::ReadFileIfPresent(pidFile)) {
    try {
      Terminate(static_cast<pid_t>(std::stol(*text)));
    } catch (const std::invalid_argument&) {
    }
    std::error_code ignored;
    fs::remove(pidFile, ignored);
  }
  try {
    dbclient::LocalServerRegistry().Unregister(Socket().string(), SavedPort());
  } catch (const std::exception&) {
    // Never started: nothing registered.
  }
  const ProgramResult result =
      RunProgram({BinPath("pg_ctl"), "stop", "-D", Data().string(), "-m",
                  immediate ? "immediate" : "fast", "-w", "-t", "30", "-s"},
                 ServerAccount());
  if (result.exitCode != 0 && result.output.find("not running") == std::string::npos &&
      result.output.find("does not exist") == std::string::npos) {
    throw std::runtime_error("pg_ctl stop failed (exit " + std::to_string(result.exitCode) +
                             "): " + result.output);
  }
}

std::string Cluster::Status() const {
  const ProgramResult result =
      RunProgram({BinPath("pg_ctl"), "status", "-D", Data().string()}, ServerAccount());
  std::ostringstream text;
  text << result.output;
  const IniFile settings(folder_ / "kessmar-server.ini");
  text << "name: " << settings.Read("server", "name").value_or("") << "\n"
       << "listen: " << settings.Read("server", "listen").value_or("") << "\n"
       << "port: " << settings.Read("server", "port").value_or("") << "\n"
       << "socket: " << Socket().string() << "\n";
  return text.str();
}

dbclient::ConnectTarget Cluster::AdminTarget(const std::string& database) const {
  dbclient::ConnectTarget target;
  target.serverLabel = "cluster in " + folder_.string();
  target.host = Socket().string();
  target.port = SavedPort();
  target.database = database;
  return target;
}

}  // namespace kessmar::backoffice_server

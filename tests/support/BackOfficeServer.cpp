#include "support/BackOfficeServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

#include "dbclient/Connection.h"
#include "support/NetworkNamespace.h"

namespace kessmar::testing {
namespace {

namespace fs = std::filesystem;
constexpr std::chrono::seconds kAdminTimeout{60};
constexpr const char* kTemplate = "vemo_template";

// A port no one listens on at any of the addresses (TCP) or, for udp, that is free for UDP.
bool PortFree(uint16_t port, const char* address, int type) {
  const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  inet_pton(AF_INET, address, &where.sin_addr);
  const bool free = bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
  close(fd);
  return free;
}

// The lowest port the system hands out to outgoing connections.
unsigned FirstEphemeralPort() {
  std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
  unsigned low = 0;
  if (range >> low && low > 20000 && low <= 65535) return low;
  return 32768;
}

// A server's port is chosen below the range of outgoing connections' ports: one chosen inside
// it could be taken by a connection in the moment between the check and the server's start.
uint16_t ChoosePort(int type, std::initializer_list<const char*> addresses) {
  std::random_device random;
  const unsigned first = 10000;
  const unsigned count = FirstEphemeralPort() - first;
  for (int attempt = 0; attempt < 200; ++attempt) {
    const auto port = static_cast<uint16_t>(first + random() % count);
    bool free = true;
    for (const char* address : addresses) free = free && PortFree(port, address, type);
    if (free) return port;
  }
  throw std::runtime_error("no free port found for a test server");
}

}  // namespace

std::pair<int, std::string> RunCommand(const std::vector<std::string>& argv) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    const std::string why = "cannot run " + argv[0] + ": " + strerror(errno) + "\n";
    (void)!write(STDERR_FILENO, why.data(), why.size());
    _exit(127);
  }
  close(out[1]);
  std::string output;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n > 0) {
      output.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), output};
}

uint16_t BackOfficeServer::TestPort() {
  static const uint16_t port = [] {
    // Everything of this process stays its own: discovery port, single-user registry.
    static TempDir registry;
    // Discovery never leaves the loopback network, also when the test runs outside ctest.
    setenv("KESSMAR_DISCOVERY_ADDR", "127.255.255.255", 0);
    setenv("KESSMAR_SERVER_REGISTRY", (registry.Path() / "servers").c_str(), 1);
    setenv("KESSMAR_DISCOVERY_PORT", std::to_string(ChoosePort(SOCK_DGRAM, {"0.0.0.0"})).c_str(),
           1);
    const uint16_t chosen = ChoosePort(SOCK_STREAM, {"127.0.0.1", "127.0.0.2", "127.0.0.3"});
    setenv("PGPORT", std::to_string(chosen).c_str(), 1);
    return chosen;
  }();
  return port;
}

uint16_t BackOfficeServer::DiscoveryPort() {
  TestPort();
  return static_cast<uint16_t>(std::stoi(std::getenv("KESSMAR_DISCOVERY_PORT")));
}

BackOfficeServer& BackOfficeServer::Shared() {
  static BackOfficeServer server;
  return server;
}

std::vector<std::string> BackOfficeServer::Tool(std::vector<std::string> args) const {
  std::vector<std::string> argv;
  if (options_.space != nullptr) argv = options_.space->Prefix();
  argv.push_back(KESSMAR_BACKOFFICE_SERVER);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

void BackOfficeServer::RunTool(const std::vector<std::string>& args) const {
  const auto [code, output] = RunCommand(Tool(args));
  if (code != 0) {
    std::string command;
    for (const auto& a : args) command += " " + a;
    throw std::runtime_error("the test's back-office server failed: backoffice-server" + command +
                             " (exit " + std::to_string(code) + "):\n" + output);
  }
}

BackOfficeServer::BackOfficeServer(BackOfficeServerOptions options) : options_(std::move(options)) {
  const uint16_t testPort = TestPort();  // also confines this process's environment
  if (options_.port == 0) options_.port = testPort;
  // The server's account must reach the cluster folder.
  chmod(dir_.Path().c_str(), 0755);
  std::vector<std::string> args = {
      "setup",      Folder().string(), "--name",  options_.name,
      "--listen",   options_.listen,   "--port",  std::to_string(options_.port),
      "--database", kTemplate,         "--trust", "127.0.0.0/8"};
  if (options_.fast) args.push_back("--fast");
  for (const auto& net : options_.trustedNets) {
    args.push_back("--trust");
    args.push_back(net);
  }
  if (options_.demo) {
    args.push_back("--demo");
    args.push_back("--articles");
    args.push_back(std::to_string(options_.articles));
  }
  running_ = true;  // a half-started server is stopped by the destructor
  try {
    RunTool(args);
  } catch (...) {
    RunCommand(Tool({"stop", Folder().string(), "--immediate"}));
    throw;
  }
}

BackOfficeServer::~BackOfficeServer() {
  connections_.clear();
  if (running_) {
    Resume();
    try {
      RunCommand(Tool({"stop", Folder().string(), "--immediate"}));
    } catch (...) {
    }
  }
}

dbclient::Connection& BackOfficeServer::ConnectionTo(const std::string& database) {
  auto& connection = connections_[database];
  if (connection == nullptr || !connection->IsOpen()) {
    dbclient::ConnectTarget target;
    target.serverLabel = "test server " + ServerAddress();
    target.host = SocketFolder().string();
    target.port = options_.port;
    target.database = database;
    connection = dbclient::Connection::Open(target, kAdminTimeout);
  }
  return *connection;
}

std::string BackOfficeServer::CreateDatabase(const std::string& wanted) {
  ++databases_;
  const std::string name = wanted.empty() ? "test_" + std::to_string(databases_) : wanted;
  ConnectionTo("postgres")
      .ExecuteScript("CREATE DATABASE " + name + " TEMPLATE " + kTemplate + " STRATEGY FILE_COPY",
                     kAdminTimeout);
  return name;
}

void BackOfficeServer::UseDatabase(const std::string& database) {
  database_ = database;
  setenv("PGDATABASE", database.c_str(), 1);
}

void BackOfficeServer::Exec(const std::string& sql, const std::string& database) {
  ConnectionTo(database.empty() ? database_ : database).ExecuteScript(sql, kAdminTimeout);
}

std::vector<SqlRow> BackOfficeServer::Query(const std::string& sql, const std::string& database) {
  const auto result =
      ConnectionTo(database.empty() ? database_ : database).Execute(sql, {}, kAdminTimeout);
  std::vector<SqlRow> rows;
  for (int r = 0; r < result.Rows(); ++r) {
    SqlRow row;
    for (int c = 0; c < result.Columns(); ++c) row.push_back(result.OptionalValue(r, c));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string BackOfficeServer::QueryValue(const std::string& sql, const std::string& database) {
  const auto rows = Query(sql, database);
  if (rows.empty() || rows[0].empty() || !rows[0][0]) return "";
  return *rows[0][0];
}

pid_t BackOfficeServer::PostmasterPid() const {
  std::ifstream file(Folder() / "data" / "postmaster.pid");
  pid_t pid = 0;
  file >> pid;
  return pid;
}

std::vector<pid_t> BackOfficeServer::ServerProcesses() const {
  std::vector<pid_t> pids;
  const pid_t postmaster = PostmasterPid();
  if (postmaster <= 0) return pids;
  pids.push_back(postmaster);
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    // pid (comm) state ppid ...; comm may hold spaces, so read after the last ")".
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    pid_t parent = 0;
    if (sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == postmaster) {
      pids.push_back(static_cast<pid_t>(std::stol(name)));
    }
  }
  return pids;
}

void BackOfficeServer::Stop() {
  connections_.clear();
  Resume();
  // A clean stop: what was committed is there after Start, also with synchronous commit off.
  RunTool({"stop", Folder().string()});
  running_ = false;
}

void BackOfficeServer::Start() {
  std::vector<std::string> args = {
      "start",    Folder().string(), "--name", options_.name,
      "--listen", options_.listen,   "--port", std::to_string(options_.port)};
  if (options_.fast) args.push_back("--fast");
  RunTool(args);
  running_ = true;
}

void BackOfficeServer::Kill() {
  // Stopped first, so that no process moves on while the others die (a backend waiting on a
  // lock of a killed one would otherwise finish its work).
  const auto pids = ServerProcesses();
  for (pid_t pid : pids) kill(pid, SIGSTOP);
  for (pid_t pid : pids) kill(pid, SIGKILL);
  for (pid_t pid : pids) kill(pid, SIGCONT);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (pid_t pid : pids) {
    while ((kill(pid, 0) == 0) && std::chrono::steady_clock::now() < deadline) {
      // The postmaster is not our child: it is reaped by init.
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      std::getline(stat, line);
      const size_t close = line.rfind(')');
      if (close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z') break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // A killed postmaster may linger as a zombie of a parent that never reaps it; its lock file
  // would then keep the next start from running.
  std::error_code ignored;
  fs::remove(Folder() / "data" / "postmaster.pid", ignored);
  const std::string socket = ".s.PGSQL." + std::to_string(options_.port);
  fs::remove(SocketFolder() / socket, ignored);
  fs::remove(SocketFolder() / (socket + ".lock"), ignored);
  connections_.clear();  // only now: closing them earlier would end their transactions cleanly
  running_ = false;
}

void BackOfficeServer::Suspend() {
  for (pid_t pid : ServerProcesses()) kill(pid, SIGSTOP);
}

void BackOfficeServer::Resume() {
  for (pid_t pid : ServerProcesses()) kill(pid, SIGCONT);
}

std::unique_ptr<ChildProcess> BackOfficeServer::Announce(const std::string& name,
                                                         const std::string& address) const {
  std::vector<std::string> argv = Tool({"announce", "--name", name.empty() ? options_.name : name,
                                        "--address", address.empty() ? options_.listen : address,
                                        "--discovery-port", std::getenv("KESSMAR_DISCOVERY_PORT")});
  // ChildProcess runs a path: find nsenter's.
  if (argv[0] == "nsenter") argv[0] = "/usr/bin/nsenter";
  const std::string program = argv[0];
  argv.erase(argv.begin());
  auto child = std::make_unique<ChildProcess>(program, argv);
  const auto line = child->ReadLine(std::chrono::seconds(10));
  if (!line || line->rfind("ANNOUNCING", 0) != 0) {
    throw std::runtime_error("the discovery responder for " + ServerAddress() + " did not start");
  }
  return child;
}

}  // namespace kessmar::testing

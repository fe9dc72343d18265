// Start-up time and memory of the tool against a floor measured in the same run: a minimal Qt
// Widgets program with a tray icon and one small window (bench_floor). Both run on the offscreen
// platform and under Xvfb, without and with a tray host. The tool's first update check goes to a
// local HTTPS server.
//
// Usage: bench_startup [--tool PATH] [--idle-seconds N] [--platform offscreen|xvfb|both]
//   --tool          the tool to measure, run where it is (a package unpacked with dpkg-deb -x);
//                   default: the build's tool, copied into a fresh folder with its fetch helper
//                   as a user copy runs
//   --idle-seconds  how long after the first update check memory is measured again (60)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "update/HttpsTestServer.h"

namespace {

namespace fs = std::filesystem;
using Env = std::map<std::string, std::string>;

constexpr const char* kControlFilePath = "/files/download/kessmar_scanner_tool.ini";

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Child {
  pid_t pid = -1;
  int out = -1;  // its standard output
};

Child Start(const std::vector<std::string>& argv, const Env& env) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    for (const auto& [key, value] : env) setenv(key.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  return {pid, fds[0]};
}

void Stop(Child& child) {
  kill(child.pid, SIGTERM);
  waitpid(child.pid, nullptr, 0);
  close(child.out);
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// Process start to the running event loop, as the program reports it.
double StartupMs(const std::string& program, Env env) {
  env["KESSMAR_REPORT_STARTUP"] = "1";
  const long long before = MonotonicNs();
  Child child = Start({program}, env);
  const std::string text = ReadAll(child.out);
  close(child.out);
  waitpid(child.pid, nullptr, 0);
  long long at = 0;
  if (std::sscanf(text.c_str(), "event-loop-running %lld", &at) != 1) {
    std::fprintf(stderr, "%s did not report its start-up\n", program.c_str());
    std::exit(1);
  }
  return static_cast<double>(at - before) / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double RssMb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6) / 1024.0;
  }
  return -1;
}

double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  unsigned long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoul(field);
    if (i == 15) stime = std::stoul(field);
  }
  return double(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Resident kB per mapped shared library.
std::map<std::string, long> LibraryRssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/smaps");
  std::map<std::string, long> rss;
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.find(".so") != std::string::npos && line.find('/') != std::string::npos &&
        line.find(':') != 3 && line.rfind("Rss:", 0) != 0) {
      current = fs::path(line.substr(line.find('/'))).filename().string();
    } else if (line.rfind("Rss:", 0) == 0 && !current.empty()) {
      rss[current] += std::atol(line.c_str() + 4);
    } else if (line.find('-') == 8 || line.find('-') == 12) {
      current.clear();  // an anonymous or non-library mapping
    }
  }
  return rss;
}

void Figure(const char* what, double tool, double floor, const char* unit, double target) {
  std::printf("  %-44s tool %7.1f %s  floor %7.1f %s  ratio %.2f (target <= %.2f)\n", what, tool,
              unit, floor, unit, tool / floor, target);
}

struct Platform {
  std::string name;
  Env env;
};

void Measure(const Platform& platform, const std::string& tool, const std::string& floor,
             const Env& base, kessmar::testing::HttpsTestServer& server, int idleSeconds) {
  Env env = base;
  for (const auto& [key, value] : platform.env) env[key] = value;
  std::printf("%s:\n", platform.name.c_str());

  StartupMs(tool, env);  // warm the file cache
  StartupMs(floor, env);
  std::vector<double> toolMs, floorMs;
  for (int i = 0; i < 10; ++i) {
    toolMs.push_back(StartupMs(tool, env));
    floorMs.push_back(StartupMs(floor, env));
  }
  Figure("start to running event loop (median of 10)", Median(toolMs), Median(floorMs), "ms", 2.0);

  // Both idle side by side; the tool's first update check comes after the first reading.
  Env toolEnv = env;
  toolEnv["KESSMAR_FIRST_UPDATE_CHECK_MS"] = "6000";
  const int checksBefore = server.Requests(kControlFilePath);
  Child floorChild = Start({floor}, env);
  Child toolChild = Start({tool}, toolEnv);
  std::this_thread::sleep_for(std::chrono::seconds(5));
  Figure("resident memory after 5 s idle", RssMb(toolChild.pid), RssMb(floorChild.pid), "MB", 1.15);
  const auto librariesBefore = LibraryRssKb(toolChild.pid);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (server.Requests(kControlFilePath) == checksBefore &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (server.Requests(kControlFilePath) == checksBefore) {
    std::printf("  the tool made no update check\n");
  }
  const double cpuBefore = CpuSeconds(toolChild.pid);
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
  const double cpu = CpuSeconds(toolChild.pid) - cpuBefore;
  char label[80];
  std::snprintf(label, sizeof label, "resident memory %d s after the first check", idleSeconds);
  Figure(label, RssMb(toolChild.pid), RssMb(floorChild.pid), "MB", 1.25);
  long addedKb = 0;
  std::string added;
  for (const auto& [library, kb] : LibraryRssKb(toolChild.pid)) {
    if (librariesBefore.count(library) != 0) continue;
    addedKb += kb;
    added += " " + library;
  }
  std::printf("  libraries the check left mapped: %.1f MB resident:%s\n", addedKb / 1024.0,
              added.c_str());
  std::printf("  tool's CPU time over %d s idle after the check: %.3f s (%.3f %% of one core)\n",
              idleSeconds, cpu, 100.0 * cpu / idleSeconds);
  std::printf("  shared libraries mapped: tool %zu before the check, %zu after; floor %zu\n",
              librariesBefore.size(), LibraryRssKb(toolChild.pid).size(),
              LibraryRssKb(floorChild.pid).size());
  Stop(toolChild);
  Stop(floorChild);
}

// Medians over 10 fresh processes of what a road's first use costs.
void FirstUse(const std::string& program, const std::string& url, const std::string& caFile) {
  std::printf("first use (median of 10 fresh processes):\n");
  for (const char* library : {"libpq", "libcurl", "libmspack", "libcrypto"}) {
    std::vector<double> ms;
    for (int i = 0; i < 10; ++i) {
      Child child = Start({program, "load", library}, {});
      double value = 0;
      std::sscanf(ReadAll(child.out).c_str(), "load %lf", &value);
      close(child.out);
      waitpid(child.pid, nullptr, 0);
      ms.push_back(value);
    }
    std::printf("  loading %-10s %6.2f ms\n", library, Median(ms));
  }
  std::vector<double> first, warm;
  for (int i = 0; i < 10; ++i) {
    Child child = Start({program, "fetch", url, caFile}, {});
    double load = 0, f = 0, w = 0;
    std::sscanf(ReadAll(child.out).c_str(), "load %lf first %lf warm %lf", &load, &f, &w);
    close(child.out);
    waitpid(child.pid, nullptr, 0);
    first.push_back(load + f);
    warm.push_back(w);
  }
  std::printf(
      "  update control file over loopback HTTPS: first (load included) %.1f ms, warm %.1f ms, "
      "first costs %.1f ms more (target <= 20)\n",
      Median(first), Median(warm), Median(first) - Median(warm));
}

}  // namespace

int main(int argc, char** argv) {
  int idleSeconds = 60;
  std::string tool, only = "both";
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--idle-seconds") == 0) idleSeconds = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--tool") == 0) tool = fs::absolute(argv[++i]).string();
    if (std::strcmp(argv[i], "--platform") == 0) only = argv[++i];
  }
  char pattern[] = "/tmp/kessmar-bench-XXXXXX";
  const fs::path home = mkdtemp(pattern);
  for (const char* folder : {"run", "ports", "share", "sys"}) fs::create_directories(home / folder);
  fs::permissions(home / "run", fs::perms::owner_all);
  if (tool.empty()) {
    tool = (home / "kessmar-scanner-tool").string();
    fs::copy_file(KESSMAR_TOOL_PATH, tool);
    // The update check's fetch helper sits beside the program, as the package installs it.
    fs::copy_file(KESSMAR_UPDATE_FETCH_PATH, home / "kessmar-update-fetch");
  }
  std::printf("tool: %s\n", tool.c_str());

  kessmar::testing::HttpsTestServer server(home / "server");
  server.Handle(kControlFilePath, [](const httplib::Request&, httplib::Response& response) {
    response.status = 404;
  });
  const Env base = {{"XDG_RUNTIME_DIR", (home / "run").string()},
                    {"XDG_DATA_HOME", (home / "share").string()},
                    {"KESSMAR_PORTS_DIR", (home / "ports").string()},
                    {"KESSMAR_SYSFS_ROOT", (home / "sys").string()},
                    {"KESSMAR_DEV_ROOT", (home / "dev").string()},
                    {"KESSMAR_DISCOVERY_ADDR", "127.255.255.255"},
                    {"KESSMAR_UPDATE_URL", server.BaseUrl()},
                    {"KESSMAR_UPDATE_CA_FILE", server.CaFile().string()}};

  if (only == "both" || only == "offscreen") {
    Measure({"offscreen", {{"QT_QPA_PLATFORM", "offscreen"}}}, tool, KESSMAR_FLOOR_PATH, base,
            server, idleSeconds);
  }
  if (only == "both" || only == "xvfb") {
    // The server picks a free display and names it on its standard output.
    Child xvfb = Start(
        {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
        {});
    std::string display;
    char c;
    while (read(xvfb.out, &c, 1) == 1 && c != '\n') display += c;
    if (display.empty()) {
      std::fprintf(stderr, "Xvfb did not start\n");
      return 1;
    }
    const Env x11 = {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":" + display}};
    Measure({"Xvfb (xcb, no tray host: the tool shows its window)", x11}, tool, KESSMAR_FLOOR_PATH,
            base, server, idleSeconds);
    // As at a login: a notification area takes the icons, and the tool waits there with its
    // window hidden. The floor still shows its small window.
    Child trayer = Start({"/usr/bin/trayer", "--edge", "top", "--align", "right"}, x11);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Measure({"Xvfb with the trayer tray host (the tool waits in the tray)", x11}, tool,
            KESSMAR_FLOOR_PATH, base, server, idleSeconds);
    Stop(trayer);
    Stop(xvfb);
  }
  FirstUse(KESSMAR_FIRST_USE_PATH, server.Url(kControlFilePath), server.CaFile().string());
  fs::remove_all(home);
  return 0;
}

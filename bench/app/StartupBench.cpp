// Start-up time, idle memory and idle CPU of the tool, started the way a user starts it (a copy
// in a fresh folder, offscreen). Usage: bench_startup [--idle-seconds N] (default 60)
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
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Starts the tool with stdout to a pipe; returns its pid and the pipe's read end.
pid_t Start(const fs::path& tool, const fs::path& home, bool reportStartup, int* out) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
    setenv("KESSMAR_PORTS_DIR", (home / "ports").c_str(), 1);
    setenv("KESSMAR_UPDATE_URL", "https://127.0.0.1:9", 1);  // the daily check stays local
    if (reportStartup) setenv("KESSMAR_REPORT_STARTUP", "1", 1);
    execl(tool.c_str(), tool.c_str(), nullptr);
    _exit(127);
  }
  close(fds[1]);
  *out = fds[0];
  return pid;
}

double StartupMs(const fs::path& tool, const fs::path& home) {
  int out = -1;
  const long long before = MonotonicNs();
  const pid_t pid = Start(tool, home, true, &out);
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(out, buffer, sizeof buffer)) > 0) text.append(buffer, n);
  close(out);
  waitpid(pid, nullptr, 0);
  long long at = 0;
  if (std::sscanf(text.c_str(), "event-loop-running %lld", &at) != 1) {
    std::fprintf(stderr, "the tool did not report its start-up\n");
    std::exit(1);
  }
  return (at - before) / 1e6;
}

long StatusKb(pid_t pid, const char* key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
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
  return double(utime + stime) / sysconf(_SC_CLK_TCK);
}

}  // namespace

int main(int argc, char** argv) {
  int idleSeconds = 60;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--idle-seconds") == 0) idleSeconds = std::atoi(argv[++i]);
  }
  char pattern[] = "/tmp/kessmar-bench-XXXXXX";
  const fs::path home = mkdtemp(pattern);
  fs::create_directories(home / "run");
  fs::permissions(home / "run", fs::perms::owner_all);
  fs::create_directories(home / "ports");
  const fs::path tool = home / "kessmar-scanner-tool";
  fs::copy_file(KESSMAR_TOOL_PATH, tool);

  StartupMs(tool, home);  // warm the file cache
  std::vector<double> times;
  for (int i = 0; i < 10; ++i) times.push_back(StartupMs(tool, home));
  std::sort(times.begin(), times.end());
  std::printf(
      "start-up to running event loop (median of 10, offscreen): %.1f ms (min %.1f, max %.1f)\n",
      (times[4] + times[5]) / 2, times.front(), times.back());

  int out = -1;
  const pid_t pid = Start(tool, home, false, &out);
  std::this_thread::sleep_for(std::chrono::seconds(5));
  std::printf("resident memory after 5 s idle: %.1f MB\n", StatusKb(pid, "VmRSS:") / 1024.0);
  const double cpuBefore = CpuSeconds(pid);
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
  const double cpu = CpuSeconds(pid) - cpuBefore;
  std::printf("CPU time over %d s idle: %.3f s (%.3f %% of one core)\n", idleSeconds, cpu,
              100.0 * cpu / idleSeconds);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  close(out);
  fs::remove_all(home);
  return 0;
}

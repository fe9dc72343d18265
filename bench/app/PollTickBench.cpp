// Cost of one poll tick of the main window with 32 ports listed: idle (no scanner) and with an
// emulated scanner linked (the tick then asks the scanner whether scans are waiting).
// Usage: bench_poll_tick [ticks] (default 2000)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/TfrmMain.h"
#include "platform/ShellOpen.h"
#include "platform/UserMessages.h"
#include "scanner/ScannerLibrary.h"

namespace {

namespace fs = std::filesystem;

struct NoMessages : kessmar::UserMessages {
  void ShowError(const std::string&) override {}
  void ShowInfo(const std::string&) override {}
};
struct NoShell : kessmar::ShellOpen {
  bool Open(const fs::path&) override { return true; }
};

double MicrosPerTick(kessmar::TfrmMain& w, int ticks) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < ticks; ++i) {
    w.tmrCheckScanner->start();
    w.tmrCheckScannerTimer();
  }
  const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  return spent.count() / ticks;
}

}  // namespace

int main(int argc, char** argv) {
  const int ticks = argc > 1 ? std::atoi(argv[1]) : 2000;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char pattern[] = "/tmp/kessmar-bench-XXXXXX";
  const fs::path home = mkdtemp(pattern);
  const fs::path ports = home / "ports";
  fs::create_directories(ports);
  fs::create_directories(home / "sys");
  setenv("KESSMAR_PORTS_DIR", ports.c_str(), 1);
  setenv("KESSMAR_SYSFS_ROOT", (home / "sys").c_str(), 1);
  setenv("KESSMAR_DEV_ROOT", (home / "dev").c_str(), 1);
  setenv("XDG_DATA_HOME", (home / "share").c_str(), 1);
  // 31 ordinary ports; the emulated scanner takes COM3.
  for (int n = 4; n <= 34; ++n) {
    fs::create_symlink("/dev/null", ports / ("COM" + std::to_string(n)));
    std::ofstream(ports / ("COM" + std::to_string(n) + ".name")) << "Serial port " << n << "\n";
  }

  QApplication app(argc, argv);
  kessmar::Csp2Library library;
  NoMessages messages;
  NoShell shell;
  kessmar::MainWindowServices services(library, messages, shell, home / "kessmar-scanner-tool");
  kessmar::TfrmMain w(std::move(services));
  MicrosPerTick(w, 50);
  std::printf("poll tick, 31 ports, no scanner: %.1f us\n", MicrosPerTick(w, ticks));

  const pid_t emulator = fork();
  if (emulator == 0) {
    const std::string dir = ports.string();
    execl(KESSMAR_EMULATOR_PATH, KESSMAR_EMULATOR_PATH, "--ports-dir", dir.c_str(), "--com", "3",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500 && !fs::exists(ports / "COM3.ctl"); ++i) usleep(10000);
  for (int i = 0; i < 100 && !w.Link().Connected; ++i) MicrosPerTick(w, 1);
  if (!w.Link().Connected) {
    std::fprintf(stderr, "the emulated scanner was not connected\n");
    kill(emulator, SIGTERM);
    return 1;
  }
  MicrosPerTick(w, 50);
  std::printf("poll tick, 32 ports, emulated scanner linked: %.1f us\n", MicrosPerTick(w, ticks));
  kill(emulator, SIGTERM);
  waitpid(emulator, nullptr, 0);
  fs::remove_all(home);
  return 0;
}

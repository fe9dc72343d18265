// The scanner emulator for tests under Wine. The emulator is a Linux program: Wine starts it as a
// Unix process (CreateProcessW on an ELF file), without a process handle and without pipes, so
// the emulator's standard input is a FIFO, its output goes to files, its pid comes from the shell
// that starts it, and its control socket is reached through a small Linux client
// (emulator-control). Its pseudo-terminal becomes \\.\COMn through a link in the prefix's
// dosdevices folder, and a Ports-class device lists it as Windows lists a USB serial port.
#include <windows.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/win32/CommandLine.h"
#include "platform/win32/WindowsText.h"
#include "support/EmulatorProcess.h"
#include "support/RegisteredComPort.h"

namespace kessmar::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Wine's own path conversions (kernel32 exports that only Wine has).
std::string UnixPath(const fs::path& path) {
  using ToUnix = char*(__cdecl*)(const wchar_t*);
  auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (toUnix == nullptr) {
    throw std::runtime_error("the Linux scanner emulator needs Wine (no wine_get_unix_file_name)");
  }
  char* unix = toUnix(fs::absolute(path).c_str());
  if (unix == nullptr) throw std::runtime_error("no Unix path for " + path.string());
  std::string result(unix);
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return result;
}

fs::path DosPath(const std::string& unixPath) {
  using ToDos = wchar_t*(__cdecl*)(const char*);
  auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (toDos == nullptr) throw std::runtime_error("no wine_get_dos_file_name: not under Wine");
  wchar_t* dos = toDos(unixPath.c_str());
  if (dos == nullptr) throw std::runtime_error("no Windows path for " + unixPath);
  fs::path result(dos);
  ::HeapFree(::GetProcessHeap(), 0, dos);
  return result;
}

// One word for the shell, whatever it holds.
std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Starts /bin/sh on script (a Unix path) as a Unix process; Wine gives no handle to wait on.
void StartShell(const std::string& script) {
  static const fs::path shell = DosPath("/bin/sh");
  std::wstring commandLine =
      platform::win32::BuildCommandLine(shell.wstring(), {platform::win32::Widen(script)});
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(shell.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    throw std::runtime_error("starting /bin/sh failed: " +
                             platform::win32::ErrorText(::GetLastError()));
  }
  if (process.hProcess != nullptr) ::CloseHandle(process.hProcess);
  if (process.hThread != nullptr) ::CloseHandle(process.hThread);
}

}  // namespace

// What only the Wine side has: the folder of the emulator's files, its FIFO, its port link and
// its Ports-class device.
struct EmulatorProcess::WineSide {
  ::kessmar::testing::TempDir folder;
  std::string unixFolder = UnixPath(folder.Path());
  HANDLE input = INVALID_HANDLE_VALUE;
  int commands = 0;
  std::string dosDeviceLink;
  std::string previousLinkTarget;
  std::optional<::kessmar::testing::RegisteredComPort> port;

  // The FIFO goes through the shell: Wine hangs on a FIFO in a file query or a delete.
  ~WineSide() {
    CloseInput();
    try {
      Shell("rm -f " + ShellQuote(unixFolder + "/input"));
    } catch (const std::exception&) {
      // The folder stays behind; the test has failed already.
    }
  }
  void CloseInput() {
    if (input != INVALID_HANDLE_VALUE) ::CloseHandle(input);
    input = INVALID_HANDLE_VALUE;
  }

  // Runs command in the shell and returns what it wrote (standard output and error) once it ends;
  // throws when it does not end within seconds.
  std::string Shell(const std::string& command, int seconds = 10) {
    const std::string name = "command" + std::to_string(++commands);
    const std::string out = unixFolder + "/" + name + ".out";
    {
      std::ofstream script(folder.Path() / (name + ".sh"), std::ios::binary);
      script << "{ " << command << "\n} > " << ShellQuote(out + ".part") << " 2>&1\n"
             << "mv " << ShellQuote(out + ".part") << " " << ShellQuote(out) << "\n";
    }
    StartShell(unixFolder + "/" + name + ".sh");
    const fs::path done = folder.Path() / (name + ".out");
    if (!WaitUntil([&] { return fs::exists(done); }, seconds * 1000)) {
      throw std::runtime_error("the shell command did not end: " + command);
    }
    return ReadText(done);
  }

  // The process has ended (gone, or a zombie nobody reaps: Wine's Unix children go to init).
  static bool Ended(pid_t pid) {
    std::string stat = ReadText(DosPath("/proc/" + std::to_string(pid) + "/stat"));
    const size_t close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && close + 2 < stat.size() &&
                            (stat[close + 2] == 'Z' || stat[close + 2] == 'X'));
  }
};

EmulatorSandbox::EmulatorSandbox() {
  std::filesystem::create_directories(PortsDirectory());
}

EmulatorProcess::EmulatorProcess(const std::filesystem::path& portsDirectory,
                                 const std::vector<std::string>& args)
    : portsDirectory_(portsDirectory), wine_(std::make_unique<WineSide>()) {
  WineSide& wine = *wine_;
  const std::string& dir = wine.unixFolder;
  std::string emulator =
      ShellQuote(SCANNER_EMULATOR_PATH) + " --ports-dir " + ShellQuote(UnixPath(portsDirectory));
  std::string friendlyName = "OPTICON OPN-2001 (emulated)";
  for (size_t i = 0; i < args.size(); ++i) {
    emulator += " " + ShellQuote(args[i]);
    if (args[i] == "--name" && i + 1 < args.size()) friendlyName = args[i + 1];
  }
  // The shell holds the FIFO open for reading and writing until the test has opened its end, so
  // that neither the emulator's read nor the test's open sees a FIFO without a partner. The
  // emulator gets a session of its own: in the shell's, the pseudo-terminal it opens would become
  // the session's terminal, and the shell's end would hang it up.
  {
    std::ofstream script(wine.folder.Path() / "start.sh", std::ios::binary);
    script << "cd " << ShellQuote(dir) << " || exit 1\n"
           << "mkfifo input && exec 3<>input || exit 1\n"
           << "setsid " << emulator << " <input >output 2>errors 3>&- &\n"
           << "echo $! > pid.part && mv pid.part pid\n"
           << "i=0; while [ ! -e opened ] && [ $i -lt 500 ]; do sleep 0.02; i=$((i+1)); done\n"
           << "exec 3>&-\n"
           << "wait\n";  // reaps the emulator: nobody else would, and a zombie holds its port
  }
  StartShell(dir + "/start.sh");
  const fs::path pidFile = wine.folder.Path() / "pid";
  if (!WaitUntil([&] { return fs::exists(pidFile); }, 10000)) {
    throw std::runtime_error("the shell did not start the Linux scanner emulator " +
                             std::string(SCANNER_EMULATOR_PATH));
  }
  pid_ = std::stoi(ReadText(pidFile));
  wine.input = ::CreateFileW((wine.folder.Path() / "input").c_str(), GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  std::ofstream(wine.folder.Path() / "opened").put('\n');
  if (wine.input == INVALID_HANDLE_VALUE) {
    Kill();
    throw std::runtime_error("the emulator's input FIFO does not open");
  }

  const fs::path output = wine.folder.Path() / "output";
  std::string line;
  WaitUntil(
      [&] {
        line = ReadText(output);
        return line.find('\n') != std::string::npos || WineSide::Ended(pid_);
      },
      10000);
  std::istringstream words(line);
  std::string ready, port;
  words >> ready >> port >> device_;
  if (ready != "READY" || port.rfind("COM", 0) != 0) {
    Kill();
    throw std::runtime_error("scanner-emulator did not get ready: " + line +
                             ReadText(wine.folder.Path() / "errors"));
  }
  comNumber_ = std::stoi(port.substr(3));

  // \\.\COMn of the prefix; a link that was there (Wine's own com1) comes back at the end.
  wine.dosDeviceLink = "\"${WINEPREFIX:-$HOME/.wine}\"/dosdevices/com" + std::to_string(comNumber_);
  wine.previousLinkTarget = wine.Shell("readlink " + wine.dosDeviceLink + " || true");
  while (!wine.previousLinkTarget.empty() && wine.previousLinkTarget.back() == '\n') {
    wine.previousLinkTarget.pop_back();
  }
  std::string linked =
      wine.Shell("ln -sfn " + ShellQuote(device_) + " " + wine.dosDeviceLink + " && echo linked");
  if (linked != "linked\n") {
    Kill();
    throw std::runtime_error("the emulator's port cannot be linked into the prefix: " + linked);
  }
  wine.port.emplace(platform::win32::Widen(port), platform::win32::Widen(friendlyName));
}

EmulatorProcess::~EmulatorProcess() {
  try {
    if (pid_ > 0) Terminate();
    if (!wine_->dosDeviceLink.empty()) {
      wine_->Shell(wine_->previousLinkTarget.empty()
                       ? "rm -f " + wine_->dosDeviceLink
                       : "ln -sfn " + ShellQuote(wine_->previousLinkTarget) + " " +
                             wine_->dosDeviceLink);
    }
  } catch (const std::exception&) {
    // A test that failed to clean up has already failed on its own.
  }
}

std::string EmulatorProcess::Control(const std::string& line) const {
  // Not UnixPath of the whole name: to Windows "COMn.ctl" is the device COMn.
  const std::string socket =
      UnixPath(portsDirectory_) + "/COM" + std::to_string(comNumber_) + ".ctl";
  std::string answer = wine_->Shell(ShellQuote(EMULATOR_CONTROL_PATH) + " " + ShellQuote(socket) +
                                    " " + ShellQuote(line));
  return answer.substr(0, answer.find('\n'));
}

void EmulatorProcess::WriteInput(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    DWORD written = 0;
    if (!::WriteFile(wine_->input, text.data() + done, static_cast<DWORD>(text.size() - done),
                     &written, nullptr) ||
        written == 0) {
      throw std::runtime_error("writing to the emulator's input failed");
    }
    done += written;
  }
}

void EmulatorProcess::CloseInput() {
  wine_->CloseInput();
}

int EmulatorProcess::WaitForExit() {
  const pid_t pid = pid_;
  if (!WaitUntil([&] { return WineSide::Ended(pid); }, 10000)) {
    wine_->Shell("kill -KILL " + std::to_string(pid));
    WaitUntil([&] { return WineSide::Ended(pid); }, 5000);
  }
  pid_ = -1;
  wine_->CloseInput();
  // A killed emulator leaves its control socket behind, and Wine hangs on a socket in a delete.
  wine_->Shell("rm -f " + ShellQuote(UnixPath(portsDirectory_) + "/COM" +
                                     std::to_string(comNumber_) + ".ctl"));
  return 0;
}

int EmulatorProcess::Terminate() {
  if (pid_ <= 0) return -1;
  wine_->Shell("kill -TERM " + std::to_string(pid_));
  return WaitForExit();
}

int EmulatorProcess::Kill() {
  if (pid_ <= 0) return -1;
  wine_->Shell("kill -KILL " + std::to_string(pid_));
  return WaitForExit();
}

}  // namespace kessmar::test


#include <windows.h>

#include "platform/Processes.h"
#include "platform/win32/CommandLine.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {

int64_t CurrentProcessId() {
  return static_cast<int64_t>(::GetCurrentProcessId());
}

bool StartDetachedProcess(const std::filesystem::path& program,
                          const std::vector<std::string>& args,
                          const std::filesystem::path& workingFolder) {
  std::vector<std::wstring> wideArgs;
  wideArgs.reserve(args.size());
  for (const auto& a : args) wideArgs.push_back(win32::Widen(a));
  std::wstring commandLine = win32::BuildCommandLine(program.wstring(), wideArgs);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // No handle of this process is inherited, so no lock or file stays held by the new one.
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, nullptr,
                        workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

bool IsRunnableProgram(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  DWORD type = 0;
  return ::GetBinaryTypeW(path.c_str(), &type) != 0;
}

bool WaitForProcessEnd(int64_t pid, std::chrono::milliseconds timeout) {
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return true;  // no such process (any more)
  const auto ms = timeout.count() < 0 ? 0 : timeout.count();
  const DWORD wait = ::WaitForSingleObject(
      process, ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms));
  ::CloseHandle(process);
  return wait != WAIT_TIMEOUT;
}

}  // namespace kessmar::platform

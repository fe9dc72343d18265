
#include <windows.h>

#include <random>

#include "platform/Files.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {
namespace {

FileError SystemError(DWORD error) {
  return FileError(win32::ErrorText(error),
                   error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
}

HANDLE Handle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

void Close(intptr_t& handle) {
  if (handle != -1) ::CloseHandle(Handle(handle));
  handle = -1;
}

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) {
  // Others may read, write and delete meanwhile, as with a POSIX open.
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw SystemError(::GetLastError());
  handle_ = reinterpret_cast<intptr_t>(h);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info)) {
    const DWORD error = ::GetLastError();
    Close(handle_);
    throw SystemError(error);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Close(handle_);
    throw FileError("Is a directory", false);
  }
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    Close(handle_);
    throw FileError("Not a regular file", false);
  }
  size_ = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

InputFile::~InputFile() {
  Close(handle_);
}

size_t InputFile::Read(char* data, size_t n) {
  const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
  DWORD got = 0;
  if (!::ReadFile(Handle(handle_), data, want, &got, nullptr)) throw SystemError(::GetLastError());
  return got;
}

ReplacementFile::ReplacementFile(const std::filesystem::path& target) : target_(target) {
  std::random_device entropy;
  std::mt19937_64 random(entropy());
  const std::filesystem::path folder = target.parent_path();
  std::wstring base = L".";
  base += target.filename().wstring();
  base += L'.';
  for (int attempt = 0;; ++attempt) {
    temp_ = folder / (base + std::to_wstring(random() % 1000000000) + L".tmp");
    HANDLE h = ::CreateFileW(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(h);
      return;
    }
    const DWORD error = ::GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
      throw SystemError(error);
    }
  }
}

ReplacementFile::~ReplacementFile() {
  Close(handle_);
  if (!committed_) ::DeleteFileW(temp_.c_str());
}

void ReplacementFile::Write(const char* data, size_t n) {
  while (n > 0) {
    const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
    DWORD put = 0;
    if (!::WriteFile(Handle(handle_), data, want, &put, nullptr)) {
      throw SystemError(::GetLastError());
    }
    data += put;
    n -= put;
  }
}

void ReplacementFile::Commit() {
  if (!::FlushFileBuffers(Handle(handle_))) throw SystemError(::GetLastError());
  Close(handle_);
  // A plain rename does not replace an existing file on Windows: the second save would fail.
  if (!::MoveFileExW(temp_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw SystemError(::GetLastError());
  }
  committed_ = true;
}

std::optional<std::string> ReadFileIfPresent(const std::filesystem::path& path) {
  try {
    InputFile file(path);
    std::string content;
    content.resize(static_cast<size_t>(file.Size()));
    size_t have = 0;
    for (;;) {
      if (have == content.size()) content.resize(content.size() + 4096);
      const size_t got = file.Read(content.data() + have, content.size() - have);
      if (got == 0) break;
      have += got;
    }
    content.resize(have);
    return content;
  } catch (const FileError& e) {
    if (e.NotFound()) return std::nullopt;
    throw;
  }
}

void ReplaceFileContent(const std::filesystem::path& path, std::string_view content) {
  ReplacementFile file(path);
  file.Write(content.data(), content.size());
  file.Commit();
}

}  // namespace kessmar::platform

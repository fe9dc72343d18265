
#include <windows.h>

#include "platform/FileCalls.h"
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

namespace file_calls {

intptr_t CreateNew(const std::filesystem::path& path, bool shared) {
  HANDLE h =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<intptr_t>(h);
  const DWORD error = ::GetLastError();
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return kNoFile;
  throw SystemError(error);
}

size_t WriteSome(intptr_t handle, const char* data, size_t n) {
  const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
  DWORD put = 0;
  if (!::WriteFile(Handle(handle), data, want, &put, nullptr)) throw SystemError(::GetLastError());
  if (put == 0) throw FileError("Nothing was written", false);
  return put;
}

void FlushToDisk(intptr_t handle) {
  if (!::FlushFileBuffers(Handle(handle))) throw SystemError(::GetLastError());
}

void Close(intptr_t handle) {
  if (!::CloseHandle(Handle(handle))) throw SystemError(::GetLastError());
}

void CloseQuietly(intptr_t handle) noexcept {
  ::CloseHandle(Handle(handle));
}

void Replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  // Replaces an existing file, which a plain rename does not do on Windows.
  if (!::MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw SystemError(::GetLastError());
  }
}

void SyncFolder(const std::filesystem::path&) noexcept {
  // MOVEFILE_WRITE_THROUGH has made the move durable already.
}

void RemoveQuietly(const std::filesystem::path& path) noexcept {
  ::DeleteFileW(path.c_str());
}

}  // namespace file_calls
}  // namespace kessmar::platform

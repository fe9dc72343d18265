// The portable half of UniqueFile: its random name and its write buffer, on the OS's file calls
// (platform/FileCalls.h).
#include <random>

#include "platform/FileCalls.h"
#include "platform/FileTimes.h"
#include "platform/Files.h"

namespace kessmar::platform {
namespace {

constexpr size_t kWriteBuffer = 256 * 1024;

void WriteAll(intptr_t handle, const char* data, size_t left) {
  while (left > 0) {
    const size_t put = file_calls::WriteSome(handle, data, left);
    data += put;
    left -= put;
  }
}

}  // namespace

UniqueFile::UniqueFile(const std::filesystem::path& folder, const std::string& prefix) {
  std::random_device entropy;
  std::mt19937_64 random(entropy());
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0;; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    // The name is UTF-8 text; Windows paths are UTF-16.
    path_ = folder / std::filesystem::path(std::u8string(name.begin(), name.end()));
    // A new file only: never follows or reuses what is there.
    handle_ = file_calls::CreateNew(path_, true);
    if (handle_ != file_calls::kNoFile) break;
    if (attempt == 100) throw FileError("File exists", false);
  }
  buffer_.reserve(kWriteBuffer);
}

UniqueFile::~UniqueFile() {
  if (handle_ != file_calls::kNoFile) file_calls::CloseQuietly(handle_);
}

void UniqueFile::Write(const char* data, size_t n) {
  if (handle_ == file_calls::kNoFile) throw FileError("File is closed", false);
  if (buffer_.size() + n > kWriteBuffer) Flush();
  if (n >= kWriteBuffer) {
    WriteAll(handle_, data, n);  // large pieces go straight to the file
    return;
  }
  buffer_.insert(buffer_.end(), data, data + n);
}

void UniqueFile::Flush() {
  try {
    WriteAll(handle_, buffer_.data(), buffer_.size());
  } catch (...) {
    buffer_.clear();
    throw;
  }
  buffer_.clear();
}

void UniqueFile::Close() {
  if (handle_ == file_calls::kNoFile) return;
  const intptr_t handle = handle_;
  try {
    Flush();
  } catch (...) {
    file_calls::CloseQuietly(handle);
    handle_ = file_calls::kNoFile;
    throw;
  }
  handle_ = file_calls::kNoFile;
  file_calls::Close(handle);
}

}  // namespace kessmar::platform

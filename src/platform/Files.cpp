// The portable half of the file layer: the atomic replacement's steps and whole-file helpers,
// on the OS's file calls (platform/FileCalls.h).
#include "platform/Files.h"

#include <random>

#include "platform/FileCalls.h"

namespace kessmar::platform {

ReplacementFile::ReplacementFile(const std::filesystem::path& target) : target_(target) {
  std::random_device entropy;
  std::mt19937_64 random(entropy());
  // A hidden name beside the target, so that the rename stays inside one folder.
  std::filesystem::path base = ".";
  base += target.filename();
  base += ".";
  const std::filesystem::path folder = target.parent_path();
  for (int attempt = 0;; ++attempt) {
    std::filesystem::path name = base;
    name += std::to_string(random() % 1000000000) + ".tmp";
    temp_ = folder / name;
    handle_ = file_calls::CreateNew(temp_, false);
    if (handle_ != file_calls::kNoFile) return;
    if (attempt == 100) throw FileError("File exists", false);
  }
}

ReplacementFile::~ReplacementFile() {
  if (handle_ != file_calls::kNoFile) file_calls::CloseQuietly(handle_);
  if (!committed_) file_calls::RemoveQuietly(temp_);
}

void ReplacementFile::Write(const char* data, size_t n) {
  while (n > 0) {
    const size_t put = file_calls::WriteSome(handle_, data, n);
    data += put;
    n -= put;
  }
}

void ReplacementFile::Commit() {
  file_calls::FlushToDisk(handle_);
  const intptr_t handle = handle_;
  handle_ = file_calls::kNoFile;
  file_calls::Close(handle);
  // A plain rename does not replace an existing file on Windows: Replace does, on both.
  file_calls::Replace(temp_, target_);
  committed_ = true;
  // Make the rename itself durable; the new file is in place whatever this does.
  file_calls::SyncFolder(target_.parent_path().empty() ? "." : target_.parent_path());
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

#include "batch/BatchHistory.h"

#include "platform/Files.h"
#include "platform/LocalTime.h"

namespace kessmar {

std::string LastReadPath(const std::string& dataFolder) {
  return dataFolder + batch_files::kLastRead;
}

std::string HistoryFileName(const std::tm& time) {
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S.dat", &time);
  return text;
}

bool IsBatchFileName(std::string_view name) {
  const std::string_view extension = batch_files::kExtension;
  if (name.size() < extension.size()) return false;
  const std::string_view tail = name.substr(name.size() - extension.size());
  for (size_t i = 0; i < tail.size(); ++i) {
    const char c = tail[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != extension[i]) return false;
  }
  return true;
}

std::optional<std::filesystem::path> SaveBatchWithHistory(const MemTable& batch,
                                                          const std::string& dataFolder,
                                                          const WallClock& clock) {
  const std::filesystem::path lastRead = LastReadPath(dataFolder);
  batch.SaveBatchFile(lastRead);
  const std::filesystem::path copy = dataFolder + HistoryFileName(platform::LocalTime(clock()));
  // Through the file layer, not std::filesystem::copy_file: on Windows libstdc++ takes any two
  // files for the same one (no inode numbers) and refuses to overwrite an existing copy.
  try {
    const std::optional<std::string> bytes = platform::ReadFileIfPresent(lastRead);
    if (!bytes) return std::nullopt;
    platform::ReplaceFileContent(copy, *bytes);
  } catch (const platform::FileError&) {
    return std::nullopt;
  }
  return copy;
}

}  // namespace kessmar

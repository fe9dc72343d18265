#include "update/FileMoves.h"

#include <array>
#include <system_error>

#include "platform/FileTimes.h"
#include "platform/Files.h"

namespace kessmar {

bool MoveFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                       std::string* reason) {
  std::error_code ec;
  std::filesystem::rename(from, to, ec);
  if (!ec) return true;
  if (ec != std::errc::cross_device_link) {
    if (reason != nullptr) *reason = ec.message();
    return false;
  }
  try {
    platform::InputFile in(from);
    platform::ReplacementFile out(to);
    std::array<char, 64 * 1024> block;
    while (const size_t n = in.Read(block.data(), block.size())) out.Write(block.data(), n);
    if (const auto time = platform::LastWriteTime(from)) {
      platform::SetLastWriteTime(out.TemporaryPath(), *time);
    }
    out.Commit();
  } catch (const platform::FileError& e) {
    if (reason != nullptr) *reason = e.what();
    return false;
  }
  std::filesystem::remove(from, ec);
  return true;
}

}  // namespace kessmar

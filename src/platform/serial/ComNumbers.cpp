#include "platform/serial/ComNumbers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>
#include <system_error>

#include "platform/FileDescriptor.h"

namespace kessmar::platform {
namespace {

constexpr int kFirstFreeNumber = 3;
constexpr size_t kMaxFileSize = 1 << 20;

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  while (text.size() < kMaxFileSize) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

void Parse(std::string_view text, std::map<std::string, int>& numbers) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab + 1 >= line.size()) continue;
    int number = 0;
    auto [stop, ec] = std::from_chars(line.data(), line.data() + tab, number);
    if (ec != std::errc() || stop != line.data() + tab || number <= 0) continue;
    numbers.emplace(std::string(line.substr(tab + 1)), number);
  }
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::set<int> KeptComNumbers(const std::filesystem::path& file) {
  std::set<int> numbers;
  if (file.empty()) return numbers;
  FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd || ::flock(fd.get(), LOCK_SH) != 0) return numbers;
  std::map<std::string, int> known;
  Parse(ReadAll(fd.get()), known);
  for (const auto& [key, number] : known) numbers.insert(number);
  return numbers;
}

std::map<std::string, int> AssignComNumbers(const std::filesystem::path& file,
                                            const std::vector<std::string>& keys,
                                            const std::set<int>& taken) {
  std::map<std::string, int> known;
  bool endsInsideLine = false;
  FileDescriptor fd;
  if (!file.empty()) {
    fd.Reset(::open(file.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd) {
      std::error_code ec;
      std::filesystem::create_directories(file.parent_path(), ec);
      fd.Reset(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    }
    if (fd && ::flock(fd.get(), LOCK_EX) == 0) {
      std::string text = ReadAll(fd.get());
      endsInsideLine = !text.empty() && text.back() != '\n';
      Parse(text, known);
    } else {
      fd.Reset();
    }
  }
  std::set<int> used = taken;
  for (const auto& [key, number] : known) used.insert(number);

  std::map<std::string, int> result;
  std::string added = endsInsideLine ? "\n" : "";
  for (const auto& key : keys) {
    if (auto it = known.find(key); it != known.end()) {
      result[key] = it->second;
      continue;
    }
    if (key.empty() || key.find_first_of("\t\n") != std::string::npos) continue;
    int number = kFirstFreeNumber;
    while (used.count(number) != 0) ++number;
    used.insert(number);
    known[key] = number;
    result[key] = number;
    added += std::to_string(number) + "\t" + key + "\n";
  }
  if (fd && added.size() > (endsInsideLine ? 1u : 0u) && ::lseek(fd.get(), 0, SEEK_END) >= 0) {
    // A partly written line is ignored by the next reader; the numbers still hold for this call.
    WriteAll(fd.get(), added);
  }
  return result;
}

}  // namespace kessmar::platform

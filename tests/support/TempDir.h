// A fresh temporary folder for one test, removed with everything in it when the object goes,
// and small file helpers. Shared by every test folder.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kessmar::testing {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::filesystem::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

class TempDir {
 public:
  TempDir() {
#ifdef _WIN32
    // No mkdtemp on Windows: a random name, made only when it does not exist yet.
    std::random_device entropy;
    for (int attempt = 0;; ++attempt) {
      path_ = std::filesystem::temp_directory_path() /
              ("kessmar-test-" + std::to_string(entropy()) + std::to_string(entropy() % 1000));
      if (std::filesystem::create_directory(path_)) break;
      if (attempt == 100) throw std::runtime_error("cannot make a temporary folder");
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "kessmar-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
#endif
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    // Tests may leave read-only folders behind; make them removable first.
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
      }
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& Path() const {
    return path_;
  }
  std::filesystem::path operator/(std::string_view name) const {
    return path_ / name;
  }

  // Writes bytes to the file name in this folder and returns its path.
  std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const auto file = path_ / name;
    WriteFile(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return file;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace kessmar::testing

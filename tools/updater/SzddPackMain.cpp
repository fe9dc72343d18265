// kessmar-szdd-pack: compresses a file into the SZDD format (the build packs the updater with it).
// Usage: kessmar-szdd-pack [--expanded-name NAME] INPUT OUTPUT
// The last character of NAME (default: of INPUT's name) is recorded in the header.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "updater/SzddCompressor.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string name;
  if (args.size() == 4 && args[0] == "--expanded-name") {
    name = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: kessmar-szdd-pack [--expanded-name NAME] INPUT OUTPUT\n");
    return 2;
  }
  if (name.empty()) name = std::filesystem::path(args[0]).filename().string();
  try {
    const auto input = kessmar::platform::ReadFileIfPresent(args[0]);
    if (!input) {
      std::fprintf(stderr, "kessmar-szdd-pack: %s: no such file\n", args[0].c_str());
      return 1;
    }
    const auto packed = kessmar::CompressSzdd(
        std::span(reinterpret_cast<const uint8_t*>(input->data()), input->size()), name.back());
    kessmar::platform::ReplaceFileContent(
        args[1], std::string_view(reinterpret_cast<const char*>(packed.data()), packed.size()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kessmar-szdd-pack: %s: %s\n", args[1].c_str(), e.what());
    return 1;
  }
  return 0;
}

// Fuzz target: the version resource of a downloaded program. The first byte chooses what the
// rest is: a whole program file (ELF, PE or anything), or a version block that the harness puts
// into a well-formed ELF or PE file first. The locator must hand back bytes of the file only,
// and exactly the block a well-formed file carries; whatever block the reader accepts must read
// the same once written again from the values read.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

#include "fuzz/FuzzTarget.h"
#include "platform/version/VersionResourceLocator.h"
#include "support/ElfImageBuilder.h"
#include "support/PeImageBuilder.h"
#include "support/TempDir.h"
#include "version/VersionInfoReader.h"
#include "version/VersionInfoWriter.h"
#include "version/VersionLine.h"

using namespace kessmar;

namespace {

using Bytes = std::vector<uint8_t>;

std::optional<Bytes> Locate(const Bytes& image) {
  platform::MemoryByteSource source(image);
  return platform::ReadVersionResource(source);
}

bool IsLowerHex(const std::string& text) {
  return text.size() == 8 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

// The values a reader gives, as a writer takes them; strings only where they are ASCII (the
// reader gives Windows-1252, the writer takes UTF-8).
VersionInfoContents ContentsOf(const VersionInfoReader& r) {
  VersionInfoContents c;
  c.fixed = FixedFileInfo{r.FileVersionNumber(), r.ProductVersionNumber()};
  VersionStringTable table{r.StringTableKey(), {}};
  for (int i = 0; i < VersionInfoReader::kStringCount; ++i) {
    const std::string value = r.StringValue(i);
    if (!value.empty() && IsAscii(value)) {
      table.values.emplace_back(std::string(VersionInfoReader::StringName(i)), value);
    }
  }
  c.tables.push_back(std::move(table));
  if (!r.Translations().empty()) {
    VersionVar translation;
    for (const std::string& pair : r.Translations()) {
      const unsigned long value = std::stoul(pair, nullptr, 16);  // language << 16 | code page
      for (unsigned long part : {value >> 16, value & 0xFFFF}) {
        translation.value.push_back(static_cast<uint8_t>(part & 0xFF));
        translation.value.push_back(static_cast<uint8_t>(part >> 8));
      }
    }
    c.vars.push_back(std::move(translation));
  }
  return c;
}

void CheckReader(const Bytes& block) {
  const VersionInfoReader r(block);
  for (const std::string& pair : r.Translations()) FUZZ_CHECK(IsLowerHex(pair));
  for (int i = -1; i <= VersionInfoReader::kStringCount; ++i) {
    FUZZ_CHECK(r.StringValue(i).find('\0') == std::string::npos);
  }
  FUZZ_CHECK(FormatVersionLine(r).rfind("Versie : ", 0) == 0);
  if (!r.HasVersionInfo()) {
    FUZZ_CHECK(r.ProductVersionNumber() == VersionNumber{} && r.Translations().empty());
    return;
  }

  Bytes rebuilt;
  try {
    rebuilt = BuildVersionResource(ContentsOf(r));
  } catch (const std::invalid_argument&) {
    return;  // the values read do not fit one block again
  }
  const VersionInfoReader again(rebuilt);
  FUZZ_CHECK(again.HasVersionInfo());
  FUZZ_CHECK(again.FileVersionNumber() == r.FileVersionNumber());
  FUZZ_CHECK(again.ProductVersionNumber() == r.ProductVersionNumber());
  FUZZ_CHECK(again.Translations() == r.Translations());
  for (int i = 0; i < VersionInfoReader::kStringCount; ++i) {
    if (IsAscii(r.StringValue(i))) FUZZ_CHECK(again.StringValue(i) == r.StringValue(i));
  }
}

// A file of any kind: what is found lies in the file, and reading the file from disk finds
// the same.
void CheckImage(const Bytes& image) {
  static const testing::TempDir folder;
  const std::optional<Bytes> block = Locate(image);
  if (block) {
    FUZZ_CHECK(!block->empty() && block->size() <= platform::kMaxVersionResourceSize);
    FUZZ_CHECK(std::search(image.begin(), image.end(), block->begin(), block->end()) !=
               image.end());
  }
  FUZZ_CHECK(platform::ReadVersionResource(folder.Write("program", image)) == block);
  CheckReader(block.value_or(Bytes{}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const Bytes rest(data + 1, data + size);
  switch (mode % 3) {
    case 0:
      CheckImage(rest);
      return 0;
    case 1: {
      test::ElfImageSpec elf{(mode & 0x04) != 0, (mode & 0x08) != 0, (mode & 0x10) != 0, {}};
      elf.sections.push_back({".text", 1, {0xC3}});
      elf.sections.push_back({".kessmar_version", 8, Bytes(16)});  // no bytes in the file
      elf.sections.push_back({".kessmar_version", 1, rest});
      const std::optional<Bytes> found = Locate(test::BuildElfImage(elf));
      FUZZ_CHECK(rest.empty() ? !found : found == rest);
      break;
    }
    default: {
      test::PeImageSpec pe;
      pe.pe32Plus = (mode & 0x04) != 0;
      pe.resources.push_back({3, 1, 0x0409, {1, 2, 3, 4}});
      pe.resources.push_back({16, 1, 0x0409, rest});
      pe.resources.push_back({16, 2, 0x0413, {5, 6}});  // a second name: never the one read
      const std::optional<Bytes> found = Locate(test::BuildPeImage(pe));
      FUZZ_CHECK(rest.empty() ? !found : found == rest);
      break;
    }
  }
  CheckReader(rest);
  return 0;
}

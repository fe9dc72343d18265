// Damaged and hostile files: every truncation and many single-byte changes of valid PE and ELF
// files and of version blocks are read without crashing and without reading beyond the data.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/version/VersionResourceLocator.h"
#include "support/ByteWriter.h"
#include "support/ElfImageBuilder.h"
#include "support/PeImageBuilder.h"
#include "support/TempDir.h"
#include "version/VersionInfoReader.h"
#include "version/VersionInfoWriter.h"
#include "version/VersionLine.h"

namespace kessmar {
namespace {

using platform::MemoryByteSource;
using platform::ReadVersionResource;

std::vector<uint8_t> SampleBlock() {
  VersionInfoContents c;
  c.fixed = FixedFileInfo{{1, 0, 0, 170}, {1, 0, 0, 170}};
  c.tables.push_back(
      {"040904E4",
       {{"ProductName", "Kessmar Scanner Tool"}, {"BuildTimestamp", "4-11-2010 14:48:01"}}});
  c.vars.push_back({"Translation", UsEnglishTranslation()});
  return BuildVersionResource(c);
}

std::optional<std::vector<uint8_t>> Locate(const std::vector<uint8_t>& image) {
  MemoryByteSource source(image);
  return ReadVersionResource(source);
}

// Uses every accessor, so that damage anywhere in the block is looked at.
void ReadEverything(const std::vector<uint8_t>& block) {
  const VersionInfoReader r(block);
  for (int i = -1; i <= VersionInfoReader::kStringCount; ++i) (void)r.StringValue(i);
  for (int i = 0; i < 4; ++i) (void)r.FileVersion(i);
  (void)FormatVersionLine(r);
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// True inside a long run of zero bytes: file alignment padding, not worth damaging byte by byte.
bool InPadding(const std::vector<uint8_t>& image, size_t at) {
  const size_t from = at < 16 ? 0 : at - 16;
  const size_t to = std::min(image.size(), at + 17);
  return std::all_of(image.begin() + from, image.begin() + to, [](uint8_t b) { return b == 0; });
}

std::vector<std::vector<uint8_t>> ValidImages() {
  const std::vector<uint8_t> block = SampleBlock();
  std::vector<std::vector<uint8_t>> images;
  for (bool pe32Plus : {false, true}) {
    test::PeImageSpec pe;
    pe.pe32Plus = pe32Plus;
    pe.resources.push_back({3, 1, 0x0409, {9, 9, 9, 9}});
    pe.resources.push_back({16, 1, 0x0409, block});
    images.push_back(test::BuildPeImage(pe));
  }
  for (bool is64 : {false, true}) {
    for (bool bigEndian : {false, true}) {
      for (bool extended : {false, true}) {
        test::ElfImageSpec elf{is64, bigEndian, extended, {}};
        elf.sections.push_back({".text", 1, {0xC3}});
        elf.sections.push_back({".bss", 8, std::vector<uint8_t>(64)});
        elf.sections.push_back({".kessmar_version", 1, block});
        images.push_back(test::BuildElfImage(elf));
      }
    }
  }
  return images;
}

TEST(HostileInput, BuiltImagesAreFoundInEveryFlavour) {
  const std::vector<uint8_t> block = SampleBlock();
  for (const auto& image : ValidImages()) EXPECT_EQ(Locate(image), block);
}

TEST(HostileInput, EveryTruncationIsSafe) {
  const std::vector<uint8_t> block = SampleBlock();
  auto images = ValidImages();
  images.push_back(ReadFile(KESSMAR_VERSION_SAMPLE));
  for (const auto& image : images) {
    const auto whole = Locate(image);
    ASSERT_TRUE(whole);
    for (size_t size = 0; size < image.size(); ++size) {
      // Either nothing or the whole block, never a part of it.
      const auto found = Locate(std::vector<uint8_t>(image.begin(), image.begin() + size));
      if (found) {
        EXPECT_EQ(*found, *whole) << size;
      }
    }
  }
  for (size_t size = 0; size <= block.size(); ++size) {
    ReadEverything(std::vector<uint8_t>(block.begin(), block.begin() + size));
  }
  EXPECT_FALSE(
      VersionInfoReader(std::vector<uint8_t>(block.begin(), block.end() - 1)).HasVersionInfo());
}

TEST(HostileInput, TruncatedFilesOnDisk) {
  ::kessmar::testing::TempDir dir;
  const auto image = ValidImages().front();
  const std::vector<uint8_t> block = SampleBlock();
  const size_t dataEnd = std::search(image.begin(), image.end(), block.begin(), block.end()) -
                         image.begin() + block.size();
  ASSERT_LE(dataEnd, image.size());
  for (size_t size : {size_t{0}, size_t{1}, size_t{0x3F}, size_t{0x84}, size_t{0x200},
                      size_t{0x400}, dataEnd - 1}) {
    const auto file =
        dir.Write("cut.exe", std::vector<uint8_t>(image.begin(), image.begin() + size));
    EXPECT_FALSE(VersionInfoReader(file).HasVersionInfo()) << size;
  }
  const auto whole =
      dir.Write("whole.exe", std::vector<uint8_t>(image.begin(), image.begin() + dataEnd));
  EXPECT_EQ(VersionInfoReader(whole).Resource(), block);
}

TEST(HostileInput, SingleByteDamageIsSafe) {
  const std::vector<uint8_t> block = SampleBlock();
  for (const auto& image : ValidImages()) {
    for (size_t at = 0; at < image.size(); ++at) {
      if (InPadding(image, at)) continue;
      for (uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0x80}, uint8_t{0xFF}}) {
        std::vector<uint8_t> damaged = image;
        damaged[at] = value;
        const auto found = Locate(damaged);
        if (found && *found != block) {
          EXPECT_LE(found->size(), platform::kMaxVersionResourceSize);
          ReadEverything(*found);
        }
      }
    }
  }
  for (size_t at = 0; at < block.size(); ++at) {
    for (uint8_t value : {uint8_t{0x00}, uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
      std::vector<uint8_t> damaged = block;
      damaged[at] = value;
      ReadEverything(damaged);
    }
  }
}

TEST(HostileInput, HeadersPointingAnywhere) {
  const std::vector<uint8_t> block = SampleBlock();

  // PE: resource data in the zero-filled tail of its section, beyond the file, or sized huge;
  // section data beyond the file; directories that loop or claim too many entries.
  test::PeImageLayout pe;
  test::PeImageSpec plan;
  plan.resources.push_back({16, 1, 0x0409, block});
  const auto image = test::BuildPeImage(plan, &pe);
  const size_t rsrcHeader = pe.sectionTable + 40;
  const size_t dataEntry = pe.resourceSection + 3 * 24;  // after the three directories
  using Patches = std::vector<std::pair<size_t, uint32_t>>;
  auto patched = [&](const Patches& patches) {
    test::ByteWriter w;
    w.Append(image);
    for (const auto& [at, value] : patches) w.PatchAt(at, value, 4);
    return Locate(w.Bytes());
  };
  const uint32_t rawSize = static_cast<uint32_t>(image.size() - pe.resourceSection);
  EXPECT_EQ(patched({}), block);
  EXPECT_FALSE(patched({{rsrcHeader + 8, 0x10000}, {dataEntry, pe.resourceRva + rawSize}}));
  EXPECT_FALSE(patched({{dataEntry, pe.resourceRva + 0x0FFFFFF0}}));
  EXPECT_FALSE(patched({{dataEntry + 4, 0xFFFFFFFF}}));
  EXPECT_FALSE(patched({{rsrcHeader + 16, 0x10}}));                // raw size smaller than the data
  EXPECT_FALSE(patched({{rsrcHeader + 20, 0xFFFFFF00}}));          // raw data beyond the file
  EXPECT_FALSE(patched({{0x3C, 0xFFFFFFF0}}));                     // PE header beyond the file
  EXPECT_FALSE(patched({{pe.resourceSection + 20, 0x80000000}}));  // type entry loops to root
  EXPECT_FALSE(patched({{pe.resourceSection + 12, 0xFFFFFFFF}}));  // 131070 root entries

  // ELF: section table beyond the file, entry size too small, a name past the name table.
  test::ElfImageLayout elf;
  test::ElfImageSpec elfSpec;
  elfSpec.sections.push_back({".kessmar_version", 1, block});
  const auto elfImage = test::BuildElfImage(elfSpec, &elf);
  auto elfPatched = [&](size_t at, uint64_t value, int width) {
    test::ByteWriter w;
    w.Append(elfImage);
    w.PatchAt(at, value, width);
    return Locate(w.Bytes());
  };
  const size_t versionHeader = elf.sectionTable + elf.sectionHeaderSize;
  EXPECT_EQ(elfPatched(0x3A, 64, 2), block);
  EXPECT_FALSE(elfPatched(0x28, 0xFFFFFFFFFFFFFFF0, 8));
  EXPECT_FALSE(elfPatched(0x3A, 16, 2));
  EXPECT_FALSE(elfPatched(0x3C, 0xFFFF, 2));
  EXPECT_FALSE(elfPatched(0x3E, 0xFFF0, 2));
  EXPECT_FALSE(elfPatched(versionHeader, 0xFFFFFFFF, 4));               // name offset
  EXPECT_FALSE(elfPatched(versionHeader + 24, 0xFFFFFFFFFFFFFF00, 8));  // data offset
  EXPECT_FALSE(elfPatched(versionHeader + 32, 0xFFFFFFFFFFFFFF00, 8));  // data size
  EXPECT_TRUE(elfPatched(versionHeader + 32, 0x20000, 8) == std::nullopt);
  elfSpec.sections[0].type = 8;  // SHT_NOBITS: no contents in the file
  EXPECT_FALSE(Locate(test::BuildElfImage(elfSpec)));
}

}  // namespace
}  // namespace kessmar

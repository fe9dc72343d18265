// The version reader on real programs built with a version resource, on files without one,
// and on Windows PE images written here.
#include <gtest/gtest.h>

#include <regex>

#include "platform/version/VersionResourceLocator.h"
#include "support/ElfImageBuilder.h"
#include "support/PeImageBuilder.h"
#include "support/TempDir.h"
#include "version/VersionInfoReader.h"
#include "version/VersionInfoWriter.h"
#include "version/VersionLine.h"

namespace kessmar {
namespace {

using ::kessmar::testing::TempDir;
using test::BuildPeImage;
using test::PeImageSpec;

const std::string kEmptyLine = "Versie : 0.0   Build : 0     ";

VersionInfoContents Contents(VersionNumber version, std::vector<uint8_t> translation,
                             bool withTimestamp = true, std::string table = "040904E4") {
  VersionInfoContents c;
  c.fixed = FixedFileInfo{version, version};
  VersionStringTable strings{table,
                             {{"CompanyName", "Kessmar B.V."},
                              {"ProductName", "Kessmar Scanner Tool"},
                              {"LegalCopyright", "\u00A9 2026 Kessmar B.V."}}};
  if (withTimestamp) strings.values.emplace_back("BuildTimestamp", "31-12-2025 23:59:59");
  c.tables.push_back(strings);
  if (!translation.empty()) c.vars.push_back({"Translation", std::move(translation)});
  return c;
}

std::filesystem::path WritePe(const TempDir& dir, const std::string& name,
                              const VersionInfoContents& contents, bool pe32Plus = false) {
  PeImageSpec image;
  image.pe32Plus = pe32Plus;
  image.resources.push_back({3, 1, 0x0409, {1, 2, 3, 4}});  // an icon before the version
  image.resources.push_back({16, 1, 0x0409, BuildVersionResource(contents)});
  return dir.Write(name, BuildPeImage(image));
}

void ExpectNoVersionInfo(const VersionInfoReader& r) {
  EXPECT_FALSE(r.HasVersionInfo());
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(r.ProductVersion(i), 0);
    EXPECT_EQ(r.FileVersion(i), 0);
  }
  EXPECT_TRUE(r.Translations().empty());
  for (int i = 0; i < VersionInfoReader::kStringCount; ++i) EXPECT_EQ(r.StringValue(i), "");
  EXPECT_EQ(FormatVersionLine(r), kEmptyLine);
}

TEST(VersionInfoReader, ReadsTheResourceTheBuildEmbeds) {
  const VersionInfoReader r{std::filesystem::path(KESSMAR_VERSION_SAMPLE)};
  ASSERT_TRUE(r.HasVersionInfo());
  EXPECT_EQ(FormatVersionLine(r), "Versie : 1.0   Build : 170     4-11-2010 14:48:01");

  const VersionNumber expected{1, 0, 0, 170};
  EXPECT_EQ(r.ProductVersionNumber(), expected);
  EXPECT_EQ(r.FileVersionNumber(), expected);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(r.FileVersion(i), expected.Component(i));
  EXPECT_EQ(r.ProductVersion(3), 170);
  EXPECT_EQ(r.ProductVersion(4), 0);
  EXPECT_EQ(r.ProductVersion(-1), 0);
  EXPECT_EQ(r.Translations(), std::vector<std::string>{"040904e4"});

  EXPECT_EQ(r.StringValue(0), "Kessmar B.V.");
  EXPECT_EQ(r.StringValue("FileDescription"), "Kessmar Scanner Tool version sample");
  EXPECT_EQ(r.StringValue("FileVersion"), "1.0.0.170");
  EXPECT_EQ(r.StringValue("InternalName"), "about_version_sample");
  EXPECT_EQ(r.StringValue(4), "\xA9 2026 Kessmar B.V., Veenendaal");  // Windows-1252
  EXPECT_EQ(r.StringValue(5), "");                                    // LegalTrademarks is not set
  EXPECT_EQ(r.StringValue("OriginalFilename"), "about_version_sample");
  EXPECT_EQ(r.StringValue(7), "Kessmar Scanner Tool");
  EXPECT_EQ(r.StringValue("productversion"), "1.0.0.170");  // names match in any case
  EXPECT_EQ(r.StringValue(12), "4-11-2010 14:48:01");
  EXPECT_EQ(r.StringValue(13), "");
  EXPECT_EQ(r.StringValue(-1), "");
  EXPECT_EQ(VersionInfoReader::StringName(12), "BuildTimestamp");
  EXPECT_EQ(VersionInfoReader::StringName(13), "");
}

TEST(VersionInfoReader, DefaultsComeFromTheProjectAndTheClock) {
  const VersionInfoReader r{std::filesystem::path(KESSMAR_DEFAULT_SAMPLE)};
  ASSERT_TRUE(r.HasVersionInfo());
  const VersionNumber v = r.ProductVersionNumber();
  EXPECT_EQ(
      std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.release),
      KESSMAR_PROJECT_VERSION);
  EXPECT_EQ(r.StringValue("ProductVersion"), v.ToString());
  EXPECT_EQ(r.StringValue("FileVersion"), v.ToString());
  EXPECT_EQ(r.StringValue("InternalName"), "about_version_default");
  EXPECT_TRUE(
      std::regex_match(r.StringValue("BuildTimestamp"),
                       std::regex("[1-9][0-9]?-[1-9][0-9]?-[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}")))
      << r.StringValue("BuildTimestamp");
}

TEST(VersionInfoReader, FilesWithoutVersionResource) {
  TempDir dir;
  ExpectNoVersionInfo(VersionInfoReader(dir.Write("notes.txt", {'h', 'e', 'l', 'l', 'o', '\n'})));
  ExpectNoVersionInfo(VersionInfoReader(dir.Write("empty", {})));
  ExpectNoVersionInfo(VersionInfoReader(dir.Path() / "missing.exe"));
  ExpectNoVersionInfo(VersionInfoReader(dir.Path()));
  // This test program is an ELF file without the section.
  ExpectNoVersionInfo(VersionInfoReader(std::filesystem::read_symlink("/proc/self/exe")));
  // A PE image whose resources hold no version.
  test::PeImageSpec image;
  image.resources.push_back({3, 1, 0x0409, {1, 2, 3, 4}});
  ExpectNoVersionInfo(VersionInfoReader(dir.Write("icons.exe", BuildPeImage(image))));
  // An ELF file whose section is not a version block.
  test::ElfImageSpec elf;
  elf.sections.push_back({".kessmar_version", 1, {1, 2, 3, 4, 5, 6, 7, 8}});
  ExpectNoVersionInfo(VersionInfoReader(dir.Write("junk.elf", test::BuildElfImage(elf))));
}

TEST(VersionInfoReader, ReadsWindowsProgramFiles) {
  TempDir dir;
  for (bool pe32Plus : {false, true}) {
    const auto file =
        WritePe(dir, "tool.exe", Contents({2, 5, 1, 7}, UsEnglishTranslation()), pe32Plus);
    const VersionInfoReader r(file);
    ASSERT_TRUE(r.HasVersionInfo()) << pe32Plus;
    EXPECT_EQ(r.ProductVersionNumber(), (VersionNumber{2, 5, 1, 7}));
    EXPECT_EQ(r.StringValue("ProductName"), "Kessmar Scanner Tool");
    EXPECT_EQ(r.StringValue("LegalCopyright"), "\xA9 2026 Kessmar B.V.");
    EXPECT_EQ(FormatVersionLine(r), "Versie : 2.5   Build : 7     31-12-2025 23:59:59");
  }

  // The first name's first language is the one read.
  test::PeImageSpec image;
  image.resources.push_back({16, 1, 0x0413, BuildVersionResource(Contents({3, 0, 0, 1}, {}))});
  image.resources.push_back({16, 1, 0x0409, BuildVersionResource(Contents({4, 0, 0, 2}, {}))});
  image.resources.push_back({16, 2, 0x0409, BuildVersionResource(Contents({5, 0, 0, 3}, {}))});
  EXPECT_EQ(VersionInfoReader(dir.Write("two.exe", BuildPeImage(image))).ProductVersion(0), 3);
}

TEST(VersionInfoReader, TranslationListRules) {
  TempDir dir;
  // No translation list: strings come from "040904E4".
  VersionInfoReader missing(WritePe(dir, "a.exe", Contents({1, 2, 0, 3}, {})));
  EXPECT_TRUE(missing.Translations().empty());
  EXPECT_EQ(missing.StringTableKey(), "040904E4");
  EXPECT_EQ(missing.StringValue("CompanyName"), "Kessmar B.V.");

  // Fewer than four bytes: "0409" and the first word, which names the table here.
  VersionInfoReader shortValue(
      WritePe(dir, "b.exe", Contents({1, 2, 0, 3}, {0xB0, 0x04}, true, "040904B0")));
  EXPECT_EQ(shortValue.Translations(), std::vector<std::string>{"040904b0"});
  EXPECT_EQ(shortValue.StringValue("ProductName"), "Kessmar Scanner Tool");

  // Every complete pair counts, the first one is used, a trailing odd part is dropped.
  const std::vector<uint8_t> list = {0x13, 0x04, 0xB0, 0x04, 0x09, 0x04, 0xE4, 0x04, 0x01, 0x02};
  VersionInfoReader pairs(BuildVersionResource(Contents({1, 0, 0, 0}, list, true, "041304B0")));
  EXPECT_EQ(pairs.Translations(), (std::vector<std::string>{"041304b0", "040904e4"}));
  EXPECT_EQ(pairs.StringValue("CompanyName"), "Kessmar B.V.");

  // A table other than the first translation's is not consulted.
  VersionInfoReader other(
      BuildVersionResource(Contents({1, 0, 0, 0}, UsEnglishTranslation(), true, "041304B0")));
  EXPECT_EQ(other.StringValue("CompanyName"), "");
}

TEST(VersionInfoReader, MissingPartsReadAsEmpty) {
  TempDir dir;
  // No "BuildTimestamp": the line ends in the five blanks.
  const VersionInfoReader noStamp(
      WritePe(dir, "c.exe", Contents({1, 0, 0, 170}, UsEnglishTranslation(), false)));
  EXPECT_EQ(FormatVersionLine(noStamp), "Versie : 1.0   Build : 170     ");

  // No fixed part, or one without its signature: numbers 0, strings still there.
  VersionInfoContents noFixed = Contents({1, 0, 0, 1}, UsEnglishTranslation());
  noFixed.fixed.reset();
  const VersionInfoReader a(BuildVersionResource(noFixed));
  EXPECT_TRUE(a.HasVersionInfo());
  EXPECT_EQ(FormatVersionLine(a), "Versie : 0.0   Build : 0     31-12-2025 23:59:59");

  std::vector<uint8_t> unsigned_ = BuildVersionResource(Contents({1, 0, 0, 1}, {}));
  unsigned_[40] ^= 0xFF;  // the signature's first byte
  const VersionInfoReader b(unsigned_);
  EXPECT_TRUE(b.HasVersionInfo());
  EXPECT_EQ(b.ProductVersion(3), 0);
  EXPECT_EQ(b.StringValue("ProductName"), "Kessmar Scanner Tool");
}

}  // namespace
}  // namespace kessmar

namespace kessmar {
namespace {

TEST(VersionInfoReader, StringsAreWindows1252) {
  VersionInfoContents c;
  c.tables.push_back(
      {"040904E4", {{"Comments", "\u20AC 5, caf\u00E9 \u2192 \U0001F600"}, {"Kl\u00E9", "x"}}});
  const VersionInfoReader r(BuildVersionResource(c));
  EXPECT_EQ(r.StringValue(9), "\x80 5, caf\xE9 ? ?");  // euro sign, e acute; others unknown
  EXPECT_EQ(r.StringValue("Kl\xE9"), "x");
  EXPECT_EQ(r.StringValue("KL\xE9"), "x");
}

}  // namespace
}  // namespace kessmar

#include "version/VersionInfoReader.h"

#include <array>
#include <cstdio>

#include "common/LittleEndian.h"
#include "platform/version/VersionResourceLocator.h"
#include "version/VersionQuery.h"

namespace kessmar {
namespace {

constexpr std::array<std::string_view, VersionInfoReader::kStringCount> kStringNames = {
    "CompanyName",     "FileDescription",  "FileVersion",    "InternalName",   "LegalCopyright",
    "LegalTrademarks", "OriginalFilename", "ProductName",    "ProductVersion", "Comments",
    "BuildFlags",      "BuildType",        "BuildTimestamp",
};

constexpr std::string_view kDefaultStringTable = "040904E4";
constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr size_t kFixedSize = 52;  // VS_FIXEDFILEINFO

uint32_t Dword(std::span<const uint8_t> bytes, size_t at) {
  return le::Load32At(bytes, at);
}

uint16_t Word(std::span<const uint8_t> bytes, size_t at) {
  return le::Load16At(bytes, at);
}

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%.4x", static_cast<unsigned>(value));
  return text;
}

}  // namespace

VersionInfoReader::VersionInfoReader(const std::filesystem::path& programFile) {
  if (auto block = platform::ReadVersionResource(programFile)) resource_ = std::move(*block);
  Interpret();
}

VersionInfoReader::VersionInfoReader(std::vector<uint8_t> resource)
    : resource_(std::move(resource)) {
  Interpret();
}

void VersionInfoReader::Interpret() {
  if (!IsVersionInfoBlock(resource_)) {
    resource_.clear();
    return;
  }
  hasVersionInfo_ = true;

  // The fixed part counts only when it is complete and carries its signature.
  if (auto fixed = QueryVersionValue(resource_, "\\");
      fixed && fixed->bytes.size() >= kFixedSize && Dword(fixed->bytes, 0) == kFixedSignature) {
    fileVersion_ = VersionNumber::FromWords(Dword(fixed->bytes, 8), Dword(fixed->bytes, 12));
    productVersion_ = VersionNumber::FromWords(Dword(fixed->bytes, 16), Dword(fixed->bytes, 20));
  }

  // Each (language, code page) pair is one entry; a value too short for a pair still names
  // a code page, taken as one of US English.
  if (auto list = QueryVersionValue(resource_, "\\VarFileInfo\\Translation")) {
    const auto bytes = list->bytes;
    for (size_t at = 0; at + 4 <= bytes.size(); at += 4) {
      translations_.push_back(Hex4(Word(bytes, at)) + Hex4(Word(bytes, at + 2)));
    }
    if (!bytes.empty() && bytes.size() < 4) {
      const uint16_t first = bytes.size() >= 2 ? Word(bytes, 0) : bytes[0];
      translations_.push_back("0409" + Hex4(first));
    }
  }
}

std::string VersionInfoReader::StringTableKey() const {
  return translations_.empty() ? std::string(kDefaultStringTable) : translations_.front();
}

std::string VersionInfoReader::StringValue(int index) const {
  const std::string_view name = StringName(index);
  return name.empty() ? std::string() : StringValue(name);
}

std::string VersionInfoReader::StringValue(std::string_view name) const {
  if (!hasVersionInfo_ || name.empty()) return {};
  const std::string path = "\\StringFileInfo\\" + StringTableKey() + "\\" + std::string(name);
  const auto value = QueryVersionValue(resource_, path);
  return value ? VersionText(*value) : std::string();
}

std::string_view VersionInfoReader::StringName(int index) {
  if (index < 0 || index >= kStringCount) return {};
  return kStringNames[static_cast<size_t>(index)];
}

}  // namespace kessmar

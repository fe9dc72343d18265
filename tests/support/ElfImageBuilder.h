// Builds small ELF files (32- or 64-bit, either byte order) holding the sections given, for
// tests of the ELF section reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kessmar::test {

struct ElfSectionSpec {
  std::string name;
  uint32_t type = 1;  // SHT_PROGBITS; 8 is SHT_NOBITS
  std::vector<uint8_t> data;
};

struct ElfImageSpec {
  bool is64 = true;
  bool bigEndian = false;
  // Section count and name table index stored in section 0, as files with very many sections
  // do.
  bool extendedNumbering = false;
  std::vector<ElfSectionSpec> sections;
};

struct ElfImageLayout {
  size_t sectionTable = 0;
  size_t sectionHeaderSize = 0;
  size_t nameTable = 0;  // file offset of .shstrtab
};

std::vector<uint8_t> BuildElfImage(const ElfImageSpec& image, ElfImageLayout* layout = nullptr);

}  // namespace kessmar::test

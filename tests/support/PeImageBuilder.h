// Builds small but valid Windows PE images (PE32 or PE32+) with a code section and a resource
// section holding the resources given, for tests of the PE resource reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kessmar::test {

struct PeResourceSpec {
  uint16_t type = 16;  // RT_VERSION
  uint16_t nameId = 1;
  uint16_t language = 0x0409;
  std::vector<uint8_t> data;
};

struct PeImageSpec {
  bool pe32Plus = false;
  std::vector<PeResourceSpec> resources;  // grouped by type, name and language, in this order
};

// Where the parts of a built image lie, for tests that damage them.
struct PeImageLayout {
  size_t peHeader = 0;  // "PE\0\0"
  size_t sectionTable = 0;
  size_t resourceSection = 0;  // file offset of .rsrc
  uint32_t resourceRva = 0;
  size_t resourceSize = 0;
};

std::vector<uint8_t> BuildPeImage(const PeImageSpec& image, PeImageLayout* layout = nullptr);

}  // namespace kessmar::test

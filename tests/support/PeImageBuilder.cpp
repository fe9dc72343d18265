#include "support/PeImageBuilder.h"

#include <map>

#include "support/ByteWriter.h"

namespace kessmar::test {
namespace {

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kTextRva = 0x1000;
constexpr uint32_t kResourceRva = 0x2000;

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// The .rsrc contents: three directory levels, then the data entries, then the data.
std::vector<uint8_t> ResourceSection(const std::vector<PeResourceSpec>& resources) {
  // type -> name -> list of (language, data)
  std::map<uint16_t, std::map<uint16_t, std::vector<const PeResourceSpec*>>> tree;
  for (const auto& r : resources) tree[r.type][r.nameId].push_back(&r);

  auto directorySize = [](size_t entries) { return 16 + 8 * entries; };
  // First pass: offsets of every directory, data entry and datum.
  size_t offset = directorySize(tree.size());
  std::map<uint16_t, size_t> typeDirs;
  std::map<std::pair<uint16_t, uint16_t>, size_t> nameDirs;
  for (const auto& [type, names] : tree) {
    typeDirs[type] = offset;
    offset += directorySize(names.size());
  }
  for (const auto& [type, names] : tree) {
    for (const auto& [name, langs] : names) {
      nameDirs[{type, name}] = offset;
      offset += directorySize(langs.size());
    }
  }
  std::map<const PeResourceSpec*, size_t> dataEntries;
  for (const auto& r : resources) {
    dataEntries[&r] = offset;
    offset += 16;
  }
  std::map<const PeResourceSpec*, size_t> data;
  for (const auto& r : resources) {
    offset = (offset + 7) / 8 * 8;
    data[&r] = offset;
    offset += r.data.size();
  }

  ByteWriter w;
  auto directory = [&](size_t ids) {
    w.U32(0);  // characteristics
    w.U32(0);  // time stamp
    w.U32(0);  // version
    w.U16(0);  // named entries
    w.U16(static_cast<uint16_t>(ids));
  };
  constexpr uint32_t kSubdirectory = 0x80000000;
  directory(tree.size());
  for (const auto& [type, names] : tree) {
    w.U32(type);
    w.U32(kSubdirectory | static_cast<uint32_t>(typeDirs[type]));
  }
  for (const auto& [type, names] : tree) {
    directory(names.size());
    for (const auto& [name, langs] : names) {
      w.U32(name);
      w.U32(kSubdirectory | static_cast<uint32_t>(nameDirs[{type, name}]));
    }
  }
  for (const auto& [type, names] : tree) {
    for (const auto& [name, langs] : names) {
      directory(langs.size());
      for (const PeResourceSpec* r : langs) {
        w.U32(r->language);
        w.U32(static_cast<uint32_t>(dataEntries[r]));
      }
    }
  }
  for (const auto& r : resources) {
    w.U32(kResourceRva + static_cast<uint32_t>(data[&r]));
    w.U32(static_cast<uint32_t>(r.data.size()));
    w.U32(0);  // code page
    w.U32(0);
  }
  for (const auto& r : resources) {
    w.PadTo(data[&r]);
    w.Append(r.data);
  }
  return w.Bytes();
}

}  // namespace

std::vector<uint8_t> BuildPeImage(const PeImageSpec& image, PeImageLayout* layout) {
  const std::vector<uint8_t> rsrc = ResourceSection(image.resources);
  const std::vector<uint8_t> code = {0xC3};  // ret
  const uint32_t textRaw = kFileAlignment;
  const uint32_t textRawSize = kFileAlignment;
  const uint32_t rsrcRaw = textRaw + textRawSize;
  const uint32_t rsrcRawSize = AlignUp(static_cast<uint32_t>(rsrc.size()), kFileAlignment);
  const uint32_t imageSize =
      kResourceRva + AlignUp(static_cast<uint32_t>(rsrc.size()), kSectionAlignment);

  ByteWriter w;
  // DOS header with e_lfanew = 0x80.
  w.Text("MZ");
  w.PadTo(0x3C);
  w.U32(0x80);
  w.PadTo(0x80);
  const size_t peHeader = w.Size();
  w.Text(std::string_view("PE\0\0", 4));
  // COFF header.
  w.U16(image.pe32Plus ? 0x8664 : 0x014C);
  w.U16(2);  // sections
  w.U32(0x4CD2C6A1);
  w.U32(0);
  w.U32(0);
  w.U16(image.pe32Plus ? 240 : 224);
  w.U16(image.pe32Plus ? 0x0022 : 0x0102);
  // Optional header.
  w.U16(image.pe32Plus ? 0x20B : 0x10B);
  w.U16(0x0E);         // linker version
  w.U32(textRawSize);  // size of code
  w.U32(rsrcRawSize);  // size of initialised data
  w.U32(0);            // size of uninitialised data
  w.U32(kTextRva);     // entry point
  w.U32(kTextRva);     // base of code
  if (image.pe32Plus) {
    w.U64(0x140000000);  // image base
  } else {
    w.U32(kResourceRva);  // base of data
    w.U32(0x400000);      // image base
  }
  w.U32(kSectionAlignment);
  w.U32(kFileAlignment);
  w.U16(6), w.U16(0);  // OS version
  w.U16(0), w.U16(0);  // image version
  w.U16(6), w.U16(0);  // subsystem version
  w.U32(0);            // Win32 version value
  w.U32(imageSize);
  w.U32(kFileAlignment);  // size of headers
  w.U32(0);               // checksum
  w.U16(2);               // GUI subsystem
  w.U16(0);
  for (int i = 0; i < 4; ++i) image.pe32Plus ? w.U64(0x100000) : w.U32(0x100000);  // stack, heap
  w.U32(0);                                                                        // loader flags
  w.U32(16);  // data directories
  for (int i = 0; i < 16; ++i) {
    if (i == 2) {
      w.U32(kResourceRva);
      w.U32(static_cast<uint32_t>(rsrc.size()));
    } else {
      w.U64(0);
    }
  }
  // Section table.
  const size_t sectionTable = w.Size();
  auto section = [&](std::string_view name, uint32_t virtualSize, uint32_t rva, uint32_t rawSize,
                     uint32_t raw, uint32_t characteristics) {
    w.Text(name);
    w.PadTo(w.Size() + 8 - name.size());
    w.U32(virtualSize);
    w.U32(rva);
    w.U32(rawSize);
    w.U32(raw);
    w.U32(0), w.U32(0), w.U16(0), w.U16(0);
    w.U32(characteristics);
  };
  section(".text", static_cast<uint32_t>(code.size()), kTextRva, textRawSize, textRaw, 0x60000020);
  section(".rsrc", static_cast<uint32_t>(rsrc.size()), kResourceRva, rsrcRawSize, rsrcRaw,
          0x40000040);
  w.PadTo(textRaw);
  w.Append(code);
  w.PadTo(rsrcRaw);
  w.Append(rsrc);
  w.PadTo(rsrcRaw + rsrcRawSize);

  if (layout != nullptr) {
    layout->peHeader = peHeader;
    layout->sectionTable = sectionTable;
    layout->resourceSection = rsrcRaw;
    layout->resourceRva = kResourceRva;
    layout->resourceSize = rsrc.size();
  }
  return w.Bytes();
}

}  // namespace kessmar::test

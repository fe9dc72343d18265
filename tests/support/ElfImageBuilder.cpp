#include "support/ElfImageBuilder.h"

#include "support/ByteWriter.h"

namespace kessmar::test {

std::vector<uint8_t> BuildElfImage(const ElfImageSpec& image, ElfImageLayout* layout) {
  ByteWriter w(image.bigEndian);
  const size_t headerSize = image.is64 ? 64 : 52;
  const size_t entrySize = image.is64 ? 64 : 40;

  // Section name table: NUL, then every name, then ".shstrtab".
  std::string names(1, '\0');
  std::vector<size_t> nameOffsets;
  for (const auto& s : image.sections) {
    nameOffsets.push_back(names.size());
    names += s.name + '\0';
  }
  const size_t nameTableName = names.size();
  names += std::string(".shstrtab") + '\0';

  // Contents after the header, then the name table, then the section headers.
  w.PadTo(headerSize);
  std::vector<size_t> offsets;
  for (const auto& s : image.sections) {
    w.Align(8);
    offsets.push_back(w.Size());
    if (s.type != 8) w.Append(s.data);
  }
  const size_t nameTable = w.Size();
  w.Text(names);
  w.Align(8);
  const size_t sectionTable = w.Size();
  const size_t count = image.sections.size() + 2;  // null section and .shstrtab
  const size_t nameIndex = count - 1;

  auto header = [&](uint32_t name, uint32_t type, uint64_t offset, uint64_t size, uint32_t link) {
    const int word = image.is64 ? 8 : 4;
    w.U32(name);
    w.U32(type);
    w.Put(0, word);  // flags
    w.Put(0, word);  // address
    w.Put(offset, word);
    w.Put(size, word);
    w.U32(link);
    w.U32(0);        // info
    w.Put(1, word);  // alignment
    w.Put(0, word);  // entry size
  };
  header(0, 0, 0, image.extendedNumbering ? count : 0,
         image.extendedNumbering ? static_cast<uint32_t>(nameIndex) : 0);
  for (size_t i = 0; i < image.sections.size(); ++i) {
    header(static_cast<uint32_t>(nameOffsets[i]), image.sections[i].type, offsets[i],
           image.sections[i].data.size(), 0);
  }
  header(static_cast<uint32_t>(nameTableName), 3, nameTable, names.size(), 0);

  // The ELF header.
  auto& bytes = w.Bytes();
  bytes[0] = 0x7F, bytes[1] = 'E', bytes[2] = 'L', bytes[3] = 'F';
  bytes[4] = image.is64 ? 2 : 1;
  bytes[5] = image.bigEndian ? 2 : 1;
  bytes[6] = 1;         // version
  w.PatchAt(16, 2, 2);  // executable
  w.PatchAt(18, image.is64 ? 62 : 3, 2);
  w.PatchAt(20, 1, 4);
  const size_t tail = image.is64 ? 0x28 : 0x20;  // e_shoff, then flags, sizes and counts
  w.PatchAt(tail, sectionTable, image.is64 ? 8 : 4);
  const size_t sizes = image.is64 ? 0x34 : 0x28;
  w.PatchAt(sizes, headerSize, 2);
  w.PatchAt(sizes + 6, entrySize, 2);
  w.PatchAt(sizes + 8, image.extendedNumbering ? 0 : count, 2);
  w.PatchAt(sizes + 10, image.extendedNumbering ? 0xFFFF : nameIndex, 2);

  if (layout != nullptr) {
    layout->sectionTable = sectionTable;
    layout->sectionHeaderSize = entrySize;
    layout->nameTable = nameTable;
  }
  return w.Bytes();
}

}  // namespace kessmar::test

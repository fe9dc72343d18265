#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "platform/ExecutableCheck.h"

namespace kessmar::platform {
namespace {

#if defined(__x86_64__)
constexpr uint16_t kMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr uint16_t kMachine = EM_AARCH64;
#else
#error "Name this machine's ELF architecture"
#endif

bool Within(uint64_t offset, uint64_t size, uint64_t fileSize) {
  return offset <= fileSize && size <= fileSize - offset;
}

}  // namespace

std::optional<std::string> ExecutableProblem(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "it cannot be read";
  in.seekg(0, std::ios::end);
  const auto fileSize = static_cast<uint64_t>(in.tellg());
  in.seekg(0);
  Elf64_Ehdr header{};
  if (!in.read(reinterpret_cast<char*>(&header), sizeof header)) return "it is no program";
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return "it is no program";
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
      header.e_machine != kMachine) {
    return "it is a program for another kind of machine";
  }
  if (header.e_type != ET_EXEC && header.e_type != ET_DYN) return "it is not an executable";
  if (header.e_phentsize != sizeof(Elf64_Phdr) || header.e_phnum == 0 ||
      !Within(header.e_phoff, uint64_t{header.e_phnum} * sizeof(Elf64_Phdr), fileSize) ||
      (header.e_shnum != 0 &&
       !Within(header.e_shoff, uint64_t{header.e_shnum} * header.e_shentsize, fileSize))) {
    return "its headers lie beyond its end: it is cut short";
  }
  std::vector<Elf64_Phdr> segments(header.e_phnum);
  in.seekg(static_cast<std::streamoff>(header.e_phoff));
  if (!in.read(reinterpret_cast<char*>(segments.data()),
               static_cast<std::streamsize>(segments.size() * sizeof(Elf64_Phdr)))) {
    return "its program headers cannot be read";
  }
  for (const Elf64_Phdr& segment : segments) {
    if (!Within(segment.p_offset, segment.p_filesz, fileSize)) {
      return "a segment lies beyond its end: it is cut short";
    }
  }
  return std::nullopt;
}

}  // namespace kessmar::platform

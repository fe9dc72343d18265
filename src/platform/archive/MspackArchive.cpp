// SZDD expansion and cabinet extraction through libmspack.
#include <mspack.h>

#include "platform/Files.h"
#include "platform/archive/Archive.h"
#include "platform/archive/Staging.h"
#include "platform/lazy/Libraries.h"

namespace kessmar::platform {
namespace {

// libmspack is loaded at the first expansion; without it, that expansion fails.
void RequireDecompressor() {
  try {
    RequireLibmspack();
  } catch (const LibraryUnavailable& e) {
    throw ArchiveError(std::string("Cannot expand: ") + e.what());
  }
}

std::string MspackErrorText(int code) {
  switch (code) {
    case MSPACK_ERR_OPEN:
      return "cannot open a file";
    case MSPACK_ERR_READ:
      return "read error";
    case MSPACK_ERR_WRITE:
      return "write error";
    case MSPACK_ERR_SEEK:
      return "seek error";
    case MSPACK_ERR_NOMEMORY:
      return "out of memory";
    case MSPACK_ERR_SIGNATURE:
      return "bad signature";
    case MSPACK_ERR_DATAFORMAT:
      return "bad or corrupt data";
    case MSPACK_ERR_CHECKSUM:
      return "checksum error";
    case MSPACK_ERR_DECRUNCH:
      return "error during decompression";
    default:
      return "error " + std::to_string(code);
  }
}

std::optional<LocalDateTime> EntryTime(const mscabd_file& file) {
  LocalDateTime t{file.date_y, file.date_m, file.date_d, file.time_h, file.time_m, file.time_s};
  if (t.year < 1980 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
      t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  return t;
}

}  // namespace

void ExpandSzdd(const std::filesystem::path& source, const std::filesystem::path& target) {
  if (!ReadSzddHeader(source)) {
    throw ArchiveError(source.string() + " is not an SZDD compressed file");
  }
  RequireDecompressor();
  msszdd_decompressor* szdd = mspack_create_szdd_decompressor(nullptr);
  if (szdd == nullptr) throw ArchiveError("Cannot start the SZDD decompressor");
  Staging staging(target);
  const int result = szdd->decompress(szdd, source.c_str(), staging.Path().c_str());
  mspack_destroy_szdd_decompressor(szdd);
  if (result != MSPACK_ERR_OK) {
    throw ArchiveError("Cannot expand " + source.string() + ": " + MspackErrorText(result));
  }
  staging.Commit();
}

struct Cabinet::Impl {
  mscab_decompressor* decompressor = nullptr;
  mscabd_cabinet* cabinet = nullptr;
  std::vector<mscabd_file*> files;
  ~Impl() {
    if (cabinet != nullptr) decompressor->close(decompressor, cabinet);
    if (decompressor != nullptr) mspack_destroy_cab_decompressor(decompressor);
  }
};

Cabinet::Cabinet(const std::filesystem::path& path) : path_(path), impl_(std::make_unique<Impl>()) {
  RequireDecompressor();
  impl_->decompressor = mspack_create_cab_decompressor(nullptr);
  if (impl_->decompressor == nullptr) throw ArchiveError("Cannot start the cabinet decompressor");
  // The library keeps the name it was given for later reads: it must be the member's.
  impl_->cabinet = impl_->decompressor->open(impl_->decompressor, path_.c_str());
  if (impl_->cabinet == nullptr) {
    throw ArchiveError(path.string() + " is not a readable cabinet: " +
                       MspackErrorText(impl_->decompressor->last_error(impl_->decompressor)));
  }
  for (mscabd_file* file = impl_->cabinet->files; file != nullptr; file = file->next) {
    impl_->files.push_back(file);
    entries_.push_back(CabinetEntry{file->filename != nullptr ? file->filename : "",
                                    (file->attribs & MSCAB_ATTRIB_UTF_NAME) != 0, file->length,
                                    EntryTime(*file)});
  }
}

Cabinet::~Cabinet() = default;

void Cabinet::Extract(size_t index, const std::filesystem::path& target) {
  if (index >= impl_->files.size()) throw ArchiveError("No such file in " + path_.string());
  Staging staging(target);
  const int result = impl_->decompressor->extract(impl_->decompressor, impl_->files[index],
                                                  staging.Path().c_str());
  if (result != MSPACK_ERR_OK) {
    throw ArchiveError("Cannot extract " + entries_[index].name + " from " + path_.string() + ": " +
                       MspackErrorText(result));
  }
  staging.Commit();
}

}  // namespace kessmar::platform

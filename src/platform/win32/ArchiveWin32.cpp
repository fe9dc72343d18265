// SZDD expansion through LZ32 and cabinet extraction through cabinet.dll's FDI. FDI reads and
// writes through callbacks that get our own Windows handles, so paths stay wide.
#include <windows.h>

#include <fcntl.h>
#include <fdi.h>
#include <lzexpand.h>

#include <cstring>

#include "platform/Files.h"
#include "platform/archive/Archive.h"
#include "platform/archive/Staging.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {
namespace {

uint64_t FileSize(const std::filesystem::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// --- FDI callbacks -------------------------------------------------------------------------

// The name FDI is given for the cabinet; the open callback maps it to the real (wide) path.
constexpr char kCabinetToken[] = "cabinet";
thread_local const std::filesystem::path* openCabinet = nullptr;

FNALLOC(FdiAlloc) {
  return ::HeapAlloc(::GetProcessHeap(), 0, cb);
}
FNFREE(FdiFree) {
  ::HeapFree(::GetProcessHeap(), 0, pv);
}
FNOPEN(FdiOpen) {
  (void)oflag;
  (void)pmode;
  if (openCabinet == nullptr || std::strcmp(pszFile, kCabinetToken) != 0) return -1;
  HANDLE h = ::CreateFileW(openCabinet->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(h);
}
FNREAD(FdiRead) {
  DWORD got = 0;
  if (!::ReadFile(reinterpret_cast<HANDLE>(hf), pv, cb, &got, nullptr))
    return static_cast<UINT>(-1);
  return got;
}
FNWRITE(FdiWrite) {
  DWORD put = 0;
  if (!::WriteFile(reinterpret_cast<HANDLE>(hf), pv, cb, &put, nullptr)) {
    return static_cast<UINT>(-1);
  }
  return put;
}
FNCLOSE(FdiClose) {
  return ::CloseHandle(reinterpret_cast<HANDLE>(hf)) ? 0 : -1;
}
FNSEEK(FdiSeek) {
  return static_cast<LONG>(
      ::SetFilePointer(reinterpret_cast<HANDLE>(hf), dist, nullptr, static_cast<DWORD>(seektype)));
}

std::optional<LocalDateTime> DosTime(USHORT date, USHORT time) {
  LocalDateTime t{1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F,
                  time >> 11,         (time >> 5) & 0x3F, (time & 0x1F) * 2};
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 59) {
    return std::nullopt;
  }
  return t;
}

// What one pass over the cabinet does: list every file, or write file `wanted` to `target`.
struct Pass {
  std::vector<CabinetEntry>* entries = nullptr;
  size_t wanted = SIZE_MAX;
  const std::filesystem::path* target = nullptr;
  size_t seen = 0;
  bool written = false;
  DWORD writeError = 0;
};

FNFDINOTIFY(FdiNotify) {
  Pass& pass = *static_cast<Pass*>(pfdin->pv);
  switch (fdint) {
    case fdintCOPY_FILE: {
      const size_t index = pass.seen++;
      if (pass.entries != nullptr) {
        pass.entries->push_back(CabinetEntry{
            pfdin->psz1 != nullptr ? pfdin->psz1 : "", (pfdin->attribs & _A_NAME_IS_UTF) != 0,
            static_cast<uint32_t>(pfdin->cb), DosTime(pfdin->date, pfdin->time)});
        return 0;
      }
      if (index != pass.wanted) return 0;  // skip
      HANDLE h = ::CreateFileW(pass.target->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) {
        pass.writeError = ::GetLastError();
        return -1;
      }
      return reinterpret_cast<INT_PTR>(h);
    }
    case fdintCLOSE_FILE_INFO:
      ::CloseHandle(reinterpret_cast<HANDLE>(pfdin->hf));
      pass.written = true;
      return TRUE;
    case fdintNEXT_CABINET:
      return -1;  // sets of cabinets are not supported
    default:
      return 0;
  }
}

std::string FdiErrorText(const ERF& erf) {
  switch (erf.erfOper) {
    case FDIERROR_CABINET_NOT_FOUND:
      return "cannot open the file";
    case FDIERROR_NOT_A_CABINET:
      return "not a cabinet";
    case FDIERROR_UNKNOWN_CABINET_VERSION:
      return "unknown cabinet version";
    case FDIERROR_CORRUPT_CABINET:
      return "bad or corrupt data";
    case FDIERROR_ALLOC_FAIL:
      return "out of memory";
    case FDIERROR_BAD_COMPR_TYPE:
      return "unknown compression";
    case FDIERROR_MDI_FAIL:
      return "error during decompression";
    case FDIERROR_TARGET_FILE:
      return "write error";
    case FDIERROR_USER_ABORT:
      return "stopped";
    default:
      return "error " + std::to_string(erf.erfOper);
  }
}

// Runs one FDI pass over the cabinet at path. Throws ArchiveError with what.
void RunPass(const std::filesystem::path& path, Pass& pass, const std::string& what) {
  ERF erf{};
  HFDI fdi = ::FDICreate(FdiAlloc, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek,
                         cpuUNKNOWN, &erf);
  if (fdi == nullptr) throw ArchiveError("Cannot start the cabinet decompressor");
  openCabinet = &path;
  char name[] = "cabinet";
  char folder[] = "";
  const BOOL ok = ::FDICopy(fdi, name, folder, 0, FdiNotify, nullptr, &pass);
  openCabinet = nullptr;
  ::FDIDestroy(fdi);
  if (!ok) {
    if (pass.writeError != 0) throw ArchiveError(what + ": " + win32::ErrorText(pass.writeError));
    throw ArchiveError(what + ": " + FdiErrorText(erf));
  }
}

}  // namespace

void ExpandSzdd(const std::filesystem::path& source, const std::filesystem::path& target) {
  const auto header = ReadSzddHeader(source);
  if (!header) throw ArchiveError(source.string() + " is not an SZDD compressed file");
  Staging staging(target);
  // LZ32 opens by narrow names only: hand it our own handles through the C runtime's.
  std::wstring sourceName = source.wstring();
  std::wstring stagingName = staging.Path().wstring();
  OFSTRUCT ofIn{};
  OFSTRUCT ofOut{};
  const INT in = ::LZOpenFileW(sourceName.data(), &ofIn, OF_READ | OF_SHARE_DENY_WRITE);
  if (in < 0) throw ArchiveError("Cannot open " + source.string() + " for expansion");
  const INT out = ::LZOpenFileW(stagingName.data(), &ofOut, OF_CREATE | OF_WRITE);
  if (out < 0) {
    ::LZClose(in);
    throw ArchiveError("Cannot write beside " + target.string());
  }
  const LONG written = ::LZCopy(in, out);
  ::LZClose(in);
  ::LZClose(out);
  if (written < 0) {
    throw ArchiveError("Cannot expand " + source.string() + ": LZ error " +
                       std::to_string(written));
  }
  // A truncated file expands without an error, only shorter: the header says how long it is.
  const uint64_t size = FileSize(staging.Path());
  if (static_cast<uint64_t>(written) != header->expandedSize || size != header->expandedSize) {
    throw ArchiveError("Cannot expand " + source.string() + ": bad or corrupt data (" +
                       std::to_string(size) + " of " + std::to_string(header->expandedSize) +
                       " bytes)");
  }
  staging.Commit();
}

struct Cabinet::Impl {};

Cabinet::Cabinet(const std::filesystem::path& path) : path_(path), impl_(std::make_unique<Impl>()) {
  Pass pass;
  pass.entries = &entries_;
  RunPass(path_, pass, path.string() + " is not a readable cabinet");
}

Cabinet::~Cabinet() = default;

void Cabinet::Extract(size_t index, const std::filesystem::path& target) {
  if (index >= entries_.size()) throw ArchiveError("No such file in " + path_.string());
  Staging staging(target);
  Pass pass;
  pass.wanted = index;
  const std::filesystem::path& stagingPath = staging.Path();
  pass.target = &stagingPath;
  const std::string what = "Cannot extract " + entries_[index].name + " from " + path_.string();
  RunPass(path_, pass, what);
  // A truncated cabinet may end the pass early without reaching the file.
  if (!pass.written || FileSize(stagingPath) != entries_[index].length) {
    throw ArchiveError(what + ": bad or corrupt data");
  }
  staging.Commit();
}

}  // namespace kessmar::platform

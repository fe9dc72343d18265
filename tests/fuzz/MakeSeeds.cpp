// Writes the seed corpora of the discovery, version resource, scanner and settings file fuzz
// targets into FOLDER/<target>/, from the grammars in docs/ and the tests' own builders.
//   make_fuzz_seeds FOLDER        (FOLDER is tests/fuzz/corpus)
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "csp2/ScannerProtocol.h"
#include "dbclient/DiscoveryMessage.h"
#include "support/ElfImageBuilder.h"
#include "support/PeImageBuilder.h"
#include "support/TempDir.h"
#include "version/VersionInfoWriter.h"

using namespace kessmar;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& folder, const std::string& name, const Bytes& bytes) {
  fs::create_directories(folder);
  testing::WriteFile(folder / name,
                     std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void Write(const fs::path& folder, const std::string& name, const std::string& text) {
  Write(folder, name, Bytes(text.begin(), text.end()));
}

void DiscoverySeeds(const fs::path& folder) {
  using namespace dbclient;
  Write(folder, "request", FormatDiscoveryRequest(0x00c0ffee));
  Write(folder, "request-zero", FormatDiscoveryRequest(0));
  Write(folder, "answer-tcp", FormatDiscoveryAnswer(0xdeadbeef, "VEMOPRO@127.0.0.1"));
  Write(folder, "answer-socket",
        FormatDiscoveryAnswer(0x0badf00d, "VEMOPRO@/run/user/1000/kessmar/pg"));
  Write(folder, "answer-longest",
        FormatDiscoveryAnswer(0xffffffff, std::string(20, 'N') + "@" + std::string(42, 'a')));
  Write(folder, "answer-upper-hex", std::string("KESSMAR-DB-HERE 1 DEADBEEF VEMOPRO@host"));
  Write(folder, "answer-line-break", FormatDiscoveryAnswer(1, "A@b") + "\r\n");
}

Bytes VersionBlock(bool withTranslation, bool withFixed) {
  VersionInfoContents c;
  if (withFixed) c.fixed = FixedFileInfo{{1, 0, 0, 170}, {1, 0, 3, 171}};
  c.tables.push_back({"040904E4",
                      {{"CompanyName", "Kessmar B.V."},
                       {"ProductName", "Kessmar Scanner Tool"},
                       {"FileVersion", "1.0.0.170"},
                       {"BuildTimestamp", "4-11-2010 14:48:01"}}});
  if (withTranslation) c.vars.push_back({"Translation", UsEnglishTranslation()});
  return BuildVersionResource(c);
}

void VersionSeeds(const fs::path& folder) {
  // First byte 0: a whole file; 1: a block put into an ELF file; 2: into a PE file.
  auto seed = [&](const std::string& name, uint8_t mode, const Bytes& rest) {
    Bytes bytes{mode};
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    Write(folder, name, bytes);
  };
  const Bytes block = VersionBlock(true, true);
  for (bool is64 : {false, true}) {
    for (bool bigEndian : {false, true}) {
      test::ElfImageSpec elf{is64, bigEndian, is64 && bigEndian, {}};
      elf.sections.push_back({".text", 1, {0xC3}});
      elf.sections.push_back({".kessmar_version", 1, block});
      seed(std::string("elf") + (is64 ? "64" : "32") + (bigEndian ? "-be" : "-le"), 0,
           test::BuildElfImage(elf));
    }
  }
  for (bool pe32Plus : {false, true}) {
    test::PeImageSpec pe;
    pe.pe32Plus = pe32Plus;
    pe.resources.push_back({3, 1, 0x0409, {9, 9, 9, 9}});
    pe.resources.push_back({16, 1, 0x0409, block});
    seed(pe32Plus ? "pe32plus" : "pe32", 0, test::BuildPeImage(pe));
  }
  seed("block-in-elf", 1, block);
  seed("block-in-elf64-be", 1 | 0x04 | 0x08, VersionBlock(false, true));
  seed("block-in-pe", 2, VersionBlock(true, false));
  seed("block-in-pe32plus", 2 | 0x04, block);
}

Bytes Frame(uint8_t command, uint8_t tag, const Bytes& payload) {
  Bytes out;
  csp2::AppendFrame(out, command, tag, payload);
  return out;
}

Bytes Record(uint16_t index, const std::string& barcode) {
  Bytes payload;
  csp2::PutU16(payload, index);
  payload.insert(payload.end(), {0x07, 0xF7, 0x22, 0x6B});  // 2026/12/08 14:31:07 or so
  payload.insert(payload.end(), barcode.begin(), barcode.end());
  return payload;
}

void FrameSeeds(const fs::path& folder) {
  using namespace csp2::command;
  Write(folder, "status-request", Frame(kStatus, 7, {}));
  Write(folder, "status-reply", Frame(ReplyTo(kStatus), 7, {2, 0}));
  Bytes read = Frame(ReplyTo(kRead), 9, {2, 0, 0x2A, 0, 0, 0});
  for (const Bytes& f :
       {Frame(kScanRecord, 0, Record(0, "8712345678906")),
        Frame(kScanRecord, 0, Record(1, std::string(250, '7'))), Frame(kReadEnd, 9, {2, 0})}) {
    read.insert(read.end(), f.begin(), f.end());
  }
  Write(folder, "read-reply", read);
  Bytes noisy{0x41, 0x02, 0x02, 0xFF, 0xFF};
  noisy.insert(noisy.end(), read.begin(), read.end());
  noisy.push_back(0x02);
  Write(folder, "noise-and-a-tail", noisy);
  Bytes bad = read;
  bad[12] ^= 0x01;
  Write(folder, "bad-checksum", bad);
  Write(folder, "largest", Frame(ReplyTo(kInterrogate), 3, Bytes(csp2::kMaxPayload, 0x02)));
  Write(folder, "refused", Frame(kRefused, 4, {0x09}));
}

// Session scripts in the grammar of ScannerSessionFuzzer.cpp.
struct ScriptPiece {
  uint8_t flags;
  uint8_t command;
  Bytes payload;
};

void AddReply(Bytes& script, const std::vector<ScriptPiece>& pieces, bool stay = false) {
  script.push_back(static_cast<uint8_t>(pieces.size() | (stay ? 0x80 : 0)));
  for (const ScriptPiece& piece : pieces) {
    const bool large = piece.payload.size() > 255;
    script.push_back(static_cast<uint8_t>(piece.flags | (large ? 0x20 : 0)));
    script.push_back(piece.command);
    script.push_back(static_cast<uint8_t>(piece.payload.size() & 0xFF));
    script.insert(script.end(), piece.payload.begin(), piece.payload.end());
  }
}

void SessionSeeds(const fs::path& folder) {
  using namespace csp2::command;
  constexpr uint8_t kReply = 0x03;   // the request's command and tag
  constexpr uint8_t kRecord = 0x00;  // tag 0, command as given
  constexpr uint8_t kEnd = 0x01;     // the request's tag, command as given
  constexpr uint8_t kCts = 0, kDeviceId9 = 3 | (2 << 3), kRead = 4, kClear = 6, kRestore = 7;
  auto packet = [](int index) { return static_cast<uint8_t>(5 | ((index + 1) << 3)); };
  const std::vector<ScriptPiece> batch = {{kReply, 0, {2, 0, 0x2A, 0, 0, 0}},
                                          {kRecord, kScanRecord, Record(0, "8712345678906")},
                                          {kRecord, kScanRecord, Record(1, "ABC-123")},
                                          {kEnd, kReadEnd, {2, 0}}};
  const ScriptPiece status{kReply, 0, {2, 0}};
  const ScriptPiece id{kReply, 0, {0, 0, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}};

  Bytes whole{7, kCts, kDeviceId9, kRead, packet(0), packet(1), packet(2), kClear};
  AddReply(whole, {status});
  AddReply(whole, {id});
  AddReply(whole, batch);
  AddReply(whole, {{kReply, 0, {0, 0}}});
  Write(folder, "poll-read-clear", whole);

  Bytes empty{4, kCts, kRead, packet(0), kClear};
  AddReply(empty, {{kReply, 0, {0, 0}}});
  AddReply(empty, {{kReply, 0, {0, 0, 0, 0, 0, 0}}, {kEnd, kReadEnd, {0, 0}}});
  Write(folder, "empty-batch", empty);

  std::vector<ScriptPiece> damaged = batch;
  damaged[2].flags |= 0x04;  // wrong checksum on the second record
  Bytes retry{6, kRead, kClear, kRead, packet(1), kClear, kCts};
  AddReply(retry, damaged, true);
  AddReply(retry, batch);
  AddReply(retry, {{kReply, 0, {0, 0}}});
  AddReply(retry, {status});
  Write(folder, "damaged-then-whole", retry);

  Bytes restore{5, kRead, kRestore, packet(0), kClear, kCts};
  AddReply(restore, batch);
  Write(folder, "restore-forgets", restore);

  Bytes silent{3, kCts, kCts, kDeviceId9};
  AddReply(silent, {});
  AddReply(silent, {{0x10, 0, {0x02, 0x81}}});  // half a frame, bare
  Write(folder, "silent-and-cut", silent);
}

void IniSeeds(const fs::path& folder) {
  // First line "section|key|value", then the file.
  Write(folder, "settings",
        "SYSTEM|COMPORT|COM5\n[SYSTEM]\r\nAUTO=1\r\nSAMENVOEGEN=0\r\nACTIE=2\r\nCONNECT=1\r\n"
        "COMPORT=COM3\r\nVEMOSERVER=VEMOPRO@127.0.0.1\r\n");
  Write(folder, "new-key",
        "SYSTEM|VEMOSERVER|VEMOPRO@/run/user/0/pg\n[SYSTEM]\nAUTO=1\n\n[Other]\nx=y\n");
  Write(folder, "new-section", "CONFIG|LOGFILENAME|WUPDATE.LOG\n; written by the tool\n[Old]\nk=v");
  Write(folder, "empty-file", "server|port|5433\n");
  Write(folder, "comments-and-case",
        "system|auto|0\n# comment\n[ System ]\n ; AUTO=5\n Auto = 1 \n[system]\nAUTO=2\n"
        "[SYSTEM\nACTIE=3\n");
  Write(folder, "line-break-refused",
        "SYSTEM|COMPORT|COM3\x01[X]\x01k=v\n[SYSTEM]\nCOMPORT=COM1\n");
  Write(folder, "bad-key-refused", "SYSTEM|[X]|v\n[SYSTEM]\nA=1\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "Usage: make_fuzz_seeds FOLDER\n";
    return 2;
  }
  const fs::path root = argv[1];
  DiscoverySeeds(root / "discovery_datagram_fuzzer");
  VersionSeeds(root / "version_resource_fuzzer");
  FrameSeeds(root / "scanner_frame_fuzzer");
  SessionSeeds(root / "scanner_session_fuzzer");
  IniSeeds(root / "ini_file_fuzzer");
  return 0;
}

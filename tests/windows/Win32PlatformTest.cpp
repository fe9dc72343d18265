// The Windows implementations of src/platform against the real Windows APIs (under Wine in CI):
// COM ports that the test registers in the Ports class itself, the windres version resource,
// LZ32 and FDI, the named mutex, folders, file times and processes.
#include <windows.h>

#include <devguid.h>
#include <gtest/gtest.h>
#include <setupapi.h>

#include <fstream>

#include "common/IniFile.h"
#include "csp2/csp2.h"
#include "platform/AppPaths.h"
#include "platform/FileTimes.h"
#include "platform/KnownFolders.h"
#include "platform/Processes.h"
#include "platform/SingleInstance.h"
#include "platform/archive/Archive.h"
#include "platform/serial/SerialPorts.h"
#include "platform/win32/FileVersionInfo.h"
#include "support/RegisteredComPort.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "updater/SzddCompressor.h"

namespace kessmar::testing {
namespace {

namespace fs = std::filesystem;
using namespace kessmar::platform;

TEST(Win32Ports, SetupApiListsRegisteredPortsAndForgetsRemovedOnes) {
  auto HasEntry = [](const std::string& entry) {
    const auto entries = EnumerateSerialPorts(false);
    return entries && std::find(entries->begin(), entries->end(), entry) != entries->end();
  };
  {
    RegisteredComPort port(L"COM23", L"OPTICON Test Scanner \u00e9 (COM23)");
    EXPECT_TRUE(HasEntry("COM23: = OPTICON Test Scanner \xC3\xA9 (COM23)"));
    const auto ports = ListSerialPorts(SerialPortsEnvironment::FromProcess());
    const auto found = std::find_if(ports.begin(), ports.end(),
                                    [](const SerialPortInfo& p) { return p.number == 23; });
    ASSERT_NE(found, ports.end());
    EXPECT_EQ(found->devicePath, "\\\\.\\COM23");
    EXPECT_EQ(ReservedComNumbers(SerialPortsEnvironment::FromProcess()).count(23), 1u);
    // Registered but with no device behind it: not openable, and not a port to open.
    EXPECT_FALSE(HasEntry("COM23: = x"));
    const auto openable = EnumerateSerialPorts(true);
    EXPECT_TRUE(!openable || std::none_of(openable->begin(), openable->end(),
                                          [](const auto& e) { return e.rfind("COM23:", 0) == 0; }));
  }
  EXPECT_FALSE(HasEntry("COM23: = OPTICON Test Scanner \xC3\xA9 (COM23)"));
  EXPECT_FALSE(ResolveComPort(0));
  EXPECT_FALSE(ResolveComPort(256));
  // The library refuses a port that does not exist, and holds nothing.
  EXPECT_LT(csp2InitEx(199), 0);
  EXPECT_EQ(csp2GetCTS(), 0);
  EXPECT_EQ(csp2Restore(), 0);
}

TEST(Win32VersionResource, WindresBlockReadsBackThroughWindows) {
  const auto block = win32::FileVersionBlock(KESSMAR_VERSION_SAMPLE);
  ASSERT_TRUE(block);
  const std::string table = "\\StringFileInfo\\040904E4\\";
  EXPECT_EQ(win32::FileVersionText(*block, table + "ProductName"), "Kessmar Scanner Tool");
  EXPECT_EQ(win32::FileVersionText(*block, table + "FileVersion"), "1.0.0.170");
  EXPECT_EQ(win32::FileVersionText(*block, table + "BuildTimestamp"), "4-11-2010 14:48:01");
  EXPECT_EQ(win32::FileVersionText(*block, table + "LegalCopyright"),
            "\xC2\xA9 2026 Kessmar B.V., Veenendaal");
  EXPECT_FALSE(win32::FileVersionText(*block, table + "NoSuchValue"));
  void* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block->data(), L"\\", &fixed, &length));
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(info->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(info->dwFileVersionLS, 170u);
  // This test program carries none.
  EXPECT_FALSE(win32::FileVersionBlock(ExecutablePath()));
}

TEST(Win32Archives, Lz32AndFdiExpandAndRefuseDamage) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "regel " + std::to_string(i % 37) + "\r\n";
  const std::vector<uint8_t> data(text.begin(), text.end());
  const auto packed = CompressSzdd(data, 'e');
  const fs::path source = dir.Write("wusetup.ex_", packed);
  ASSERT_TRUE(ReadSzddHeader(source));
  EXPECT_EQ(ReadSzddHeader(source)->missingChar, 'e');
  ExpandSzdd(source, dir / "wusetup.exe");
  EXPECT_EQ(ReadFile(dir / "wusetup.exe"), text);
  // LZ32 expands a cut file "successfully" and short: the header's size catches it, and the
  // earlier result stays.
  const fs::path cut = dir.Write(
      "cut.ex_", std::vector<uint8_t>(packed.begin(), packed.begin() + packed.size() / 2));
  EXPECT_THROW(ExpandSzdd(cut, dir / "wusetup.exe"), ArchiveError);
  EXPECT_EQ(ReadFile(dir / "wusetup.exe"), text);
  EXPECT_THROW(ExpandSzdd(dir / "wusetup.exe", dir / "x"), ArchiveError);  // not SZDD

  // A cabinet made by gcab at build time, with a sub-folder.
  Cabinet cabinet(KESSMAR_TEST_CABINET);
  ASSERT_EQ(cabinet.Entries().size(), 2u);
  size_t sub = cabinet.Entries()[0].name == "sub\\b.txt" ? 0 : 1;
  EXPECT_EQ(cabinet.Entries()[sub].name, "sub\\b.txt");
  EXPECT_EQ(cabinet.Entries()[1 - sub].name, "a.txt");
  EXPECT_EQ(cabinet.Entries()[sub].length, 6u);
  ASSERT_TRUE(cabinet.Entries()[sub].time);
  EXPECT_EQ(cabinet.Entries()[sub].time->year, 2019);
  cabinet.Extract(sub, dir / "b.txt");
  EXPECT_EQ(ReadFile(dir / "b.txt"), "bbbbb\n");
  cabinet.Extract(1 - sub, dir / "a.txt");
  EXPECT_EQ(ReadFile(dir / "a.txt").size(), cabinet.Entries()[1 - sub].length);

  // A truncated cabinet: an error, never a short file in place of the target.
  const std::string whole = ReadFile(KESSMAR_TEST_CABINET);
  WriteFile(dir / "cut.cab", whole.substr(0, whole.size() - 40));
  bool refused = false;
  try {
    Cabinet damaged(dir / "cut.cab");
    for (size_t i = 0; i < damaged.Entries().size(); ++i) damaged.Extract(i, dir / "b.txt");
  } catch (const ArchiveError&) {
    refused = true;
  }
  EXPECT_TRUE(refused);
  EXPECT_EQ(ReadFile(dir / "b.txt"), "bbbbb\n");
  EXPECT_THROW(Cabinet(dir / "a.txt"), ArchiveError);
}

TEST(Win32Services, MutexFoldersTimesAndProcesses) {
  // The named mutex: a second holder sees the first, and the name is free once it is gone.
  auto first = CreateSingleInstanceMarker();
  auto second = CreateSingleInstanceMarker();
  const std::string name = "KessmarTest" + std::to_string(CurrentProcessId());
  EXPECT_FALSE(first->AcquireOrDetectOther(name));
  EXPECT_TRUE(second->AcquireOrDetectOther(name));
  EXPECT_TRUE(second->IsHeldByOther(name));
  EXPECT_FALSE(first->IsHeldByOther(name));
  // Another process sees the holder, and sees the name free once it is released.
  TempDir probeDir;
  EXPECT_EQ(RunProgram(KESSMAR_SINGLE_INSTANCE_PROBE, {name}, probeDir / "o", probeDir / "e"), 1);
  first.reset();
  EXPECT_FALSE(second->IsHeldByOther(name));
  EXPECT_EQ(RunProgram(KESSMAR_SINGLE_INSTANCE_PROBE, {name}, probeDir / "o", probeDir / "e"), 0);

  // Folders: the program's own, with its settings file and Data folder beside it.
  const fs::path exe = ExecutablePath();
  EXPECT_EQ(exe.extension(), ".exe");
  EXPECT_TRUE(fs::is_regular_file(exe));
  EXPECT_EQ(SettingsFilePath(exe).filename(), exe.stem().string() + ".ini");
  EXPECT_TRUE(DataFolderPath(exe).ends_with("\\Data\\"));
  EXPECT_TRUE(fs::is_directory(TemporaryFolder()));
  EXPECT_FALSE(DocumentsFolder().empty());
  ASSERT_TRUE(LocalAppDataFolder());
  EXPECT_TRUE(fs::is_directory(SystemFolder()));
  EXPECT_TRUE(fs::is_directory(WindowsFolder()));

  // File times in local time, a round trip through the system's zone.
  TempDir dir;
  WriteFile(dir / "t.dat", "x");
  SetLastWriteTime(dir / "t.dat", LocalDateTime{2010, 11, 4, 14, 48, 2});
  EXPECT_EQ(LastWriteTime(dir / "t.dat"), (LocalDateTime{2010, 11, 4, 14, 48, 2}));
  EXPECT_FALSE(LastWriteTime(dir / "none"));
  UniqueFile unique(dir.Path(), "kst");
  unique.Write("a\nb", 3);
  unique.Close();
  EXPECT_EQ(ReadFile(unique.Path()), "a\nb");  // binary: no "\r" added

  // Processes: CreateProcessW with arguments that need quoting arrive unchanged.
  EXPECT_TRUE(IsRunnableProgram(exe));
  EXPECT_FALSE(IsRunnableProgram(dir / "t.dat"));
  EXPECT_TRUE(WaitForProcessEnd(0x7FFFFFF0, std::chrono::milliseconds(10)));
  const int code = RunProgram(KESSMAR_BATCH_TOOL, {"dump", (dir / "a \"b\" c\\").string()},
                              dir / "out", dir / "err");
  EXPECT_EQ(code, 1);
  EXPECT_NE(ReadFile(dir / "err").find("a \"b\" c\\"), std::string::npos) << ReadFile(dir / "err");
  EXPECT_FALSE(StartDetachedProcess(dir / "missing.exe", {}));
}

TEST(Win32Settings, IniFileWritesOverItselfAndReadsWindowsLineEnds) {
  TempDir dir;
  const IniFile ini(dir / "kessmar-scanner-tool.ini");
  ini.Write("Settings", "ComPort", "7");
  ini.Write("Settings", "ComPort", "8");  // the second save replaces the file
  ini.Write("Settings", "DataFolder", "C:\\Kessmar\\Data\\");
  EXPECT_EQ(ini.Read("settings", "comport"), "8");
  EXPECT_EQ(ini.Read("Settings", "DataFolder"), "C:\\Kessmar\\Data\\");
  // A file saved by a Windows editor.
  WriteFile(dir / "edited.ini", "[Settings]\r\nComPort = 12 \r\n");
  EXPECT_EQ(IniFile(dir / "edited.ini").Read("Settings", "ComPort"), "12");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 2);
}

}  // namespace
}  // namespace kessmar::testing

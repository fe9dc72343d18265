// The scanner link without windows: a view that records what the window would show, against a
// scripted scanner (for the exact order of effects) and against the real csp2 library with the
// emulated scanner on a pseudo-terminal.
#include "scanner/ScannerLink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/LocalTime.h"
#include "platform/serial/SerialPorts.h"
#include "scanner/ScannerLibrary.h"
#include "support/EmulatorProcess.h"
#include "support/ScriptedScanner.h"
#include "support/TempDir.h"

namespace kessmar::testing {
namespace {

constexpr const char* kScannerPort = "COM5: = OPTICON OPN-2001 (COM5)";
const auto kReadAt = std::chrono::system_clock::from_time_t(1'765'000'000);

// Every call of the link, as one line each, in order.
class RecordingView : public ScannerLinkView {
 public:
  std::vector<std::string> events;
  bool automatic = true;
  bool handOn = true;
  std::function<void()> onPoll;
  std::function<void()> onPump;

  void ShowConnectButton(bool linked) override {
    Add(linked ? "button Verbreken" : "button Verbinden");
  }
  void ShowScannerId(const std::string& id) override { Add("id " + id); }
  void ShowLinkState(bool up) override { Add(up ? "state up" : "state down"); }
  void SelectPortOf(int32_t port) override {
    Add("select COM" + std::to_string(port));
    if (link != nullptr) link->ChoosePort("COM" + std::to_string(port));
  }
  void ClearTypedPort() override { Add("clear typed port"); }
  bool IsAutomatic() override { return automatic; }
  void PumpEvents() override {
    Add("pump");
    if (onPump) onPump();
  }
  void ShowInfo(const std::string& text) override { Add("info " + text); }
  void ShowError(const std::string& text) override { Add("error " + text); }
  void StopPolling() override { Add("stop polling"); }
  void StartPolling() override { Add("start polling"); }
  void Poll() override {
    Add("poll");
    if (onPoll) onPoll();
  }
  bool ProcessBatch() override {
    Add("process");
    return handOn;
  }
  void Log(LinkLogArea, LinkLogLevel level, const std::string& text) override {
    if (level != LinkLogLevel::Debug) Add("log " + text);
  }

  ScannerLink* link = nullptr;

 private:
  void Add(std::string event) { events.push_back(std::move(event)); }
};

class ScannerLinkTest : public ::testing::Test {
 protected:
  ScannerLinkTest() { view.link = &link; }

  // The events since the last call.
  std::vector<std::string> Events() { return std::exchange(view.events, {}); }
  std::string DataFolder() const { return (dir.Path() / "Data").string() + "/"; }
  std::string HistoryCopy() const {
    return DataFolder() + HistoryFileName(platform::LocalTime(kReadAt));
  }
  void Tick() {
    link.RefreshPortList(0);
    link.Tick(DataFolder());
  }

  TempDir dir;
  ScriptedScanner scanner;
  RecordingView view;
  MemTable table;
  std::vector<std::string> ports{kScannerPort};
  std::chrono::steady_clock::time_point now{};
  ScannerLink link{scanner,
                   view,
                   table,
                   [this](bool) { return std::optional(ports); },
                   [] { return kReadAt; },
                   [this] { return now; }};
};

TEST_F(ScannerLinkTest, AutomaticTickConnectsReadsSavesHandsOnAndClearsInTheWindowsOrder) {
  scanner.scans = {"8712345678906", "4006381333931"};
  Tick();
  EXPECT_EQ(Events(),
            (std::vector<std::string>{
                "select COM5",
                "log Batch read with 2 scans",
                "log Batch saved as " + DataFolder() + "last_read.dat and " + HistoryCopy(),
                "process",
                "log Scanner cleared",
                "id A1B2C3D4E5F",
                // The presence test of the same tick: the link comes up.
                "state up",
                "pump",
                "id A1B2C3D4E5F",
                "log Connected to the scanner A1B2C3D4E5F on COM5",
            }));
  EXPECT_TRUE(link.Connected);
  EXPECT_EQ(link.ConnectedPort, 5);
  EXPECT_EQ(link.ComPort, "COM5");
  EXPECT_EQ(link.ConnectAttempts, 1);
  EXPECT_EQ(table.RowCount(), 4);
  EXPECT_EQ(scanner.clears, 1);
  EXPECT_TRUE(std::filesystem::exists(DataFolder() + "last_read.dat"));

  // Pulled out: one tick later the link is down and the port given back.
  scanner.present = false;
  Tick();
  EXPECT_EQ(Events(), (std::vector<std::string>{"log The scanner link is down", "state down", "id ",
                                                "clear typed port"}));
  EXPECT_FALSE(link.Connected);
  EXPECT_EQ(link.ConnectedPort, -1);
}

TEST_F(ScannerLinkTest, ConnectButtonCases) {
  struct Case {
    const char* name;
    std::optional<std::string> entry;
    bool present;
    int32_t initResult;
    bool opened;
    std::vector<std::string> events;
    bool connected;
    int32_t connectedPort;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"no entry disconnects", std::nullopt, true, 0, true, {"button Verbinden", "id "}, false, -1},
      {"no port number: nothing happens", "Poort", true, 0, true, {}, false, -1},
      {"a port that will not open", "COM7", true, -1, false, {"log COM7 could not be opened"},
       false, -1},
      {"no scanner on the port", "COM7", false, 0, true,
       {"button Verbinden", "info Geen scanner gedetecteerd !"}, false, -1},
      {"a scanner: a poll tick follows", "COM7 (Scanner)", true, 0, true,
       {"button Verbreken", "poll"}, false, 7},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedScanner one;
    one.present = c.present;
    one.initResult = c.initResult;
    RecordingView events;
    MemTable data;
    ScannerLink manual(one, events, data, {}, {}, {});
    EXPECT_EQ(manual.ConnectClick(c.entry), c.opened);
    EXPECT_EQ(events.events, c.events);
    EXPECT_EQ(manual.Connected, c.connected);
    EXPECT_EQ(manual.ConnectedPort,
              c.name == std::string("a scanner: a poll tick follows") ? 7 : -1);
  }
}

TEST_F(ScannerLinkTest, TheConnectedPortAgainDisconnectsWithPollingStoppedAroundIt) {
  view.automatic = false;
  ASSERT_TRUE(link.ConnectClick("COM5"));
  link.Connected = true;  // as the poll tick that followed found it
  Events();
  ASSERT_TRUE(link.ConnectClick("COM5 (Scanner)"));
  EXPECT_EQ(Events(), (std::vector<std::string>{"stop polling", "button Verbinden", "id ",
                                                "log The scanner link is down", "state down",
                                                "start polling"}));
  EXPECT_FALSE(link.Connected);
  EXPECT_EQ(link.ConnectedPort, -1);
  EXPECT_EQ(scanner.restores, 1);
}

TEST_F(ScannerLinkTest, AFailingPortIsLoggedOnceUntilItChanges) {
  scanner.initResult = -1;
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_EQ(Events(), (std::vector<std::string>{"select COM5", "log COM5 could not be opened",
                                                "select COM5", "select COM5"}));
  EXPECT_FALSE(link.Connected);
}

TEST_F(ScannerLinkTest, FailedRunsWaitForTheirPauseAndAreToldOncePerBatch) {
  scanner.scans = {"A"};
  view.handOn = false;
  Tick();
  EXPECT_EQ(scanner.clears, 0);
  EXPECT_EQ(link.Retry().Pause(), std::chrono::seconds(30));
  EXPECT_TRUE(link.ShouldTellFailure(false));
  EXPECT_FALSE(link.ShouldTellFailure(false));  // the same scans: told once
  EXPECT_TRUE(link.ShouldTellFailure(true));    // a run the user started: always
  Events();

  // Unchanged scans wait; the pause over, they run again and fail again: the pause doubles.
  Tick();
  EXPECT_EQ(Events(), std::vector<std::string>{});
  now += std::chrono::seconds(30);
  Tick();
  EXPECT_EQ(
      Events(),
      (std::vector<std::string>{
          "log Batch read with 1 scans",
          "log Batch saved as " + DataFolder() + "last_read.dat and " + HistoryCopy(), "process",
          "log The scans stay in the scanner; unchanged, they are tried again "
          "in 60 s"}));

  // Handed on by "Opnieuw verwerken": the next read clears the scanner without a second run.
  link.BeforeRunByUser();
  link.HandedOnByUser();
  view.handOn = true;
  Tick();
  EXPECT_EQ(Events(),
            (std::vector<std::string>{
                "log Scanner cleared: its scans were handed on by \"Opnieuw verwerken\""}));
  EXPECT_EQ(scanner.clears, 1);
}

TEST_F(ScannerLinkTest, TwoConnectsWithoutAScannerAskToPlugItInAgain) {
  scanner.present = false;
  Tick();
  EXPECT_EQ(link.ConnectAttempts, 1);
  Events();
  Tick();
  EXPECT_EQ(Events(),
            (std::vector<std::string>{
                "select COM5", "id ", "info Verwijder a.u.b. de scanner en sluit hem opnieuw aan.",
                "log The scanner link is down", "state down", "id ", "clear typed port"}));
  EXPECT_EQ(link.ConnectAttempts, 0);
  EXPECT_FALSE(link.Connected);
}

TEST_F(ScannerLinkTest, ThePortListRebuildsTheComboOnlyWhenItsSizeChanges) {
  link.ComPort = "COM1";
  ports = {"COM10: = X", "COM1: = Y", kScannerPort};
  auto rebuild = link.RefreshPortList(0);
  ASSERT_TRUE(rebuild);
  EXPECT_EQ(rebuild->entries, (std::vector<std::string>{"COM1", "COM10", "COM5 (Scanner)"}));
  EXPECT_EQ(rebuild->selection, 0);
  EXPECT_FALSE(link.RefreshPortList(3));
  ASSERT_TRUE(link.PortList);
  EXPECT_EQ(link.PortList->size(), 3u);
  EXPECT_FALSE(link.ChoosePort("  "));
  EXPECT_TRUE(link.ChoosePort("COM10 (Scanner)"));
  EXPECT_EQ(link.ComPort, "COM10");
}

// The real csp2 library and the emulated scanner: the link finds the scanner among the ports the
// platform lists, reads its scans into the table and the Data folder, and clears it.
TEST(ScannerLinkWithEmulator, ReadsAndClearsTheEmulatedScanner) {
  test::EmulatorSandbox sandbox;
  test::EmulatorProcess emulator(sandbox.PortsDirectory(),
                                 {"--scan", "8712345678906", "--scan", "4006381333931"});
  Csp2Library library;
  RecordingView view;
  MemTable table;
  TempDir dir;
  const std::string data = (dir.Path() / "Data").string() + "/";
  ScannerLink link(
      library, view, table,
      [](bool onlyOpenable) { return platform::EnumerateSerialPorts(onlyOpenable); },
      [] { return std::chrono::system_clock::now(); }, {});
  link.RefreshPortList(0);
  link.Tick(data);
  EXPECT_TRUE(link.Connected);
  EXPECT_EQ(link.ConnectedPort, emulator.ComNumber());
  EXPECT_EQ(table.RowCount(), 4);
  EXPECT_TRUE(std::filesystem::exists(data + "last_read.dat"));
  EXPECT_EQ(emulator.Control("count"), "0");
  link.Release();
  EXPECT_FALSE(link.Connected);
}

}  // namespace
}  // namespace kessmar::testing

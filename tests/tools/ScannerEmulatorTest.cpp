// The scanner-emulator program: registration in the ports directory, its inputs and its exits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "csp2/ScannerProtocol.h"
#include "platform/serial/SerialPorts.h"
#include "support/EmulatorProcess.h"

namespace kessmar::test {
namespace {

namespace fs = std::filesystem;
using platform::EnumerateSerialPorts;
using platform::ResolveComPort;

bool Listed(const std::string& entry) {
  auto ports = EnumerateSerialPorts(false);
  return ports && std::find(ports->begin(), ports->end(), entry) != ports->end();
}

TEST(EmulatorTest, RegistersLowestFreeNumbersAndUnregistersOnTermination) {
  EmulatorSandbox sandbox;
  fs::path dir = sandbox.PortsDirectory();
  EXPECT_FALSE(EnumerateSerialPorts(false).has_value());

  EmulatorProcess scanner(dir);
  EmulatorProcess modem(dir, {"--name", "Acme Modem"});
  EmulatorProcess fixed(dir, {"--com", "12"});
  EXPECT_EQ(scanner.ComNumber(), 3);
  EXPECT_EQ(modem.ComNumber(), 4);
  EXPECT_EQ(fixed.ComNumber(), 12);
  EXPECT_EQ(fs::read_symlink(dir / "COM3"), scanner.Device());
  EXPECT_TRUE(fs::exists(dir / "COM3.ctl"));

  auto ports = EnumerateSerialPorts(false);
  ASSERT_TRUE(ports.has_value());
  EXPECT_EQ(*ports,
            (std::vector<std::string>{"COM3: = OPTICON OPN-2001 (emulated)", "COM4: = Acme Modem",
                                      "COM12: = OPTICON OPN-2001 (emulated)"}));
  EXPECT_EQ(ResolveComPort(4), modem.Device());
  EXPECT_EQ(EnumerateSerialPorts(true), ports);

  // A number held by a live emulator cannot be taken twice.
  std::string errors;
  EXPECT_EQ(EmulatorProcess::RunToEnd({"--ports-dir", dir.string(), "--com", "3"}, errors), 1);
  EXPECT_NE(errors.find("COM3 is already registered"), std::string::npos) << errors;

  int status = modem.Terminate();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (const char* name : {"COM4", "COM4.name", "COM4.ctl"}) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / name))) << name;
  }
  EXPECT_FALSE(Listed("COM4: = Acme Modem"));
  EXPECT_FALSE(ResolveComPort(4).has_value());

  // The freed number is the next one given out.
  EmulatorProcess next(dir);
  EXPECT_EQ(next.ComNumber(), 4);
}

TEST(EmulatorTest, KilledEmulatorLeavesAnAbsentEntryThatIsTakenOver) {
  EmulatorSandbox sandbox;
  fs::path dir = sandbox.PortsDirectory();
  EmulatorProcess first(dir, {"--com", "5"});
  ASSERT_TRUE(Listed("COM5: = OPTICON OPN-2001 (emulated)"));
  first.Kill();

  EXPECT_TRUE(fs::is_symlink(dir / "COM5"));  // nobody cleaned up
  EXPECT_FALSE(EnumerateSerialPorts(false).has_value());
  EXPECT_FALSE(ResolveComPort(5).has_value());

  EmulatorProcess second(dir, {"--com", "5", "--name", "Second"});
  EXPECT_TRUE(Listed("COM5: = Second"));
  EXPECT_EQ(ResolveComPort(5), second.Device());
}

TEST(EmulatorTest, TakesScansFromStandardInputAndTheControlSocket) {
  EmulatorSandbox sandbox;
  ScratchFolder files;
  fs::path scansFile = files.Path() / "scans.txt";
  {
    std::ofstream out(scansFile);
    out << "4006381333931\r\n\n12345670\n";
  }
  EmulatorProcess emulator(sandbox.PortsDirectory(),
                           {"--scan", "ABC-1", "--scans-file", scansFile.string()});
  EXPECT_EQ(emulator.Control("count"), "3");

  emulator.WriteInput("111\n\n222\ntoo\x01strange\n");
  EXPECT_TRUE(WaitUntil([&] { return emulator.Control("count") == "5"; }));
  emulator.WriteInput("333");  // the last line needs no line end
  emulator.CloseInput();
  EXPECT_TRUE(WaitUntil([&] { return emulator.Control("count") == "6"; }));

  EXPECT_EQ(emulator.Control("add 9999"), "ok");
  EXPECT_EQ(emulator.Control("add "), "error: empty barcode");
  EXPECT_EQ(emulator.Control("add " + std::string(251, 'x')),
            "error: barcode longer than 250 characters");
  EXPECT_EQ(emulator.Control("count"), "7");
  EXPECT_EQ(emulator.Control("misbehave sometimes"), "error: unknown mode sometimes");
  EXPECT_EQ(emulator.Control("misbehave none"), "ok");
  EXPECT_EQ(emulator.Control("fly"), "error: unknown command fly");
  EXPECT_EQ(emulator.Control("clear"), "ok");
  EXPECT_EQ(emulator.Control("count"), "0");

  EXPECT_EQ(emulator.Control("quit"), "ok");
  fs::path link = sandbox.PortsDirectory() / ("COM" + std::to_string(emulator.ComNumber()));
  EXPECT_TRUE(WaitUntil([&] { return !fs::exists(fs::symlink_status(link)); }));
}

TEST(EmulatorTest, AnswersAfterNoiseAndRefusesUnknownRequests) {
  EmulatorSandbox sandbox;
  EmulatorProcess emulator(sandbox.PortsDirectory(), {"--scan", "1", "--scan", "2"});
  platform::FileDescriptor fd(::open(emulator.Device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(fd);
  termios settings{};
  ASSERT_EQ(::tcgetattr(fd.get(), &settings), 0);
  ::cfmakeraw(&settings);
  ASSERT_EQ(::tcsetattr(fd.get(), TCSANOW, &settings), 0);

  std::vector<uint8_t> request{'n', 'o', 'i', 's', 'e', csp2::kStartByte, 0x01};  // cut frame
  csp2::AppendFrame(request, csp2::command::kStatus, 17, {});
  csp2::AppendFrame(request, 0x42, 18, {});
  csp2::AppendFrame(request, csp2::command::kClear, 19, std::vector<uint8_t>{1});  // too short
  ASSERT_EQ(::write(fd.get(), request.data(), request.size()),
            static_cast<ssize_t>(request.size()));

  csp2::FrameDecoder decoder;
  std::vector<csp2::Frame> replies;
  csp2::Frame frame;
  ASSERT_TRUE(WaitUntil([&] {
    pollfd entry{fd.get(), POLLIN, 0};
    if (::poll(&entry, 1, 10) == 1) {
      uint8_t buffer[256];
      ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
      if (n > 0) decoder.Append(buffer, static_cast<size_t>(n));
    }
    while (decoder.Next(frame) == csp2::FrameDecoder::Result::kFrame) replies.push_back(frame);
    return replies.size() >= 3;
  }));
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[0].command, 0x81);
  EXPECT_EQ(replies[0].tag, 17);
  EXPECT_EQ(replies[0].payload, (std::vector<uint8_t>{2, 0}));
  EXPECT_EQ(replies[1].command, csp2::command::kRefused);
  EXPECT_EQ(replies[1].payload, (std::vector<uint8_t>{0x42}));
  EXPECT_EQ(replies[2].command, csp2::command::kRefused);
  EXPECT_EQ(emulator.Control("count"), "2");
}

TEST(EmulatorTest, RejectsBadCommandLinesWithAMessage) {
  EmulatorSandbox sandbox;
  std::string dir = sandbox.PortsDirectory().string();
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  for (const auto& c : std::vector<Case>{
           {{"--id", "00112233"}, "--id: not 16 hexadecimal digits"},
           {{"--id", "00112233445566ZZ"}, "--id: not 16 hexadecimal digits"},
           {{"--com", "0"}, "--com: not a port number"},
           {{"--com", "3x"}, "--com: not a port number"},
           {{"--misbehave", "loud"}, "--misbehave: unknown mode loud"},
           {{"--scan", ""}, "empty barcode"},
           {{"--scans-file", "/nonexistent/scans"}, "cannot read /nonexistent/scans"},
           {{"--bogus", "1"}, "unknown option --bogus"},
           {{"--name"}, "--name: value missing"},
       }) {
    std::vector<std::string> args{"--ports-dir", dir};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string errors;
    EXPECT_EQ(EmulatorProcess::RunToEnd(args, errors), 2) << c.message;
    EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
  }
  EXPECT_TRUE(fs::is_empty(sandbox.PortsDirectory()));
}

}  // namespace
}  // namespace kessmar::test

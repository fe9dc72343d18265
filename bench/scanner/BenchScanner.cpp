// Scanner link figures:
//   1. reading 1,000 scans from the emulator through csp2 (ReadData and every GetPacket);
//   2. the same bytes pushed through a fresh pseudo-terminal pair by a writer thread (the raw
//      throughput of a pseudo-terminal), and csp2's share of it;
//   3. the emulator's own reply read by a plain blocking reader without any checks (the
//      ceiling of the path csp2 uses: request, emulator process, pseudo-terminal);
//   4. the cost of one serial port enumeration with 32 ports-directory ports.
// Figures are medians of interleaved rounds.
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "csp2/ScannerProtocol.h"
#include "csp2/csp2.h"
#include "platform/FileDescriptor.h"
#include "platform/serial/SerialPorts.h"
#include "support/EmulatorProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
using kessmar::platform::FileDescriptor;

constexpr int kScans = 1000;
constexpr int kRounds = 101;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The bytes one read of kScans 13-digit barcodes puts on the line (see the protocol grammar).
size_t BatchBytes() {
  const size_t frame = kessmar::csp2::kHeaderSize + kessmar::csp2::kChecksumSize;
  return (frame + 6) + kScans * (frame + 2 + 4 + 13) + (frame + 2);
}

void MakeRaw(int fd) {
  termios settings{};
  ::tcgetattr(fd, &settings);
  ::cfmakeraw(&settings);
  ::tcsetattr(fd, TCSANOW, &settings);
}

// Reads exactly bytes from a blocking descriptor.
void ReadExactly(int fd, size_t bytes, std::vector<char>& sink) {
  size_t received = 0;
  while (received < bytes) {
    ssize_t n = ::read(fd, sink.data(), sink.size());
    if (n <= 0) throw std::runtime_error("read from the pseudo-terminal failed");
    received += static_cast<size_t>(n);
  }
}

// One complete read through csp2 in seconds; packetsPart receives the time spent in GetPacket.
double Csp2ReadOnce(double& packetsPart) {
  char packet[256];
  Clock::time_point start = Clock::now();
  if (csp2ReadData() != kScans) throw std::runtime_error("csp2ReadData gave a wrong count");
  Clock::time_point read = Clock::now();
  for (int i = 0; i < kScans; ++i) {
    if (csp2GetPacket(packet, i, sizeof packet) != 19) throw std::runtime_error("bad packet");
  }
  Clock::time_point end = Clock::now();
  packetsPart = Seconds(end - read);
  return Seconds(end - start);
}

// A raw pseudo-terminal pair whose writer thread pushes the given number of bytes into the
// master each time it is asked.
class RawPty {
 public:
  explicit RawPty(size_t bytes) : data_(bytes, 'x'), sink_(64 * 1024) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    goRead_.Reset(pipeEnds[0]);
    goWrite_.Reset(pipeEnds[1]);
    master_.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master_ || ::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0) {
      throw std::runtime_error("cannot open a pseudo-terminal");
    }
    slave_.Reset(::open(::ptsname(master_.get()), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave_) throw std::runtime_error("cannot open the pseudo-terminal's slave");
    MakeRaw(slave_.get());
    writer_ = std::thread([this] {
      char go;
      while (::read(goRead_.get(), &go, 1) == 1) {
        size_t done = 0;
        while (done < data_.size()) {
          ssize_t n = ::write(master_.get(), data_.data() + done, data_.size() - done);
          if (n <= 0) return;
          done += static_cast<size_t>(n);
        }
      }
    });
  }
  ~RawPty() {
    goWrite_.Reset();
    writer_.join();
  }

  double TransferOnce() {
    Clock::time_point start = Clock::now();
    if (::write(goWrite_.get(), "g", 1) != 1) throw std::runtime_error("cannot start the writer");
    ReadExactly(slave_.get(), data_.size(), sink_);
    return Seconds(Clock::now() - start);
  }

 private:
  std::vector<char> data_;
  std::vector<char> sink_;
  FileDescriptor goRead_, goWrite_, master_, slave_;
  std::thread writer_;
};

// The emulator's read reply taken by a plain reader: request written, bytes counted.
double EmulatorChannelOnce(int fd, size_t bytes, uint8_t tag, std::vector<char>& sink) {
  std::vector<uint8_t> request;
  kessmar::csp2::AppendFrame(request, kessmar::csp2::command::kRead, tag, nullptr, 0);
  Clock::time_point start = Clock::now();
  if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
    throw std::runtime_error("cannot send the read request");
  }
  ReadExactly(fd, bytes, sink);
  return Seconds(Clock::now() - start);
}

double EnumerateMicroseconds(const kessmar::platform::SerialPortsEnvironment& environment,
                             size_t& listed) {
  constexpr int kCalls = 2000;
  auto ports = kessmar::platform::EnumerateSerialPorts(false, environment);
  listed = ports ? ports->size() : 0;
  std::vector<double> times;
  for (int i = 0; i < kCalls; ++i) {
    Clock::time_point start = Clock::now();
    kessmar::platform::EnumerateSerialPorts(false, environment);
    times.push_back(Seconds(Clock::now() - start));
  }
  return Median(times) * 1e6;
}

void BenchRead() {
  kessmar::test::EmulatorSandbox sandbox;
  kessmar::test::EmulatorProcess emulator(sandbox.PortsDirectory());
  std::string input;
  for (int i = 0; i < kScans; ++i) input += std::to_string(4006381000000LL + i) + "\n";
  emulator.WriteInput(input);
  if (!kessmar::test::WaitUntil([&] { return emulator.Control("count") == "1000"; }, 10000)) {
    throw std::runtime_error("the emulator did not take the scans");
  }

  size_t bytes = BatchBytes();
  RawPty raw(bytes);
  std::vector<double> csp2Times, packetTimes, rawTimes, pingTimes;
  if (csp2InitEx(emulator.ComNumber()) < 0) throw std::runtime_error("csp2InitEx failed");
  for (int round = 0; round < kRounds; ++round) {
    double packetsPart = 0;
    csp2Times.push_back(Csp2ReadOnce(packetsPart));
    packetTimes.push_back(packetsPart);
    rawTimes.push_back(raw.TransferOnce());
    Clock::time_point start = Clock::now();
    if (csp2GetDSR() <= 0) throw std::runtime_error("csp2GetDSR failed");
    pingTimes.push_back(Seconds(Clock::now() - start));
  }
  csp2Restore();

  std::vector<double> channelTimes;
  {
    FileDescriptor fd(::open(emulator.Device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!fd) throw std::runtime_error("cannot open " + emulator.Device());
    MakeRaw(fd.get());
    std::vector<char> sink(64 * 1024);
    for (int round = 0; round < kRounds; ++round) {
      channelTimes.push_back(
          EmulatorChannelOnce(fd.get(), bytes, static_cast<uint8_t>(round), sink));
    }
  }

  double csp2Time = Median(csp2Times);
  double rawTime = Median(rawTimes);
  double channelTime = Median(channelTimes);
  std::printf("csp2 read of %d scans (%zu bytes on the line): %.3f ms, %.0f scans/s\n", kScans,
              bytes, csp2Time * 1e3, kScans / csp2Time);
  std::printf("  of which %d x csp2GetPacket: %.3f ms; one status exchange: %.3f ms\n", kScans,
              Median(packetTimes) * 1e3, Median(pingTimes) * 1e3);
  std::printf("raw pseudo-terminal pair, same bytes: %.3f ms (%.1f MB/s)\n", rawTime * 1e3,
              bytes / rawTime / 1e6);
  std::printf("  csp2 throughput as share of raw: %.0f %% (target >= 80 %%)\n",
              100.0 * rawTime / csp2Time);
  std::printf("emulator reply read without checks: %.3f ms (%.1f MB/s)\n", channelTime * 1e3,
              bytes / channelTime / 1e6);
  std::printf("  csp2 throughput as share of that channel: %.0f %%\n",
              100.0 * channelTime / csp2Time);
}

void BenchEnumerate() {
  kessmar::platform::SerialPortsEnvironment environment;
  kessmar::test::ScratchFolder folder;
  environment.portsDirectory = folder.Path() / "ports";
  environment.sysfsRoot = folder.Path() / "sys";
  environment.devRoot = folder.Path() / "dev";
  std::filesystem::create_directories(environment.portsDirectory);
  for (int n = 3; n < 3 + 32; ++n) {
    auto base = environment.portsDirectory / ("COM" + std::to_string(n));
    std::filesystem::create_symlink("/dev/null", base);
    std::ofstream(base.string() + ".name") << "Fake port " << n << "\npid " << ::getpid() << "\n";
  }
  size_t listed = 0;
  double perCall = EnumerateMicroseconds(environment, listed);
  std::printf("EnumerateSerialPorts, %zu ports-directory ports: %.1f us per call\n", listed,
              perCall);
  environment.sysfsRoot = "/sys";
  environment.devRoot = "/dev";
  perCall = EnumerateMicroseconds(environment, listed);
  std::printf("  with this machine's sysfs as well (%zu ports): %.1f us per call\n", listed,
              perCall);
}

}  // namespace

int main() {
  try {
    BenchRead();
    BenchEnumerate();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_scanner: %s\n", e.what());
    return 1;
  }
  return 0;
}

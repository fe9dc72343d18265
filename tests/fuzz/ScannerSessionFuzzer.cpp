// Fuzz target: the scanner library, through its C functions, against a scripted scanner on a
// real pseudo-terminal. The input names the calls the program makes and the replies the device
// gives, one reply per request it receives:
//
//   input   = count:1 call{count % 9} reply*
//   call    = op:1          ; op & 7 picks the function, the upper bits its argument
//   reply   = head:1 piece{head & 0x0F}
//             ; head & 0xF0 = 0x80: the host may stay quiet for a while after this reply, to
//             ; drain it (once a run; rare, since a drain takes 20 ms)
//   piece   = flags:1 command:1 size:1 payload[size (+256 with flag 0x20)]
//             ; flags: 0x01 the request's tag (else tag 0), 0x02 the reply's command (else the
//             ; command byte), 0x04 a wrong checksum, 0x08 only the first half, 0x10 the payload
//             ; bytes bare (no frame)
//
// When the host goes quiet after a reply (it is draining a bad one, or waiting for the rest of
// a frame), the device hangs up after a few milliseconds, so that a run costs no time-outs of
// 250 ms; it also hangs up at a request when the replies are used up.
//
// Checks: the host sends only well-formed requests; every result the library reports as a
// success agrees with what the device sent for that call (status, identity, a whole batch with
// every packet); csp2GetPacket gives exactly the packets of the last complete read and writes
// nothing beyond them; and csp2ClearData erases only up to the last scan of the last complete
// read on the link, and only once.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "csp2/ScannerProtocol.h"
#include "csp2/csp2.h"
#include "fuzz/FuzzTarget.h"
#include "platform/FileDescriptor.h"
#include "support/TempDir.h"

using namespace kessmar;
using namespace kessmar::csp2;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr int kPort = 7;
constexpr int kQuietMilliseconds = 2;
constexpr int kStayMilliseconds = 60;  // above the host's 20 ms of quiet when it drains

struct Piece {
  uint8_t flags = 0;
  uint8_t command = 0;
  Bytes payload;
};

struct Reply {
  std::vector<Piece> pieces;
  bool stay = false;
};

// A request as the device received it, the call of the program it belongs to, and the bytes
// the device sent back.
struct Request {
  int call = 0;
  Frame frame;
  Bytes reply;
};

// Reads the input; what it lacks at the end is left out.
class Script {
 public:
  Script(const uint8_t* data, size_t size) : data_(data), size_(size) {
    const size_t count = Byte() % 9;
    for (size_t i = 0; i < count && at_ < size_; ++i) calls.push_back(Byte());
    while (at_ < size_) {
      const uint8_t head = Byte();
      Reply reply{{}, (head & 0xF0) == 0x80};
      for (int i = 0; i < (head & 0x0F) && at_ + 3 <= size_; ++i) {
        Piece piece{Byte(), Byte(), {}};
        size_t length = Byte() + ((piece.flags & 0x20) != 0 ? 256u : 0u);
        length = std::min(length, size_ - at_);
        piece.payload.assign(data_ + at_, data_ + at_ + length);
        at_ += length;
        reply.pieces.push_back(std::move(piece));
      }
      replies.push_back(std::move(reply));
    }
  }

  std::vector<uint8_t> calls;
  std::vector<Reply> replies;

 private:
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

Bytes Encode(const Reply& reply, const Frame& request) {
  Bytes out;
  for (const Piece& piece : reply.pieces) {
    if ((piece.flags & 0x10) != 0) {
      out.insert(out.end(), piece.payload.begin(), piece.payload.end());
      continue;
    }
    const uint8_t command =
        (piece.flags & 0x02) != 0 ? command::ReplyTo(request.command) : piece.command;
    const uint8_t tag = (piece.flags & 0x01) != 0 ? request.tag : kRecordTag;
    const size_t first = out.size();
    AppendFrame(out, command, tag, piece.payload.data(),
                std::min(piece.payload.size(), kMaxPayload));
    if ((piece.flags & 0x04) != 0) out.back() ^= 0x5A;
    if ((piece.flags & 0x08) != 0) out.resize(first + (out.size() - first) / 2);
  }
  return out;
}

// The scripted scanner on the master side of a pseudo-terminal, in a thread of its own.
class Device {
 public:
  Device(platform::FileDescriptor master, std::vector<Reply> replies)
      : master_(std::move(master)), replies_(std::move(replies)) {
    int ends[2];
    FUZZ_CHECK(::pipe2(ends, O_CLOEXEC) == 0);
    stopRead_.Reset(ends[0]);
    stopWrite_.Reset(ends[1]);
    thread_ = std::thread([this] { Run(); });
  }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  ~Device() { Stop(); }

  // Ends the device and returns every request it received.
  std::vector<Request> Stop() {
    if (thread_.joinable()) {
      FUZZ_CHECK(::write(stopWrite_.get(), "x", 1) == 1);
      thread_.join();
    }
    std::lock_guard lock(mutex_);
    return requests_;
  }

  // The last request received during call, if any.
  std::optional<Request> RequestOf(int call) {
    std::lock_guard lock(mutex_);
    for (auto it = requests_.rbegin(); it != requests_.rend(); ++it) {
      if (it->call == call) return *it;
    }
    return std::nullopt;
  }

  std::atomic<int> call{0};

 private:
  // Waits for input or room to write; false when told to stop or when the host stayed quiet
  // for the given time (negative: no limit).
  bool Wait(short events, int milliseconds) {
    pollfd fds[2] = {{master_.get(), events, 0}, {stopRead_.get(), POLLIN, 0}};
    for (;;) {
      const int ready = ::poll(fds, 2, milliseconds);
      if (ready < 0 && errno == EINTR) continue;
      return ready > 0 && fds[1].revents == 0;
    }
  }

  bool Send(const Bytes& bytes) {
    for (size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(master_.get(), bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        if (!Wait(POLLOUT, -1)) return false;
      } else {
        return false;
      }
    }
    return true;
  }

  void Run() {
    FrameDecoder decoder;
    size_t next = 0;
    bool stayed = false;
    int quiet = -1;  // until the first request
    Bytes chunk(4096);
    while (Wait(POLLIN, quiet)) {
      const ssize_t n = ::read(master_.get(), chunk.data(), chunk.size());
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) return;
      decoder.Append(chunk.data(), static_cast<size_t>(n));
      Frame frame;
      FrameDecoder::Result result;
      while ((result = decoder.Next(frame)) == FrameDecoder::Result::kFrame) {
        if (next == replies_.size()) return HangUp();
        Request request{call.load(), frame, Encode(replies_[next], frame)};
        // One reply a run may keep the line open long enough for the host to drain it and
        // ask again; more would make runs slow.
        const bool stay = replies_[next++].stay && !stayed;
        stayed = stayed || stay;
        quiet = stay ? kStayMilliseconds : kQuietMilliseconds;
        {
          std::lock_guard lock(mutex_);
          requests_.push_back(request);
        }
        if (!Send(request.reply)) return;
      }
      FUZZ_CHECK(result == FrameDecoder::Result::kNeedMore);  // the host sent a damaged frame
    }
    if (quiet >= 0) HangUp();  // the host went quiet, not told to stop
  }

  void HangUp() { master_.Reset(); }

  platform::FileDescriptor master_;
  platform::FileDescriptor stopRead_;
  platform::FileDescriptor stopWrite_;
  std::vector<Reply> replies_;
  std::mutex mutex_;
  std::vector<Request> requests_;
  std::thread thread_;
};

// The frames at the start of bytes, up to the first one that is damaged or incomplete: what
// the library takes from a reply before it gives up on it.
std::vector<Frame> LeadingFrames(const Bytes& bytes) {
  FrameDecoder decoder;
  decoder.Append(bytes.data(), bytes.size());
  std::vector<Frame> frames;
  Frame frame;
  while (decoder.Next(frame) == FrameDecoder::Result::kFrame) frames.push_back(frame);
  return frames;
}

// The first frame of the reply to the request of call, when it is that request's reply.
std::optional<Frame> AnswerOf(Device& device, int call, uint8_t request) {
  const auto sent = device.RequestOf(call);
  FUZZ_CHECK(sent && sent->frame.command == request);
  const std::vector<Frame> frames = LeadingFrames(sent->reply);
  FUZZ_CHECK(!frames.empty() && frames[0].command == command::ReplyTo(request) &&
             frames[0].tag == sent->frame.tag);
  return frames[0];
}

// What the library holds between calls, as its documentation says.
struct Expected {
  bool held = true;
  std::vector<Bytes> packets;
  std::optional<uint32_t> readUpTo;
};

// A read reported as n scans: the device sent a header, n records in order and the end.
void CheckRead(Device& device, int call, int32_t n, Expected& expected) {
  const auto sent = device.RequestOf(call);
  FUZZ_CHECK(sent && sent->frame.command == command::kRead);
  const std::vector<Frame> frames = LeadingFrames(sent->reply);
  FUZZ_CHECK(frames.size() >= static_cast<size_t>(n) + 2);
  const Frame& header = frames[0];
  FUZZ_CHECK(header.command == command::ReplyTo(command::kRead) && header.tag == sent->frame.tag &&
             header.payload.size() >= 6 && GetU16(header.payload, 0) == n);
  for (int32_t i = 0; i < n; ++i) {
    const Frame& record = frames[static_cast<size_t>(i) + 1];
    FUZZ_CHECK(record.command == command::kScanRecord && record.tag == kRecordTag);
    FUZZ_CHECK(record.payload.size() > 2 + kStampSize &&
               record.payload.size() <= 2 + kStampSize + kMaxBarcodeLength);
    FUZZ_CHECK(GetU16(record.payload, 0) == i);
    Bytes packet{0, 0};
    packet.insert(packet.end(), record.payload.begin() + 2 + kStampSize, record.payload.end());
    packet.insert(packet.end(), record.payload.begin() + 2, record.payload.begin() + 6);
    expected.packets.push_back(std::move(packet));
  }
  const Frame& end = frames[static_cast<size_t>(n) + 1];
  FUZZ_CHECK(end.command == command::kReadEnd && end.tag == sent->frame.tag &&
             end.payload.size() == 2 && GetU16(end.payload, 0) == n);
  if (n > 0) expected.readUpTo = GetU32(header.payload, 2);
}

void CheckPacket(uint8_t op, const Expected& expected) {
  const int32_t index = (op >> 3 & 0x0F) - 1;
  const int32_t size = (op & 0x80) != 0 ? 12 : 256;
  std::vector<char> buffer(static_cast<size_t>(size), '\x5A');
  const int32_t length = csp2GetPacket(buffer.data(), index, size);
  const bool exists = index >= 0 && static_cast<size_t>(index) < expected.packets.size();
  if (!exists || expected.packets[static_cast<size_t>(index)].size() > static_cast<size_t>(size)) {
    FUZZ_CHECK(length == -1);
    FUZZ_CHECK(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == '\x5A'; }));
    return;
  }
  const Bytes& packet = expected.packets[static_cast<size_t>(index)];
  FUZZ_CHECK(length == static_cast<int32_t>(packet.size()));
  FUZZ_CHECK(std::memcmp(buffer.data(), packet.data(), packet.size()) == 0);
  FUZZ_CHECK(
      std::all_of(buffer.begin() + length, buffer.end(), [](char c) { return c == '\x5A'; }));
}

void RunCall(Device& device, int call, uint8_t op, Expected& expected,
             std::vector<std::optional<uint32_t>>& clearable) {
  device.call = call;
  clearable.push_back(expected.readUpTo);
  switch (op & 7) {
    case 0: {
      const int32_t cts = csp2GetCTS();
      FUZZ_CHECK(cts >= 0 && cts <= 2);
      if (cts != 0) {
        const auto answer = AnswerOf(device, call, command::kStatus);
        FUZZ_CHECK(answer->payload.size() >= 2 && (GetU16(answer->payload, 0) > 0) == (cts == 1));
      }
      break;
    }
    case 1: {
      const int32_t dsr = csp2GetDSR();
      FUZZ_CHECK(dsr == 0 || dsr == 1);
      if (dsr == 1) FUZZ_CHECK(AnswerOf(device, call, command::kStatus)->payload.size() >= 2);
      break;
    }
    case 2: {
      const int32_t result = csp2Interrogate();
      FUZZ_CHECK(result == 1 || result == -1);
      if (result == 1)
        FUZZ_CHECK(AnswerOf(device, call, command::kInterrogate)->payload.size() >= kIdSize);
      break;
    }
    case 3: {
      const int32_t size = 7 + (op >> 3 & 3);
      std::vector<char> buffer(static_cast<size_t>(size), '\x5A');
      const int32_t result = csp2GetDeviceId(buffer.data(), size);
      if (size < 8) FUZZ_CHECK(result == -1 && !device.RequestOf(call));
      FUZZ_CHECK(result == 8 || result == -1);
      if (result == 8) {
        const Bytes id = AnswerOf(device, call, command::kDeviceId)->payload;
        FUZZ_CHECK(id.size() == kIdSize && std::memcmp(buffer.data(), id.data(), kIdSize) == 0);
        if (size > 8) FUZZ_CHECK(buffer[8] == '\0');
      }
      break;
    }
    case 4: {
      expected.packets.clear();
      expected.readUpTo.reset();
      const int32_t n = csp2ReadData();
      FUZZ_CHECK(n >= -1);
      if (n >= 0) CheckRead(device, call, n, expected);
      break;
    }
    case 5:
      CheckPacket(op, expected);
      break;
    case 6: {
      const int32_t result = csp2ClearData();
      FUZZ_CHECK(result == 0 || result == -1);
      if (!expected.held) FUZZ_CHECK(result == -1);
      if (expected.held && !expected.readUpTo) {
        FUZZ_CHECK(result == 0 && !device.RequestOf(call));  // nothing read, nothing erased
      }
      if (result == 0) expected.readUpTo.reset();
      break;
    }
    default:
      FUZZ_CHECK(csp2Restore() == 0);
      expected = Expected{false, {}, {}};
      break;
  }
}

// The pseudo-terminal's slave registered as COM7 in a ports directory of this process only,
// with no serial hardware visible.
std::filesystem::path PortsFolder() {
  static const testing::TempDir folder;
  static const bool made = [] {
    for (const char* name : {"ports", "sys", "dev"})
      std::filesystem::create_directory(folder / name);
    ::setenv("KESSMAR_PORTS_DIR", (folder / "ports").c_str(), 1);
    ::setenv("KESSMAR_SYSFS_ROOT", (folder / "sys").c_str(), 1);
    ::setenv("KESSMAR_DEV_ROOT", (folder / "dev").c_str(), 1);
    return true;
  }();
  (void)made;
  return folder / "ports";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path ports = PortsFolder();
  Script script(data, size);

  int masterFd = -1;
  int slaveFd = -1;
  char name[128];
  termios raw{};
  ::cfmakeraw(&raw);
  FUZZ_CHECK(::openpty(&masterFd, &slaveFd, name, &raw, nullptr) == 0);
  platform::FileDescriptor master(masterFd);
  // Held open so that the device sees the host's requests, not a hang-up, while the library
  // opens and closes its own side.
  const platform::FileDescriptor slave(slaveFd);
  FUZZ_CHECK(::fcntl(masterFd, F_SETFL, O_NONBLOCK) == 0 &&
             ::fcntl(masterFd, F_SETFD, FD_CLOEXEC) == 0);
  std::filesystem::remove(ports / ("COM" + std::to_string(kPort)));
  std::filesystem::create_symlink(name, ports / ("COM" + std::to_string(kPort)));

  Device device(std::move(master), std::move(script.replies));
  FUZZ_CHECK(csp2InitEx(kPort) == 0);
  Expected expected;
  std::vector<std::optional<uint32_t>> clearable;  // what a clear may erase, per call
  for (size_t call = 0; call < script.calls.size(); ++call) {
    RunCall(device, static_cast<int>(call), script.calls[call], expected, clearable);
  }
  csp2Restore();

  for (const Request& request : device.Stop()) {
    const Frame& frame = request.frame;
    const size_t payload = frame.command == command::kClear ? 4 : 0;
    FUZZ_CHECK(frame.command >= command::kStatus && frame.command <= command::kClear);
    FUZZ_CHECK(frame.payload.size() == payload);
    if (frame.command == command::kClear) {
      const auto& upTo = clearable[static_cast<size_t>(request.call)];
      FUZZ_CHECK(upTo && GetU32(frame.payload, 0) == *upTo);
    }
  }
  return 0;
}

// The serial link on a Windows COM port. Reads wait through COMMTIMEOUTS: overlapped
// WaitCommEvent is not reliable under Wine, and a timed one-byte read is the portable way to
// wait for the first byte.

#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "csp2/SerialLink.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::csp2 {
namespace {

constexpr size_t kChunkSize = 64 * 1024;

DWORD MillisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left >= 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(left);
}

HANDLE Handle(void* h) {
  return static_cast<HANDLE>(h);
}

}  // namespace

SerialLink::SerialLink(const std::string& devicePath) : chunk_(kChunkSize) {
  HANDLE h = ::CreateFileW(platform::win32::Widen(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE,
                           0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("Cannot open " + devicePath + ": " +
                             platform::win32::ErrorText(::GetLastError()));
  }
  handle_ = h;
  // The whole DCB: a port keeps what the last program set, and a pty under Wine starts with
  // XON/XOFF on, which would eat two byte values.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(h, &dcb)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(h);
    throw std::runtime_error("Cannot read the settings of " + devicePath + ": " +
                             platform::win32::ErrorText(error));
  }
  dcb.BaudRate = CBR_115200;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  if (!::SetCommState(h, &dcb)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(h);
    throw std::runtime_error("Cannot set 8N1 binary mode on " + devicePath + ": " +
                             platform::win32::ErrorText(error));
  }
  ::PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

SerialLink::~SerialLink() {
  if (handle_ != nullptr) ::CloseHandle(Handle(handle_));
}

bool SerialLink::SetReadWait(uint32_t ms) {
  if (timeoutsKnown_ && timeoutsSet_ == ms) return true;
  COMMTIMEOUTS timeouts{};
  if (ms == 0) {
    timeouts.ReadIntervalTimeout = MAXDWORD;  // return at once with what is there
  } else {
    timeouts.ReadTotalTimeoutConstant = ms;
  }
  timeouts.WriteTotalTimeoutConstant = writeTimeout_;
  if (!::SetCommTimeouts(Handle(handle_), &timeouts)) {
    gone_ = true;
    return false;
  }
  timeoutsSet_ = ms;
  timeoutsKnown_ = true;
  return true;
}

bool SerialLink::WaitFor(short /*events*/, Clock::time_point deadline) {
  // Waits for the first byte and keeps it: the caller reads what follows.
  if (gone_) return false;
  const DWORD ms = MillisecondsUntil(deadline);
  if (ms == 0) return false;
  if (!SetReadWait(ms)) return false;
  uint8_t byte = 0;
  DWORD got = 0;
  if (!::ReadFile(Handle(handle_), &byte, 1, &got, nullptr)) {
    gone_ = true;
    return false;
  }
  if (got == 0) {
    // A time-out, or a port that hung up and answers at once.
    DWORD errors = 0;
    if (!::ClearCommError(Handle(handle_), &errors, nullptr)) gone_ = true;
    return false;
  }
  decoder_.Append(&byte, 1);
  return true;
}

SerialLink::ReadResult SerialLink::ReadAvailable() {
  if (!SetReadWait(0)) return ReadResult::kGone;
  ReadResult result = ReadResult::kNothing;
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(Handle(handle_), chunk_.data(), static_cast<DWORD>(chunk_.size()), &got,
                    nullptr)) {
      gone_ = true;
      return result == ReadResult::kData ? result : ReadResult::kGone;
    }
    if (got == 0) return result;
    decoder_.Append(chunk_.data(), got);
    result = ReadResult::kData;
    if (got < chunk_.size()) return result;
  }
}

bool SerialLink::WaitForInput(Clock::time_point deadline) {
  return WaitFor(0, deadline);
}

bool SerialLink::Send(const std::vector<uint8_t>& bytes, Clock::time_point deadline) {
  size_t done = 0;
  while (done < bytes.size()) {
    if (gone_) return false;
    // A write never outlasts the caller's deadline.
    const DWORD left = MillisecondsUntil(deadline);
    if (left == 0) return false;
    if (left != writeTimeout_) {
      writeTimeout_ = left;
      timeoutsKnown_ = false;
    }
    if (!SetReadWait(timeoutsSet_)) return false;
    DWORD put = 0;
    if (!::WriteFile(Handle(handle_), bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                     &put, nullptr)) {
      gone_ = true;  // after a hang-up the port answers ERROR_NOT_READY
      return false;
    }
    done += put;
  }
  return true;
}

}  // namespace kessmar::csp2

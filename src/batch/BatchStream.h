// The tagged little-endian value encoding of batch files, over a 16 KiB buffer.
//
// BatchWriter encodes values into a ByteSink; BatchReader decodes them from a ByteSource and
// knows how many bytes the source has left, so that no declared length is believed beyond the
// end of the data. Reader errors are TableError with the format's messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "batch/TextArena.h"
#include "common/CodePage.h"

namespace kessmar {

// Failure of the operating system to read or write; what() is the system's reason.
class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where a BatchWriter's bytes go. Write takes all n bytes or throws IoError.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const char* data, size_t n) = 0;
};

// Where a BatchReader's bytes come from. Read returns up to n bytes, 0 only at the end; throws
// IoError. Size is the total number of bytes the source will deliver.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual size_t Read(char* data, size_t n) = 0;
  virtual uint64_t Size() const = 0;
};

// A source over bytes in memory (not owned; they must outlive the source).
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  size_t Read(char* data, size_t n) override;
  uint64_t Size() const override { return bytes_.size(); }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

inline constexpr size_t kBatchBufferSize = 16384;

class BatchWriter {
 public:
  // sink must outlive the writer. Nothing reaches the sink before the buffer is full or Flush.
  explicit BatchWriter(ByteSink& sink) : sink_(sink) {}
  BatchWriter(const BatchWriter&) = delete;
  BatchWriter& operator=(const BatchWriter&) = delete;

  void WriteRaw(std::string_view bytes);
  void WriteTag(uint8_t tag) { WriteByte(tag); }
  // Shortest of tags 0x02, 0x03, 0x04.
  void WriteInteger(int32_t value) {
    if (value >= -128 && value <= 127 && kBatchBufferSize - used_ >= 2) {
      buffer_[used_] = 0x02;
      buffer_[used_ + 1] = static_cast<char>(value);
      used_ += 2;
      return;
    }
    WriteIntegerSlow(value);
  }
  // Windows-1252 text: tag 0x14 with UTF-8 when it holds a non-ASCII byte, else 0x06 (at most
  // 255 bytes) or 0x0C.
  void WriteText(std::string_view text) {
    // Fast path: a short ASCII text that fits the buffer, as nearly every scan field is.
    if (text.size() <= 255 && kBatchBufferSize - used_ >= text.size() + 2 && !HasNonAscii(text)) {
      buffer_[used_] = 0x06;
      buffer_[used_ + 1] = static_cast<char>(text.size());
      // An empty text may have no storage at all: memcpy must not see its null pointer.
      if (!text.empty()) std::memcpy(buffer_ + used_ + 2, text.data(), text.size());
      used_ += text.size() + 2;
      return;
    }
    WriteTextSlow(text);
  }
  void WriteBool(bool value) { WriteByte(value ? 0x09 : 0x08); }
  // Hands the buffered bytes to the sink.
  void Flush();

 private:
  void WriteByte(uint8_t b) {
    if (used_ == kBatchBufferSize) Flush();
    buffer_[used_++] = static_cast<char>(b);
  }
  void WriteLength32(uint32_t n);
  void WriteIntegerSlow(int32_t value);
  void WriteTextSlow(std::string_view text);

  ByteSink& sink_;
  size_t used_ = 0;
  std::string scratch_;  // UTF-8 form of the current text
  char buffer_[kBatchBufferSize];
};

class BatchReader {
 public:
  // source must outlive the reader.
  explicit BatchReader(ByteSource& source);
  BatchReader(const BatchReader&) = delete;
  BatchReader& operator=(const BatchReader&) = delete;

  // Fills n bytes; "Stream read error" when the data ends first.
  void ReadRaw(char* out, size_t n);
  // The next tag byte, not consumed; "Stream read error" at the end of the data.
  uint8_t PeekTag() {
    if (pos_ == end_) Refill();
    return static_cast<uint8_t>(buffer_[pos_]);
  }
  // Tags 0x02/0x03/0x04, sign-extended; any other tag is "Invalid property value".
  int32_t ReadInteger() {
    if (end_ - pos_ >= 2 && buffer_[pos_] == 0x02) {
      pos_ += 2;
      return static_cast<int8_t>(buffer_[pos_ - 1]);
    }
    return ReadIntegerSlow();
  }
  // Tags 0x06/0x0C/0x12/0x14; the result (Windows-1252) replaces out.
  void ReadText(std::string& out);
  // The same, appended to out; returns the number of bytes appended.
  size_t AppendText(TextArena& out) {
    // Fast path: a short text wholly inside the buffer, as nearly every scan field is.
    if (end_ - pos_ >= 2 && buffer_[pos_] == 0x06) {
      const size_t n = static_cast<unsigned char>(buffer_[pos_ + 1]);
      if (end_ - pos_ - 2 >= n) {
        // The buffer's padding makes kShortCopy bytes readable from any position in it.
        if (n <= TextArena::kShortCopy) {
          out.AppendShort(buffer_ + pos_ + 2, n);
        } else {
          out.Append(buffer_ + pos_ + 2, n);
        }
        pos_ += n + 2;
        return n;
      }
    }
    ReadText(text_);
    out.Append(text_.data(), text_.size());
    return text_.size();
  }
  // True for tag 0x09, false for any other byte, which is consumed either way.
  bool ReadBool() { return ReadByte() == 0x09; }
  void ReadStartList() { ExpectTag(0x01); }
  void ReadEndList() { ExpectTag(0x00); }
  bool AtEndOfList() { return PeekTag() == 0x00; }
  // Bytes not yet consumed.
  uint64_t Remaining() const { return sourceLeft_ + (end_ - pos_); }

 private:
  uint8_t ReadByte() {
    if (pos_ == end_) Refill();
    return static_cast<uint8_t>(buffer_[pos_++]);
  }
  void ExpectTag(uint8_t tag) {
    if (PeekTag() != tag) ThrowInvalidPropertyValue();
    ++pos_;
  }
  [[noreturn]] static void ThrowInvalidPropertyValue();
  int32_t ReadIntegerSlow();
  // Appends a declared byte count of payload to out, after checking it against Remaining().
  void AppendPayload(uint64_t n, std::string& out);
  uint32_t ReadLength32();
  void Refill();

  ByteSource& source_;
  uint64_t sourceLeft_;
  size_t pos_ = 0;
  size_t end_ = 0;
  std::string scratch_;  // UTF-8 or UTF-16 payload before conversion
  std::string text_;     // a text on its way into a TextArena
  char buffer_[kBatchBufferSize + TextArena::kShortCopy] = {};
};

}  // namespace kessmar

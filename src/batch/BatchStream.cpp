#include "batch/BatchStream.h"

#include <algorithm>
#include <cstring>

#include "batch/BatchFormat.h"
#include "batch/MemTable.h"
#include "common/CodePage.h"
#include "common/LittleEndian.h"

namespace kessmar {

using namespace batchfile;

size_t MemorySource::Read(char* data, size_t n) {
  n = std::min(n, bytes_.size() - pos_);
  if (n == 0) return 0;  // an empty source may have no storage: keep memcpy off null
  std::memcpy(data, bytes_.data() + pos_, n);
  pos_ += n;
  return n;
}

// ---- writing

void BatchWriter::Flush() {
  if (used_ == 0) return;
  sink_.Write(buffer_, used_);
  used_ = 0;
}

void BatchWriter::WriteRaw(std::string_view bytes) {
  while (!bytes.empty()) {
    if (used_ == kBatchBufferSize) Flush();
    const size_t n = std::min(bytes.size(), kBatchBufferSize - used_);
    std::memcpy(buffer_ + used_, bytes.data(), n);
    used_ += n;
    bytes.remove_prefix(n);
  }
}

void BatchWriter::WriteLength32(uint32_t n) {
  uint8_t bytes[4];
  le::Store32(bytes, n);
  for (uint8_t b : bytes) WriteByte(b);
}

void BatchWriter::WriteIntegerSlow(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  if (value >= -128 && value <= 127) {
    WriteByte(kInt8);
    WriteByte(static_cast<uint8_t>(bits));
  } else if (value >= -32768 && value <= 32767) {
    WriteByte(kInt16);
    uint8_t bytes[2];
    le::Store16(bytes, static_cast<uint16_t>(bits));
    WriteByte(bytes[0]);
    WriteByte(bytes[1]);
  } else {
    WriteByte(kInt32);
    WriteLength32(bits);
  }
}

void BatchWriter::WriteTextSlow(std::string_view text) {
  if (HasNonAscii(text)) {
    scratch_.clear();
    AppendCp1252AsUtf8(text, scratch_);
    WriteByte(kUtf8Text);
    WriteLength32(static_cast<uint32_t>(scratch_.size()));
    WriteRaw(scratch_);
  } else if (text.size() <= 255) {
    WriteByte(kShortText);
    WriteByte(static_cast<uint8_t>(text.size()));
    WriteRaw(text);
  } else {
    WriteByte(kLongText);
    WriteLength32(static_cast<uint32_t>(text.size()));
    WriteRaw(text);
  }
}

// ---- reading

BatchReader::BatchReader(ByteSource& source) : source_(source), sourceLeft_(source.Size()) {}

void BatchReader::Refill() {
  if (pos_ < end_) return;
  size_t got = 0;
  if (sourceLeft_ > 0) {
    got = source_.Read(buffer_,
                       static_cast<size_t>(std::min<uint64_t>(sourceLeft_, kBatchBufferSize)));
  }
  if (got == 0) {
    sourceLeft_ = 0;  // the data ended early (e.g. the file shrank)
    throw TableError(kStreamReadError);
  }
  sourceLeft_ -= got;
  pos_ = 0;
  end_ = got;
}

void BatchReader::ReadRaw(char* out, size_t n) {
  while (n > 0) {
    if (pos_ == end_) Refill();
    const size_t k = std::min(n, end_ - pos_);
    std::memcpy(out, buffer_ + pos_, k);
    pos_ += k;
    out += k;
    n -= k;
  }
}

void BatchReader::ThrowInvalidPropertyValue() {
  throw TableError(kInvalidPropertyValue);
}

uint32_t BatchReader::ReadLength32() {
  unsigned char b[4];
  if (end_ - pos_ >= 4) {
    std::memcpy(b, buffer_ + pos_, 4);
    pos_ += 4;
  } else {
    ReadRaw(reinterpret_cast<char*>(b), 4);
  }
  return le::Load32(b);
}

int32_t BatchReader::ReadIntegerSlow() {
  switch (PeekTag()) {
    case kInt8:
      ++pos_;
      return static_cast<int8_t>(ReadByte());
    case kInt16: {
      ++pos_;
      uint8_t bytes[2];
      bytes[0] = ReadByte();
      bytes[1] = ReadByte();
      return static_cast<int16_t>(le::Load16(bytes));
    }
    case kInt32:
      ++pos_;
      return static_cast<int32_t>(ReadLength32());
    default:
      throw TableError(kInvalidPropertyValue);
  }
}

void BatchReader::AppendPayload(uint64_t n, std::string& out) {
  // A length beyond the data can only end in a read error: say so before allocating for it.
  if (n > Remaining()) throw TableError(kStreamReadError);
  if (n <= end_ - pos_) {
    out.append(buffer_ + pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return;
  }
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(n));
  ReadRaw(out.data() + start, static_cast<size_t>(n));
}

void BatchReader::ReadText(std::string& out) {
  out.clear();
  switch (PeekTag()) {
    case kShortText: {
      ++pos_;
      const uint8_t n = ReadByte();
      AppendPayload(n, out);
      break;
    }
    case kLongText:
      ++pos_;
      AppendPayload(ReadLength32(), out);
      break;
    case kUtf8Text:
      ++pos_;
      scratch_.clear();
      AppendPayload(ReadLength32(), scratch_);
      out += Utf8ToCp1252(scratch_);
      break;
    case kUtf16Text:
      ++pos_;
      scratch_.clear();
      AppendPayload(uint64_t{ReadLength32()} * 2, scratch_);
      out += Utf16LeToCp1252(scratch_);
      break;
    default:
      throw TableError(kInvalidPropertyValue);
  }
}

}  // namespace kessmar

#include "update/FetchProtocol.h"

#include <charconv>
#include <optional>
#include <stdexcept>

namespace kessmar {
namespace {

constexpr std::string_view kRequestMagic = "kessmar-update-fetch/1";
// The longest length a netstring may announce: ten digits are more than any limit here.
constexpr size_t kMaxLengthDigits = 10;

void Put(std::string& out, std::string_view field) {
  out += std::to_string(field.size());
  out += ':';
  out += field;
  out += ',';
}

// The next netstring of `in` (taken off it), or nullopt when `in` does not hold all of it yet.
// Throws when what is there cannot start a netstring.
std::optional<std::string_view> Take(std::string_view& in) {
  size_t digits = 0;
  while (digits < in.size() && in[digits] >= '0' && in[digits] <= '9') ++digits;
  if (digits == in.size()) {
    if (digits > kMaxLengthDigits) throw std::runtime_error("a field's length is too long");
    return std::nullopt;
  }
  if (digits == 0 || digits > kMaxLengthDigits || in[digits] != ':') {
    throw std::runtime_error("a field does not start with its length");
  }
  uint64_t length = 0;
  std::from_chars(in.data(), in.data() + digits, length);
  if (length > in.size()) return std::nullopt;  // surely incomplete; also keeps the sum below
  if (in.size() < digits + 1 + length + 1) return std::nullopt;
  if (in[digits + 1 + length] != ',') throw std::runtime_error("a field does not end in ','");
  const std::string_view field = in.substr(digits + 1, length);
  in.remove_prefix(digits + 1 + length + 1);
  return field;
}

// The fields of a complete record: exactly `count` of them.
std::vector<std::string_view> Fields(std::string_view record, size_t count) {
  std::vector<std::string_view> fields;
  while (!record.empty()) {
    const auto field = Take(record);
    if (!field) throw std::runtime_error("a record ends inside a field");
    fields.push_back(*field);
    if (fields.size() > count) break;
  }
  if (fields.size() != count) throw std::runtime_error("a record has the wrong number of fields");
  return fields;
}

int64_t Number(std::string_view text, int64_t lowest, int64_t highest, const char* what) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < lowest ||
      value > highest) {
    throw std::runtime_error(std::string("not a valid ") + what + ": '" +
                             std::string(text.substr(0, 20)) + "'");
  }
  return value;
}

std::string Record(std::initializer_list<std::string_view> fields) {
  std::string inner;
  for (const std::string_view field : fields) Put(inner, field);
  std::string out;
  Put(out, inner);
  return out;
}

bool IsLowerHex(std::string_view text) {
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

FetchEvent ReadRecord(std::string_view record) {
  std::string_view rest = record;
  const auto type = Take(rest);
  if (!type || type->size() != 1) throw std::runtime_error("a record without its type");
  FetchEvent event;
  switch ((*type)[0]) {
    case 'R': {
      const auto f = Fields(record, 5);
      event.type = FetchEvent::Type::kReport;
      event.message = static_cast<int>(Number(f[1], 0, 9999, "report number"));
      event.text = f[2];
      event.status = static_cast<int>(Number(f[3], -1000, 1000, "report status"));
      event.error = static_cast<int>(Number(f[4], -1'000'000, 1'000'000, "report error"));
      break;
    }
    case 'X': {
      const auto f = Fields(record, 2);
      event.type = FetchEvent::Type::kRefusal;
      event.text = f[1];
      break;
    }
    case 'L': {
      const auto f = Fields(record, 3);
      event.type = FetchEvent::Type::kLibraryMissing;
      if (f[1].empty() || f[1].size() > 255) throw std::runtime_error("not a library's name");
      event.library = f[1];
      event.text = f[2];
      break;
    }
    case 'E': {
      const auto f = Fields(record, 4);
      event.type = FetchEvent::Type::kResult;
      event.code = static_cast<int>(Number(f[1], 0, 5, "result"));
      if (event.code != 0 && event.code != 4 && event.code != 5) {
        throw std::runtime_error("not a valid result");
      }
      if (event.code != 0 && !f[2].empty()) throw std::runtime_error("a text without a fetch");
      if (!f[3].empty() && (f[3].size() != 64 || !IsLowerHex(f[3]))) {
        throw std::runtime_error("not a SHA-256");
      }
      event.body = f[2];
      event.digest = f[3];
      break;
    }
    default:
      throw std::runtime_error("a record of an unknown type");
  }
  return event;
}

}  // namespace

std::string EncodeFetchRequest(const FetchRequest& request) {
  std::string out;
  Put(out, kRequestMagic);
  Put(out, request.kind == FetchKind::kControlFile ? "control" : "small");
  for (const std::string* field : {&request.url, &request.folder, &request.sha256, &request.agent,
                                   &request.proxy, &request.extraCaFile}) {
    Put(out, *field);
  }
  Put(out, std::to_string(request.timeOut));
  Put(out, std::to_string(request.receiveTimeOut));
  Put(out, request.reuseConnections ? "1" : "0");
  Put(out, std::to_string(request.deadlineMs));
  Put(out, std::to_string(request.maxBytes));
  Put(out, std::to_string(request.keys.size()));
  for (const auto& key : request.keys) {
    Put(out, std::string_view(reinterpret_cast<const char*>(key.data()), key.size()));
  }
  return out;
}

FetchRequest DecodeFetchRequest(std::string_view bytes) {
  auto next = [&]() -> std::string_view {
    const auto field = Take(bytes);
    if (!field) throw std::runtime_error("the request ends early");
    return *field;
  };
  if (next() != kRequestMagic) throw std::runtime_error("not a fetch request of this version");
  FetchRequest request;
  const std::string_view kind = next();
  if (kind == "control") {
    request.kind = FetchKind::kControlFile;
  } else if (kind == "small") {
    request.kind = FetchKind::kSmallFile;
  } else {
    throw std::runtime_error("an unknown kind of fetch");
  }
  for (std::string* field : {&request.url, &request.folder, &request.sha256, &request.agent,
                             &request.proxy, &request.extraCaFile}) {
    *field = next();
  }
  request.timeOut = static_cast<int32_t>(Number(next(), INT32_MIN, INT32_MAX, "time-out"));
  request.receiveTimeOut =
      static_cast<int32_t>(Number(next(), INT32_MIN, INT32_MAX, "receive time-out"));
  request.reuseConnections = Number(next(), 0, 1, "connection reuse") == 1;
  request.deadlineMs = Number(next(), 0, INT64_MAX / 2, "deadline");
  request.maxBytes = Number(next(), 0, INT64_MAX / 2, "size limit");
  const auto keys = Number(next(), 0, 1000, "key count");
  for (int64_t i = 0; i < keys; ++i) {
    const std::string_view key = next();
    if (key.size() != platform::Ed25519PublicKey().size()) throw std::runtime_error("not a key");
    platform::Ed25519PublicKey parsed{};
    std::copy(key.begin(), key.end(), reinterpret_cast<char*>(parsed.data()));
    request.keys.push_back(parsed);
  }
  if (!bytes.empty()) throw std::runtime_error("the request goes on after its end");
  return request;
}

std::string EncodeReport(int message, std::string_view argument, int status, int error) {
  return Record(
      {"R", std::to_string(message), argument, std::to_string(status), std::to_string(error)});
}

std::string EncodeRefusal(std::string_view reason) {
  return Record({"X", reason});
}

std::string EncodeLibraryMissing(std::string_view library, std::string_view reason) {
  return Record({"L", library, reason});
}

std::string EncodeResult(int code, std::string_view body, std::string_view digest) {
  return Record({"E", std::to_string(code), body, digest});
}

std::vector<FetchEvent> FetchAnswerReader::Add(std::string_view bytes) {
  if (bytes.size() > maxBytes_ - total_) {
    throw std::runtime_error("more than " + std::to_string(maxBytes_) + " bytes");
  }
  total_ += bytes.size();
  pending_.append(bytes);
  std::vector<FetchEvent> events;
  std::string_view rest = pending_;
  while (!rest.empty()) {
    if (finished_) throw std::runtime_error("more after the result");
    const auto record = Take(rest);
    if (!record) break;
    events.push_back(ReadRecord(*record));
    if (events.back().type == FetchEvent::Type::kResult) finished_ = true;
  }
  pending_.erase(0, pending_.size() - rest.size());
  return events;
}

}  // namespace kessmar

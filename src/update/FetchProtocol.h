// What the program and its fetch helper (kessmar-update-fetch) say to each other: the request
// (what to fetch, with which settings) and the answer (the status reports and refusals of the
// fetch as they happen, then its result). Both are sequences of netstrings ("<length>:<bytes>,");
// every answer record is one netstring holding the record's own fields as netstrings.
//
// The answer comes from another process and is read as hostile: a reader takes nothing it has
// not checked, and stops at a limit on the whole answer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/UpdateSignature.h"

namespace kessmar {

enum class FetchKind {
  kControlFile,  // the control file, with its signature checked against the keys
  kSmallFile,    // a small file (the what's-new text), with its sha256 checked when given
};

struct FetchRequest {
  FetchKind kind = FetchKind::kControlFile;
  std::string url;
  std::string folder;  // where the file goes, ending in "/"
  std::string sha256;  // kSmallFile: the "sha256=" text of the control file, or empty
  std::string agent;
  std::string proxy;
  std::string extraCaFile;
  int32_t timeOut = 0;
  int32_t receiveTimeOut = 0;
  bool reuseConnections = false;
  int64_t deadlineMs = 0;  // per download
  int64_t maxBytes = 0;    // per download
  UpdateKeys keys;
};

std::string EncodeFetchRequest(const FetchRequest& request);
// Throws std::runtime_error naming what is malformed.
FetchRequest DecodeFetchRequest(std::string_view bytes);

// One record of the answer.
struct FetchEvent {
  enum class Type { kReport, kRefusal, kLibraryMissing, kResult };
  Type type = Type::kResult;
  int message = 0;  // kReport: the status report's number, status and error
  int status = 0;
  int error = 0;
  std::string text;     // kReport: its argument; kRefusal: the reason; kLibraryMissing: why
  std::string library;  // kLibraryMissing: the library's file name
  int code = 0;         // kResult: 0 fetched, 4 not fetched, 5 refused
  std::string body;     // kResult: the file's text when fetched
  std::string digest;   // kResult: the text's SHA-256 (64 lower-case hex digits) or empty
};

std::string EncodeReport(int message, std::string_view argument, int status, int error);
std::string EncodeRefusal(std::string_view reason);
std::string EncodeLibraryMissing(std::string_view library, std::string_view reason);
std::string EncodeResult(int code, std::string_view body, std::string_view digest);

// Reads an answer piece by piece as it arrives.
class FetchAnswerReader {
 public:
  explicit FetchAnswerReader(size_t maxBytes) : maxBytes_(maxBytes) {}
  // Takes the next bytes and returns the records now complete. Throws std::runtime_error when
  // the answer is malformed, goes on after its result, or grows beyond maxBytes.
  std::vector<FetchEvent> Add(std::string_view bytes);
  bool Finished() const { return finished_; }
  // Bytes still welcome before the limit.
  size_t Room() const { return maxBytes_ - total_; }

 private:
  size_t maxBytes_;
  size_t total_ = 0;
  std::string pending_;
  bool finished_ = false;
};

}  // namespace kessmar

// Constants of the batch file format (docs/batch-file.md): value tags, the field type names and
// codes, the field kinds and the version thresholds the reader applies.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kessmar::batchfile {

enum Tag : uint8_t {
  kEndOfList = 0x00,
  kStartOfList = 0x01,
  kInt8 = 0x02,
  kInt16 = 0x03,
  kInt32 = 0x04,
  kShortText = 0x06,
  kFalse = 0x08,
  kTrue = 0x09,
  kLongText = 0x0C,
  kUtf16Text = 0x12,
  kUtf8Text = 0x14,
};

inline constexpr std::string_view kSignature = "TPF0";
inline constexpr int32_t kWrittenVersion = 251;

// What a file of a given version holds.
inline constexpr int32_t kVersionWithoutValue = 100;   // no version value after the signature
inline constexpr int32_t kFirstWithIndexes = 200;      // index-definition list
inline constexpr int32_t kFirstWithRowLists = 230;     // rows wrapped in a list with a status
inline constexpr int32_t kFirstWithNullFlags = 249;    // a null flag before every value
inline constexpr int32_t kFirstWithKind = 250;         // kind in the field definitions
inline constexpr int32_t kFirstWithDefaultExpr = 251;  // default expression likewise

inline constexpr std::string_view kStringTypeName = "String";
inline constexpr std::string_view kIntegerTypeName = "Integer";
inline constexpr int32_t kStringTypeCode = 1;
inline constexpr int32_t kIntegerTypeCode = 3;
inline constexpr int32_t kIntegerDisplayWidth = 10;

// Field kinds by code.
inline constexpr std::array<std::string_view, 5> kKindNames = {"Data", "Calculated", "Lookup",
                                                               "InternalCalc", "Aggregate"};

// The messages of the reader and writer.
inline constexpr const char* kInvalidStreamFormat = "Invalid stream format";
inline constexpr const char* kInvalidPropertyValue = "Invalid property value";
inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kNoFieldCount = "Couldnt determine field count for load.";

}  // namespace kessmar::batchfile

// Helpers shared by the action tests: a private temporary folder and a batch to process built
// by hand, row by row, as the build step leaves it.
#pragma once

#include "support/TempDir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "batch/MemTable.h"

namespace kessmar::test {

using TempDir = ::kessmar::testing::TempDir;

struct Item {
  std::string barcode;
  int quantity;
};

// Leading rows with empty BarcodeType and Aantal 0, item rows with empty BarcodeType, DateTime
// null, as in a batch to process.
inline MemTable MakeBatchToProcess(const std::string& scannerId, const std::string& batchId,
                                   const std::vector<Item>& items) {
  MemTable table(MemTable::ScanRecordFields());
  table.Open();
  auto add = [&table](const std::string& barcode, int quantity) {
    table.Append();
    table.SetText("BarcodeType", "");
    table.SetText("Barcode", barcode);
    table.SetInteger("Aantal", quantity);
    table.Post();
  };
  add(scannerId, 0);
  add(batchId, 0);
  for (const Item& item : items) add(item.barcode, item.quantity);
  return table;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::filesystem::path> FolderContents(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename());
  }
  return names;
}

}  // namespace kessmar::test

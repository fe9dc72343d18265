// Writes the seed corpus of small batch files into the folder given as argument: files of every
// format version and every value tag the reader knows.
#include <iostream>

#include "batch/BatchTestSupport.h"
#include "batch/MemTable.h"

using namespace kessmar;
using namespace kessmar::test;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "Usage: make_batch_corpus FOLDER\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];

  ScanBatch("12AB34CD", "12AB34CD20261208143107", {"8712345678906", "Caf\xE9", "a,\"b\""})
      .SaveBatchFile(folder / "scan-batch.dat");
  ScanBatch("1", "120261208143107", {}).SaveBatchFile(folder / "leading-rows.dat");

  MemTable wide({FieldDef::Text("Note", 300), FieldDef::Int("N")});
  wide.Open();
  for (int32_t n : {0, -1, 200, 40000, INT32_MIN}) {
    wide.Append();
    wide.SetText("Note", n == 40000 ? std::string(256, 'x') : std::to_string(n));
    wide.SetInteger("N", n);
    wide.Post();
  }
  wide.SaveBatchFile(folder / "long-text-and-integers.dat");

  const std::string types = I(2) + I(1) + I(3);
  WriteBytes(folder / "version-100.dat", "TPF0" + B({1}) + Def("Code", "String", 5, 5, 100) +
                                             Def("N", "Integer", 0, 10, 100) + B({0, 1}) + types +
                                             B({0, 1}) + T("abc") + I(7) + T("") + I(-2) + B({0}));
  WriteBytes(folder / "version-200-index.dat",
             "TPF0" + I(200) + B({1}) + Def("Code", "String", 5, 5, 200) + B({0, 1}) + T("ix") +
                 T("Code") + T("") + B({8, 8, 9, 8, 0, 1}) + I(1) + I(1) + B({0, 1}) + T("x") +
                 B({0}));
  WriteBytes(folder / "version-230-earlier.dat",
             "TPF0" + I(230) + B({1}) + Def("Code", "String", 5, 5, 230) +
                 Def("N", "Integer", 0, 10, 230) + B({0, 1, 0, 1}) + types + B({0, 1, 1}) + I(0) +
                 T("new") + I(2) + I(1) + T("old") + I(1) + B({0, 0}));
  WriteBytes(folder / "version-250-utf.dat",
             "TPF0" + I(250) + B({1}) + Def("Code", "String", 9, 9, 250) + B({0, 1, 0, 1}) + I(1) +
                 I(1) + B({0, 1, 1}) + I(0) + B({8, 0x12, 2, 0, 0, 0, 'Z', 0, 0xAC, 0x20, 0, 1}) +
                 I(0) + B({8, 0x14, 2, 0, 0, 0, 0xC3, 0xA9, 0, 0}));
  WriteBytes(folder / "no-fields.dat", "TPF0" + I(251) + B({1, 0, 1, 0, 1}) + I(0) + B({0, 1, 0}));
  return 0;
}

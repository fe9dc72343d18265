// A loaded batch file as text for people (dump) and as CSV for spreadsheets.
#pragma once

#include <ostream>

#include "batch/MemTable.h"

namespace kessmar {

// The fields (name, type, size) and every row, one per line. Texts are shown in UTF-8 between
// double quotes with \" \\ and control characters escaped; a null field shows as <null>, so
// that it differs from the empty text "". Rows with earlier versions say how many they have.
void DumpTable(const MemTable& table, std::ostream& out);

// RFC 4180: a header line of field names, then one line per row, CRLF line ends; a cell holding
// a quote, comma, CR or LF is quoted with inner quotes doubled. Texts in UTF-8; null and empty
// are both the empty cell.
void WriteCsv(const MemTable& table, std::ostream& out);

}  // namespace kessmar

// The calculated field ARTK_intoms of the articles table: brand, "/", filter description, "/",
// characteristic, "/", types; an empty value keeps its slashes ("Bosch//18V/"). 80 characters.
#pragma once

#include <string>

#include "dbclient/Table.h"

namespace kessmar {

inline constexpr size_t kArtkIntomsSize = 80;

// The value for the current record of an artk table.
std::string ArtkIntoms(dbclient::Table& artk);

// Defines ARTK_intoms on an artk table component (before it is opened).
void AddArtkIntoms(dbclient::Table& artk);

}  // namespace kessmar

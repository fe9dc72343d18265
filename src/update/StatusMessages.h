// The texts of the update component's status reports, by message number.
#pragma once

#include <string>
#include <string_view>

namespace kessmar {

// The text of report `number` with "%s" replaced by argument; an unknown number gives the
// argument alone.
std::string StatusMessage(int number, std::string_view argument);

}  // namespace kessmar

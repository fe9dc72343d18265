// The texts of the port list: port entries "COMn: = friendly name" from the enumeration, and the
// entries of the port combo, "COMn" or "COMn (Scanner)".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kessmar {

// True when the entry, in upper case, contains "OPTICON".
bool IsScannerPortEntry(std::string_view portEntry);

// The port number text of a port entry: the entry without its first three characters, cut before
// the first ": =". "COM12: = X" gives "12".
std::string PortNumberText(std::string_view portEntry);

// The port number of a port entry, when its number text is a decimal number greater than 0.
std::optional<int> PortNumberOfEntry(std::string_view portEntry);

// The combo entries for a port list, sorted as text ignoring case: "COM" + n, with " (Scanner)"
// appended for a scanner's port.
std::vector<std::string> ComboEntriesFor(const std::vector<std::string>& portList);

// Which combo entry to select after a rebuild: the first (in the given, sorted order) that
// contains comPort (case-sensitive; an empty comPort matches nothing), else the first that
// contains "Scanner"; nullopt when neither rule selects one.
std::optional<int> ComboSelectionFor(const std::vector<std::string>& entries,
                                     std::string_view comPort);

// The port number of a combo entry: its text from the fourth character on, up to and including
// the first blank (at most 10 characters when there is no blank), trimmed, read as a decimal.
// nullopt when that is not a number.
std::optional<int> PortNumberOfComboEntry(std::string_view entry);

// A combo entry cut before its first blank: "COM3 (Scanner)" gives "COM3".
std::string CutAtFirstBlank(std::string_view text);

}  // namespace kessmar

// The folder tokens of update control files: "{NAME}" stands for a folder the system names.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kessmar {

// The folder for an upper-cased NAME; nullopt for a name it does not know. May throw (the
// local application-data folder that cannot be named).
using PrefixFolders = std::function<std::optional<std::string>(const std::string& name)>;

// Replaces every "{NAME}" token in text (NAME matched without regard to case) by its folder
// text: the folder with a "/" appended when missing, and then, for an absolute folder other than
// "/", that final "/" removed again, or otherwise "." appended. So {APP} of a program in
// /opt/kst/ becomes /opt/kst, a root "/" becomes "/." and an unknown name ".". A "{" without a
// later "}" stays; a second "{" before the "}" is part of the name. Scanning goes on after each
// replacement, so folders that themselves hold braces are never expanded again. Exceptions of
// `folders` pass through.
std::string ExpandPathPrefixes(std::string_view text, const PrefixFolders& folders);

// The folder text of one folder, as described above.
std::string PrefixFolderText(const std::string& folder);

}  // namespace kessmar

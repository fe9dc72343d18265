// Runs bytes through the signature and hash check the way the update component does, without
// files or network: the shared body of the fuzz target and of the corpus test.
#pragma once

#include <string_view>

namespace kessmar {

// The input is a signature file's text, a line end, and a control file. Checks the signature
// against a fixed key, reads the text as a key file, and compares every sha256 of a file entry
// with the control file's own SHA-256. True when the signature is good. Throws nothing; a fault
// shows as a crash or a sanitizer report.
bool ExerciseSignatureCheck(std::string_view input);

}  // namespace kessmar

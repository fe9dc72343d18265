// The supplier's side of a signed update: fills in the "sha256=" and "filesize=" keys of a
// control file from the files it names, and signs the result.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/crypto/Crypto.h"

namespace kessmar {

// control with "sha256=" and "filesize=" set in every [fileN] section (N = 1 to [files] count)
// and "sha256=" in [whatsnew], from the file in folder named like the last part of the entry's
// url; other lines stay as they are (line ends included), earlier values of these keys are
// replaced. Throws std::runtime_error naming the entry when its url is not https or its file is
// missing in folder.
std::string FillInFileKeys(std::string_view control, const std::filesystem::path& folder);

// Reads the control file and the private key, writes the filled-in control file to output and
// its signature to output + ".sig". Throws std::runtime_error; nothing is written then.
void PublishControlFile(const std::filesystem::path& control, const std::filesystem::path& folder,
                        const std::filesystem::path& privateKey,
                        const std::filesystem::path& output);

}  // namespace kessmar

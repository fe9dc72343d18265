// Where the program asks for updates.
#pragma once

#include <string>
#include <string_view>

namespace kessmar {

// The supplier's update server and the control file's place on it.
inline constexpr std::string_view kUpdateServerHost = "updates.kessmar.nl";
inline constexpr std::string_view kControlFilePath = "/files/download/kessmar_scanner_tool.ini";

// "https://" + kUpdateServerHost + kControlFilePath. The environment variable KESSMAR_UPDATE_URL
// (a scheme and host, "https://127.0.0.1:8443", for tests and the demo) replaces the part
// before the path.
std::string ControlFileUrl();

// True for an "https://" address (the scheme in any case) with something after it.
bool IsHttpsUrl(std::string_view url);

// A PEM file of certificate authorities trusted besides the system's, named by
// KESSMAR_UPDATE_CA_FILE (for tests and the demo); empty when unset.
std::string ExtraCaFile();

}  // namespace kessmar

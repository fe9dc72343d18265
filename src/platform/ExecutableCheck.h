// Whether a file is a complete program for this machine, before anything starts it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kessmar::platform {

// nullopt when file is an executable of this machine's kind (here: an ELF program or shared
// object of this architecture, word size and byte order) whose headers and loaded segments all
// lie within the file, so that a file cut short is caught. Otherwise why not. Never throws
// except std::bad_alloc.
std::optional<std::string> ExecutableProblem(const std::filesystem::path& file);

}  // namespace kessmar::platform

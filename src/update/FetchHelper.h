// The fetch helper (tools/update-fetch, installed as kessmar-update-fetch beside the program):
// the program's update check has it fetch the control file and the what's-new text, so that
// libcurl, OpenSSL and what they bring are loaded in a process that ends with the fetch
// instead of staying in the program's memory for the rest of the day.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

namespace kessmar {

// The helper's name beside the program.
inline constexpr const char* kFetchHelperName = "kessmar-update-fetch";

// Does the fetch one request (update/FetchProtocol.h) asks for, in this process, and writes the
// answer to `write` record by record as the fetch goes. Throws std::runtime_error naming what is
// wrong when the request cannot be read; nothing is fetched then.
void ServeFetchRequest(std::string_view request,
                       const std::function<void(std::string_view)>& write);

// The helper the program uses: the file KESSMAR_UPDATE_FETCHER names, else kessmar-update-fetch
// beside the running program when it is there and runnable; else empty (the program fetches
// in its own process). Never throws except std::bad_alloc.
std::filesystem::path DefaultFetchProgram();

}  // namespace kessmar

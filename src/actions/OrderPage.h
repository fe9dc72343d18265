// The web order page: the batch to process written as an HTML form that the user's browser
// posts to the web shop's order endpoint as soon as it loads the page.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "batch/MemTable.h"

namespace kessmar {

class ShellOpen;

// File name of the order page in the Data folder.
inline constexpr std::string_view kOrderPageName = "kessmar.html";

// The shop's base URL used when KESSMAR_SHOP_URL is not set.
inline constexpr std::string_view kDefaultShopUrl = "https://www.kessmar.nl";

// The URL the order page posts to: the shop's base URL followed by "/bestelling". The base URL
// is kDefaultShopUrl unless the environment variable KESSMAR_SHOP_URL holds another one (a
// trailing "/" is dropped), e.g. "http://127.0.0.1:8123" gives
// "http://127.0.0.1:8123/bestelling".
std::string OrderEndpointUrl();

// The page's bytes for the batch to process in dataToProcess (row 1 scanner id, row 2 batch id,
// rows 3 and on the items; moves the table's cursor). Lines end with CR LF; the bytes are the
// table's Windows-1252 texts, HTML-escaped inside attribute values so that the browser posts
// them unchanged. The table must hold at least 2 rows (throws TableError otherwise).
std::string OrderPageText(MemTable& dataToProcess, std::string_view endpointUrl);

// Writes the order page for dataToProcess (opened first when closed) to pagePath. Returns false
// and writes nothing when the table holds fewer than 2 rows. The page is written under a
// temporary name beside pagePath and renamed over it when complete, so an existing page is
// replaced whole and a failed write leaves no half page behind. Throws std::runtime_error
// "Cannot create file "<path>". <reason>" when the page cannot be written.
bool WriteOrderPage(MemTable& dataToProcess, const std::filesystem::path& pagePath,
                    std::string_view endpointUrl);

// The message that tells the user that no browser took the order page at page.
std::string NoBrowserMessage(const std::filesystem::path& page);

// The action "Stuur naar Kessmar Website": writes kOrderPageName in dataFolder for
// dataToProcess, posting to OrderEndpointUrl(), and hands the page to shell. Returns false when
// the table holds fewer than 2 rows (nothing written, shell not called), true once a browser
// took the page. Throws HandOnError with NoBrowserMessage when no program could be started for
// the page. Write errors propagate as from WriteOrderPage; the shell is then not called.
bool SendBatchToWebsite(MemTable& dataToProcess, const std::filesystem::path& dataFolder,
                        ShellOpen& shell);

}  // namespace kessmar

#include "actions/OrderPage.h"

#include <cstdlib>
#include <stdexcept>

#include "actions/HandOnError.h"
#include "batch/ScanTables.h"
#include "platform/EnvironmentOverrides.h"
#include "platform/Files.h"
#include "platform/ShellOpen.h"

namespace kessmar {
namespace {

constexpr std::string_view kEndpointPath = "/bestelling";
constexpr std::string_view kEol = "\r\n";

// Attribute values are written between double quotes; escaping these four keeps every
// scanned code intact on its way through the browser.
void AppendEscaped(std::string& out, std::string_view value) {
  for (char c : value) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
}

void AppendLine(std::string& out, std::string_view line) {
  out += line;
  out += kEol;
}

void AppendField(std::string& out, std::string_view name, std::string_view value) {
  out += "<input type=\"hidden\" name=\"";
  out += name;
  out += "\" value=\"";
  AppendEscaped(out, value);
  out += "\">";
  out += kEol;
}

void AppendItemField(std::string& out, std::string_view name, int item, std::string_view value) {
  std::string indexed(name);
  indexed += '[';
  indexed += std::to_string(item);
  indexed += ']';
  AppendField(out, indexed, value);
}

}  // namespace

std::string NoBrowserMessage(const std::filesystem::path& page) {
  return "De bestelpagina kon niet in een browser worden geopend. De scans blijven in de "
         "scanner.\nOpen de pagina zelf in uw browser:\n" +
         page.string();
}

std::string OrderEndpointUrl() {
  std::string base(kDefaultShopUrl);
  if (const auto custom = platform::EnvironmentOverride(platform::env::kShopUrl)) {
    base = *custom;
    while (!base.empty() && base.back() == '/') base.pop_back();
  }
  return base + std::string(kEndpointPath);
}

std::string OrderPageText(MemTable& dataToProcess, std::string_view endpointUrl) {
  if (dataToProcess.RowCount() < 2) {
    throw TableError("The batch to process holds fewer than 2 rows");
  }
  std::string page;
  AppendLine(page, "<!DOCTYPE HTML PUBLIC '-//W3C//DTD HTML 4.0 Transitional//EN'>");
  AppendLine(page, "<html>");
  AppendLine(page, "<head>");
  AppendLine(page, "<title>Opticon scanner -> Kessmar B.V. </title>");
  AppendLine(page, "<meta http-equiv=\"content-type\" content=\"text/html;charset=iso-8859-1\">");
  AppendLine(page, "</head>");
  AppendLine(page, "<body>");
  page += "<form action=\"";
  AppendEscaped(page, endpointUrl);
  AppendLine(page, "\" name=\"barcode\" method=\"post\">");

  dataToProcess.First();
  std::string scannerId = dataToProcess.AsText("Barcode");
  dataToProcess.Next();
  std::string batchId = dataToProcess.AsText("Barcode");
  dataToProcess.Next();
  AppendField(page, "_scanner_id", scannerId);
  AppendField(page, "_b_batch", batchId);
  AppendField(page, "_b_count", std::to_string(ItemCount(dataToProcess)));

  for (int item = 0; !dataToProcess.Eof(); ++item, dataToProcess.Next()) {
    AppendItemField(page, "_b_num", item, dataToProcess.AsText("Aantal"));
    AppendItemField(page, "_b_val", item, dataToProcess.AsText("Barcode"));
    AppendItemField(page, "_b_dat", item, dataToProcess.AsText("DateTime"));
    AppendItemField(page, "_b_typ", item, dataToProcess.AsText("BarcodeType"));
  }

  // 0x85 is the ellipsis of Windows-1252, the page's own code page.
  AppendLine(page, "<p>Sending barcodes to Kessmar B.V. server\x85...</p>");
  AppendLine(page, "<script language=\"javascript\">document.barcode.submit();</script>");
  AppendLine(page, "</form>");
  AppendLine(page, "</body>");
  AppendLine(page, "</html>");
  return page;
}

bool WriteOrderPage(MemTable& dataToProcess, const std::filesystem::path& pagePath,
                    std::string_view endpointUrl) {
  dataToProcess.Open();
  if (dataToProcess.RowCount() < 2) return false;
  try {
    platform::ReplaceFileContent(pagePath, OrderPageText(dataToProcess, endpointUrl));
  } catch (const platform::FileError& e) {
    throw std::runtime_error("Cannot create file \"" + pagePath.string() + "\". " + e.what());
  }
  return true;
}

bool SendBatchToWebsite(MemTable& dataToProcess, const std::filesystem::path& dataFolder,
                        ShellOpen& shell) {
  std::filesystem::path page = dataFolder / kOrderPageName;
  if (!WriteOrderPage(dataToProcess, page, OrderEndpointUrl())) return false;
  // Without a browser the order never reaches the shop: that is no success, or the scanner
  // would be cleared and the scans lost.
  if (!shell.Open(page)) throw HandOnError(NoBrowserMessage(page));
  return true;
}

}  // namespace kessmar

#include "kessmar-update-publish/Publisher.h"

#include <map>
#include <stdexcept>
#include <vector>

#include "common/Text.h"
#include "platform/Files.h"
#include "update/ControlFile.h"
#include "update/UpdateServer.h"
#include "update/UpdateSignature.h"
#include "update/WebUpdate.h"

namespace kessmar {
namespace {

std::string ReadWhole(const std::filesystem::path& file) {
  try {
    if (auto text = platform::ReadFileIfPresent(file)) return *text;
  } catch (const platform::FileError& e) {
    throw std::runtime_error(e.what());
  }
  throw std::runtime_error("No such file: " + file.string());
}

struct FileKeys {
  std::string sha256;
  std::string size;  // empty: no filesize key
};

// The keys to write, by lower-case section name.
std::map<std::string, FileKeys> KeysFor(std::string_view control,
                                        const std::filesystem::path& folder) {
  const ControlFile parsed = ControlFile::Parse(control);
  std::map<std::string, FileKeys> keys;
  auto add = [&](const std::string& section, const std::string& url, bool withSize) {
    if (!IsHttpsUrl(url)) throw std::runtime_error("[" + section + "] url is not https: " + url);
    const std::filesystem::path file = folder / TWebUpdate::UrlFileName(url);
    const std::string content = ReadWhole(file);
    keys[section] = {Sha256Text(platform::Sha256Of(content)),
                     withSize ? std::to_string(content.size()) : std::string()};
  };
  const int32_t count = parsed.ReadInteger("files", "count", 0);
  for (int32_t i = 1; i <= count; ++i) {
    const std::string section = "file" + std::to_string(i);
    const std::string url = parsed.ReadString(section, "url");
    if (url.empty()) throw std::runtime_error("[" + section + "] has no url");
    add(section, url, true);
  }
  if (const std::string url = parsed.ReadString("whatsnew", "file"); !url.empty()) {
    add("whatsnew", url, false);
  }
  return keys;
}

}  // namespace

std::string FillInFileKeys(std::string_view control, const std::filesystem::path& folder) {
  const auto keys = KeysFor(control, folder);
  const std::string eol = control.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
  std::string out;
  const FileKeys* current = nullptr;
  while (!control.empty()) {
    const size_t end = control.find('\n');
    const std::string_view line =
        end == std::string_view::npos ? control : control.substr(0, end + 1);
    control.remove_prefix(line.size());
    const std::string_view content = Trim(line, " \t\r\n");
    if (!content.empty() && content.front() == '[') {
      const auto close = content.find(']');
      const std::string name = ToLowerAscii(
          Trim(content.substr(1, close == std::string_view::npos ? content.npos : close - 1)));
      const auto it = keys.find(name);
      current = it == keys.end() ? nullptr : &it->second;
      out += line;
      if (line.back() != '\n') out += eol;
      if (current != nullptr) {
        out += "sha256=" + current->sha256 + eol;
        if (!current->size.empty()) out += "filesize=" + current->size + eol;
      }
      continue;
    }
    if (current != nullptr) {
      const auto eq = content.find('=');
      const std::string key =
          eq == std::string_view::npos ? "" : ToLowerAscii(Trim(content.substr(0, eq)));
      if (key == "sha256" || (key == "filesize" && !current->size.empty())) continue;
    }
    out += line;
  }
  return out;
}

void PublishControlFile(const std::filesystem::path& control, const std::filesystem::path& folder,
                        const std::filesystem::path& privateKey,
                        const std::filesystem::path& output) {
  const platform::Ed25519PrivateKey key = ParsePrivateKey(ReadWhole(privateKey));
  const std::string filled = FillInFileKeys(ReadWhole(control), folder);
  const std::string signature = SignatureText(platform::SignEd25519(key, filled));
  try {
    platform::ReplaceFileContent(output, filled);
    platform::ReplaceFileContent(output.string() + ".sig", signature);
  } catch (const platform::FileError& e) {
    throw std::runtime_error(e.what());
  }
}

}  // namespace kessmar

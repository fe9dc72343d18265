#include "version/VersionInfoWriter.h"
#include "common/LittleEndian.h"

#include <stdexcept>

namespace kessmar {
namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructVersion = 0x00010000;

struct Node {
  std::u16string key;
  uint16_t type = 0;         // 0 binary, 1 text
  uint16_t valueLength = 0;  // bytes for binary values, UTF-16 units for text
  std::vector<uint8_t> value;
  std::vector<Node> children;
  std::string what;  // names the node in errors
};

// Decodes UTF-8 into UTF-16; `what` names the text in the error.
std::u16string Utf8ToUtf16(const std::string& text, const std::string& what) {
  std::u16string out;
  size_t i = 0;
  auto fail = [&]() { throw std::invalid_argument("invalid UTF-8 in version resource " + what); };
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t len = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      len = 1, cp = c;
    } else if (c >= 0xC2 && c <= 0xDF) {
      len = 2, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4, cp = c & 0x07;
    } else {
      fail();
    }
    if (text.size() - i < len) fail();
    for (size_t k = 1; k < len; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) fail();
      cp = (cp << 6) | (next & 0x3F);
    }
    const char32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : len == 4 ? 0x10000 : 0;
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) fail();
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

void PutWord(std::vector<uint8_t>& out, uint16_t value) {
  le::Append16(out, value);
}

void PutDword(std::vector<uint8_t>& out, uint32_t value) {
  le::Append32(out, value);
}

void Pad4(std::vector<uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

void PutText(std::vector<uint8_t>& out, const std::u16string& text) {
  for (char16_t unit : text) PutWord(out, unit);
  PutWord(out, 0);
}

void Emit(const Node& node, std::vector<uint8_t>& out) {
  const size_t start = out.size();
  PutWord(out, 0);  // wLength, patched below
  PutWord(out, node.valueLength);
  PutWord(out, node.type);
  PutText(out, node.key);
  Pad4(out);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const Node& child : node.children) {
    Pad4(out);
    Emit(child, out);
  }
  const size_t length = out.size() - start;
  if (length > 0xFFFF) {
    throw std::invalid_argument("version resource node too long: " + node.what);
  }
  le::Store16(out.data() + start, static_cast<uint16_t>(length));
}

Node Container(const std::string& key, const std::string& what) {
  Node node;
  node.key = Utf8ToUtf16(key, what);
  node.type = 1;
  node.what = what;
  return node;
}

}  // namespace

std::vector<uint8_t> UsEnglishTranslation() {
  return {0x09, 0x04, 0xE4, 0x04};
}

std::vector<uint8_t> BuildVersionResource(const VersionInfoContents& contents) {
  Node root;
  root.key = u"VS_VERSION_INFO";
  root.what = "VS_VERSION_INFO";
  if (contents.fixed) {
    const FixedFileInfo& f = *contents.fixed;
    for (uint32_t dword :
         {kFixedSignature, kFixedStructVersion, f.fileVersion.HighWord(), f.fileVersion.LowWord(),
          f.productVersion.HighWord(), f.productVersion.LowWord(), f.fileFlagsMask, f.fileFlags,
          f.fileOs, f.fileType, f.fileSubtype, 0u, 0u}) {
      PutDword(root.value, dword);
    }
    root.valueLength = static_cast<uint16_t>(root.value.size());
  }

  if (!contents.tables.empty()) {
    Node info = Container("StringFileInfo", "StringFileInfo");
    for (const VersionStringTable& table : contents.tables) {
      const std::string tableWhat = "string table " + table.key;
      Node tableNode = Container(table.key, tableWhat);
      for (const auto& [name, value] : table.values) {
        const std::string what = tableWhat + " value " + name;
        Node string = Container(name, what);
        const std::u16string text = Utf8ToUtf16(value, what);
        if (text.size() + 1 > 0xFFFF)
          throw std::invalid_argument("version string too long: " + what);
        PutText(string.value, text);
        string.valueLength = static_cast<uint16_t>(text.size() + 1);
        tableNode.children.push_back(std::move(string));
      }
      info.children.push_back(std::move(tableNode));
    }
    root.children.push_back(std::move(info));
  }

  if (!contents.vars.empty()) {
    Node info = Container("VarFileInfo", "VarFileInfo");
    for (const VersionVar& var : contents.vars) {
      const std::string what = "var " + var.key;
      if (var.value.size() > 0xFFFF) throw std::invalid_argument("version value too long: " + what);
      Node node;
      node.key = Utf8ToUtf16(var.key, what);
      node.type = 0;
      node.what = what;
      node.value = var.value;
      node.valueLength = static_cast<uint16_t>(var.value.size());
      info.children.push_back(std::move(node));
    }
    root.children.push_back(std::move(info));
  }

  std::vector<uint8_t> out;
  Emit(root, out);
  return out;
}

}  // namespace kessmar

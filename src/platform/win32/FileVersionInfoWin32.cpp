
#include <windows.h>

#include "platform/win32/FileVersionInfo.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform::win32 {

std::optional<std::vector<uint8_t>> FileVersionBlock(const std::filesystem::path& file) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<uint8_t> block(size);
  if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return std::nullopt;
  return block;
}

std::optional<std::string> FileVersionText(const std::vector<uint8_t>& block,
                                           const std::string& subBlock) {
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), Widen(subBlock).c_str(), &value, &length) ||
      value == nullptr) {
    return std::nullopt;
  }
  const auto* text = static_cast<const wchar_t*>(value);
  std::wstring wide(text, length);
  while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
  return Narrow(wide);
}

}  // namespace kessmar::platform::win32

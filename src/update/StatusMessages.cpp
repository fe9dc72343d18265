#include "update/StatusMessages.h"

#include <utility>

namespace kessmar {
namespace {

constexpr std::pair<int, std::string_view> kTexts[] = {
    {908, ""},
    {915, "Download : %s"},
    {916, "Http status : %s"},
    {917, "File not found : %s"},
    {918, "Checking for Internet connection"},
    {919, "Prompt to open new Internet connection"},
    {920, "Opening Internet connection"},
    {921, "Found open Internet connection"},
    {922, "Cannot open Internet connection"},
    {925, "Update control file not found"},
    {926, "Update control file found"},
    {927, "Invalid signature in update control file"},
    {928, "Date based update found"},
    {929, "New version found : %s"},
    {930, "No new version found"},
    {931, "Checksum based update found"},
    {932, "File size based update found"},
    {933, "Version based update found"},
    {937, "Found whatsnew instruction"},
    {941, "Found URL redirection instruction"},
    {943, "Found file update instruction"},
    {944, "Version check : %s"},
    {946, "Cannot download update file : %s"},
    {947, "Error decompressing CAB file : %s"},
    {948, "Finished processing update control file"},
    {949, "Closed Internet connection"},
    {953, "Dialup failed"},
    {955, "Disconnect dialup"},
    {958, "Spawn %s"},
    {959, "Restart app in directory : %s"},
    {962, "Found application component : %s"},
    {964, "WebUpdate process cancelled"},
    {971, "Processing file : %s"},
    {972, "Cannot delete file : %s"},
    {973, "Cannot rename file : %s"},
    {976, "System error : %s"},
};

}  // namespace

std::string StatusMessage(int number, std::string_view argument) {
  for (const auto& [n, text] : kTexts) {
    if (n != number) continue;
    std::string message(text);
    if (const auto at = message.find("%s"); at != std::string::npos) {
      message.replace(at, 2, argument);
    }
    return message;
  }
  return std::string(argument);
}

}  // namespace kessmar

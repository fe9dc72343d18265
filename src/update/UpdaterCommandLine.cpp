#include "update/UpdaterCommandLine.h"
#include "common/Text.h"

#include <charconv>

namespace kessmar {
namespace {

std::string QuotedWhenBlank(const std::string& text) {
  return text.find(' ') != std::string::npos ? "\"" + text + "\"" : text;
}

}  // namespace

std::string BuildUpdaterCommandLine(const UpdaterCall& call) {
  std::string program = "null";
  if (call.autoRestart) {
    program = call.appName;
    if (program.empty() || program.front() != '/') {
      std::string folder = call.currentFolder;
      if (folder.empty() || folder.back() != '/') folder += '/';
      program = folder + call.appName;
    }
    program = QuotedWhenBlank(program);
  }
  return std::to_string(call.processId) + " " + (call.logging ? "L" : "X") + " " + program + " " +
         QuotedWhenBlank(call.appParams) + " \"" + call.componentFolder + "\" " +
         call.appComponents;
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inArgument = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) args.push_back(std::move(current));
  return args;
}

std::optional<UpdaterArguments> ParseUpdaterArguments(const std::vector<std::string>& args) {
  if (args.size() < 5) return std::nullopt;
  UpdaterArguments out;
  const std::string& pid = args[0];
  const auto [end, error] = std::from_chars(pid.data(), pid.data() + pid.size(), out.processId);
  if (error != std::errc() || end != pid.data() + pid.size() || out.processId <= 0) {
    return std::nullopt;
  }
  out.logging = args[1] == "L";
  out.program = args[2];
  out.params = args[3];
  out.componentFolder = args[4];
  for (size_t i = 5; i < args.size(); ++i) {
    if (i > 5) out.components += ' ';
    out.components += args[i];
  }
  return out;
}

std::vector<std::string> SplitComponentList(std::string_view components) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t at = components.find_first_of(",;", start);
    const auto entry =
        Trim(components.substr(start, at == components.npos ? components.npos : at - start), " \t");
    if (!entry.empty()) out.emplace_back(entry);
    if (at == components.npos) return out;
    start = at + 1;
  }
}

}  // namespace kessmar

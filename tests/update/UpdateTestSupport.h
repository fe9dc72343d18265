// Shared pieces of the update tests: a component configured as the program configures it,
// talking to a local HTTPS server, with its temporary and documents folders in a test folder and
// its status reports logged to a file the test reads.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "platform/version/VersionResourceLocator.h"
#include "support/ElfImageBuilder.h"
#include "support/TempDir.h"
#include "update/HttpsTestServer.h"
#include "update/WebUpdate.h"
#include "version/VersionInfoWriter.h"

namespace kessmar::testing {

// Sets environment variables for the life of the object and restores them afterwards.
class ScopedEnv {
 public:
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  ~ScopedEnv() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// A small ELF file whose version resource states `version`, like our programs carry.
inline std::filesystem::path WriteVersionedProgram(const std::filesystem::path& file,
                                                   VersionNumber version) {
  VersionInfoContents contents;
  contents.fixed = FixedFileInfo{version, version};
  contents.tables.push_back({"040904E4", {{"ProductName", "Kessmar Scanner Tool"}}});
  contents.vars.push_back({"Translation", UsEnglishTranslation()});
  test::ElfImageSpec image;
  image.sections.push_back(
      {std::string(platform::kVersionSectionName), 1, BuildVersionResource(contents)});
  std::filesystem::create_directories(file.parent_path());
  const auto bytes = test::BuildElfImage(image);
  WriteFile(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return file;
}

// The report numbers logged, in order ("... : [915] Download : ...").
inline std::vector<int> LoggedReports(const std::filesystem::path& log) {
  std::vector<int> numbers;
  const std::string text = ReadFile(log);
  static const std::regex report(R"( : \[(\d+)\] )");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), report);
       it != std::sregex_iterator(); ++it) {
    numbers.push_back(std::stoi((*it)[1]));
  }
  return numbers;
}

inline bool Contains(const std::vector<int>& numbers, int n) {
  return std::find(numbers.begin(), numbers.end(), n) != numbers.end();
}

inline std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class UpdateFixture : public ::testing::Test {
 protected:
  TempDir dir;
  ScopedEnv env;
  std::unique_ptr<HttpsTestServer> server;
  TWebUpdate web;
  // $TMPDIR, and the component's private folder in it.
  std::filesystem::path tmpdir = dir / "tmp";
  std::filesystem::path tmp = tmpdir / ("kessmar-" + std::to_string(getuid()));
  std::filesystem::path home = dir / "home";
  std::filesystem::path app = dir / "app";
  std::filesystem::path log = dir / "status.log";

  void SetUp() override {
    for (const auto& folder : {tmpdir, home, app}) std::filesystem::create_directories(folder);
    std::filesystem::create_directory(tmp);
    std::filesystem::permissions(tmp, std::filesystem::perms::owner_all);
    env.Set("TMPDIR", tmpdir.string());
    env.Set("HOME", home.string());
    env.Set("XDG_CONFIG_HOME", (dir / "config").string());
    env.Set("XDG_DATA_HOME", (dir / "data").string());
    server = std::make_unique<HttpsTestServer>(dir / "server");
    web.Agent = "TWebUpdate";
    web.UpdateConnect = TUpdateConnect::wucConnectSilent;
    web.ExistingConnection = true;
    web.URL = server->Url("/files/download/kessmar_scanner_tool.ini");
    web.ExtraCaFile = server->CaFile().string();
    web.ProgramFile = app / "kessmar-scanner-tool";
    // The check fetches through the helper, as the program does.
    web.FetchProgram = KESSMAR_UPDATE_FETCH_PATH;
    web.Logging = true;
    web.LogFileName = log.string();
    web.StartProcess = [this](const std::filesystem::path& program,
                              const std::vector<std::string>& args) {
      started.push_back({program, args});
      return true;
    };
  }

  struct Start {
    std::filesystem::path program;
    std::vector<std::string> args;
  };
  std::vector<Start> started;

  std::vector<int> Reports() const { return LoggedReports(log); }
  std::string Tmp() const { return tmp.string() + "/"; }

  // Puts a control file on the server.
  void PublishControlFile(const std::string& text) {
    server->Serve("/files/download/kessmar_scanner_tool.ini", text);
  }
};

}  // namespace kessmar::testing

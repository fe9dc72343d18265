// What keeps an update the supplier's, against the local HTTPS server: the signature and the
// SHA-256 of every file, https only, complete bodies, no downgrade or broken program, the
// components the updater gets, the program folder, the hand-over memory, unsafe values and the
// temporary folder.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kessmar-update-publish/Publisher.h"
#include "update/UpdateSignature.h"
#include "update/UpdateTestSupport.h"
#include "update/UpdaterCommandLine.h"

namespace kessmar::testing {
namespace {

namespace fs = std::filesystem;
const std::string kControlPath = "/files/download/kessmar_scanner_tool.ini";

class SignedUpdateTest : public UpdateFixture {
 protected:
  fs::path published = dir / "published";
  std::string program = ReadFile(KESSMAR_PROGRAM_171);

  void SetUp() override {
    UpdateFixture::SetUp();
    fs::create_directories(published);
    MakeTestSigningKey(dir / "signing.pem", dir / "trusted.pem");
    web.TrustedKeys = ParsePublicKeys(ReadFile(dir / "trusted.pem"));
    WriteVersionedProgram(app / "kessmar-scanner-tool", {1, 0, 0, 170});
    web.OnRefused = [this](TWebUpdate&, const std::string& reason) { refusals.push_back(reason); };
  }
  std::vector<std::string> refusals;

  std::string Url(const std::string& name) const { return server->Url("/f/" + name); }
  // Serves files under /f/ and the control file with the sha256 and filesize keys filled in
  // and signed by the supplier's tool.
  void Publish(const std::string& control, const std::map<std::string, std::string>& files) {
    for (const auto& [name, content] : files) {
      WriteFile(published / name, content);
      server->Serve("/f/" + name, content);
    }
    WriteFile(published / "control.ini", control);
    kessmar::PublishControlFile(published / "control.ini", published, dir / "signing.pem",
                                published / "control.ini");
    server->Serve(kControlPath, ReadFile(published / "control.ini"));
    server->Serve(kControlPath + ".sig", ReadFile(published / "control.ini.sig"));
  }
  // Serves text as it is, signed.
  void PublishAsIs(const std::string& text) {
    const auto key = ParsePrivateKey(ReadFile(dir / "signing.pem"));
    server->Serve(kControlPath, text);
    server->Serve(kControlPath + ".sig", SignatureText(platform::SignEd25519(key, text)));
  }
  std::string AppUpdate(const std::string& version = "1.0.0.171",
                        const std::string& comps = "{APP}/kessmar-scanner-tool") const {
    return "[update]\nnewversion=" + version +
           "\nlocalversion={APP}/kessmar-scanner-tool\n[application]\nappupdate=1\n"
           "appname={APP}/kessmar-scanner-tool\nappcomps=" +
           comps + "\nsilentrestart=1\n";
  }
  std::string ProgramEntry(int i = 1) const {
    return "[file" + std::to_string(i) + "]\nurl=" + Url("kessmar-scanner-tool") + "\n";
  }
  int Install() {
    EXPECT_EQ(web.OpenSession(), 0);
    const int fetched = web.FetchControlFile();
    if (fetched != 0) return 100 + fetched;
    web.LoadFileEntries();
    web.SelectFileEntries();
    return web.InstallFileEntries();
  }
  bool Mentioned(const std::string& part) const {
    for (const auto& r : refusals) {
      if (r.find(part) != std::string::npos) return true;
    }
    return false;
  }
};

TEST_F(SignedUpdateTest, OnlyWhatTheSupplierSignedIsInstalled) {
  Publish(AppUpdate() + "[files]\ncount=1\n" + ProgramEntry() +
              "[whatsnew]\nfile=" + Url("whatsnew.txt") + "\n",
          {{"kessmar-scanner-tool", program}, {"whatsnew.txt", "Nieuw\r\n"}});
  std::vector<std::string> whatsNew;
  web.OnDownloadedWhatsNew = [&](TWebUpdate&, const std::vector<std::string>& text, int&) {
    whatsNew = text;
  };
  EXPECT_TRUE(web.QueryUpdateAvailable(false));
  EXPECT_EQ(whatsNew, std::vector<std::string>{"Nieuw"});
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(ReadFile(tmp / "kessmar-scanner-tool"), program);
  EXPECT_EQ(web.FetchedComponents,
            std::vector<std::string>{app.string() + "/kessmar-scanner-tool"});

  // A file changed on the server: nothing is placed.
  std::string changed = program;
  changed[changed.size() / 2] ^= 1;
  server->Serve("/f/kessmar-scanner-tool", changed);
  EXPECT_EQ(Install(), -1);
  EXPECT_FALSE(fs::exists(tmp / "kessmar-scanner-tool"));
  EXPECT_FALSE(web.ApplicationUpdatePending());
  EXPECT_TRUE(Mentioned("SHA-256"));

  // A what's-new text changed on the server is not shown.
  server->Serve("/f/whatsnew.txt", "Anders\r\n");
  whatsNew.clear();
  web.QueryUpdateAvailable(false);
  EXPECT_TRUE(whatsNew.empty());
}

TEST_F(SignedUpdateTest, AMissingOrWrongSignatureMeansNoUpdate) {
  Publish(AppUpdate() + "[files]\ncount=1\n" + ProgramEntry(), {{"kessmar-scanner-tool", program}});
  const std::string control = ReadFile(published / "control.ini");
  const std::string signature = ReadFile(published / "control.ini.sig");

  // Changed after signing.
  server->Serve(kControlPath, control + "[x]\n");
  EXPECT_FALSE(web.QueryUpdateAvailable(false));
  EXPECT_EQ(Install(), 105);
  EXPECT_TRUE(Mentioned("not the supplier's"));
  EXPECT_TRUE(FolderNames(tmp).empty()) << "nothing of it is kept";

  // Signed by another key.
  MakeTestSigningKey(dir / "other.pem", dir / "other-public.pem");
  server->Serve(kControlPath, control);
  server->Serve(kControlPath + ".sig", SignatureText(platform::SignEd25519(
                                           ParsePrivateKey(ReadFile(dir / "other.pem")), control)));
  EXPECT_FALSE(web.QueryUpdateAvailable(false));

  // No signature, or a damaged one.
  server->Handle(kControlPath + ".sig",
                 [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
  EXPECT_FALSE(web.QueryUpdateAvailable(false));
  EXPECT_TRUE(Mentioned("no signature"));
  server->Serve(kControlPath + ".sig", "AAAA" + signature.substr(4));
  EXPECT_FALSE(web.QueryUpdateAvailable(false));
  EXPECT_EQ(server->Requests("/f/kessmar-scanner-tool"), 0);

  // Signed, but a file without sha256.
  PublishAsIs(AppUpdate() + "[files]\ncount=1\n" + ProgramEntry());
  EXPECT_FALSE(web.QueryUpdateAvailable(false));
  EXPECT_TRUE(Mentioned("has no sha256"));

  // The right one again.
  server->Serve(kControlPath + ".sig", signature);
  server->Serve(kControlPath, control);
  EXPECT_TRUE(web.QueryUpdateAvailable(false));
}

TEST_F(SignedUpdateTest, PlainHttpIsRefusedBeforeAnyRequest) {
  web.URL = "http://127.0.0.1:9" + kControlPath;
  EXPECT_FALSE(web.QueryUpdateAvailable(false));
  EXPECT_TRUE(Mentioned("Not an https address"));

  web.URL = server->Url(kControlPath);
  const std::string http = "http" + Url("x").substr(5);
  for (const std::string& control :
       {AppUpdate() + "[files]\ncount=1\n[file1]\nurl=" + http +
            "\nsha256=" + std::string(64, 'a') + "\n",
        AppUpdate() + "[whatsnew]\nfile=" + http + "\nsha256=" + std::string(64, 'a') + "\n"}) {
    refusals.clear();
    PublishAsIs(control);
    EXPECT_FALSE(web.QueryUpdateAvailable(false));
    EXPECT_TRUE(Mentioned("is not https")) << control;
  }

  // A redirect from https to http is not followed.
  server->Handle("/f/moved",
                 [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(http); });
  ASSERT_EQ(web.OpenSession(), 0);
  EXPECT_FALSE(web.DownloadFile(Url("moved"), tmp.string() + "/"));
  EXPECT_FALSE(fs::exists(tmp / "moved"));
}

TEST_F(SignedUpdateTest, OnlyCompleteFilesWithinTheirLimitsArrive) {
  ASSERT_EQ(web.OpenSession(), 0);
  const std::string folder = tmp.string() + "/";
  // A body that ends with the connection, without a length.
  server->Handle("/f/cut", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider("application/octet-stream",
                             [](size_t offset, httplib::DataSink& sink) {
                               if (offset > 0) return false;
                               sink.write("half of a program", 17);
                               return true;
                             });
  });
  EXPECT_FALSE(web.DownloadFile(Url("cut"), folder));
  EXPECT_FALSE(fs::exists(tmp / "cut"));
  EXPECT_TRUE(Mentioned("without a length"));
  // The same body in chunks carries its end.
  server->Handle("/f/chunked", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("application/octet-stream",
                                     [](size_t offset, httplib::DataSink& sink) {
                                       if (offset == 0) sink.write("whole", 5);
                                       if (offset > 0) sink.done();
                                       return true;
                                     });
  });
  EXPECT_TRUE(web.DownloadFile(Url("chunked"), folder));
  EXPECT_EQ(ReadFile(tmp / "chunked"), "whole");

  // A file of another size than its filesize.
  server->Serve("/f/sized", "123456");
  EXPECT_FALSE(web.DownloadFile(Url("sized"), folder, web.FileLimits(5, std::nullopt)));
  EXPECT_FALSE(web.DownloadFile(Url("sized"), folder, web.FileLimits(7, std::nullopt)));
  EXPECT_FALSE(fs::exists(tmp / "sized"));
  EXPECT_TRUE(web.DownloadFile(Url("sized"), folder, web.FileLimits(6, std::nullopt)));

  // An oversized control file.
  web.SmallFileMaxBytes = 1000;
  PublishAsIs(AppUpdate() + "[x]\n" + std::string(1000, ';') + "\n");
  EXPECT_EQ(web.FetchControlFile(), 4);
  EXPECT_TRUE(Mentioned("1000 at most"));
}

TEST_F(SignedUpdateTest, AProgramThatIsNoNewerVersionOrNoProgramIsNotHandedOver) {
  const std::string half = program.substr(0, program.size() / 2);
  const struct {
    std::string control;
    std::string file;
    std::string reason;
  } cases[] = {
      // Not newer than the running program (the control file offers it unconditionally).
      {AppUpdate("1.0.0.171") + "unconditional=1\n", program, "not newer"},
      {AppUpdate("1.0.0.180"), program, "not the announced 1.0.0.180"},
      {AppUpdate(), half, "cut short"},
      {AppUpdate(), "#!/bin/sh\necho hello\n", "no program"},
  };
  for (const auto& c : cases) {
    refusals.clear();
    if (c.reason == "not newer")
      WriteVersionedProgram(app / "kessmar-scanner-tool", {1, 0, 0, 172});
    Publish(c.control + "[files]\ncount=1\n" + ProgramEntry(), {{"kessmar-scanner-tool", c.file}});
    EXPECT_EQ(Install(), -1) << c.reason;
    EXPECT_TRUE(Mentioned(c.reason)) << c.reason;
    EXPECT_FALSE(web.ApplicationUpdatePending());
    EXPECT_FALSE(fs::exists(tmp / "kessmar-scanner-tool"));
    WriteVersionedProgram(app / "kessmar-scanner-tool", {1, 0, 0, 170});
  }
}

TEST_F(SignedUpdateTest, TheUpdaterGetsExactlyTheComponentsFetchedNow) {
  // helper.so is current, so the selection skips it; a stale copy waits in the folder.
  WriteVersionedProgram(app / "helper.so", {1, 0, 0, 171});
  WriteFile(tmp / "helper.so", "stale helper of an update declined earlier");
  Publish(AppUpdate("1.0.0.171", "{APP}/kessmar-scanner-tool, {APP}/helper.so") +
              "[files]\ncount=2\n" + ProgramEntry() + "[file2]\nurl=" + Url("helper.so") +
              "\nnewversion=1.0.0.171\nlocalversion={APP}/helper.so\n",
          {{"kessmar-scanner-tool", program}, {"helper.so", "new helper"}});
  EXPECT_EQ(Install(), 0);
  EXPECT_EQ(web.FileEntries.size(), 1u);
  EXPECT_FALSE(fs::exists(tmp / "helper.so")) << "the leftover is gone";
  web.ProgramFile = KESSMAR_PAYLOAD_SAMPLE;  // carries the updater
  web.LaunchUpdater();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].args.back(), app.string() + "/kessmar-scanner-tool");
  EXPECT_EQ(started[0].args.size(), 6u);

  // A component named in other letter case is no component: no restart to an old program.
  web.ProgramFile = app / "kessmar-scanner-tool";
  Publish(
      AppUpdate("1.0.0.171", "{APP}/Kessmar-Scanner-Tool") + "[files]\ncount=1\n" + ProgramEntry(),
      {{"kessmar-scanner-tool", program}});
  EXPECT_EQ(Install(), 0);
  EXPECT_FALSE(web.AppComponentFetched);
  EXPECT_FALSE(web.ApplicationUpdatePending());
}

TEST_F(SignedUpdateTest, AFailedHandOverIsNotOfferedAgainUntilTheControlFileChanges) {
  const std::string control = AppUpdate() + "[files]\ncount=1\n" + ProgramEntry();
  Publish(control, {{"kessmar-scanner-tool", program}});
  EXPECT_EQ(Install(), 0);
  web.ProgramFile = KESSMAR_PAYLOAD_SAMPLE;
  web.LaunchUpdater();
  ASSERT_EQ(started.size(), 1u);
  // The updater could not install it: the old program runs again.
  web.ProgramFile = app / "kessmar-scanner-tool";
  EXPECT_FALSE(web.QueryUpdateAvailable(false));
  EXPECT_TRUE(Mentioned("could not install version 1.0.0.171"));
  Publish(control + "; corrected\n", {{"kessmar-scanner-tool", program}});
  EXPECT_TRUE(web.QueryUpdateAvailable(false));
  // Once the new version runs, the memory is gone.
  fs::copy_file(KESSMAR_PROGRAM_171, app / "kessmar-scanner-tool",
                fs::copy_options::overwrite_existing);
  EXPECT_FALSE(web.QueryUpdateAvailable(false));
  EXPECT_FALSE(fs::exists(tmp / "handover.ini"));
}

TEST_F(SignedUpdateTest, APackageInstalledProgramIsNotOfferedApplicationUpdates) {
  Publish(AppUpdate() + "[files]\ncount=1\n" + ProgramEntry(), {{"kessmar-scanner-tool", program}});
  chmod(app.c_str(), 0555);
  EXPECT_FALSE(web.QueryUpdateAvailable(false));
  EXPECT_TRUE(web.ProgramFolderReadOnly);
  chmod(app.c_str(), 0755);
  EXPECT_TRUE(web.QueryUpdateAvailable(false));
}

TEST_F(SignedUpdateTest, QuotesAndControlCharactersNeverReachTheUpdater) {
  for (const char* value : {"appname={APP}/a\"b", "appparam=-x\t-y", "appcomps=a\x01"}) {
    PublishAsIs("[update]\nunconditional=1\n[application]\nappupdate=1\n" + std::string(value) +
                "\n");
    EXPECT_EQ(web.QueryUpdateAvailable(false), false) << value;
  }
  UpdaterCall call;
  call.appName = "/a\"b";
  EXPECT_THROW(BuildUpdaterCommandLine(call), std::invalid_argument);
}

TEST_F(SignedUpdateTest, ATemporaryFolderTakenBySomeoneElseIsNotUsed) {
  fs::remove_all(tmp);
  fs::create_directory(tmp);
  ASSERT_EQ(chown(tmp.c_str(), 65534, 65534), 0) << "needs to run as root to hand the folder on";
  fs::create_directory(dir / "run");
  fs::permissions(dir / "run", fs::perms::owner_all);
  env.Set("XDG_RUNTIME_DIR", (dir / "run").string());
  std::vector<std::string> notices;
  web.OnNotice = [&](const std::string& text) { notices.push_back(text); };
  EXPECT_EQ(web.TempFolder(), (dir / "run" / "kessmar-scanner-tool").string() + "/");
  web.TempFolder();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find(tmp.string()), std::string::npos);
  EXPECT_EQ(fs::status(dir / "run" / "kessmar-scanner-tool").permissions(), fs::perms::owner_all);
}

}  // namespace
}  // namespace kessmar::testing

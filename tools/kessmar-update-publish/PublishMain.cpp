// kessmar-update-publish: the supplier's tool for a signed update. See Usage below.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "kessmar-update-publish/Publisher.h"
#include "platform/Files.h"
#include "update/UpdateSignature.h"

namespace {

const char* const kUsage =
    R"(Usage: kessmar-update-publish --key PRIVATE.pem --files FOLDER CONTROL.ini [--out FILE]
       kessmar-update-publish --public-key PRIVATE.pem

Prepares an update of the Kessmar Scanner Tool for the update server:
  1. In CONTROL.ini (kessmar_scanner_tool.ini) every [fileN] section (N = 1 to [files] count)
     gets "sha256=" and "filesize=" of the file in FOLDER named like the last part of its url,
     and [whatsnew] gets "sha256=" of its text. Other lines stay as they are; earlier values
     of these keys are replaced. Every url must be https.
  2. The result is written back (or to --out FILE) and signed with the Ed25519 key: the
     signature goes to the same name plus ".sig" (base64 of its 64 bytes).
Upload the control file, its .sig and the files unchanged: the tools check the signature
against the public keys they were built with, and every file against its sha256 and filesize;
an update that fails any check is not installed.

--public-key PRIVATE.pem prints the public key that belongs to a private key, in the form the
build's key file (KESSMAR_UPDATE_KEYS, packaging/kessmar-update-keys.pem) holds.

A key pair: openssl genpkey -algorithm ed25519 -out update-key.pem
Keep the private key off the update server. To change keys, add the new public key to the
build's key file first, ship tools that hold both, and only then sign with the new key.
Exit code 0 when done, 1 on an error (nothing written), 2 for a bad command line.
)";

int BadCommandLine() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string key, folder, control, output, publicOf;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if ((arg == "--key" && !value(key)) || (arg == "--files" && !value(folder)) ||
        (arg == "--out" && !value(output)) || (arg == "--public-key" && !value(publicOf))) {
      return BadCommandLine();
    }
    if (arg.rfind("--", 0) != 0) {
      if (!control.empty()) return BadCommandLine();
      control = arg;
    } else if (arg != "--key" && arg != "--files" && arg != "--out" && arg != "--public-key") {
      return BadCommandLine();
    }
  }
  try {
    if (!publicOf.empty()) {
      const auto text = kessmar::platform::ReadFileIfPresent(publicOf);
      if (!text) throw std::runtime_error("No such file: " + publicOf);
      std::fputs(kessmar::PublicKeyPem(
                     kessmar::platform::Ed25519PublicKeyOf(kessmar::ParsePrivateKey(*text)))
                     .c_str(),
                 stdout);
      return 0;
    }
    if (key.empty() || folder.empty() || control.empty()) return BadCommandLine();
    kessmar::PublishControlFile(control, folder, key, output.empty() ? control : output);
    std::printf("Signed %s\n", (output.empty() ? control : output).c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kessmar-update-publish: %s\n", e.what());
    return 1;
  }
}

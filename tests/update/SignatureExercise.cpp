#include "update/SignatureExercise.h"

#include <stdexcept>
#include <string>

#include "update/ControlFile.h"
#include "update/UpdateSignature.h"

namespace kessmar {

bool ExerciseSignatureCheck(std::string_view input) {
  // The key of the seed corpus: the private key is the bytes 0 to 31.
  static const UpdateKeys keys = [] {
    platform::Ed25519PrivateKey seed{};
    for (size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<uint8_t>(i);
    return UpdateKeys{platform::Ed25519PublicKeyOf(seed)};
  }();
  const size_t end = input.find('\n');
  const std::string_view signature = input.substr(0, end);
  const std::string_view control =
      end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
  const bool good = SignedByOneOf(control, signature, keys);
  try {
    (void)ParsePublicKeys(control);
  } catch (const std::runtime_error&) {
    // A malformed key file is refused with an error: that is the expected way out.
  }
  const ControlFile parsed = ControlFile::Parse(control);
  const auto own = platform::Sha256Of(control);
  for (int i = 1; i <= 4; ++i) {
    const auto digest = ReadSha256Text(parsed.ReadString("file" + std::to_string(i), "sha256"));
    if (digest && *digest == own) return good;  // cannot happen: a file cannot hold its hash
  }
  (void)ReadSha256Text(parsed.ReadString("whatsnew", "sha256"));
  return good;
}

}  // namespace kessmar

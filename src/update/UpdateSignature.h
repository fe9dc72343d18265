// What makes an update the supplier's: the supplier's Ed25519 public keys, the detached
// signature of the control file ("<control file>.sig"), and the SHA-256 of every file the
// control file names (its "sha256=" keys, covered by the signature). Formats in docs/update.md.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/Crypto.h"

namespace kessmar {

using UpdateKeys = std::vector<platform::Ed25519PublicKey>;

// The keys of every "PUBLIC KEY" PEM block in text (what `openssl pkey -pubout` writes for an
// Ed25519 key); text outside the blocks is ignored. Throws std::runtime_error naming the block
// when one is not an Ed25519 public key, and when the text holds a private key.
UpdateKeys ParsePublicKeys(std::string_view pemText);
std::string PublicKeyPem(const platform::Ed25519PublicKey& key);

// The key of the first "PRIVATE KEY" PEM block in text: an unencrypted Ed25519 key in PKCS#8
// (what `openssl genpkey -algorithm ed25519` writes). Throws std::runtime_error.
platform::Ed25519PrivateKey ParsePrivateKey(std::string_view pemText);

// A signature file holds the 64 signature bytes in base64, blanks and line ends around them
// allowed. nullopt when text is anything else.
std::optional<platform::Ed25519Signature> ReadSignatureText(std::string_view text);
std::string SignatureText(const platform::Ed25519Signature& signature);  // ends in "\n"

// True when one of keys signed exactly the bytes of control. Never true without keys.
bool SignedByOneOf(std::string_view control, std::string_view signatureText,
                   const UpdateKeys& keys);

// A "sha256=" value: 64 hexadecimal digits in either case; nullopt otherwise.
std::optional<platform::Sha256Digest> ReadSha256Text(std::string_view text);
std::string Sha256Text(const platform::Sha256Digest& digest);  // lower-case

}  // namespace kessmar

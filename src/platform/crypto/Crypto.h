// The cryptography the signed update needs: SHA-256 and Ed25519 signatures. Every call into the
// crypto library lives behind this header. The library is loaded at the first call; any call
// throws LibraryUnavailable (platform/lazy/Libraries.h) when it cannot be loaded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace kessmar::platform {

class CryptoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Sha256Digest = std::array<uint8_t, 32>;
using Ed25519PublicKey = std::array<uint8_t, 32>;
using Ed25519PrivateKey = std::array<uint8_t, 32>;  // the 32-byte seed
using Ed25519Signature = std::array<uint8_t, 64>;

// A SHA-256 computed over data given piece by piece. Throws CryptoError when the library fails.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, size_t size);
  // The digest of everything given; the object starts over afterwards.
  Sha256Digest Finish();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

Sha256Digest Sha256Of(std::string_view data);

// True when signature is key's Ed25519 signature of message. A key the library refuses is no
// match. Throws CryptoError only when the library itself fails.
bool VerifyEd25519(const Ed25519PublicKey& key, std::string_view message,
                   const Ed25519Signature& signature);

// The Ed25519 signature of message with key, and the public key that belongs to it. Throw
// CryptoError.
Ed25519Signature SignEd25519(const Ed25519PrivateKey& key, std::string_view message);
Ed25519PublicKey Ed25519PublicKeyOf(const Ed25519PrivateKey& key);

}  // namespace kessmar::platform

// SHA-256 and Ed25519 through OpenSSL 3's EVP interface.
#include <openssl/evp.h>

#include "platform/crypto/Crypto.h"
#include "platform/lazy/Libraries.h"

namespace kessmar::platform {
namespace {

struct MdContextFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

MdContext NewContext() {
  RequireLibcrypto();
  MdContext context(EVP_MD_CTX_new());
  if (!context) throw CryptoError("Cannot create a digest context");
  return context;
}

}  // namespace

struct Sha256::Context {
  MdContext md = NewContext();
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  if (EVP_DigestInit_ex(context_->md.get(), EVP_sha256(), nullptr) != 1) {
    throw CryptoError("Cannot start a SHA-256");
  }
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) {
  if (EVP_DigestUpdate(context_->md.get(), data, size) != 1) {
    throw CryptoError("Cannot compute a SHA-256");
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_->md.get(), digest.data(), &length) != 1 ||
      length != digest.size() ||
      EVP_DigestInit_ex(context_->md.get(), EVP_sha256(), nullptr) != 1) {
    throw CryptoError("Cannot finish a SHA-256");
  }
  return digest;
}

Sha256Digest Sha256Of(std::string_view data) {
  Sha256 sha;
  sha.Update(data.data(), data.size());
  return sha.Finish();
}

bool VerifyEd25519(const Ed25519PublicKey& key, std::string_view message,
                   const Ed25519Signature& signature) {
  RequireLibcrypto();
  const Key pkey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
  if (!pkey) return false;
  const MdContext context = NewContext();
  if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) {
    throw CryptoError("Cannot start an Ed25519 verification");
  }
  return EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                          reinterpret_cast<const unsigned char*>(message.data()),
                          message.size()) == 1;
}

Ed25519Signature SignEd25519(const Ed25519PrivateKey& key, std::string_view message) {
  RequireLibcrypto();
  const Key pkey(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
  if (!pkey) throw CryptoError("The Ed25519 private key is not usable");
  const MdContext context = NewContext();
  Ed25519Signature signature{};
  size_t length = signature.size();
  if (EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, pkey.get()) != 1 ||
      EVP_DigestSign(context.get(), signature.data(), &length,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1 ||
      length != signature.size()) {
    throw CryptoError("Cannot make an Ed25519 signature");
  }
  return signature;
}

Ed25519PublicKey Ed25519PublicKeyOf(const Ed25519PrivateKey& key) {
  RequireLibcrypto();
  const Key pkey(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
  Ed25519PublicKey out{};
  size_t length = out.size();
  if (!pkey || EVP_PKEY_get_raw_public_key(pkey.get(), out.data(), &length) != 1 ||
      length != out.size()) {
    throw CryptoError("Cannot derive the Ed25519 public key");
  }
  return out;
}

}  // namespace kessmar::platform

#include "update/UpdateSignature.h"

#include <algorithm>
#include <stdexcept>

#include "common/Base64.h"

namespace kessmar {
namespace {

// The DER forms OpenSSL writes for Ed25519 keys: the fixed prefix, then the 32 key bytes.
constexpr uint8_t kPublicKeyPrefix[] = {0x30, 0x2a, 0x30, 0x05, 0x06, 0x03,
                                        0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};
constexpr uint8_t kPrivateKeyPrefix[] = {0x30, 0x2e, 0x02, 0x01, 0x00, 0x30, 0x05, 0x06,
                                         0x03, 0x2b, 0x65, 0x70, 0x04, 0x22, 0x04, 0x20};

struct PemBlock {
  std::string label;
  std::string_view body;
};

// The PEM blocks of text, in order.
std::vector<PemBlock> PemBlocks(std::string_view text) {
  std::vector<PemBlock> blocks;
  constexpr std::string_view kBegin = "-----BEGIN ";
  size_t at = 0;
  while ((at = text.find(kBegin, at)) != std::string_view::npos) {
    const size_t labelStart = at + kBegin.size();
    const size_t labelEnd = text.find("-----", labelStart);
    if (labelEnd == std::string_view::npos) break;
    PemBlock block;
    block.label = std::string(text.substr(labelStart, labelEnd - labelStart));
    const std::string end = "-----END " + block.label + "-----";
    const size_t bodyStart = labelEnd + 5;
    const size_t bodyEnd = text.find(end, bodyStart);
    if (bodyEnd == std::string_view::npos) {
      throw std::runtime_error("The PEM block \"" + block.label + "\" has no end");
    }
    block.body = text.substr(bodyStart, bodyEnd - bodyStart);
    blocks.push_back(std::move(block));
    at = bodyEnd + end.size();
  }
  return blocks;
}

template <size_t N>
std::optional<std::array<uint8_t, 32>> KeyAfterPrefix(std::string_view base64,
                                                      const uint8_t (&prefix)[N]) {
  const auto der = DecodeBase64(base64);
  if (!der || der->size() != N + 32 || !std::equal(prefix, prefix + N, der->begin())) {
    return std::nullopt;
  }
  std::array<uint8_t, 32> key{};
  std::copy(der->begin() + N, der->end(), key.begin());
  return key;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

UpdateKeys ParsePublicKeys(std::string_view pemText) {
  UpdateKeys keys;
  for (const PemBlock& block : PemBlocks(pemText)) {
    if (block.label.find("PRIVATE") != std::string::npos) {
      throw std::runtime_error("A key file of public keys holds a private key");
    }
    if (block.label != "PUBLIC KEY") continue;
    const auto key = KeyAfterPrefix(block.body, kPublicKeyPrefix);
    if (!key) throw std::runtime_error("A PUBLIC KEY block is no Ed25519 public key");
    keys.push_back(*key);
  }
  return keys;
}

std::string PublicKeyPem(const platform::Ed25519PublicKey& key) {
  std::vector<uint8_t> der(std::begin(kPublicKeyPrefix), std::end(kPublicKeyPrefix));
  der.insert(der.end(), key.begin(), key.end());
  return "-----BEGIN PUBLIC KEY-----\n" + EncodeBase64(der) + "\n-----END PUBLIC KEY-----\n";
}

platform::Ed25519PrivateKey ParsePrivateKey(std::string_view pemText) {
  for (const PemBlock& block : PemBlocks(pemText)) {
    if (block.label == "ENCRYPTED PRIVATE KEY") {
      throw std::runtime_error("The private key is encrypted; give it unencrypted");
    }
    if (block.label != "PRIVATE KEY") continue;
    if (const auto key = KeyAfterPrefix(block.body, kPrivateKeyPrefix)) return *key;
    throw std::runtime_error("The PRIVATE KEY block is no Ed25519 private key");
  }
  throw std::runtime_error("No PRIVATE KEY block found");
}

std::optional<platform::Ed25519Signature> ReadSignatureText(std::string_view text) {
  const auto bytes = DecodeBase64(text);
  if (!bytes || bytes->size() != 64) return std::nullopt;
  platform::Ed25519Signature signature{};
  std::copy(bytes->begin(), bytes->end(), signature.begin());
  return signature;
}

std::string SignatureText(const platform::Ed25519Signature& signature) {
  return EncodeBase64(signature) + "\n";
}

bool SignedByOneOf(std::string_view control, std::string_view signatureText,
                   const UpdateKeys& keys) {
  const auto signature = ReadSignatureText(signatureText);
  if (!signature) return false;
  return std::any_of(keys.begin(), keys.end(), [&](const platform::Ed25519PublicKey& key) {
    return platform::VerifyEd25519(key, control, *signature);
  });
}

std::optional<platform::Sha256Digest> ReadSha256Text(std::string_view text) {
  if (text.size() != 64) return std::nullopt;
  platform::Sha256Digest digest{};
  for (size_t i = 0; i < digest.size(); ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return digest;
}

std::string Sha256Text(const platform::Sha256Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t b : digest) {
    text += kHex[b >> 4];
    text += kHex[b & 0xF];
  }
  return text;
}

}  // namespace kessmar

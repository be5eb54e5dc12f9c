#include "core/base/sha256.hpp"

#include <openssl/evp.h>

namespace pelvane {
namespace {

// The digest implementation, fetched once; fetching on every initialisation is comparatively
// slow when a package holds thousands of small parts.
const EVP_MD* sha256_md() {
  static const EVP_MD* md = [] {
    const EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return fetched ? fetched : EVP_sha256();
  }();
  return md;
}

EVP_MD_CTX* as_context(void* context) { return static_cast<EVP_MD_CTX*>(context); }

}  // namespace

void Sha256::ContextDeleter::operator()(void* context) const noexcept {
  EVP_MD_CTX_free(as_context(context));
}

Sha256::Sha256() : context_(EVP_MD_CTX_new()) { reset(); }

void Sha256::reset() { EVP_DigestInit_ex(as_context(context_.get()), sha256_md(), nullptr); }

void Sha256::update(std::string_view bytes) {
  if (!bytes.empty()) EVP_DigestUpdate(as_context(context_.get()), bytes.data(), bytes.size());
}

std::string Sha256::hex_digest() {
  static constexpr char kHex[] = "0123456789abcdef";
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(as_context(context_.get()), digest, &length);
  std::string text;
  text.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0xF];
  }
  reset();
  return text;
}

std::string sha256_hex(std::string_view bytes) {
  Sha256 hasher;
  hasher.update(bytes);
  return hasher.hex_digest();
}

}  // namespace pelvane

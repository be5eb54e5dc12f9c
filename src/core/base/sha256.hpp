// SHA-256 digests written as 64 lower-case hexadecimal digits.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace pelvane {

// Incremental digest: feed bytes with `update` as they are read, then take `hex_digest`, which
// also resets the hasher for the next input.
class Sha256 {
 public:
  Sha256();
  void update(std::string_view bytes);
  std::string hex_digest();
  void reset();

 private:
  struct ContextDeleter {
    void operator()(void* context) const noexcept;
  };
  std::unique_ptr<void, ContextDeleter> context_;
};

std::string sha256_hex(std::string_view bytes);

}  // namespace pelvane

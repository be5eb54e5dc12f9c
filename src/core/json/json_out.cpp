#include "core/json/json_out.hpp"

#include <algorithm>
#include <cstring>

#include "core/base/byte_search.hpp"

namespace pelvane {

void JsonWriter::grow(std::size_t size) {
  // The string's own capacity first, which costs nothing; beyond it, at least doubled.
  std::size_t wanted = std::max(used_ + size, out_.capacity());
  if (wanted > out_.capacity()) wanted = std::max({wanted, out_.capacity() * 2, std::size_t{256}});
  out_.resize_and_overwrite(wanted, [](char*, std::size_t length) { return length; });
}

void JsonWriter::reserve_for_alike_items(std::size_t item_size, std::size_t count) {
  constexpr std::size_t kMostAhead = std::size_t{256} << 20;
  const std::size_t ahead = std::min((item_size + 8) * count + 64, kMostAhead);
  if (out_.capacity() - used_ < ahead) out_.reserve(used_ + ahead);
}

void JsonWriter::write_string(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  put('"');
  // Runs of bytes that need no escape are copied whole.
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    i = byte_scan::find_in_set(text.data(), i, text.size(), byte_scan::QuoteBackslashOrControl{});
    if (i >= text.size()) break;
    const char c = text[i];
    put(text.substr(run, i - run));
    run = i + 1;
    switch (c) {
      case '"': put("\\\""); break;
      case '\\': put("\\\\"); break;
      case '\b': put("\\b"); break;
      case '\t': put("\\t"); break;
      case '\n': put("\\n"); break;
      case '\f': put("\\f"); break;
      case '\r': put("\\r"); break;
      default: {
        char* at = room(6);
        std::memcpy(at, "\\u00", 4);
        at[4] = kHex[(c >> 4) & 0xF];
        at[5] = kHex[c & 0xF];
        used_ += 6;
      }
    }
  }
  put(text.substr(run));
  put('"');
}

}  // namespace pelvane

// Entry names that readers of an archive read in different ways.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/base/error.hpp"

namespace pelvane {

// True when `name` holds a control byte other than tab, line feed and carriage return: one that
// the archive library reads in code page 437, as a symbol, unless the name is marked as UTF-8.
bool holds_code_page_control(std::string_view name);

// `Zip` for an entry, named `name` as stored, under the general-purpose `flags` and the central
// extra field `central_extra`, whose name readers read in different ways; none for any other.
// Package item names are ASCII, so no conforming package stores one of these:
//   - a NUL byte: the archive library reads it as a space, some readers end the name there, and
//     others keep it ("entry name {name} holds a NUL byte, ...");
//   - without the UTF-8 flag, a control byte other than tab, line feed and carriage return: the
//     library reads the whole name in code page 437, where the byte stands for a symbol, and
//     other readers keep it ("... holds a control byte and no UTF-8 flag, ...");
//   - a Unicode path field naming the entry otherwise than its stored name: some readers take
//     the field's name (the first field, or the last, each under its own conditions) and others
//     the stored one ("... has a Unicode path field naming it {other}, ..."). A field repeating
//     the stored name, as some writers add to every entry, names it one way.
// Each message ends ", which readers read in different ways". Names stand in double quotes as
// stored, escaped: a double quote and a backslash behind a backslash, any byte but printable
// ASCII as "\xHH", and only their first 200 bytes, then "...".
// Names that are not marked as UTF-8 and hold bytes past ASCII are left as they are: writers
// of real packages store them.
std::optional<PelvaneError> ambiguous_name_failure(std::string_view name, std::uint16_t flags,
                                                   std::string_view central_extra);

}  // namespace pelvane

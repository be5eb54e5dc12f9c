// What opening an archive through the archive library costs in its own table of entry names.
#pragma once

#include "core/base/error.hpp"

namespace pelvane {

class StoredEntryHeaders;

// `Zip` when the entry names of the directory read in `headers` would crowd the archive
// library's table of names so that opening the archive through it would take time growing with
// the square of the entries; nothing when its names spread as ordinary names do, or when the
// directory could not be read here (the archive is then refused when the library opens it:
// `StoredEntryHeaders::agree_with_library`).
//
// The library (the release `kModelledLibraryVersion`, library_archive.hpp) keeps its names in a
// chained hash table under a fixed hash that anyone can invert (value = value * 33 + byte,
// modulo 2^32, from 5381), sized once for the entry count (the power of two at or above 4/3 of
// it), and every insertion walks the whole chain of its slot. Names
// chosen to share one value make that walk quadratic: 65,534 of them take seconds to open. The
// walk is counted here over the names as the library reads and hashes them: in code page 437
// unless the entry states UTF-8 or the name has the form of UTF-8. It is counted once the names
// that the library reads otherwise than stored, through a Unicode path field or with a NUL byte
// as a space, have been refused (`StoredEntryHeaders::refusal`, entry_names.hpp).
//
// Each of the library's rules names the function and the source file that it copies, and those
// that are how that release's code happens to go are marked "release quirk", the mark that
// end_records.hpp defines.
Result<void> check_library_name_table(const StoredEntryHeaders& headers);

}  // namespace pelvane

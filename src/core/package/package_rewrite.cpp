#include "core/package/package_rewrite.hpp"

#include <zip.h>

#include <algorithm>
#include <utility>

#include "core/base/file_output.hpp"
#include "core/zip/zip_raw_copy.hpp"

namespace pelvane {

namespace {

constexpr std::size_t kReadChunk = 1024 * 1024;
// Below this many input bytes after an entry written from content, aligning the raw copy that
// follows is not worth the entry's padding.
constexpr std::uint64_t kAlignWorthwhile = 16 * 1024 * 1024;

// The input entry's compression method; Deflate when the archive cannot say.
std::uint16_t entry_method(PackageArchive& archive, const StoredEntryHeaders& headers,
                           std::uint64_t index) {
  if (auto method = headers.method(index)) return *method;
  auto library = archive.library();
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (library && zip_stat_index(*library, index, 0, &stat) == 0 &&
      (stat.valid & ZIP_STAT_COMP_METHOD))
    return stat.comp_method;
  return kZipMethodDeflate;
}

// The header of an unchanged entry written again in the recompressing style: the fields of an
// entry written from content with its own method, CRC-32 and sizes. None when its compressed
// bytes cannot be taken over (encrypted, or compressed with a method we do not write).
std::optional<RawEntryHeader> kept_entry_header(PackageArchive& input,
                                                const StoredEntryHeaders& headers,
                                                std::uint64_t index, std::string_view name,
                                                const ZipEntryOptions& options) {
  auto stored = headers.header(input, index);
  if (!stored || (stored->method != kZipMethodStored && stored->method != kZipMethodDeflate))
    return std::nullopt;
  RawEntryHeader header = content_entry_header(name, options);
  header.method = stored->method;
  header.crc32 = stored->crc32;
  header.compressed_size = stored->compressed_size;
  header.uncompressed_size = stored->uncompressed_size;
  return header;
}

}  // namespace

void update_package_facts(std::string_view name, PackageFacts& facts) {
  facts.part_count += 1;
  if (name.ends_with("vbaProject.bin")) facts.has_vba = true;
}

Result<PackageFacts> copy_package_entries(PackageArchive& input, ZipWriter& writer,
                                          const RewritePlan& plan,
                                          std::optional<std::string_view> input_bytes) {
  PackageFacts facts;
  // The headers of an archive file are the archive's own reading, shared with its listings.
  std::optional<StoredEntryHeaders> from_bytes;
  if (input_bytes) from_bytes = StoredEntryHeaders::read(input, input_bytes);
  const StoredEntryHeaders& headers = from_bytes ? *from_bytes : input.stored_headers();
  std::vector<char> chunk;
  const std::uint64_t count = input.entry_count();
  for (std::uint64_t index = 0; index < count; ++index) {
    const std::string_view name = PELVANE_TRY(input.checked_entry_name(index));
    EntryDecision decision = plan.decide ? plan.decide(index, name) : EntryDecision{};
    if (decision.action == EntryAction::Drop) continue;
    update_package_facts(name, facts);

    const bool directory = input.is_directory(index);
    if (decision.action == EntryAction::Keep) {
      if (directory && plan.directories == DirectoryStyle::AsDirectory) {
        PELVANE_TRY_VOID(writer.add_directory(name));
        continue;
      }
      // Directories follow their own style in either rewrite style.
      const bool raw = directory ? plan.directories == DirectoryStyle::RawCopy
                                 : plan.style == RewriteStyle::RawCopy;
      if (raw) {
        PELVANE_TRY_VOID(copy_raw_entry(writer, input, index, headers));
        continue;
      }
    }

    // Written from content in place of the input entry, with that entry's method.
    ZipEntryOptions options;
    options.method = entry_method(input, headers, index);
    if (plan.keep_replaced_entry_time) options.modified = headers.modified(input, index);
    // Kept content is not decompressed and compressed again: its compressed bytes go under the
    // header an entry written from content gets.
    if (decision.action == EntryAction::Keep && !directory) {
      if (auto header = kept_entry_header(input, headers, index, name, options)) {
        PELVANE_TRY_VOID(copy_raw_entry(writer, input, index, headers, *header));
        continue;
      }
    }
    switch (decision.action) {
      case EntryAction::Replace:
        PELVANE_TRY_VOID(writer.begin_entry(name, options));
        PELVANE_TRY_VOID(writer.write_entry_data(decision.content));
        break;
      case EntryAction::Transform: {
        if (!plan.transform)
          return fail(
              PelvaneError::invalid_input("no transform given for entry " + std::string(name)));
        PELVANE_TRY_VOID(writer.begin_entry(name, options));
        std::string content = PELVANE_TRY(read_archive_entry(input, index));
        std::string changed = PELVANE_TRY(plan.transform(name, std::move(content)));
        PELVANE_TRY_VOID(writer.write_entry_data(changed));
        break;
      }
      default:
        // Kept and written again: a directory as an empty file, an entry whose compressed
        // bytes cannot be taken over streamed through decompression into a new entry.
        PELVANE_TRY_VOID(writer.begin_entry(name, options));
        if (!directory) {
          EntryReader entry = PELVANE_TRY(EntryReader::open(input, index));
          chunk.resize(kReadChunk);
          PELVANE_TRY_VOID(stream_archive_entry(entry, chunk, [&](std::string_view bytes) {
            return writer.write_entry_data(bytes);
          }));
        }
        break;
    }
    // When a large raw copy follows, end the entry so that the copy runs page-aligned. Kept
    // entries are raw copies in either style (in the recompressing one under a new header of
    // the same length when the input's has no extra field).
    const auto next = headers.local_offset(index + 1);
    if (next && headers.file_size() >= *next && headers.file_size() - *next >= kAlignWorthwhile)
      PELVANE_TRY_VOID(writer.end_entry_aligned_with(*next));
    else
      PELVANE_TRY_VOID(writer.end_entry());
  }

  for (const NewEntry& entry : plan.new_entries) {
    update_package_facts(entry.name, facts);
    PELVANE_TRY_VOID(writer.add_entry(entry.name, entry.content));
  }
  // Raw copies may still wait on the input file, which closes with `headers`.
  PELVANE_TRY_VOID(writer.copy_pending());
  return facts;
}

Result<PackageFacts> write_package(PackageArchive& input, std::string_view output_path,
                                   const RewritePlan& plan) {
  AtomicOutputFile output = PELVANE_TRY(AtomicOutputFile::create(output_path));
  FileZipSink sink(output.fd());
  ZipWriter writer(sink);
  PackageFacts facts = PELVANE_TRY(copy_package_entries(input, writer, plan));
  PELVANE_TRY_VOID(writer.finish());
  PELVANE_TRY_VOID(output.commit());
  return facts;
}

Result<PackageFacts> write_package_to_buffer(PackageArchive& input, std::string& output,
                                             const RewritePlan& plan,
                                             std::optional<std::string_view> input_bytes) {
  std::string buffer;
  buffer.swap(output);
  buffer.clear();  // written into the capacity the caller reserved
  MemoryZipSink sink(buffer);
  ZipWriter writer(sink);
  PackageFacts facts = PELVANE_TRY(copy_package_entries(input, writer, plan, input_bytes));
  PELVANE_TRY_VOID(writer.finish());
  output = std::move(buffer);
  return facts;
}

Result<PackageFacts> write_package_with_replaced_part(PackageArchive& input,
                                                      std::string_view output_path,
                                                      std::string_view part_name,
                                                      std::string_view content) {
  RewritePlan plan;
  plan.decide = [&](std::uint64_t, std::string_view name) {
    return name == part_name ? EntryDecision{EntryAction::Replace, content} : EntryDecision{};
  };
  return write_package(input, output_path, plan);
}

}  // namespace pelvane

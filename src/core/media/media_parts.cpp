#include "core/media/media_parts.hpp"

#include <array>
#include <utility>

#include "core/base/file_input.hpp"
#include "core/base/sha256.hpp"
#include "core/package/content_types.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/zip/crc32.hpp"

namespace pelvane {

namespace {

// Signature; IHDR 1x1, bit depth 8, colour type 6 (RGBA); IDAT holding a 17-byte zlib stream of
// the one scanline (filter 0, then four zero samples): header 78 01, the scanline as a
// non-final fixed-Huffman block, an empty final stored block, the Adler-32; an empty IEND.
constexpr std::array<unsigned char, 74> kPixelPng = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f,
    0x15, 0xc4, 0x89, 0x00, 0x00, 0x00, 0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0x01, 0x62, 0x60,
    0x60, 0x60, 0x60, 0x00, 0x04, 0x00, 0x00, 0xff, 0xff, 0x00, 0x05, 0x00, 0x01, 0x4f, 0xe8,
    0x5a, 0xab, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

constexpr std::string_view kImageStemPrefix = "ppt/media/image";
constexpr std::size_t kHashChunk = 256 * 1024;

std::string file_name_of(std::string_view part_name) {
  const std::size_t slash = part_name.rfind('/');
  return std::string(slash == std::string_view::npos ? part_name : part_name.substr(slash + 1));
}

// False when the archive's directory gives the entry another size or CRC-32 than the image's:
// such an entry cannot have the image's digest, so it need not be read.
bool may_hold_same_bytes(PackageArchive& archive, std::uint64_t index, std::uint64_t size,
                         std::uint32_t crc) {
  if (entry_declared_size(archive, index) != size) return false;
  const auto declared_crc = entry_declared_crc32(archive, index);
  return !declared_crc || *declared_crc == crc;
}

Result<std::string> entry_digest(PackageArchive& archive, std::uint64_t index) {
  EntryReader entry = PELVANE_TRY(EntryReader::open(archive, index));
  Sha256 hasher;
  std::string chunk(kHashChunk, '\0');
  PELVANE_TRY(
      stream_archive_entry(entry, chunk, [&](std::string_view bytes) { hasher.update(bytes); }));
  return hasher.hex_digest();
}

// The first "ppt/media/image*.{extension}" entry, in archive order, whose content has the
// image's SHA-256 digest; without one, the name of every entry (for choosing a new name).
struct ImageSearch {
  std::optional<std::string> match;
  std::set<std::string> names;
};

Result<ImageSearch> find_identical_image(PackageArchive& archive, std::string_view image,
                                         std::string_view extension) {
  std::string suffix(".");
  suffix += extension;
  const std::uint32_t crc = update_crc32(0, image);
  std::optional<std::string> digest;
  ImageSearch search;
  const std::uint64_t count = archive.entry_count();
  for (std::uint64_t index = 0; index < count; ++index) {
    PELVANE_TRY_VOID(check_entry_opens(archive, index));
    const std::string_view name = archive.entry_name(index);
    if (name.starts_with(kImageStemPrefix) && name.ends_with(suffix) &&
        may_hold_same_bytes(archive, index, image.size(), crc)) {
      if (!digest) digest = sha256_hex(image);
      if (PELVANE_TRY(entry_digest(archive, index)) == *digest) {
        search.match = std::string(name);
        return search;
      }
    }
    search.names.emplace(name);
  }
  return search;
}

}  // namespace

std::optional<std::string_view> path_file_name(std::string_view path) {
  for (;;) {
    while (path.size() > 1 && path.ends_with('/')) path.remove_suffix(1);
    if (path.size() >= 2 && path.ends_with("/.")) {
      path.remove_suffix(1);
      continue;
    }
    break;
  }
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  return name;
}

Result<std::string> media_extension(std::string_view path, std::string_view kind) {
  const auto name = path_file_name(path);
  const std::size_t dot = name ? name->rfind('.') : std::string_view::npos;
  if (dot == std::string_view::npos || dot == 0) {
    return fail(PelvaneError::invalid_input(std::string(kind) +
                                            " path has no extension: " + std::string(path)));
  }
  std::string extension(name->substr(dot + 1));
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return extension;
}

Result<std::string> image_extension(std::string_view path) {
  std::string extension = PELVANE_TRY(media_extension(path, "image"));
  if (extension == "jpe" || extension == "jpeg" || extension == "jfif") return std::string("jpg");
  if (extension == "tif") return std::string("tiff");
  return extension;
}

Result<std::string> movie_extension(std::string_view path) {
  std::string extension = PELVANE_TRY(media_extension(path, "movie"));
  if (extension.empty()) {
    return fail(PelvaneError::invalid_input("movie path has no extension: " + std::string(path)));
  }
  return extension;
}

Result<std::string_view> image_content_type(std::string_view extension) {
  if (extension == "png") return std::string_view("image/png");
  if (extension == "jpg" || extension == "jpeg") return std::string_view("image/jpeg");
  if (extension == "gif") return std::string_view("image/gif");
  if (extension == "bmp") return std::string_view("image/bmp");
  if (extension == "tif" || extension == "tiff") return std::string_view("image/tiff");
  return fail(
      PelvaneError::invalid_input("unsupported image extension: " + std::string(extension)));
}

std::string_view builtin_pixel_png() {
  return {reinterpret_cast<const char*>(kPixelPng.data()), kPixelPng.size()};
}

Result<std::set<std::string>> package_entry_names(PackageArchive& archive) {
  std::set<std::string> names;
  const std::uint64_t count = archive.entry_count();
  for (std::uint64_t index = 0; index < count; ++index) {
    PELVANE_TRY_VOID(check_entry_opens(archive, index));
    names.emplace(archive.entry_name(index));
  }
  return names;
}

std::string next_free_media_part(std::set<std::string>& names, std::string_view stem,
                                 std::string_view extension) {
  return next_free_numbered_part(names,
                                 "ppt/media/" + std::string(stem) + "." + std::string(extension));
}

std::string next_free_embedding_part(std::set<std::string>& names) {
  return next_free_numbered_part(names, "ppt/embeddings/oleObject.bin");
}

std::string slide_relative_target(std::string_view directory, std::string_view part_name) {
  return "../" + std::string(directory) + "/" + file_name_of(part_name);
}

std::optional<std::string> existing_image_relationship_id(std::string_view relationships_xml,
                                                          std::string_view target) {
  for (const RelationshipSummary& relationship : parse_relationships(relationships_xml)) {
    // An external link names a resource outside the package, whatever its target text says.
    if (relationship.target_mode == "External") continue;
    if (relationship.relationship_type.ends_with("/image") && relationship.target == target)
      return relationship.id;
  }
  return std::nullopt;
}

Result<std::string> read_image_file(std::string_view path) {
  std::string bytes = PELVANE_TRY(read_file_bytes(path));
  if (bytes.empty())
    return fail(PelvaneError::invalid_input("image file " + std::string(path) + " is empty"));
  return bytes;
}

Result<std::string> read_slide_relationships(PackageArchive& archive,
                                             std::string_view relationships_part) {
  auto text = PELVANE_TRY(read_archive_text(archive, relationships_part));
  return text ? std::move(*text) : empty_relationships_xml();
}

Result<std::string> read_content_types(PackageArchive& archive) {
  auto text = PELVANE_TRY(read_archive_text(archive, kContentTypes));
  if (!text) return fail(PelvaneError::invalid_input("[Content_Types].xml was not found"));
  return std::move(*text);
}

Result<ImageInsertionPlan> plan_image_insertion(PackageArchive& archive,
                                                std::string_view slide_part,
                                                std::string_view image_path) {
  ImageInsertionPlan plan;
  const std::string extension = PELVANE_TRY(image_extension(image_path));
  const std::string_view content_type = PELVANE_TRY(image_content_type(extension));
  plan.image_bytes = PELVANE_TRY(read_image_file(image_path));

  ImageSearch search = PELVANE_TRY(find_identical_image(archive, plan.image_bytes, extension));
  plan.reuses_existing_part = search.match.has_value();
  plan.image_part = search.match ? std::move(*search.match)
                                 : next_free_media_part(search.names, "image", extension);

  plan.relationships_part = relationship_part_name(slide_part);
  // A reused part may lie anywhere in the package ("ppt/media/images/x.png").
  const std::string target = make_relative_target(slide_part, plan.image_part);
  plan.relationships_xml = PELVANE_TRY(read_slide_relationships(archive, plan.relationships_part));
  std::string content_types = PELVANE_TRY(read_content_types(archive));

  // A new part always gets a new relationship; a reused one keeps the slide's own, if any.
  std::optional<std::string> reused_id;
  if (plan.reuses_existing_part)
    reused_id = existing_image_relationship_id(plan.relationships_xml, target);
  if (reused_id) {
    plan.relationship_id = std::move(*reused_id);
  } else {
    plan.relationship_id = PELVANE_TRY(next_relationship_id(plan.relationships_xml));
    plan.relationships_xml =
        PELVANE_TRY(add_image_relationship(plan.relationships_xml, plan.relationship_id, target));
  }
  plan.content_types_xml =
      PELVANE_TRY(ensure_default_content_type(content_types, extension, content_type));
  return plan;
}

}  // namespace pelvane

#include "core/media/media_operations.hpp"

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/base/file_input.hpp"
#include "core/base/utf8.hpp"
#include "core/media/media_parts.hpp"
#include "core/media/xml_media_builders.hpp"
#include "core/package/content_types.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/package/slide_edit.hpp"
#include "core/xml/xml_event_helpers.hpp"

namespace pelvane {

namespace {

// An image file given by path, or the built-in pixel without one.
struct ImageFile {
  std::string extension;
  std::string_view content_type;
  std::string bytes;
};

Result<ImageFile> read_image_or_pixel(std::optional<std::string_view> path) {
  if (!path) return ImageFile{"png", "image/png", std::string(builtin_pixel_png())};
  ImageFile image;
  image.extension = PELVANE_TRY(image_extension(*path));
  image.content_type = PELVANE_TRY(image_content_type(image.extension));
  image.bytes = PELVANE_TRY(read_image_file(*path));
  return image;
}

// Stages what every media operation writes besides the slide and before its media parts: the
// slide's relationships part (in place when the input has it, else as the first new part) and
// "[Content_Types].xml". The media or embedding parts are added after this, in order.
void stage_relationships_and_content_types(PackageEdit& edit, const std::string& relationships_part,
                                           std::string relationships_xml,
                                           std::string content_types_xml) {
  if (edit.archive().find(relationships_part))
    edit.replace_part(relationships_part, std::move(relationships_xml));
  else
    edit.add_part(relationships_part, std::move(relationships_xml));
  edit.replace_part(std::string(kContentTypes), std::move(content_types_xml));
}

// Free names for a new file part (media or embedding, named by `name_file_part` from the
// package's entry names) and for the image part of its picture.
struct FileAndImageParts {
  std::string file_part;
  std::string image_part;
};

template <class NameFilePart>
Result<FileAndImageParts> name_file_and_image_parts(PackageArchive& archive,
                                                    NameFilePart&& name_file_part,
                                                    std::string_view image_extension) {
  std::set<std::string> names = PELVANE_TRY(package_entry_names(archive));
  std::string file_part = name_file_part(names);
  return FileAndImageParts{std::move(file_part),
                           next_free_media_part(names, "image", image_extension)};
}

// The slide's relationships part (its name and text, empty when absent) and the content types.
struct SlideLinks {
  std::string relationships_part;
  std::string relationships;
  std::string content_types;
};

Result<SlideLinks> read_slide_links(SlideEdit& slide) {
  SlideLinks links{relationship_part_name(slide.slide_part()), {}, {}};
  links.relationships =
      PELVANE_TRY(read_slide_relationships(slide.archive(), links.relationships_part));
  links.content_types = PELVANE_TRY(read_content_types(slide.archive()));
  return links;
}

// The movie picture's name: the movie file's name when it has one, in UTF-8 and free of
// characters XML cannot carry; else "Movie {id}".
std::string movie_shape_name(std::string_view movie_path, std::uint64_t shape_id) {
  const auto name = path_file_name(movie_path);
  if (name && is_valid_utf8(*name) && check_xml_text(*name)) return std::string(*name);
  return "Movie " + std::to_string(shape_id);
}

}  // namespace

Result<ImageAddSummary> add_slide_image_with_target(std::string_view input, std::string_view output,
                                                    std::uint64_t slide_index,
                                                    const InsertionTarget& target,
                                                    std::string_view image_path,
                                                    std::uint64_t x_emu, std::uint64_t y_emu,
                                                    std::uint64_t cx_emu, std::uint64_t cy_emu) {
  const EmuBox box{x_emu, y_emu, cx_emu, cy_emu};
  auto edited = PELVANE_TRY(edit_slide(
      input, output, slide_index, kNewPartsEdit,
      [&](PackageArchive& archive, const std::string& slide_part) {
        return plan_image_insertion(archive, slide_part, image_path);
      },
      [&](SlideEdit& slide, ImageInsertionPlan& plan) -> Result<ImageAddSummary> {
        ImageAddSummary summary;
        summary.shape_id = PELVANE_TRY(insert_new_shape(
            slide.xml(), target, [&](std::uint64_t shape_id) -> Result<std::string> {
              return picture_xml(shape_id, plan.relationship_id, box);
            }));
        stage_relationships_and_content_types(slide.package(), plan.relationships_part,
                                              std::move(plan.relationships_xml),
                                              std::move(plan.content_types_xml));
        if (!plan.reuses_existing_part)
          slide.package().add_part(plan.image_part, std::move(plan.image_bytes));
        summary.relationship_id = std::move(plan.relationship_id);
        summary.image_part = std::move(plan.image_part);
        return summary;
      }));
  return finish_record(std::move(edited), output);
}

Result<MovieAddSummary> add_slide_movie(std::string_view input, std::string_view output,
                                        std::uint64_t slide_index, std::string_view movie_path,
                                        std::optional<std::string_view> poster_frame_path,
                                        std::uint64_t x_emu, std::uint64_t y_emu,
                                        std::uint64_t cx_emu, std::uint64_t cy_emu,
                                        std::string_view mime_type) {
  std::string extension;
  std::string movie;
  ImageFile poster;
  auto edited = PELVANE_TRY(edit_slide(
      input, output, slide_index, kNewPartsEdit,
      [&]() -> Result<void> {
        extension = PELVANE_TRY(movie_extension(movie_path));
        // Both end up in "[Content_Types].xml" and the part name.
        PELVANE_TRY_VOID(check_xml_text(extension));
        PELVANE_TRY_VOID(check_xml_text(mime_type));
        movie = PELVANE_TRY(read_file_bytes(movie_path));
        poster = PELVANE_TRY(read_image_or_pixel(poster_frame_path));
        return {};
      },
      [&](PackageArchive& archive, const std::string&) {
        return name_file_and_image_parts(
            archive,
            [&](std::set<std::string>& names) {
              return next_free_media_part(names, "media", extension);
            },
            poster.extension);
      },
      [&](SlideEdit& slide, FileAndImageParts& parts) -> Result<MovieAddSummary> {
        auto [relationships_part, relationships, content_types] =
            PELVANE_TRY(read_slide_links(slide));

        MovieAddSummary summary;
        const std::string movie_target = slide_relative_target("media", parts.file_part);
        summary.media_relationship_id = PELVANE_TRY(next_relationship_id(relationships));
        relationships = PELVANE_TRY(add_relationship(relationships, summary.media_relationship_id,
                                                     kMediaRelationshipType, movie_target));
        summary.video_relationship_id = PELVANE_TRY(next_relationship_id(relationships));
        relationships = PELVANE_TRY(add_relationship(relationships, summary.video_relationship_id,
                                                     kVideoRelationshipType, movie_target));
        summary.poster_relationship_id = PELVANE_TRY(next_relationship_id(relationships));
        relationships =
            PELVANE_TRY(add_image_relationship(relationships, summary.poster_relationship_id,
                                               slide_relative_target("media", parts.image_part)));

        // The picture first, then the timing node that plays it.
        summary.shape_id = PELVANE_TRY(insert_new_shape(
            slide.xml(), InsertionTarget::slide(),
            [&](std::uint64_t shape_id) -> Result<std::string> {
              const std::string name = movie_shape_name(movie_path, shape_id);
              return movie_picture_xml(shape_id, MovieArgs{summary.video_relationship_id,
                                                           summary.media_relationship_id,
                                                           summary.poster_relationship_id,
                                                           name,
                                                           {x_emu, y_emu, cx_emu, cy_emu}});
            }));
        slide.xml() = PELVANE_TRY(add_video_timing_xml(slide.xml(), summary.shape_id));

        content_types =
            PELVANE_TRY(ensure_default_content_type(content_types, extension, mime_type));
        content_types = PELVANE_TRY(
            ensure_default_content_type(content_types, poster.extension, poster.content_type));
        summary.media_part = parts.file_part;
        summary.poster_part = parts.image_part;
        stage_relationships_and_content_types(slide.package(), relationships_part,
                                              std::move(relationships), std::move(content_types));
        slide.package().add_part(std::move(parts.file_part), std::move(movie));
        slide.package().add_part(std::move(parts.image_part), std::move(poster.bytes));
        return summary;
      }));
  return finish_record(std::move(edited), output);
}

Result<OleObjectAddSummary> add_slide_ole_object_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::string_view object_path, std::string_view prog_id,
    std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu,
    std::optional<std::string_view> icon_path, std::uint64_t icon_cx_emu,
    std::uint64_t icon_cy_emu) {
  std::string object;
  ImageFile icon;
  auto edited = PELVANE_TRY(edit_slide(
      input, output, slide_index, kNewPartsEdit,
      [&]() -> Result<void> {
        object = PELVANE_TRY(read_file_bytes(object_path));
        icon = PELVANE_TRY(read_image_or_pixel(icon_path));
        return {};
      },
      [&](PackageArchive& archive, const std::string&) {
        return name_file_and_image_parts(
            archive, [](std::set<std::string>& names) { return next_free_embedding_part(names); },
            icon.extension);
      },
      [&](SlideEdit& slide, FileAndImageParts& parts) -> Result<OleObjectAddSummary> {
        auto [relationships_part, relationships, content_types] =
            PELVANE_TRY(read_slide_links(slide));

        OleObjectAddSummary summary;
        summary.ole_relationship_id = PELVANE_TRY(next_relationship_id(relationships));
        relationships = PELVANE_TRY(
            add_relationship(relationships, summary.ole_relationship_id, kOleObjectRelationshipType,
                             slide_relative_target("embeddings", parts.file_part)));
        summary.icon_relationship_id = PELVANE_TRY(next_relationship_id(relationships));
        relationships =
            PELVANE_TRY(add_image_relationship(relationships, summary.icon_relationship_id,
                                               slide_relative_target("media", parts.image_part)));

        summary.shape_id =
            PELVANE_TRY(insert_new_shape(slide.xml(), target, [&](std::uint64_t shape_id) {
              return ole_object_shape_xml(shape_id, OleObjectArgs{summary.ole_relationship_id,
                                                                  summary.icon_relationship_id,
                                                                  prog_id,
                                                                  {x_emu, y_emu, cx_emu, cy_emu},
                                                                  icon_cx_emu,
                                                                  icon_cy_emu});
            }));

        content_types = PELVANE_TRY(ensure_content_type_override(
            content_types, "/" + parts.file_part, kOleObjectContentType));
        content_types = PELVANE_TRY(
            ensure_default_content_type(content_types, icon.extension, icon.content_type));
        summary.ole_part = parts.file_part;
        summary.icon_part = parts.image_part;
        stage_relationships_and_content_types(slide.package(), relationships_part,
                                              std::move(relationships), std::move(content_types));
        slide.package().add_part(std::move(parts.file_part), std::move(object));
        slide.package().add_part(std::move(parts.image_part), std::move(icon.bytes));
        return summary;
      }));
  return finish_record(std::move(edited), output);
}

Result<ImageReplacementSummary> replace_slide_image_inner(std::string_view input,
                                                          std::string_view output,
                                                          std::optional<std::uint64_t> slide_index,
                                                          std::string_view relationship_id,
                                                          std::string_view image_path) {
  std::string image;
  auto edited = PELVANE_TRY(edit_package(
      input, output, kRecompressEdit,
      [&]() -> Result<void> {
        image = PELVANE_TRY(read_image_file(image_path));
        return {};
      },
      [&](PackageEdit& edit) -> Result<std::vector<std::string>> {
        PackageArchive& archive = edit.archive();
        std::vector<std::string> slides;
        if (slide_index) {
          auto part = PELVANE_TRY(slide_part_at_index(archive, *slide_index));
          if (part) slides.push_back(std::move(*part));
        } else {
          for (std::uint64_t index = 0; index < archive.entry_count(); ++index) {
            PELVANE_TRY_VOID(check_entry_opens(archive, index));
            if (is_slide_part(archive.entry_name(index)))
              slides.emplace_back(archive.entry_name(index));
          }
        }
        std::set<std::string, std::less<>> targets;
        for (const std::string& slide : slides) {
          for (const RelationshipSummary& relationship :
               PELVANE_TRY(read_relationships(archive, slide))) {
            if (relationship.id == relationship_id &&
                relationship.relationship_type.ends_with("/image"))
              targets.insert(resolve_target(slide, relationship.target));
          }
        }
        // Each entry is compared with the targets once, so a part reached from several slides
        // is replaced once; the names are reported in archive order.
        std::vector<std::string> replaced;
        for (std::uint64_t index = 0; index < archive.entry_count() && !targets.empty(); ++index) {
          const std::string_view name = archive.entry_name(index);
          if (archive.is_directory(index) || !targets.contains(name)) continue;
          replaced.emplace_back(name);
          edit.replace_part(std::string(name), image);
        }
        return replaced;
      }));

  ImageReplacementSummary summary;
  summary.relationship_id = std::string(relationship_id);
  summary.replacements = edited.value.size();
  summary.replaced_parts = std::move(edited.value);
  return finish_record(std::move(summary), output, edited);
}

}  // namespace pelvane

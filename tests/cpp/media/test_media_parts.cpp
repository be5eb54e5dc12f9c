// Media parts: extensions and content types, part names, image relationships, the built-in
// pixel, and the order in which a picture's plan is checked against the slide.
#include <zlib.h>

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

#include "core/media/media_operations.hpp"
#include "core/media/media_parts.hpp"
#include "core/package/relationships.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using test::TempDir;
using test::ZipEntry;

TEST(MediaExtensions, NormalisedOrRefused) {
  struct Row {
    std::string_view path;
    std::string_view kind;      // "image", "movie", or "raw" for media_extension with "image"
    std::string_view expected;  // the extension, or the whole error text
  };
  const Row rows[] = {
      {"Photo.JPEG", "image", "jpg"},
      {"x.jpe", "image", "jpg"},
      {"x.jfif", "image", "jpg"},
      {"x.TIF", "image", "tiff"},
      {"dir.d/x.webp", "image", "webp"},
      {"a/b.PnG//", "image", "png"},
      {"a/b.gif/.", "image", "gif"},
      {"..png", "image", "png"},
      {"photo.", "image", ""},
      {"photo", "image", "invalid input: image path has no extension: photo"},
      {".png", "image", "invalid input: image path has no extension: .png"},
      {"dir/..", "image", "invalid input: image path has no extension: dir/.."},
      {"", "image", "invalid input: image path has no extension: "},
      {"Archive.TAR.Gz", "raw", "gz"},
      {"x.jpeg", "raw", "jpeg"},
      {"/clips/Intro Clip.MP4", "movie", "mp4"},
      {"clip.", "movie", "invalid input: movie path has no extension: clip."},
      {"clip", "movie", "invalid input: movie path has no extension: clip"},
  };
  for (const Row& row : rows) {
    const Result<std::string> got = row.kind == "image"   ? image_extension(row.path)
                                    : row.kind == "movie" ? movie_extension(row.path)
                                                          : media_extension(row.path, "image");
    EXPECT_EQ(got ? *got : got.error().to_string(), row.expected) << row.path;
  }
}

TEST(MediaExtensions, ContentTypes) {
  const std::pair<std::string_view, std::string_view> rows[] = {
      {"png", "image/png"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
      {"gif", "image/gif"},
      {"bmp", "image/bmp"},
      {"tif", "image/tiff"},
      {"tiff", "image/tiff"},
      {"webp", "invalid input: unsupported image extension: webp"},
      {"PNG", "invalid input: unsupported image extension: PNG"},
      {"", "invalid input: unsupported image extension: "},
  };
  for (auto [extension, expected] : rows) {
    const auto got = image_content_type(extension);
    EXPECT_EQ(got ? std::string(*got) : got.error().to_string(), expected) << extension;
  }
}

TEST(MediaPartNames, SmallestFreeNumberPerStemAndExtension) {
  TempDir dir;
  const std::string path = dir.file("names.zip");
  std::vector<ZipEntry> entries;
  for (const char* name :
       {"ppt/media/image1.png", "ppt/media/image3.png", "ppt/media/image1.jpg",
        "ppt/media/media1.mp4", "ppt/embeddings/oleObject1.bin", "ppt/embeddings/oleObject3.bin"})
    entries.push_back({name, "x"});
  test::write_zip(path, entries);
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive.has_value());
  const std::tuple<std::string_view, std::string_view, std::string_view> rows[] = {
      {"image", "png", "ppt/media/image2.png"}, {"image", "jpg", "ppt/media/image2.jpg"},
      {"image", "gif", "ppt/media/image1.gif"}, {"media", "mp4", "ppt/media/media2.mp4"},
      {"media", "mov", "ppt/media/media1.mov"},
  };
  const std::set<std::string> names = package_entry_names(*archive).value();
  for (auto [stem, extension, expected] : rows) {
    std::set<std::string> taken = names;
    EXPECT_EQ(next_free_media_part(taken, stem, extension), expected);
    EXPECT_TRUE(taken.contains(std::string(expected)));
  }
  std::set<std::string> taken = names;
  EXPECT_EQ(next_free_embedding_part(taken), "ppt/embeddings/oleObject2.bin");
  EXPECT_EQ(next_free_embedding_part(taken), "ppt/embeddings/oleObject4.bin");
}

TEST(MediaRelationships, ExistingImageRelationshipAndNewOnes) {
  const std::string image =
      "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
  const std::string rels =
      "<Relationships xmlns=\"x\">"
      "<Relationship Id=\"rId1\" Type=\"http://x/video\" Target=\"../media/image1.png\"/>"
      "<Relationship Id=\"rId9\" Type=\"" +
      image +
      "\" Target=\"../media/image1.png\"/>"
      "<Relationship Id=\"rId10\" Type=\"" +
      image +
      "\" Target=\"../media/image1.png\"/>"
      "<Relationship Id=\"rId11\" Type=\"" +
      image +
      "\" Target=\"/ppt/media/image2.png\"/>"
      "</Relationships>";
  EXPECT_EQ(existing_image_relationship_id(rels, "../media/image1.png"), "rId10");
  EXPECT_EQ(existing_image_relationship_id(rels, "../media/image2.png"), std::nullopt);
  EXPECT_EQ(existing_image_relationship_id(rels, "/ppt/media/image2.png"), "rId11");

  EXPECT_EQ(add_image_relationship("<R></Relationships></Relationships>", "rId2", "../media/a&.png")
                .value(),
            "<R></Relationships><Relationship Id=\"rId2\" Type=\"" + image +
                "\" Target=\"../media/a&.png\"/></Relationships>");
  EXPECT_EQ(add_image_relationship("<R/>", "rId2", "t").error().to_string(),
            "invalid input: relationships part is missing </Relationships>");
}

std::uint32_t be32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

TEST(BuiltinPixel, IsAWellFormedOnePixelPng) {
  const std::string_view png = builtin_pixel_png();
  ASSERT_EQ(png.size(), 74u);
  EXPECT_EQ(png.substr(0, 8), std::string_view("\x89PNG\r\n\x1a\n", 8));
  // Chunks: IHDR, IDAT, IEND, each with its length and the CRC of type and data.
  std::vector<std::pair<std::string, std::string>> chunks;
  for (std::size_t at = 8; at < png.size();) {
    const std::uint32_t length = be32(png, at);
    const std::string_view typed = png.substr(at + 4, 4 + length);
    EXPECT_EQ(be32(png, at + 8 + length),
              crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size()));
    chunks.emplace_back(typed.substr(0, 4), typed.substr(4));
    at += 12 + length;
  }
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].first, "IHDR");
  // Width 1, height 1, bit depth 8, colour type 6, compression, filter and interlace 0.
  EXPECT_EQ(chunks[0].second, std::string("\0\0\0\1\0\0\0\1\x08\x06\0\0\0", 13));
  EXPECT_EQ(chunks[1].first, "IDAT");
  EXPECT_EQ(chunks[1].second.size(), 17u);
  unsigned char scanline[16];
  uLongf length = sizeof scanline;
  ASSERT_EQ(uncompress(scanline, &length, reinterpret_cast<const Bytef*>(chunks[1].second.data()),
                       chunks[1].second.size()),
            Z_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(scanline), length), std::string(5, '\0'));
  EXPECT_EQ(chunks[2], (std::pair<std::string, std::string>{"IEND", ""}));
}

// The slide is addressed first, then the image planned, and only then the slide's text read.
TEST(PictureCheckOrder, SlideIndexThenPlanThenSlideText) {
  TempDir dir;
  const std::string image = dir.file("a.png");
  test::write_file(image, builtin_pixel_png());
  const ZipEntry slide{"ppt/slides/slide1.xml", "<p:sld/>"};  // no shape tree
  const std::string input = dir.file("in.pptx");
  test::write_zip(input, {{"[Content_Types].xml", "<Types></Types>"}, slide});
  const std::string no_types = dir.file("no-types.pptx");
  test::write_zip(no_types, {slide});
  const std::tuple<std::string, std::uint64_t, std::string, std::string> rows[] = {
      {input, 1, "x.webp", "invalid input: slide index 1 was not found"},
      {input, 0, "x.webp", "invalid input: unsupported image extension: webp"},
      {input, 0, dir.file("missing.png"), "io error: No such file or directory"},
      {no_types, 0, image, "invalid input: [Content_Types].xml was not found"},
      {input, 0, image, "invalid input: slide XML is missing </p:spTree>"},
  };
  for (const auto& [package, slide_index, image_path, message] : rows) {
    const std::string output = dir.file("out/out.pptx");
    auto added = add_slide_image_with_target(package, output, slide_index, InsertionTarget::slide(),
                                             image_path, 0, 0, 0, 0);
    ASSERT_FALSE(added.has_value());
    EXPECT_EQ(added.error().to_string(), message);
    EXPECT_FALSE(std::filesystem::exists(output));
  }
}

}  // namespace
}  // namespace pelvane

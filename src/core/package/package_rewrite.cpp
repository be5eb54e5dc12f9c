#include "core/package/package_rewrite.hpp"

#include <utility>

#include "core/base/file_output.hpp"
#include "core/zip/zip_sink.hpp"
#include "core/zip/zip_writer.hpp"

namespace pelvane {

namespace {

// The copy loop into `writer`, counting what it writes.
Result<PackageFacts> copy_package_entries(PackageArchive& input, ZipWriter& writer,
                                          const RewritePlan& plan) {
  PackageFacts facts;
  PELVANE_TRY_VOID(copy_archive_entries(
      input, writer, plan, [&](std::string_view name) { update_package_facts(name, facts); }));
  return facts;
}

}  // namespace

void update_package_facts(std::string_view name, PackageFacts& facts) {
  facts.part_count += 1;
  if (name.ends_with("vbaProject.bin")) facts.has_vba = true;
}

Result<PackageFacts> write_package(PackageArchive& input, std::string_view output_path,
                                   const RewritePlan& plan) {
  AtomicOutputFile output = PELVANE_TRY(AtomicOutputFile::create(output_path));
  FileZipSink sink(output.fd(), 0);
  ZipWriter writer(sink);
  PackageFacts facts = PELVANE_TRY(copy_package_entries(input, writer, plan));
  PELVANE_TRY_VOID(writer.finish());
  PELVANE_TRY_VOID(output.commit());
  return facts;
}

Result<PackageFacts> write_package_to_buffer(PackageArchive& input, std::string& output,
                                             const RewritePlan& plan) {
  std::string buffer;
  buffer.swap(output);
  buffer.clear();  // written into the capacity the caller reserved
  MemoryZipSink sink(buffer);
  ZipWriter writer(sink);
  PackageFacts facts = PELVANE_TRY(copy_package_entries(input, writer, plan));
  PELVANE_TRY_VOID(writer.finish());
  output = std::move(buffer);
  return facts;
}

}  // namespace pelvane

// Times a copy-every-event pass of the XML lexer and writer over a generated 5 MB slide part,
// next to a plain memcpy of the same buffer. Prints one line per measure and a final JSON line.
//
//   pelvane_bench_xml [megabytes] [repeats]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/xml/xml_events.hpp"

namespace {

// A slide whose shape tree holds text boxes with transforms, run properties and escaped text,
// as an editor writes them, repeated until the part reaches the wanted size.
std::string generate_slide(std::size_t target_bytes) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<p:sld xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
      "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"><p:cSld><p:spTree>"
      "<p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>"
      "<p:grpSpPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/><a:chOff x=\"0\" "
      "y=\"0\"/>"
      "<a:chExt cx=\"0\" cy=\"0\"/></a:xfrm></p:grpSpPr>";
  const std::string close =
      "</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>";
  for (unsigned id = 2; xml.size() + close.size() < target_bytes; ++id) {
    const std::string n = std::to_string(id);
    xml +=
        "<p:sp><p:nvSpPr><p:cNvPr id=\"" + n + "\" name=\"TextBox " + n +
        "\"/><p:cNvSpPr txBox=\"1\"/><p:nvPr/></p:nvSpPr><p:spPr><a:xfrm><a:off x=\"" +
        std::to_string(id * 12700) +
        "\" y=\"1524000\"/><a:ext cx=\"6096000\" cy=\"369332\"/></a:xfrm>"
        "<a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom><a:noFill/></p:spPr><p:txBody>"
        "<a:bodyPr wrap=\"square\" rtlCol=\"0\"><a:spAutoFit/></a:bodyPr><a:lstStyle/>"
        "<a:p><a:r><a:rPr lang=\"en-US\" sz=\"1800\" b=\"1\" dirty=\"0\"/><a:t>Quarterly results "
        "&amp; outlook "
        "for region " +
        n +
        "</a:t></a:r><a:r><a:rPr lang=\"en-US\" dirty=\"0\"/><a:t> &#8211; revenue "
        "grew &lt;5%</a:t></a:r><a:endParaRPr lang=\"en-US\" dirty=\"0\"/></a:p></p:txBody></p:sp>";
  }
  xml += close;
  return xml;
}

template <class F>
double best_seconds(int repeats, F&& pass) {
  double best = 1e30;
  for (int i = 0; i < repeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    pass();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    best = std::min(best, took.count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 5.0;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 30;
  const std::string xml = generate_slide(static_cast<std::size_t>(megabytes * 1024 * 1024));
  const double mb = static_cast<double>(xml.size()) / (1024.0 * 1024.0);

  std::string copied;
  std::size_t events = 0;
  const double lexer = best_seconds(repeats, [&] {
    pelvane::XmlReader reader(xml);
    pelvane::XmlWriter writer(xml.size());
    events = 0;
    for (;;) {
      auto event = reader.next();
      if (!event) {
        std::fprintf(stderr, "lexer failed: %s\n", event.error().to_string().c_str());
        std::exit(1);
      }
      if (event->is_eof()) break;
      writer.write_event(*event);
      ++events;
    }
    copied = std::move(writer).take();
  });
  if (copied != xml) {
    std::fprintf(stderr, "the copy differs from the input\n");
    return 1;
  }

  std::vector<char> target(xml.size());
  const double plain = best_seconds(repeats, [&] {
    std::memcpy(target.data(), xml.data(), xml.size());
    asm volatile("" : : "r"(target.data()) : "memory");
  });

  const double lexer_rate = mb / lexer;
  const double memcpy_rate = mb / plain;
  std::printf("input: %.2f MB of slide XML, %zu events, best of %d passes\n", mb, events, repeats);
  std::printf("copy every event: %8.3f ms  %8.1f MB/s\n", lexer * 1e3, lexer_rate);
  std::printf("memcpy:           %8.3f ms  %8.1f MB/s\n", plain * 1e3, memcpy_rate);
  std::printf("ratio (event copy time / memcpy time): %.1f\n", lexer / plain);
  std::printf(
      "{\"case\": \"xml_copy_every_event\", \"megabytes\": %.2f, \"events\": %zu, "
      "\"mb_per_s\": %.1f, \"memcpy_mb_per_s\": %.1f, \"ratio\": %.2f}\n",
      mb, events, lexer_rate, memcpy_rate, lexer / plain);
  return 0;
}

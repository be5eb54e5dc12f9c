#include "core/inspect/text_runs.hpp"

#include <cstring>
#include <utility>

#include "core/base/decimal.hpp"
#include "core/base/list_refill.hpp"
#include "core/base/utf8.hpp"
#include "core/xml/xml_event_helpers.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {
namespace {

// Appends the text of a text event: UTF-8 with XML line ends normalised; a piece that is not
// UTF-8 is dropped. Pieces of text already known to be UTF-8 are appended as they stand unless
// they hold a carriage return.
void append_text_piece(std::string& out, const XmlEvent& event, bool trusted) {
  const std::string_view raw = event.raw;
  if (raw.find('\r') == std::string_view::npos && (trusted || is_valid_utf8(raw))) {
    out.append(raw);
    return;
  }
  if (auto decoded = xml_text_content(event)) out += *decoded;
}

void append_piece(std::string& out, const XmlEvent& event, bool trusted = true) {
  if (event.kind == XmlEventKind::Text) {
    append_text_piece(out, event, trusted);
  } else if (auto text = xml_reference_content(event)) {
    out += *text;
  }
}

bool is_text_piece(const XmlEvent& event) {
  return event.kind == XmlEventKind::Text || event.kind == XmlEventKind::GeneralRef;
}

// Runs `on_event` for every event of `xml` read with `options`, up to the end of input or the
// first lexer error.
template <class OnEvent>
void for_each_event(std::string_view xml, XmlReaderOptions options, OnEvent&& on_event) {
  XmlReader reader(xml, options);
  for (;;) {
    auto event = reader.next();
    if (!event || event->is_eof()) return;
    on_event(*event);
  }
}

// The local names that the paragraph scans react to, told apart once per event instead of by
// each scan in turn.
enum class ScanName : std::uint8_t { Other, P, R, T, Br, Fld, RPr, Latin };

ScanName scan_name(std::string_view local) {
  switch (local.size()) {
    case 1:
      if (local[0] == 'p') return ScanName::P;
      if (local[0] == 'r') return ScanName::R;
      if (local[0] == 't') return ScanName::T;
      return ScanName::Other;
    case 2: return local == "br" ? ScanName::Br : ScanName::Other;
    case 3:
      if (local == "fld") return ScanName::Fld;
      if (local == "rPr") return ScanName::RPr;
      return ScanName::Other;
    case 5: return local == "latin" ? ScanName::Latin : ScanName::Other;
    default: return ScanName::Other;
  }
}

// Copies `items` over `list`, reusing the storage of the list and of its elements.
template <class T>
void assign_items(std::vector<T>& list, const std::vector<T>& items, std::size_t count) {
  list.assign(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(count));
}

// ---- One state machine per paragraph list. Each sees every event with its local name. ----

// Paragraph texts: the `t` contents of each paragraph, a line break as U+000B.
struct ParagraphTextScan {
  explicit ParagraphTextScan(std::vector<std::string>& list) : result(list) {}

  ListRefill<std::string> result;
  std::string current;
  bool in_paragraph = false;
  bool in_text = false;

  void on(const XmlEvent& event, ScanName local) {
    switch (event.kind) {
      case XmlEventKind::Start:
        if (local == ScanName::P) {
          current.clear();
          in_paragraph = true;
        } else if (local == ScanName::T) {
          if (in_paragraph) in_text = true;
        } else if (local == ScanName::Br && in_paragraph) {
          current += '\v';
        }
        break;
      case XmlEventKind::Empty:
        if (local == ScanName::P)
          result.next().clear();
        else if (local == ScanName::Br && in_paragraph)
          current += '\v';
        break;
      case XmlEventKind::End:
        if (local == ScanName::T) {
          in_text = false;
        } else if (local == ScanName::P) {
          // `current` is cleared by the next paragraph before anything is added to it.
          if (in_paragraph) result.next() = current;
          in_paragraph = false;
        }
        break;
      case XmlEventKind::Text:
      case XmlEventKind::GeneralRef:
        if (in_paragraph && in_text) append_piece(current, event);
        break;
      default: break;
    }
  }
};

// The five run properties of the shape summary at once: per paragraph, per run, the run's last
// `rPr` gives b, i, u and sz, its last `latin` the typeface, each converted as it is taken.
struct RunFormattingScan {
  struct Values {
    std::optional<bool> bold;
    std::optional<bool> italic;
    std::optional<bool> underline;
    std::optional<std::int64_t> size;
    std::optional<std::string> typeface;
  };

  RunFormattingScan(RunValues<bool>& bold_list, RunValues<bool>& italic_list,
                    RunValues<bool>& underline_list, RunValues<std::int64_t>& size_list,
                    RunValues<std::string>& typeface_list)
      : bold(bold_list),
        italic(italic_list),
        underline(underline_list),
        size(size_list),
        typeface(typeface_list) {}

  ListRefill<std::vector<std::optional<bool>>> bold;
  ListRefill<std::vector<std::optional<bool>>> italic;
  ListRefill<std::vector<std::optional<bool>>> underline;
  ListRefill<std::vector<std::optional<std::int64_t>>> size;
  ListRefill<std::vector<std::optional<std::string>>> typeface;
  std::vector<Values> runs;
  Values value;
  bool in_paragraph = false;
  bool in_run = false;

  void take_run_properties(const XmlEvent& tag) {
    // The first well-formed attribute of each local name counts; a value that is not UTF-8
    // reads as the empty text.
    std::optional<std::string_view> b, i, u, sz;
    for (const XmlAttribute& item : tag.attributes()) {
      if (item.malformed) continue;
      const std::string_view name = item.local_name();
      std::optional<std::string_view>* slot = name == "b"    ? &b
                                              : name == "i"  ? &i
                                              : name == "u"  ? &u
                                              : name == "sz" ? &sz
                                                             : nullptr;
      if (slot == nullptr || slot->has_value()) continue;
      *slot = is_valid_utf8(item.value) ? item.value : std::string_view();
    }
    value.bold = b ? bool_attribute_value(std::string(*b)) : std::nullopt;
    value.italic = i ? bool_attribute_value(std::string(*i)) : std::nullopt;
    value.underline = u ? underline_value(std::string(*u)) : std::nullopt;
    value.size = sz ? font_size_emu(std::string(*sz)) : std::nullopt;
  }

  void take(const XmlEvent& tag, ScanName local) {
    if (local == ScanName::RPr)
      take_run_properties(tag);
    else if (local == ScanName::Latin)
      value.typeface = drawingml_attribute(tag, "typeface");
  }

  void end_paragraph() {
    auto& b = bold.next();
    auto& i = italic.next();
    auto& u = underline.next();
    auto& sz = size.next();
    auto& face = typeface.next();
    b.clear();
    i.clear();
    u.clear();
    sz.clear();
    face.clear();
    b.reserve(runs.size());
    i.reserve(runs.size());
    u.reserve(runs.size());
    sz.reserve(runs.size());
    face.reserve(runs.size());
    for (Values& run : runs) {
      b.push_back(run.bold);
      i.push_back(run.italic);
      u.push_back(run.underline);
      sz.push_back(run.size);
      face.push_back(std::move(run.typeface));
    }
    runs.clear();
  }

  void on(const XmlEvent& event, ScanName local) {
    switch (event.kind) {
      case XmlEventKind::Start:
        if (local == ScanName::P) {
          runs.clear();
          in_paragraph = true;
        } else if (local == ScanName::R && in_paragraph) {
          in_run = true;
          value = {};
        } else if (in_run) {
          take(event, local);
        }
        break;
      case XmlEventKind::Empty:
        if (local == ScanName::P) {
          bold.next().clear();
          italic.next().clear();
          underline.next().clear();
          size.next().clear();
          typeface.next().clear();
        } else if (local == ScanName::R && in_paragraph) {
          runs.emplace_back();
        } else if (in_run) {
          take(event, local);
        }
        break;
      case XmlEventKind::End:
        if (local == ScanName::R && in_run) {
          runs.push_back(std::exchange(value, {}));
          in_run = false;
        } else if (local == ScanName::P && in_paragraph) {
          end_paragraph();
          in_paragraph = false;
        }
        break;
      default: break;
    }
  }
};

// Run texts: per paragraph, the untrimmed `t` contents of each run (fields are not runs).
struct RunTextScan {
  explicit RunTextScan(std::vector<std::vector<std::string>>& list) : result(list) {}

  ListRefill<std::vector<std::string>> result;
  // The runs of the current paragraph: the first `run_count` entries.
  std::vector<std::string> runs;
  std::size_t run_count = 0;
  std::string run_text;
  bool in_paragraph = false;
  bool in_run = false;
  bool in_text = false;

  std::string& next_run() {
    if (run_count == runs.size()) runs.emplace_back();
    return runs[run_count++];
  }

  void on(const XmlEvent& event, ScanName local) {
    switch (event.kind) {
      case XmlEventKind::Start:
        if (local == ScanName::P) {
          run_count = 0;
          in_paragraph = true;
        } else if (local == ScanName::R) {
          if (in_paragraph) {
            run_text.clear();
            in_run = true;
          }
        } else if (local == ScanName::T) {
          if (in_run) in_text = true;
        }
        break;
      case XmlEventKind::Empty:
        if (local == ScanName::P)
          result.next().clear();
        else if (local == ScanName::R && in_paragraph)
          next_run().clear();
        break;
      case XmlEventKind::End:
        if (local == ScanName::T) {
          in_text = false;
        } else if (local == ScanName::R) {
          // `run_text` is cleared by the next run before anything is added to it.
          if (in_run) next_run() = run_text;
          in_run = false;
        } else if (local == ScanName::P) {
          if (in_paragraph) assign_items(result.next(), runs, run_count);
          in_paragraph = false;
        }
        break;
      case XmlEventKind::Text:
      case XmlEventKind::GeneralRef:
        if (in_run && in_text) append_piece(run_text, event);
        break;
      default: break;
    }
  }
};

// Line breaks: per paragraph, the number of runs before each break.
struct LineBreakScan {
  explicit LineBreakScan(std::vector<std::vector<std::uint64_t>>& list) : result(list) {}

  ListRefill<std::vector<std::uint64_t>> result;
  std::vector<std::uint64_t> breaks;
  std::uint64_t run_count = 0;
  bool in_paragraph = false;

  void on(const XmlEvent& event, ScanName local) {
    switch (event.kind) {
      case XmlEventKind::Start:
      case XmlEventKind::Empty:
        if (local == ScanName::P) {
          if (event.kind == XmlEventKind::Empty) {
            result.next().clear();
          } else {
            breaks.clear();
            run_count = 0;
            in_paragraph = true;
          }
        } else if (local == ScanName::R) {
          if (in_paragraph) ++run_count;
        } else if (local == ScanName::Br) {
          if (in_paragraph) breaks.push_back(run_count);
        }
        break;
      case XmlEventKind::End:
        if (local == ScanName::P && in_paragraph) {
          result.next() = breaks;
          in_paragraph = false;
        }
        break;
      default: break;
    }
  }
};

// Text fields: per paragraph, each field's text and the runs and breaks before it.
struct FieldScan {
  explicit FieldScan(std::vector<std::vector<ParagraphFieldSummary>>& list) : result(list) {}

  ListRefill<std::vector<ParagraphFieldSummary>> result;
  std::vector<ParagraphFieldSummary> fields;
  std::string field_text;
  std::uint64_t run_slot = 0;
  std::uint64_t break_count = 0;
  bool in_paragraph = false;
  bool in_field = false;
  bool in_text = false;

  void on(const XmlEvent& event, ScanName local) {
    const bool start = event.kind == XmlEventKind::Start;
    const bool empty = event.kind == XmlEventKind::Empty;
    if (start || empty) {
      if (local == ScanName::P) {
        if (empty) {
          result.next().clear();
        } else {
          fields.clear();
          run_slot = 0;
          break_count = 0;
          in_paragraph = true;
        }
      } else if (local == ScanName::R) {
        if (in_paragraph) ++run_slot;
      } else if (local == ScanName::Br) {
        if (in_paragraph) ++break_count;
      } else if (local == ScanName::Fld) {
        if (!in_paragraph) return;
        if (empty) {
          fields.push_back({run_slot, break_count, {}});
        } else {
          field_text.clear();
          in_field = true;
        }
      } else if (local == ScanName::T && start) {
        if (in_field) in_text = true;
      }
      return;
    }
    if (event.kind == XmlEventKind::End) {
      if (local == ScanName::T) {
        in_text = false;
      } else if (local == ScanName::Fld) {
        if (in_field) fields.push_back({run_slot, break_count, std::exchange(field_text, {})});
        in_field = false;
      } else if (local == ScanName::P) {
        if (in_paragraph) result.next() = fields;
        in_paragraph = false;
      }
      return;
    }
    if (is_text_piece(event) && in_field && in_text) append_piece(field_text, event);
  }
};

bool is_t_element(std::string_view qualified_name) {
  return qualified_name == "t" || qualified_name.ends_with(":t");
}

// The slide's text runs (trimmed text events) and its transition and timing flags in one pass.
struct TextRunScan {
  explicit TextRunScan(SlideTextScan& out) : result(out), texts(out.texts) {}

  SlideTextScan& result;
  ListRefill<std::string> texts;
  std::string current;
  bool in_t = false;
  bool trusted = false;  // the whole input is valid UTF-8

  void on(const XmlEvent& event) {
    switch (event.kind) {
      case XmlEventKind::Start:
        in_t = is_t_element(event.name);
        if (in_t) current.clear();
        note_flags(event);
        break;
      case XmlEventKind::Empty: note_flags(event); break;
      case XmlEventKind::End:
        if (is_t_element(event.name)) {
          if (!current.empty()) texts.next() = current;
          current.clear();
          in_t = false;
        }
        break;
      case XmlEventKind::Text:
      case XmlEventKind::GeneralRef:
        if (in_t) append_piece(current, event, trusted);
        break;
      default: break;
    }
  }

  void note_flags(const XmlEvent& event) {
    const std::string_view local = xml_local_name(event.name);
    if (local == "transition")
      result.has_transition = true;
    else if (local == "timing")
      result.has_timing = true;
  }
};

}  // namespace

std::optional<std::string> drawingml_attribute(const XmlEvent& tag, std::string_view attribute) {
  const auto raw = tag.attributes().find(attribute, AttributeNaming::Local);
  if (!raw) return std::nullopt;
  return is_valid_utf8(*raw) ? std::string(*raw) : std::string();
}

std::vector<std::string> extract_text_runs(std::string_view xml) {
  return scan_slide_text(xml).texts;
}

SlideTextScan scan_slide_text(std::string_view xml) {
  SlideTextScan out;
  scan_slide_text(xml, out);
  return out;
}

void scan_slide_text(std::string_view xml, SlideTextScan& out) {
  out.has_transition = false;
  out.has_timing = false;
  TextRunScan scan(out);
  scan.trusted = is_valid_utf8(xml);
  for_each_event(xml, XmlReaderOptions{.trim_text = true},
                 [&](const XmlEvent& event) { scan.on(event); });
  scan.texts.finish();
}

std::vector<std::string> extract_paragraph_texts(std::string_view xml) {
  std::vector<std::string> paragraphs;
  ParagraphTextScan scan(paragraphs);
  for_each_event(xml, {}, [&](const XmlEvent& event) {
    if (event.is_tag() || event.is_end())
      scan.on(event, scan_name(xml_local_name(event.name)));
    else
      scan.on(event, ScanName::Other);
  });
  scan.result.finish();
  return paragraphs;
}

std::optional<bool> bool_attribute_value(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  if (*value == "1" || *value == "true" || *value == "on") return true;
  if (*value == "0" || *value == "false" || *value == "off") return false;
  return std::nullopt;
}

std::optional<bool> underline_value(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  return *value != "none";
}

std::optional<std::int64_t> font_size_emu(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  const auto hundredths = parse_i64(*value);
  if (!hundredths) return std::nullopt;
  // Hundredths of a point to EMU, in wrapping 64-bit arithmetic.
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(*hundredths) * 127u);
}

ShapeParagraphs scan_shape_paragraphs(std::string_view xml) {
  ShapeParagraphs out;
  scan_shape_paragraphs(xml, out);
  return out;
}

void scan_shape_paragraphs(std::string_view xml, ShapeParagraphs& out) {
  ParagraphTextScan texts(out.paragraphs);
  RunTextScan runs(out.runs);
  LineBreakScan breaks(out.line_breaks);
  FieldScan fields(out.fields);
  RunFormattingScan formatting(out.bold, out.italic, out.underline, out.font_size, out.font_name);

  for_each_event(xml, {}, [&](const XmlEvent& event) {
    // Other tags are passed over at once.
    ScanName local = ScanName::Other;
    if (event.is_tag() || event.is_end()) {
      local = scan_name(xml_local_name(event.name));
      if (local == ScanName::Other) return;
    } else if (!is_text_piece(event)) {
      return;
    }
    texts.on(event, local);
    runs.on(event, local);
    breaks.on(event, local);
    fields.on(event, local);
    if (!is_text_piece(event)) formatting.on(event, local);
  });

  texts.result.finish();
  runs.result.finish();
  breaks.result.finish();
  fields.result.finish();
  formatting.bold.finish();
  formatting.italic.finish();
  formatting.underline.finish();
  formatting.size.finish();
  formatting.typeface.finish();
}

}  // namespace pelvane

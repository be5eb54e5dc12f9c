// The pull lexer and event writer that every streaming pass over an XML part uses.
//
// The reader walks a caller-owned buffer and hands out one event at a time. Every event is a
// view into that buffer: nothing is copied, nothing is allocated per event, no tree is built.
// The writer copies an event as the bytes it was read from, so a pass that changes nothing
// reproduces its input byte for byte (an end tag is written as "</name>", which drops white
// space before its ">").
//
//   XmlReader reader(text);
//   XmlWriter writer(text.size());
//   for (;;) {
//     XmlEvent event = PELVANE_TRY(reader.next());
//     if (event.kind == XmlEventKind::Eof) break;
//     writer.write_event(event);
//   }
//   std::string out = std::move(writer).take();
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/base/buffer_shelf.hpp"
#include "core/base/error.hpp"
#include "core/base/keyed_hash.hpp"
#include "core/base/utf8.hpp"
#include "core/xml/xml_escape.hpp"

namespace pelvane {

enum class XmlEventKind : std::uint8_t {
  Start,                  // <name attrs>
  Empty,                  // <name attrs/>
  End,                    // </name>
  Text,                   // character data between markup, still escaped; never holds "&"
  CData,                  // <![CDATA[...]]>
  Comment,                // <!--...-->
  Declaration,            // <?xml ...?>
  ProcessingInstruction,  // <?target ...?>
  DocType,                // <!DOCTYPE ... [internal subset]>
  GeneralRef,             // &name; or &#NN; or &#xHH; delivered on its own between text events
  Eof,                    // end of input; open elements at that point are not an error
};

// The part of a qualified name after its last ":", or the whole name. Inline: every lookup of
// an element or attribute by local name goes through here.
inline std::string_view xml_local_name(std::string_view qualified_name) {
  const std::size_t colon = qualified_name.rfind(':');
  return colon == std::string_view::npos ? qualified_name : qualified_name.substr(colon + 1);
}

// One attribute of a start or empty-element tag, as written.
struct XmlAttribute {
  std::string_view name;   // qualified name, prefix included
  std::string_view value;  // raw value between the quotes, references not resolved
  std::string_view raw;    // the whole item as written, e.g. `name="value"`
  char quote = '"';        // the quote the value was written with
  // Missing "=", missing or unterminated quote, or a name already met on this tag. Callers
  // skip malformed items; `name` and `value` hold whatever could be read.
  bool malformed = false;

  std::string_view local_name() const { return xml_local_name(name); }
};

// How an attribute is looked up: by its qualified name exactly ("t" is not "x:t"), or by its
// local name under any prefix or none ("id" names both "id" and "r:id").
enum class AttributeNaming : std::uint8_t { Qualified, Local };

// Forward range over the attribute text of one tag. Iterating a tag of a few dozen attributes
// allocates nothing; past that, the names met so far are kept in a set, so that a tag of
// countless attributes is still read in time linear in its length.
class XmlAttributes {
 public:
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = XmlAttribute;
    using difference_type = std::ptrdiff_t;
    using pointer = const XmlAttribute*;
    using reference = const XmlAttribute&;
    iterator() = default;
    // Copies the names kept so far, and only those: the rest of `recent_` is never set.
    iterator(const iterator& other)
        : text_(other.text_),
          pos_(other.pos_),
          items_(other.items_),
          done_(other.done_),
          names_kept_(other.names_kept_),
          recent_count_(other.recent_count_),
          names_(other.names_),
          current_(other.current_) {
      std::copy_n(other.recent_.begin(), recent_count_, recent_.begin());
    }
    iterator& operator=(const iterator& other) {
      if (this != &other) {
        text_ = other.text_;
        pos_ = other.pos_;
        items_ = other.items_;
        done_ = other.done_;
        names_kept_ = other.names_kept_;
        recent_count_ = other.recent_count_;
        std::copy_n(other.recent_.begin(), recent_count_, recent_.begin());
        names_ = other.names_;
        current_ = other.current_;
      }
      return *this;
    }
    ~iterator() = default;
    const XmlAttribute& operator*() const { return current_; }
    const XmlAttribute* operator->() const { return &current_; }
    iterator& operator++() {
      advance();
      return *this;
    }
    iterator operator++(int) {
      iterator before = *this;
      advance();
      return before;
    }
    bool operator==(const iterator& other) const {
      return done_ == other.done_ && (done_ || pos_ == other.pos_);
    }

   private:
    friend class XmlAttributes;
    iterator(std::string_view text, bool done) : text_(text), done_(done) {
      if (!done_) advance();
    }
    void advance();
    bool repeats_earlier_name(std::size_t item_start);
    // The names of the first well-formed items, kept as they are read, so that the common tag
    // of a few attributes is checked for a repeated name without reading it again. A bare
    // pointer and size, left unset until used, so that making an iterator (two for every loop over
    // a tag) writes nothing for it.
    static constexpr std::size_t kRecentNames = 8;
    struct KeptName {
      const char* data;
      std::size_t size;
      bool operator==(std::string_view name) const {
        return size == name.size() && std::equal(name.begin(), name.end(), data);
      }
    };
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t items_ = 0;  // items read so far, this one included
    bool done_ = true;
    bool names_kept_ = false;       // `names_` holds every well-formed name before the current item
    std::size_t recent_count_ = 0;  // names in `recent_`; every earlier well-formed one while
                                    // `items_` is at most kRecentNames
    std::array<KeptName, kRecentNames> recent_;
    // Made for tags of many attributes only.
    std::optional<std::unordered_set<std::string_view, KeyedHash>> names_;
    XmlAttribute current_;
  };

  XmlAttributes() = default;
  explicit XmlAttributes(std::string_view text) : text_(text) {}
  iterator begin() const { return iterator(text_, false); }
  iterator end() const { return iterator(text_, true); }
  // The raw value (references not resolved) of the first well-formed attribute that `name`
  // names; none when there is none. A tag holds at most one well-formed attribute of a
  // qualified name, but may hold several of one local name.
  std::optional<std::string_view> find(std::string_view name,
                                       AttributeNaming naming = AttributeNaming::Qualified) const;
  // The attribute text as written between the name and ">" or "/>", leading blank included.
  std::string_view text() const { return text_; }

 private:
  std::string_view text_;
};

struct XmlEvent {
  XmlEventKind kind = XmlEventKind::Eof;
  // The event's source span: the whole tag, the text, the "&...;" of a reference. For a
  // trimmed text event, the trimmed bytes.
  std::string_view raw;
  // Start, Empty, End: the qualified name. ProcessingInstruction, Declaration: the target.
  // GeneralRef: the bytes between "&" and ";". DocType: "DOCTYPE".
  std::string_view name;
  // Start, Empty: the attribute text (see XmlAttributes::text). Text: same as raw.
  // CData, Comment: the bytes between the markers. Declaration, ProcessingInstruction: the
  // bytes after the target up to "?>". DocType: the bytes after "<!DOCTYPE" up to the final ">".
  std::string_view content;
  std::size_t offset = 0;  // byte offset of raw in the input

  bool is_start() const { return kind == XmlEventKind::Start; }
  bool is_empty() const { return kind == XmlEventKind::Empty; }
  bool is_end() const { return kind == XmlEventKind::End; }
  bool is_tag() const { return kind == XmlEventKind::Start || kind == XmlEventKind::Empty; }
  bool is_eof() const { return kind == XmlEventKind::Eof; }

  std::string_view local_name() const { return xml_local_name(name); }
  XmlAttributes attributes() const {
    return XmlAttributes(is_tag() ? content : std::string_view{});
  }
  // GeneralRef: "#" followed by digits, or "#x" followed by hexadecimal digits.
  bool is_character_reference() const {
    return kind == XmlEventKind::GeneralRef && name.starts_with('#');
  }
};

// A simple empty-element tag (see `XmlReader::next_simple_empty_tag`), read with its attributes
// in one pass: each attribute's raw value (references not resolved).
struct SimpleAttribute {
  std::string_view name;
  std::string_view value;
  // A simple tag's attributes are all well-formed; code over either kind of attribute asks.
  static constexpr bool malformed = false;

  std::string_view local_name() const { return xml_local_name(name); }
};
struct SimpleEmptyTag {
  static constexpr std::size_t kMaxAttributes = 8;
  std::string_view raw;   // the whole tag, "<" to "/>"
  std::string_view name;  // qualified, as written
  std::size_t offset = 0;
  std::array<SimpleAttribute, kMaxAttributes> items;  // the first `count` are set
  std::size_t count = 0;

  const SimpleAttribute* begin() const { return items.data(); }
  const SimpleAttribute* end() const { return items.data() + count; }
};

struct XmlReaderOptions {
  // Drop space, tab, carriage return and line feed at the start and end of every text event;
  // text events left empty are not delivered.
  bool trim_text = false;
};

// Pull lexer over a caller-owned buffer. End tags are always checked against their start tags:
// a mismatched or stray end tag is an `Xml` error naming the byte offset. Once an error has been
// returned, every later call returns it again.
class XmlReader {
 public:
  explicit XmlReader(std::string_view input, XmlReaderOptions options = {});

  Result<XmlEvent> next();

  // Reads the next event only when it is a simple empty-element tag of local name `local_name`
  // (bytes that may stand in a name, no ":"): "<", the name, then at most
  // `SimpleEmptyTag::kMaxAttributes` items of distinct names, each led by blanks and written
  // name="value" or name='value' with a name of bytes that may stand in an element name, then
  // blanks and "/>". `next` would give such a tag as one Empty event whose attributes are those
  // items, none malformed: the reader stands after it as it would then, and `tag` holds it.
  // Anything else (an error pending included) leaves the reader as it was and returns false, for
  // `next` to read. Passes over parts made mostly of such tags spare reading each tag twice.
  bool next_simple_empty_tag(std::string_view local_name, SimpleEmptyTag& tag);

  // Byte offset of the first byte not yet read.
  std::size_t position() const { return pos_; }
  // Number of elements open after the last event.
  std::size_t depth() const { return open_.size(); }
  std::string_view input() const { return input_; }

 private:
  Result<XmlEvent> read_markup();
  // Everything but a tag met with no error pending: text, a reference, the end, a past error.
  Result<XmlEvent> read_other();
  Result<XmlEvent> read_reference();
  PelvaneError fail_at(std::size_t offset, std::string_view what);

  std::string_view input_;
  std::size_t pos_ = 0;
  XmlReaderOptions options_;
  std::vector<std::string_view> open_;
  std::optional<PelvaneError> error_;
};

// A start tag rebuilt by the caller: a name and attribute text written anew. Used only for tags
// that change; unchanged tags are copied from their source bytes.
class XmlStartTag {
 public:
  explicit XmlStartTag(std::string_view name) : name_(name) {}
  // Copies the name and the attribute text of a Start or Empty event.
  static XmlStartTag from_event(const XmlEvent& event);

  std::string_view name() const { return name_; }
  // " a=\"1\" b=\"2\"", each attribute led by one blank (or the source text when not rebuilt).
  std::string_view attributes_text() const { return attributes_; }

  void clear_attributes() { attributes_.clear(); }
  // Appends an attribute, escaping `value` with all five predefined entities.
  void push_attribute(std::string_view name, std::string_view value);
  // Appends an attribute whose value is already escaped; it is written in double quotes as is.
  void push_escaped_attribute(std::string_view name, std::string_view escaped_value);
  // Appends an attribute read from a source tag so that it decodes to the same value: a value
  // written in single quotes has its double quotes written as "&quot;".
  void push_source_attribute(const XmlAttribute& attribute);

 private:
  std::string name_;
  std::string attributes_;
};

// Event writer into a growable buffer that it owns; no indentation, nothing added.
class XmlWriter {
 public:
  XmlWriter() = default;
  explicit XmlWriter(std::size_t reserve) : out_(WrittenTextShelf::take(reserve)) {}

  // Writes an event as read: its raw bytes, an end tag as "</name>", nothing for Eof.
  void write_event(const XmlEvent& event);
  void write_start(const XmlStartTag& tag);  // <name attrs>
  void write_empty(const XmlStartTag& tag);  // <name attrs/>
  // As the kind of tag that `as` was: empty-element when it was one, a start tag otherwise.
  void write_tag_as(const XmlEvent& as, const XmlStartTag& tag) {
    as.is_empty() ? write_empty(tag) : write_start(tag);
  }
  void write_start_tag(std::string_view name);  // <name>
  void write_end_tag(std::string_view name);    // </name>
  // Text escaped with all five predefined entities.
  void write_text(std::string_view text);
  void write_raw(std::string_view bytes) { out_.append(bytes); }

  const std::string& buffer() const { return out_; }
  std::string take() && { return std::move(out_); }

 private:
  std::string out_;
};

}  // namespace pelvane

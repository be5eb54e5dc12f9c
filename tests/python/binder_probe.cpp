// A small extension module built by the boundary tests from the module's own binder: it
// declares one function per argument-kind combination and echoes what the binder converted,
// so every kind, binding message, JSON step and fault path is checked before the engine
// operations that use them exist.
#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "native/binder.hpp"
#include "native/results.hpp"

namespace pelvane::native {
namespace {

struct KindsEcho {
  std::string text;
  std::uint64_t index = 0;
  std::uint64_t u64 = 0;
  std::int64_t i64 = 0;
  std::vector<std::uint64_t> data;
  std::vector<std::string> names;
  std::vector<std::uint64_t> indexes;

  template <class V>
  void visit(V& v) const {
    v.field("text", text);
    v.field("index", index);
    v.field("u64", u64);
    v.field("i64", i64);
    v.field("data", data);
    v.field("names", names);
    v.field("indexes", indexes);
  }
};

struct OptionalsEcho {
  std::optional<std::string> text;
  std::optional<std::uint64_t> number;
  std::optional<std::vector<std::string>> names;

  template <class V>
  void visit(V& v) const {
    v.field("text", text);
    v.field("number", number);
    v.field("names", names);
  }
};

struct ListEcho {
  std::string path;
  std::vector<std::string> items;

  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("items", items);
  }
};

// A toy reader: a text starting with "[" reads as a one-item list holding the text.
std::expected<std::vector<std::string>, std::string> read_bracketed(std::string_view text) {
  if (text.empty() || text.front() != '[') {
    return std::unexpected(std::string("expected `[` at line 1 column 1"));
  }
  return std::vector<std::string>{std::string(text)};
}

// The same as an engine-style reader whose failure is a PelvaneError.
Result<std::vector<std::string>> read_bracketed_or_invalid(std::string_view text) {
  auto read = read_bracketed(text);
  if (!read) return fail(PelvaneError::invalid_input(read.error()));
  return *read;
}

// A reader whose error knows its whole text, message and position.
struct PositionedError {
  std::string message;
  std::string text() const { return message + " at line 2 column 5"; }
};
std::expected<std::vector<std::string>, PositionedError> read_positioned(std::string_view text) {
  if (text == "[]") return std::vector<std::string>{};
  return std::unexpected(PositionedError{"trailing characters"});
}

std::vector<std::uint64_t> byte_values(std::string_view bytes) {
  std::vector<std::uint64_t> values;
  for (unsigned char byte : bytes) values.push_back(byte);
  return values;
}

constexpr Param kKindsParams[] = {
    {"text", Kind::Str},          {"index", Kind::Index}, {"u64", Kind::U64},
    {"i64", Kind::I64},           {"data", Kind::Bytes},  {"names", Kind::StrList},
    {"indexes", Kind::IndexList},
};
constexpr Param kOptionalsParams[] = {
    {"text", Kind::Str, Presence::NoneOk},
    {"number", Kind::U64, Presence::NoneOk},
    {"names", Kind::StrList, Presence::Omittable},
};
constexpr Param kFourTextParams[] = {
    {"input", Kind::Str}, {"output", Kind::Str}, {"search", Kind::Str}, {"replacement", Kind::Str}};
constexpr Param kJsonParams[] = {{"slide_index", Kind::Index},
                                 json_param<read_bracketed>("items_json")};
constexpr Param kEngineJsonParams[] = {json_param<read_bracketed_or_invalid>("items_json")};
constexpr Param kPositionedJsonParams[] = {json_param<read_positioned>("items_json")};
constexpr Param kMessageParams[] = {{"message", Kind::Str}};
constexpr Param kDataParams[] = {{"data", Kind::Bytes}};

constexpr auto kProbeFunctions = std::to_array<FunctionDecl>({
    {"kinds", kKindsParams,
     [](Args& a) {
       return json_result(KindsEcho{std::string(a.str(0)), a.index(1), a.u64(2), a.i64(3),
                                    byte_values(a.bytes(4)), a.str_list(5), a.index_list(6)});
     }},
    {"optionals", kOptionalsParams,
     [](Args& a) {
       auto text = a.optional_str(0);
       return json_result(OptionalsEcho{text ? std::optional(std::string(*text)) : std::nullopt,
                                        a.optional_u64(1), a.optional_str_list(2)});
     }},
    {"four_texts", kFourTextParams,
     [](Args& a) {
       return json_result(
           ListEcho{std::string(a.str(0)),
                    {std::string(a.str(1)), std::string(a.str(2)), std::string(a.str(3))}});
     }},
    {"json_items", kJsonParams,
     [](Args& a) {
       return json_result(
           ListEcho{std::to_string(a.index(0)), a.json<std::vector<std::string>>(1)});
     }},
    {"engine_json_items", kEngineJsonParams,
     [](Args& a) {
       return json_result(ListEcho{"", a.json<std::vector<std::string>>(0)});
     }},
    {"positioned_json_items", kPositionedJsonParams,
     [](Args& a) {
       return json_result(ListEcho{"", a.json<std::vector<std::string>>(0)});
     }},
    {"engine_error", kMessageParams,
     [](Args& a) {
       return json_result(
           Result<ListEcho>(fail(PelvaneError::invalid_input(std::string(a.str(0))))));
     }},
    {"invalid_path",
     {},
     [](Args&) {
       return json_result(ListEcho{"bad \xff path", {}});
     }},
    {"fault", kMessageParams,
     [](Args& a) -> Outcome { throw std::runtime_error(std::string(a.str(0))); }},
    {"silent_fault", {}, [](Args&) -> Outcome { throw 42; }},
    {"wrong_accessor", kMessageParams,
     [](Args& a) { return text_outcome(std::to_string(a.u64(0))); }},
    {"reversed_bytes", kDataParams,
     [](Args& a) {
       std::string_view data = a.bytes(0);
       return bytes_result(Result<std::vector<unsigned char>>(
           std::vector<unsigned char>(data.rbegin(), data.rend())));
     },
     "Returns the bytes reversed.\nSecond line."},
});

int exec_probe(PyObject* module) {
  return guard_panics([module] { return register_functions<kProbeFunctions>(module); });
}

PyModuleDef_Slot probe_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_probe)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef probe_definition = {
    PyModuleDef_HEAD_INIT, "binder_probe", "", 0, nullptr, probe_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace pelvane::native

PyMODINIT_FUNC PyInit_binder_probe() {
  return PyModuleDef_Init(&pelvane::native::probe_definition);
}

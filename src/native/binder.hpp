// The one binder behind every module function.
//
// A function is declared as data: its name, its parameters (name, kind, presence) and a call
// that receives the converted arguments and returns an Outcome (results.hpp). The binder binds
// the interpreter's fast-call arguments to the parameters with the interpreter's own wording,
// converts them in parameter order (a failure gets the note "while processing '<name>'"),
// parses JSON arguments with the parser the declaration names, then runs the call. No C++
// exception ever leaves a call: exhausted memory becomes RuntimeError, any other fault
// PanicException.
//
// A group's table, registered in row order; the module's rows are engine_rows, checked
// against their engine operations when compiled, and `register_table` (function_tables.hpp)
// refuses a table with any other row (native_core.cpp):
//
//   constexpr Param kPathParams[] = {{"path", Kind::Str}};
//   constexpr auto kCoreFunctions = std::to_array<FunctionDecl>({
//       engine_row<&inspect_package, kPathParams>("inspect_package_json"),
//   });
//   int register_native_core(PyObject* module) { return register_table<kCoreFunctions>(module); }
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <any>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "core/base/error.hpp"
#include "native/results.hpp"

namespace pelvane::native {

// Argument kinds. `Index` and `U64` convert alike (non-negative, up to 2**64 - 1); they are kept
// apart because they mean different things to the engine.
enum class Kind { Str, Index, U64, I64, Bytes, Json, StrList, IndexList };

enum class Presence {
  Required,   // must be passed; None is refused
  NoneOk,     // "X or None": must be passed, None reads as absent
  Omittable,  // may be left out (only as the last parameters); omitted or None reads as absent
};

// Reads a JSON argument's whole text into the value the call takes (through Args::json<T>), or
// yields the reader's message, which the caller sees as RuntimeError.
using JsonParser = std::expected<std::any, std::string> (*)(std::string_view text);

// One address per C++ type, comparable at compile time: names the type a JSON parser yields.
template <class T>
inline constexpr char kTypeTag = 0;
template <class T>
constexpr const void* type_tag() {
  return &kTypeTag<T>;
}

struct Param {
  const char* name;
  Kind kind;
  Presence presence = Presence::Required;
  JsonParser parse_json = nullptr;  // Kind::Json only; without one the call gets the raw text
  const void* json_type = nullptr;  // with `parse_json`: type_tag of the value it yields
};

// The text a reader's failure shows: a message as is; an engine error without its prefix.
inline std::string json_error_text(std::string message) { return message; }
inline std::string json_error_text(std::string_view message) { return std::string(message); }
inline std::string json_error_text(const char* message) { return message; }
inline std::string json_error_text(const PelvaneError& error) { return error.message(); }
// A reader error that knows its whole text (message and position) shows that text.
template <class E>
requires requires(const E& error) {
  { error.text() } -> std::convertible_to<std::string>;
}
std::string json_error_text(const E& error) { return error.text(); }

// Adapts any reader `Read(std::string_view) -> std::expected<T, E>` to a JsonParser, so a row
// can name the reader directly: json_param<parse_cell_texts>("cell_texts_json").
template <auto Read>
std::expected<std::any, std::string> parse_json_argument(std::string_view text) {
  auto parsed = Read(text);
  if (!parsed) return std::unexpected(json_error_text(std::move(parsed).error()));
  return std::any(std::move(*parsed));
}

// A JSON parameter read by `Read`: `json_param<parse_cell_texts>("cell_texts_json")`.
template <auto Read>
constexpr Param json_param(const char* name) {
  using Value = typename decltype(Read(std::string_view()))::value_type;
  return {name, Kind::Json, Presence::Required, &parse_json_argument<Read>, type_tag<Value>()};
}

// One parameter list joined from shared pieces, in order, so that a table reads like the
// function's signature: join_params(kInputOutputSlide, kGroup, kBox, kText).
template <std::size_t... N>
consteval auto join_params(const Param (&... pieces)[N]) {
  std::array<Param, (N + ...)> joined{};
  std::size_t at = 0;
  ((std::ranges::copy(pieces, joined.begin() + at), at += N), ...);
  return joined;
}

// The converted arguments of one call, by parameter position. Texts and bytes are borrowed
// from the caller's objects and valid for the call; lists and parsed JSON are owned.
// Asking for a kind the parameter does not have is an internal fault (PanicException).
class Args {
 public:
  using Value = std::variant<std::monostate, std::string_view, std::uint64_t, std::int64_t,
                             std::vector<std::string>, std::vector<std::uint64_t>, std::any>;
  static constexpr std::size_t kMaxParams = 24;

  std::string_view str(std::size_t i) const { return std::get<std::string_view>(at(i)); }
  std::uint64_t index(std::size_t i) const { return std::get<std::uint64_t>(at(i)); }
  std::uint64_t u64(std::size_t i) const { return std::get<std::uint64_t>(at(i)); }
  std::int64_t i64(std::size_t i) const { return std::get<std::int64_t>(at(i)); }
  std::string_view bytes(std::size_t i) const { return std::get<std::string_view>(at(i)); }
  const std::vector<std::string>& str_list(std::size_t i) const {
    return std::get<std::vector<std::string>>(at(i));
  }
  const std::vector<std::uint64_t>& index_list(std::size_t i) const {
    return std::get<std::vector<std::uint64_t>>(at(i));
  }
  // The value that the parameter's JSON parser produced.
  template <class T>
  T& json(std::size_t i) {
    return std::any_cast<T&>(std::get<std::any>(at(i)));
  }

  // The "X or None" kinds the functions have: texts, unsigned integers and lists of texts.
  bool is_absent(std::size_t i) const { return std::holds_alternative<std::monostate>(at(i)); }
  std::optional<std::string_view> optional_str(std::size_t i) const {
    return is_absent(i) ? std::nullopt : std::optional(str(i));
  }
  std::optional<std::uint64_t> optional_u64(std::size_t i) const {
    return is_absent(i) ? std::nullopt : std::optional(u64(i));
  }
  std::optional<std::vector<std::string>> optional_str_list(std::size_t i) const {
    return is_absent(i) ? std::nullopt : std::optional(str_list(i));
  }

  Value& slot(std::size_t i) { return at(i); }

 private:
  Value& at(std::size_t i) { return values_.at(i); }
  const Value& at(std::size_t i) const { return values_.at(i); }
  std::array<Value, kMaxParams> values_{};
};

using Call = Outcome (*)(Args& args);

// How an engine parameter of type T is read from a converted argument, and which declared
// parameters can supply it. Any type not named below is a parsed JSON argument of that type.
template <class T>
struct EngineArg {
  static constexpr bool fits(const Param& p) {
    return p.kind == Kind::Json && p.json_type == type_tag<T>();
  }
  static T& read(Args& a, std::size_t i, const Param&) { return a.json<T>(i); }
};
template <>
struct EngineArg<std::string_view> {
  static constexpr bool fits(const Param& p) {
    return (p.kind == Kind::Str || p.kind == Kind::Bytes) && p.presence == Presence::Required;
  }
  static std::string_view read(Args& a, std::size_t i, const Param&) { return a.str(i); }
};
template <>
struct EngineArg<std::uint64_t> {
  static constexpr bool fits(const Param& p) {
    return (p.kind == Kind::Index || p.kind == Kind::U64) && p.presence == Presence::Required;
  }
  static std::uint64_t read(Args& a, std::size_t i, const Param&) { return a.u64(i); }
};
template <>
struct EngineArg<std::int64_t> {
  static constexpr bool fits(const Param& p) {
    return p.kind == Kind::I64 && p.presence == Presence::Required;
  }
  static std::int64_t read(Args& a, std::size_t i, const Param&) { return a.i64(i); }
};
// An optional engine value takes "X or None" parameters, and required ones as always present.
template <>
struct EngineArg<std::optional<std::string_view>> {
  static constexpr bool fits(const Param& p) { return p.kind == Kind::Str; }
  static std::optional<std::string_view> read(Args& a, std::size_t i, const Param&) {
    return a.optional_str(i);
  }
};
template <>
struct EngineArg<std::optional<std::uint64_t>> {
  static constexpr bool fits(const Param& p) {
    return p.kind == Kind::Index || p.kind == Kind::U64;
  }
  static std::optional<std::uint64_t> read(Args& a, std::size_t i, const Param&) {
    return a.optional_u64(i);
  }
};
template <>
struct EngineArg<std::vector<std::string>> {
  static constexpr bool fits(const Param& p) {
    return p.kind == Kind::StrList && p.presence == Presence::Required;
  }
  static const std::vector<std::string>& read(Args& a, std::size_t i, const Param&) {
    return a.str_list(i);
  }
};
template <>
struct EngineArg<std::optional<std::vector<std::string>>> {
  static constexpr bool fits(const Param& p) { return p.kind == Kind::StrList; }
  static std::optional<std::vector<std::string>> read(Args& a, std::size_t i, const Param&) {
    return a.optional_str_list(i);
  }
};
template <>
struct EngineArg<std::vector<std::uint64_t>> {
  static constexpr bool fits(const Param& p) {
    return p.kind == Kind::IndexList && p.presence == Presence::Required;
  }
  static const std::vector<std::uint64_t>& read(Args& a, std::size_t i, const Param&) {
    return a.index_list(i);
  }
};
// A span views the list the argument holds.
template <class T>
struct EngineArg<std::span<const T>> {
  static constexpr bool fits(const Param& p) { return EngineArg<std::vector<T>>::fits(p); }
  static std::span<const T> read(Args& a, std::size_t i, const Param& p) {
    return EngineArg<std::vector<T>>::read(a, i, p);
  }
};

// Engine parameters that a row leaves absent (std::nullopt, an empty list), by their
// positions among the engine operation's parameters, in increasing order.
template <std::size_t... Positions>
struct Absent {
  static constexpr std::size_t count = sizeof...(Positions);
  static constexpr bool holds(std::size_t k) { return ((k == Positions) || ...); }
  // The declared parameter that supplies engine parameter `k`.
  static constexpr std::size_t declared_index(std::size_t k) {
    return k - (std::size_t{Positions < k} + ... + 0);
  }
  static constexpr bool increasing() {
    const std::array<std::size_t, count> positions{Positions...};
    for (std::size_t i = 1; i < count; ++i) {
      if (positions[i] <= positions[i - 1]) return false;
    }
    return true;
  }
};

template <class T>
constexpr bool kCanBeAbsent = false;
template <class T>
constexpr bool kCanBeAbsent<std::optional<T>> = true;
template <class T>
constexpr bool kCanBeAbsent<std::span<T>> = true;
template <class T>
constexpr bool kCanBeAbsent<std::vector<T>> = true;

// True when `params`, with the `Left` positions left absent, supply the engine operation's
// parameters one for one, in order.
template <class Left, class R, class... P>
consteval bool engine_takes(R (*)(P...), std::span<const Param> params) {
  if (!Left::increasing() || params.size() + Left::count != sizeof...(P)) return false;
  return [&]<std::size_t... K>(std::index_sequence<K...>) {
    return ((Left::holds(K)
                 ? kCanBeAbsent<std::remove_cvref_t<P>>
                 : EngineArg<std::remove_cvref_t<P>>::fits(params[Left::declared_index(K)])) &&
            ...);
  }
  (std::index_sequence_for<P...>{});
}

// The value of engine parameter `K` (of type T): its empty value when left absent, else the
// converted argument of the declared parameter that supplies it.
template <class Left, std::size_t K, class T>
decltype(auto) engine_argument(Args& a, std::span<const Param> params) {
  if constexpr (Left::holds(K)) {
    return T{};
  } else {
    constexpr std::size_t i = Left::declared_index(K);
    return EngineArg<T>::read(a, i, params[i]);
  }
}

// What the binder hands back for an engine result: a record or Result<record> as pretty JSON,
// Result<bytes> as bytes; a row's own Outcome as it is.
template <class R>
Outcome engine_outcome(const R& result) {
  if constexpr (std::same_as<R, Outcome>) {
    return result;
  } else if constexpr (requires { json_result(result); }) {
    return json_result(result);
  } else {
    return bytes_result(result);
  }
}

// Calls `Engine` with the converted arguments in parameter order and the absent ones in
// their places, and hands back its result.
template <auto Engine, const auto& Params, class Left>
Outcome call_engine(Args& a) {
  return [&]<class R, class... P>(R (*)(P...)) {
    return [&]<std::size_t... K>(std::index_sequence<K...>) {
      return engine_outcome(Engine(engine_argument<Left, K, std::remove_cvref_t<P>>(a, Params)...));
    }
    (std::index_sequence_for<P...>{});
  }(Engine);
}

struct FunctionDecl {
  const char* name;
  std::span<const Param> params;
  Call call;
  // Documentation after the text signature block; most functions have none.
  const char* doc = nullptr;
  // Made by engine_row: the parameters were checked against the engine operation's.
  bool engine_checked = false;
};

// A row whose function passes its arguments to one engine operation, checked at compile time
// against the operation's parameters (count, order, kind and presence):
//   engine_row<&duplicate_slide, kDuplicateSlideParams>("duplicate_slide_json")
// Fixed absent arguments are named by their engine positions:
//   engine_row<&add_slide_table_impl, kTableParams, Absent<9>>("add_slide_table_json")
// An operation at an insertion target is fixed to one kind of target by at_target
// (pml/shape_tree.hpp), whose group indexes follow the slide index:
//   engine_row<at_target<&add_slide_ole_object_with_target, Group>, kGroupObjectParams>(
//       "add_slide_group_ole_object_json")
// A function that needs more than that (a result printed its own way) is a small adapter
// function in the group's file, and the row is an engine_row of the adapter.
template <auto Engine, const auto& Params, class Left = Absent<>>
consteval FunctionDecl engine_row(const char* name, const char* doc = nullptr) {
  static_assert(engine_takes<Left>(Engine, std::span<const Param>(Params)),
                "the parameters do not match the engine operation");
  return {name, Params, &call_engine<Engine, Params, Left>, doc, true};
}

// True when every row of the table is an engine_row.
template <const auto& Table>
consteval bool every_row_checked() {
  for (const FunctionDecl& decl : Table) {
    if (!decl.engine_checked) return false;
  }
  return true;
}

// ---- Boundary entry points (binder.cpp) ----

// Makes the first failure of the calling thread need no memory the thread does not hold yet.
// The C++ runtime keeps the state of exceptions in flight in a thread-local block of a library
// loaded after the interpreter started; the dynamic loader allocates such a block on a thread's
// first use, and when that allocation fails it ends the process. A thread's first exception,
// often the std::bad_alloc of exhausted memory itself, would be that first use. This allocates
// the block now, from a little memory it has just seen free. False, with nothing allocated, when
// that little memory is not there.
bool prepare_thread_for_failures() noexcept;

// Binds, converts and parses the arguments, runs the call and returns its result, or nullptr
// with a Python exception set. An allocation failure anywhere in the call is RuntimeError
// "out of memory while processing '<function>'"; any other C++ exception is PanicException.
PyObject* call_function(const FunctionDecl& decl, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept;

// "name(a, b, c=None)\n--\n\n" followed by the declaration's documentation, if any.
std::string text_signature_doc(const FunctionDecl& decl);

// Creates each function object bound to the module and adds it to the module and to its
// `__all__`, in order. Returns 0, or -1 with the first error set; later ones are not created.
int add_functions(PyObject* module, std::span<PyMethodDef> defs) noexcept;

// Raises TypeError "'<type>' object is not an instance of '<expected>'" ("'None' is not ..."
// for None).
void raise_not_instance(PyObject* object, const char* expected);

// Raises PanicException (a BaseException subclass made once per process) with `message`.
void raise_panic(std::string_view message) noexcept;

// Runs `body` (returning 0 or -1 with an exception set) and turns any C++ exception escaping
// it into PanicException.
template <class F>
int guard_panics(F&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& fault) {
    raise_panic(fault.what());
  } catch (...) {
    raise_panic("");
  }
  return -1;
}

// ---- Per-function C entry points, generated from a table ----

// With METH_STATIC the interpreter passes no bound object, so every function needs its own
// entry point that knows its declaration.
template <const auto& Table, std::size_t I>
PyObject* fastcall_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_function(Table[I], args, nargs, kwnames);
}

template <const auto& Table, std::size_t I>
PyObject* noargs_entry(PyObject*, PyObject*) {
  return call_function(Table[I], nullptr, 0, nullptr);
}

template <const auto& Table, std::size_t I>
PyMethodDef method_definition(const std::string& doc) {
  const FunctionDecl& decl = Table[I];
  if (decl.params.empty()) {
    return {decl.name, reinterpret_cast<PyCFunction>(&noargs_entry<Table, I>),
            METH_NOARGS | METH_STATIC, doc.c_str()};
  }
  return {decl.name,
          reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall_entry<Table, I>)),
          METH_FASTCALL | METH_KEYWORDS | METH_STATIC, doc.c_str()};
}

template <const auto& Table>
consteval bool table_fits() {
  for (const FunctionDecl& decl : Table) {
    if (decl.params.size() > Args::kMaxParams) return false;
  }
  return true;
}

// Registers a group's functions in table order. The method definitions and their text
// signatures are built once per process and shared by every module object.
template <const auto& Table>
int register_functions(PyObject* module) {
  static_assert(table_fits<Table>(), "a function declares more parameters than Args holds");
  constexpr std::size_t n = std::size(Table);
  if constexpr (n == 0) {
    return 0;
  } else {
    return guard_panics([module]() -> int {
      static const auto docs = [] {
        std::array<std::string, n> texts;
        for (std::size_t i = 0; i < n; ++i) texts[i] = text_signature_doc(Table[i]);
        return texts;
      }();
      static auto defs = [&]<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<PyMethodDef, n>{method_definition<Table, I>(docs[I])...};
      }
      (std::make_index_sequence<n>{});
      return add_functions(module, defs);
    });
  }
}

}  // namespace pelvane::native

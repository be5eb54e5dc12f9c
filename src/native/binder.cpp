#include "native/binder.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

namespace pelvane::native {
namespace {

// A sequence's reported length only sizes the first reservation; a huge or lying `__len__`
// must not turn into a huge allocation.
constexpr Py_ssize_t kMaxListReservation = 1024;

constexpr std::string_view kGenericFaultMessage = "an internal fault stopped the call";

// Memory that must be free when a call starts; far less than any call needs, and far more than
// the thread-local block that `prepare_thread_for_failures` has allocated.
constexpr std::size_t kMemoryProbe = std::size_t{64} << 10;

PyObject* decode_lenient(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

// An allocation failure during a call is reported as a failure of the call, never as a fault.
// Nothing here allocates in C++: the text is formatted by the interpreter (which falls back on
// MemoryError when even that fails).
void raise_out_of_memory(const FunctionDecl& decl) {
  PyErr_Format(PyExc_RuntimeError, "out of memory while processing '%s'", decl.name);
}

void raise_runtime_error(std::string_view text) {
  PyObject* message = decode_lenient(text);
  if (message == nullptr) return;
  // A str value becomes the exception's single argument.
  PyErr_SetObject(PyExc_RuntimeError, message);
  Py_DECREF(message);
}

// ---- Binding ----

bool has_omittable(const FunctionDecl& decl) {
  return std::ranges::any_of(decl.params,
                             [](const Param& p) { return p.presence == Presence::Omittable; });
}

void raise_too_many_positional(const FunctionDecl& decl, Py_ssize_t given) {
  const Py_ssize_t total = static_cast<Py_ssize_t>(decl.params.size());
  const char* verb = given == 1 ? "was" : "were";
  if (has_omittable(decl)) {
    const Py_ssize_t required = std::ranges::count_if(
        decl.params, [](const Param& p) { return p.presence != Presence::Omittable; });
    PyErr_Format(PyExc_TypeError,
                 "%s() takes from %zd to %zd positional arguments but %zd %s given", decl.name,
                 required, total, given, verb);
  } else {
    PyErr_Format(PyExc_TypeError, "%s() takes %zd positional arguments but %zd %s given", decl.name,
                 total, given, verb);
  }
}

void raise_missing(const FunctionDecl& decl, const std::vector<const char*>& missing) {
  std::string names;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) {
      if (missing.size() > 2) names += ',';
      if (i + 1 == missing.size()) names += " and";
      names += ' ';
    }
    names += '\'';
    names += missing[i];
    names += '\'';
  }
  PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional %s: %s", decl.name,
               missing.size(), missing.size() == 1 ? "argument" : "arguments", names.c_str());
}

// Gives each parameter its argument (or nullptr when none was given).
bool bind(const FunctionDecl& decl, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          std::array<PyObject*, Args::kMaxParams>& bound) {
  const std::size_t count = decl.params.size();
  if (nargs < 0 || static_cast<std::size_t>(nargs) > count) {
    raise_too_many_positional(decl, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) bound[static_cast<std::size_t>(i)] = args[i];

  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    std::size_t match = count;
    for (std::size_t i = 0; i < count; ++i) {
      const char* name = decl.params[i].name;
      if (PyUnicode_EqualToUTF8AndSize(keyword, name, static_cast<Py_ssize_t>(std::strlen(name)))) {
        match = i;
        break;
      }
    }
    if (match == count) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", decl.name,
                   keyword);
      return false;
    }
    if (bound[match] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", decl.name,
                   decl.params[match].name);
      return false;
    }
    bound[match] = args[nargs + k];
  }

  std::vector<const char*> missing;
  for (std::size_t i = 0; i < count; ++i) {
    if (bound[i] == nullptr && decl.params[i].presence != Presence::Omittable) {
      missing.push_back(decl.params[i].name);
    }
  }
  if (!missing.empty()) {
    raise_missing(decl, missing);
    return false;
  }
  return true;
}

// ---- Conversion ----

bool borrow_str(PyObject* object, std::string_view& out) {
  if (!PyUnicode_Check(object)) {
    raise_not_instance(object, "str");
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(object, &size);  // UnicodeEncodeError for surrogates
  if (data == nullptr) return false;
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

bool to_u64(PyObject* object, std::uint64_t& out) {
  PyObject* number = PyNumber_Index(object);
  if (number == nullptr) return false;
  const unsigned long long value = PyLong_AsUnsignedLongLong(number);
  Py_DECREF(number);
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  out = value;
  return true;
}

bool to_i64(PyObject* object, std::int64_t& out) {
  PyObject* number = PyNumber_Index(object);
  if (number == nullptr) return false;
  const long long value = PyLong_AsLongLong(number);
  Py_DECREF(number);
  if (value == -1 && PyErr_Occurred()) return false;
  out = value;
  return true;
}

template <class T, class ConvertItem>
bool to_list(PyObject* object, std::vector<T>& out, ConvertItem convert_item) {
  if (PyUnicode_Check(object)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return false;
  }
  if (!PySequence_Check(object)) {
    raise_not_instance(object, "Sequence");
    return false;
  }
  const Py_ssize_t hint = PySequence_Size(object);
  if (hint < 0)
    PyErr_Clear();
  else
    out.reserve(static_cast<std::size_t>(std::min(hint, kMaxListReservation)));

  PyObject* iterator = PyObject_GetIter(object);
  if (iterator == nullptr) return false;
  while (PyObject* item = PyIter_Next(iterator)) {
    T value{};
    const bool ok = convert_item(item, value);
    Py_DECREF(item);
    if (!ok) {
      Py_DECREF(iterator);
      return false;
    }
    out.push_back(std::move(value));
  }
  Py_DECREF(iterator);
  return !PyErr_Occurred();
}

bool convert(const Param& param, PyObject* object, Args::Value& slot) {
  if (object == nullptr || (object == Py_None && param.presence != Presence::Required)) {
    slot = std::monostate{};
    return true;
  }
  switch (param.kind) {
    case Kind::Str:
    case Kind::Json: {
      std::string_view text;
      if (!borrow_str(object, text)) return false;
      slot = text;
      return true;
    }
    case Kind::Index:
    case Kind::U64: {
      std::uint64_t value = 0;
      if (!to_u64(object, value)) return false;
      slot = value;
      return true;
    }
    case Kind::I64: {
      std::int64_t value = 0;
      if (!to_i64(object, value)) return false;
      slot = value;
      return true;
    }
    case Kind::Bytes: {
      if (!PyBytes_Check(object)) {
        raise_not_instance(object, "bytes");
        return false;
      }
      slot = std::string_view(PyBytes_AS_STRING(object),
                              static_cast<std::size_t>(PyBytes_GET_SIZE(object)));
      return true;
    }
    case Kind::StrList: {
      std::vector<std::string> items;
      const bool ok = to_list(object, items, [](PyObject* item, std::string& out) {
        std::string_view text;
        if (!borrow_str(item, text)) return false;
        out.assign(text);
        return true;
      });
      if (!ok) return false;
      slot = std::move(items);
      return true;
    }
    case Kind::IndexList: {
      std::vector<std::uint64_t> items;
      if (!to_list(object, items, to_u64)) return false;
      slot = std::move(items);
      return true;
    }
  }
  PyErr_SetString(PyExc_SystemError, "unknown argument kind");
  return false;
}

// Adds "while processing '<name>'" to the pending exception; a failure to add it is ignored.
void add_parameter_note(const char* name) {
  PyObject* exception = PyErr_GetRaisedException();
  if (exception == nullptr) return;
  if (PyObject* note = PyUnicode_FromFormat("while processing '%s'", name)) {
    PyObject* result = PyObject_CallMethod(exception, "add_note", "O", note);
    Py_XDECREF(result);
    Py_DECREF(note);
  }
  PyErr_Clear();
  PyErr_SetRaisedException(exception);
}

// ---- Results ----

PyObject* to_python(const Outcome& outcome) {
  const std::string& payload = outcome.payload;
  switch (outcome.kind) {
    case Outcome::Kind::Text: {
      PyObject* text =
          PyUnicode_DecodeUTF8(payload.data(), static_cast<Py_ssize_t>(payload.size()), nullptr);
      if (text == nullptr) {
        PyErr_Clear();
        raise_runtime_error("result contains invalid UTF-8 characters");
      }
      return text;
    }
    case Outcome::Kind::Bytes:
      return PyBytes_FromStringAndSize(payload.data(), static_cast<Py_ssize_t>(payload.size()));
    case Outcome::Kind::Error: raise_runtime_error(payload); return nullptr;
  }
  raise_panic("unknown outcome");
  return nullptr;
}

// The exception type for internal faults: made on first use and kept for the process.
PyObject* panic_type() {
  static PyMutex lock{};
  static PyObject* type = nullptr;
  PyMutex_Lock(&lock);
  if (type == nullptr) {
    type = PyErr_NewExceptionWithDoc(
        "pelvane.pelvane_native.PanicException",
        "An internal fault of the module. Derives from BaseException so that handlers for "
        "Exception do not swallow it.",
        PyExc_BaseException, nullptr);
  }
  PyObject* result = type;
  PyMutex_Unlock(&lock);
  return result;
}

int add_function(PyObject* module, PyObject* function) {
  PyObject* name = PyObject_GetAttrString(function, "__name__");
  if (name == nullptr) return -1;
  if (!PyUnicode_Check(name)) {
    raise_not_instance(name, "str");
    Py_DECREF(name);
    return -1;
  }
  PyObject* all = nullptr;
  if (PyObject_GetOptionalAttrString(module, "__all__", &all) < 0) {
    Py_DECREF(name);
    return -1;
  }
  if (all == nullptr) {
    all = PyList_New(0);
    if (all == nullptr || PyObject_SetAttrString(module, "__all__", all) < 0) {
      Py_XDECREF(all);
      Py_DECREF(name);
      return -1;
    }
  } else if (!PyList_Check(all)) {
    raise_not_instance(all, "list");
    Py_DECREF(all);
    Py_DECREF(name);
    return -1;
  }
  const int appended = PyList_Append(all, name);
  Py_DECREF(all);
  if (appended < 0) {
    Py_DECREF(name);
    PyErr_Clear();
    raise_panic("could not append __name__ to __all__");
    return -1;
  }
  const int set = PyObject_SetAttr(module, name, function);
  Py_DECREF(name);
  return set;
}

}  // namespace

void raise_not_instance(PyObject* object, const char* expected) {
  if (object == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    return;
  }
  PyObject* type_name = PyType_GetQualName(Py_TYPE(object));
  if (type_name == nullptr) return;
  PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", type_name, expected);
  Py_DECREF(type_name);
}

void raise_panic(std::string_view message) noexcept {
  PyObject* type = panic_type();
  if (type == nullptr) return;  // its creation failed and left that error set
  PyObject* text = decode_lenient(message.empty() ? kGenericFaultMessage : message);
  if (text == nullptr) return;
  PyErr_SetObject(type, text);
  Py_DECREF(text);
}

bool prepare_thread_for_failures() noexcept {
  void* probe = std::malloc(kMemoryProbe);
  if (probe == nullptr) return false;
  // Keeps the compiler from pairing the allocation with its release and dropping both.
  asm volatile("" : : "r"(probe) : "memory");
  std::free(probe);
  // Reads the runtime's per-thread exception state, which allocates it on a thread's first
  // call, from the memory just released.
  (void)std::uncaught_exceptions();
  return true;
}

PyObject* call_function(const FunctionDecl& decl, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept {
  if (!prepare_thread_for_failures()) {
    raise_out_of_memory(decl);
    return nullptr;
  }
  try {
    std::array<PyObject*, Args::kMaxParams> bound{};
    if (!bind(decl, args, nargs, kwnames, bound)) return nullptr;

    Args converted;
    for (std::size_t i = 0; i < decl.params.size(); ++i) {
      if (!convert(decl.params[i], bound[i], converted.slot(i))) {
        add_parameter_note(decl.params[i].name);
        return nullptr;
      }
    }
    // JSON texts are read only once every argument has converted.
    for (std::size_t i = 0; i < decl.params.size(); ++i) {
      const Param& param = decl.params[i];
      if (param.kind != Kind::Json || param.parse_json == nullptr || converted.is_absent(i)) {
        continue;
      }
      auto parsed = param.parse_json(converted.str(i));
      if (!parsed) {
        raise_runtime_error(parsed.error());
        return nullptr;
      }
      converted.slot(i) = std::move(*parsed);
    }
    return to_python(decl.call(converted));
  } catch (const std::bad_alloc&) {
    raise_out_of_memory(decl);
  } catch (const std::exception& fault) {
    raise_panic(fault.what());
  } catch (...) {
    raise_panic("");
  }
  return nullptr;
}

std::string text_signature_doc(const FunctionDecl& decl) {
  std::string doc = decl.name;
  doc += '(';
  for (std::size_t i = 0; i < decl.params.size(); ++i) {
    if (i > 0) doc += ", ";
    doc += decl.params[i].name;
    if (decl.params[i].presence == Presence::Omittable) doc += "=None";
  }
  doc += ")\n--\n\n";
  if (decl.doc != nullptr) doc += decl.doc;
  return doc;
}

int add_functions(PyObject* module, std::span<PyMethodDef> defs) noexcept {
  return guard_panics([&]() -> int {
    PyObject* module_name = PyModule_GetNameObject(module);
    if (module_name == nullptr) return -1;
    for (PyMethodDef& def : defs) {
      PyObject* function = PyCMethod_New(&def, module, module_name, nullptr);
      if (function == nullptr) {
        Py_DECREF(module_name);
        return -1;
      }
      const int added = add_function(module, function);
      Py_DECREF(function);
      if (added < 0) {
        Py_DECREF(module_name);
        return -1;
      }
    }
    Py_DECREF(module_name);
    return 0;
  });
}

}  // namespace pelvane::native

#include "core/base/error.hpp"

namespace pelvane {

std::string PelvaneError::to_string() const {
  const char* prefix = "";
  switch (kind_) {
    case Kind::Io: prefix = "io error: "; break;
    case Kind::Zip: prefix = "zip error: "; break;
    case Kind::Xml: prefix = "xml error: "; break;
    case Kind::XmlTextDecode: prefix = "xml text decode error: "; break;
    case Kind::InvalidInput: prefix = "invalid input: "; break;
  }
  return prefix + message_;
}

}  // namespace pelvane

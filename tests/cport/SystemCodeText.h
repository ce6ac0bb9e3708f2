#pragma once
// The end of an EComPort message that carries system code `code`, in the
// platform's wording: " (system error 5: Input/output error)" on Linux,
// " (win error code: 5)" on Windows (ComMessages.h).
#include <string>

#include "cport/errors/ComError.h"
#include "cport/errors/ComMessages.h"

namespace cport::testing {

inline std::string SystemCodeText(int code) {
  return FillSystemCode(kSystemCodeSuffix, code, SystemErrorText(code));
}

}  // namespace cport::testing

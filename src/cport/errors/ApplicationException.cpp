#include "cport/errors/ApplicationException.h"

#include <cstdio>
#include <utility>

namespace cport {
namespace {

ApplicationExceptionHandler& Installed() {
  static ApplicationExceptionHandler handler;
  return handler;
}

}  // namespace

ApplicationExceptionHandler SetApplicationExceptionHandler(ApplicationExceptionHandler handler) {
  return std::exchange(Installed(), std::move(handler));
}

void HandleApplicationException(const std::exception& error) {
  if (const auto& handler = Installed()) {
    handler(error);
  } else {
    std::fprintf(stderr, "%s\n", error.what());
  }
}

}  // namespace cport

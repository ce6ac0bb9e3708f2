#pragma once
// The application's default exception report, as the component sees it. The
// port hands over the exceptions it catches itself (an open at the end of
// loading that fails); the program installs a handler that shows the
// message, tests install one that records it. Without a handler the message
// goes to standard error.
//
// Install the handler at start-up, before any port exists; it is called on
// the thread that caught the exception.
#include <exception>
#include <functional>

namespace cport {

using ApplicationExceptionHandler = std::function<void(const std::exception& error)>;

// Installs `handler` (null restores the standard-error report) and returns
// the one it replaces.
ApplicationExceptionHandler SetApplicationExceptionHandler(ApplicationExceptionHandler handler);

void HandleApplicationException(const std::exception& error);

}  // namespace cport

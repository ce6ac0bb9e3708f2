#include "cport/errors/ExceptionReport.h"

#include <stdexcept>

#include "cport/errors/ApplicationException.h"

namespace cport {

void ReportToApplication(std::exception_ptr Error) noexcept {
  if (!Error) return;
  // The report itself may fail (a handler that throws, no memory for the
  // text); there is nobody left to tell, so that ends here.
  try {
    try {
      std::rethrow_exception(Error);
    } catch (const std::exception& error) {
      HandleApplicationException(error);
    } catch (...) {
      HandleApplicationException(std::runtime_error("Unknown error"));
    }
  } catch (...) {
  }
}

}  // namespace cport

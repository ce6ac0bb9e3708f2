#pragma once
// Hands a caught exception, whatever its type, to the application's default
// exception report (ApplicationException.h). Used where the component catches
// what a handler threw and must not let it end the delivery of events.
//
// Call it on the thread whose report is wanted; the program's report shows a
// message box and so belongs on the user-interface thread.
#include <exception>

namespace cport {

// An exception that is not a std::exception is reported as "Unknown error".
void ReportToApplication(std::exception_ptr Error) noexcept;

}  // namespace cport

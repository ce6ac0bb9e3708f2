#include "cport/port/Persistent.h"

namespace cport {

void TPersistent::Assign(const TPersistent& Source) {
  throw EConvertError(std::string("Cannot assign a ") + Source.ClassName() + " to a " +
                      ClassName());
}

}  // namespace cport

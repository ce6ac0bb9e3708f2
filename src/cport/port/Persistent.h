#pragma once
// The assignable base of the port's setting objects. Assign copies the
// settings of an object of the same class; assigning between unrelated
// classes raises EConvertError, as the framework's own assignment does.
#include <stdexcept>
#include <string>

namespace cport {

// Raised by an assignment between objects of unrelated classes. The message
// names both: "Cannot assign a TComTimeouts to a TComParity".
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPersistent {
 public:
  virtual ~TPersistent() = default;

  // The class's own name, used in the conversion error.
  virtual const char* ClassName() const noexcept = 0;

  // Copies `Source` into this object. The base knows no class it can copy
  // and raises EConvertError; each setting object overrides it for its own
  // class and hands every other source back here.
  virtual void Assign(const TPersistent& Source);

 protected:
  TPersistent() = default;
  TPersistent(const TPersistent&) = default;
  TPersistent& operator=(const TPersistent&) = default;
};

}  // namespace cport

#include "cport/port/TransferRequest.h"

namespace cport {

void NewTransfer(std::unique_ptr<TransferRequest>& Request) {
  Request = std::make_unique<TransferRequest>();
}

void ReleaseTransfer(std::unique_ptr<TransferRequest>& Request) noexcept { Request.reset(); }

}  // namespace cport

#include "cport/setup/PortSetup.h"

#include <exception>
#include <memory>

#include "cport/port/ComPort.h"
#include "cport/setup/ComComboBox.h"
#include "cport/setup/ComSetupFrm.h"

namespace cport {

void EditPortSetup(TCustomComPort& Port) {
  std::exception_ptr failure;
  {
    auto form = std::make_unique<TComSetupFrm>();
    for (TComComboBox* box : form->Combos()) box->SetComPort(&Port);
    for (TComComboBox* box : form->Combos()) box->RefreshFromPort();
    if (form->exec() != QDialog::Accepted) return;

    Port.BeginSettingsBatch();
    try {
      for (TComComboBox* box : form->Combos()) box->ApplyToPort();
    } catch (...) {
      failure = std::current_exception();
    }
    if (!failure) {
      Port.EndSettingsBatch();  // the form goes with the unwinding if it fails
    } else {
      try {
        Port.EndSettingsBatch();
      } catch (...) {
        // The failed setter is the cause; an open port whose settings could
        // not be sent at the end only follows from it.
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void ExecuteSetupDialog(TCustomComPort& Port) { EditPortSetup(Port); }

}  // namespace cport

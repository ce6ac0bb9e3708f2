// Links the port setup dialog from the installed package (COMPONENTS setup),
// with the Qt libraries its package config finds. Built, not run: it needs
// a display and an operator.
#include <cport/port/ComPort.h>
#include <cport/setup/PortSetup.h>

int main() {
  // volatile: the address must reach the binary, so the linker needs the
  // dialog's library and, through it, Qt's.
  void (*volatile run)(cport::TCustomComPort&) = &cport::ExecuteSetupDialog;
  return run != nullptr ? 0 : 1;
}

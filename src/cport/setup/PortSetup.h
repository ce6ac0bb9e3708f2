#pragma once
// Running the setup dialog for a port.
//
// The dialog is a window and the port component has none, so the port's
// ExecuteSetupDialog is a function of this library taking the port, rather
// than a member of the port: a program that links the dialog has it, and one
// that does not cannot call it.
//
// Threads: the user-interface thread; the dialog is modal and the call
// returns when it has closed.
namespace cport {

class TCustomComPort;

// Shows the dialog with the machine's ports and Port's six main settings.
// OK applies the six choices inside one settings batch, port name first and
// flow control last, so an open port is reconfigured once, at the end of the
// batch (a new name closes and reopens it first). Cancel, or closing the
// window, changes nothing.
//
// Errors: EComPort 23 when the port list cannot be read (nothing is shown or
// applied). A setter that fails while applying stops the applying (later
// settings keep their old values), the batch is still ended, and the error
// leaves after the dialog is gone; if ending the batch fails as well, the
// first error is the one that leaves.
void EditPortSetup(TCustomComPort& Port);

// EditPortSetup for the port itself.
void ExecuteSetupDialog(TCustomComPort& Port);

}  // namespace cport

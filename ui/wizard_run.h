// The wizard window and its message loop on the calling thread.
#pragma once

#include <functional>

#include "ui/install_models.h"

// Creates the main window (hidden in silent mode, else shown with
// `show_mode` and brought to the front) and runs the message loop until the
// wizard quits. With the process's services (ProcessWizardServices) the
// wizard releases the setup mutex as it quits, so a new setup may start while
// this one still waits for its worker.
//
// `ready` (when given) is the last gate before the wizard may act: a visible
// wizard is built and its first frame drawn while the gate is still pending,
// and shown only once it passes; a silent one, which starts installing as it
// is created, is created only then. False (and no window left) when the gate
// refuses.
bool RunWizard(int show_mode, WizardServices services, const std::function<bool()>& ready = nullptr);

// The wizard window and its message loop on the calling thread.
#pragma once

class CInstanceMutex;

// Creates the main window (hidden in silent mode, else shown with
// `show_mode` and brought to the front) and runs the message loop until the
// wizard quits. The wizard releases `mutex` (when given) as it quits, so a
// new setup may start while this one still waits for its worker.
void RunWizard(int show_mode, CInstanceMutex* mutex = nullptr);

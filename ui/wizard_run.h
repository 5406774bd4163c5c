// The wizard window and its message loop on the calling thread.
#pragma once

// Creates the main window (hidden in silent mode, else shown with
// `show_mode` and brought to the front) and runs the message loop until the
// wizard quits.
void RunWizard(int show_mode);

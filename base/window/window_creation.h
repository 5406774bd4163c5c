// The object whose window this thread is creating. A window's first messages
// (WM_GETMINMAXINFO, WM_NCCREATE, ...) arrive inside CreateWindowEx, before the
// creator could store its pointer anywhere; the window procedure claims the
// object from here on the first message it sees.
#pragma once

#include <windows.h>

namespace window_detail {

// Publishes `object` for the duration of one create call on this thread and
// restores the previous value afterwards, so that a failed create leaves
// nothing behind and a creation nested before the first message still pairs up.
//
// `window_class` is the atom of the class being created, or 0 for a dialog: a
// window of another class that gets a message first (say, a control of a
// dialog template created before the dialog procedure's first message) must
// not claim the object.
class CWindowCreationScope {
 public:
  CWindowCreationScope(void* object, ATOM window_class);
  ~CWindowCreationScope();
  CWindowCreationScope(const CWindowCreationScope&) = delete;
  CWindowCreationScope& operator=(const CWindowCreationScope&) = delete;

 private:
  void* previous_object_;
  ATOM previous_class_;
};

// Returns the object published on this thread for `window_class` and clears
// it; null when no create call of that class awaits its first message.
void* TakeWindowBeingCreated(ATOM window_class);

}  // namespace window_detail

// The Unix side of Wine, for tests that change the machine under a prefix in
// ways Windows code cannot: mounts, drive links.
#pragma once

#include <string>
#include <utility>

namespace e2e {

// Runs a shell script on the Unix side, in the prefix's environment, and
// tells whether it succeeded. The script must not hold double quotes (the
// prefix's path has no spaces).
bool Sh(const std::wstring& script);

// Runs a script when the scope ends, to undo what a test did to the machine
// whether or not the test got through.
struct UndoOnExit {
  std::wstring script;
  explicit UndoOnExit(std::wstring undo) : script(std::move(undo)) {}
  ~UndoOnExit() { Sh(script); }
};

}  // namespace e2e

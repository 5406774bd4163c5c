// The install task: the object the setup run and the wizard drive.
//
// Today it carries only what the setup run needs before the wizard: the
// environment checks, the 7-Zip library and the payload are not packaged yet,
// so the checks pass and both preparations report failure. The operations
// keep their final names and meanings.
#pragma once

#include <windows.h>

#include "base/singleton.h"

class CInstallTask {
 public:
  // 0 when the machine can take the installation, else a code 1-4.
  int CheckEnvironment() { return 0; }

  // Unpacks the 7-Zip library from resource (id, type) of `module` and loads
  // it. No library is packaged yet: always FALSE.
  BOOL ExtractArchiveLibrary(HMODULE module, UINT id, const wchar_t* type) { return FALSE; }

  // Locates and checks the payload described by resource (id, type) and
  // starts staging it. No payload is packaged yet: always FALSE.
  BOOL PreparePayload(HMODULE module, UINT id, const wchar_t* type) { return FALSE; }

  void SetSilent(BOOL silent) { silent_ = silent; }
  BOOL IsSilent() const { return silent_; }

 private:
  BOOL silent_ = FALSE;
};

inline CInstallTask* InstallTask() { return CSingletonT<CInstallTask>::GetInstance(); }

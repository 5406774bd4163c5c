#include "engine/browser_engine.h"

#include "engine/product_registration.h"
#include "log/smart_logger.h"
#include "trust/signature_check.h"

namespace engine {

bool InstallBrowserEngine(const std::wstring& install_dir, int* start_result) {
  wchar_t path[MAX_PATH] = {};
  const std::wstring joined = JoinPath(install_dir, kBrowserEngineRelative);
  if (joined.size() >= MAX_PATH) return false;
  joined.copy(path, joined.size());

  // CheckedLoadLibrary refuses a missing file or one that fails the
  // signature check before anything of it is mapped.
  HMODULE library = CheckedLoadLibrary(path);
  if (!library) return false;
  const auto start = reinterpret_cast<BrowserEngineStartFn>(
      reinterpret_cast<void*>(GetProcAddress(library, "Start")));
  if (!start) return false;

  const int result = start(kBrowserEngineVersion);
  LogUtils::SmartLog("install cef nRet=%d", result);
  if (start_result) *start_result = result;
  return true;
}

}  // namespace engine

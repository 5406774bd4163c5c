// A stand-in for the product's browser-engine library. "Start" writes the
// version it was given (UTF-8) to "start_arg.txt" beside the library and
// returns kStartResult. Built with SAMPLE_LUMBREL_NO_START it exports "Begin"
// instead, a library the setup must pass over.
#include <windows.h>

#include <cwchar>

namespace {

constexpr int kStartResult = 1841;

int RecordArgument(const wchar_t* version) {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&RecordArgument), &self);
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return -1;
  wchar_t* slash = wcsrchr(path, L'\\');
  if (!slash || (slash - path) + 15 >= MAX_PATH) return -1;
  wcscpy(slash + 1, L"start_arg.txt");

  char text[256] = {};
  const int bytes = version ? WideCharToMultiByte(CP_UTF8, 0, version, -1, text, sizeof(text), nullptr, nullptr) : 1;
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  DWORD written = 0;
  WriteFile(file, text, bytes > 0 ? bytes - 1 : 0, &written, nullptr);
  CloseHandle(file);
  return kStartResult;
}

}  // namespace

#ifdef SAMPLE_LUMBREL_NO_START
extern "C" __declspec(dllexport) int __stdcall Begin(const wchar_t* version) { return RecordArgument(version); }
#else
extern "C" __declspec(dllexport) int __stdcall Start(const wchar_t* version) { return RecordArgument(version); }
#endif

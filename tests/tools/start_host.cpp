// A host program that loads Install.exe as a module and calls its Start
// export, the way another of the maker's programs would.
//
//   start_host <Install.exe> <command line | -null> <buffer chars | -null> [twice|occupy|hygiene]
//
// "hygiene" enters the multithreaded apartment and sets a DLL directory
// before the call, and prints afterwards what the host finds: "com=<hr>" of
// entering the apartment again (1, S_FALSE, while it is still in it),
// "dlldir=<directory>", and "own=1" when canary.dll beside the host still
// loads by bare name.
// "occupy" reserves Install's preferred address first, so the loader has to
// map it elsewhere.
// Prints "start=<rc> result=<word>" for each call; the buffer is pre-filled
// with "untouched" so that a call that must not write can be seen.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

using StartFn = int(WINAPI*)(const wchar_t*, wchar_t*, int);

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    fwprintf(stderr, L"usage: start_host <Install.exe> <cmdline|-null> <chars|-null> [twice]\n");
    return 2;
  }
  if (argc > 4 && wcscmp(argv[4], L"occupy") == 0) {
    if (!VirtualAlloc(reinterpret_cast<void*>(0x2A000000), 0x100000, MEM_RESERVE, PAGE_NOACCESS)) {
      fwprintf(stderr, L"could not reserve the preferred address\n");
      return 5;
    }
  }
  HMODULE module = LoadLibraryW(argv[1]);
  if (!module) {
    fwprintf(stderr, L"LoadLibrary failed: %lu\n", GetLastError());
    return 3;
  }
  auto start = reinterpret_cast<StartFn>(reinterpret_cast<void*>(GetProcAddress(module, "Start")));
  if (!start) {
    fwprintf(stderr, L"no export Start\n");
    return 4;
  }
  const wchar_t* cmd = wcscmp(argv[2], L"-null") == 0 ? nullptr : argv[2];
  const bool null_buffer = wcscmp(argv[3], L"-null") == 0;
  const int chars = null_buffer ? 16 : _wtoi(argv[3]);
  const int calls = argc > 4 && wcscmp(argv[4], L"twice") == 0 ? 2 : 1;
  const bool hygiene = argc > 4 && wcscmp(argv[4], L"hygiene") == 0;
  if (hygiene) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetDllDirectoryW(L"C:\\windows");
  }
  for (int i = 0; i < calls; ++i) {
    std::vector<wchar_t> buffer(32, L'\0');
    wcscpy(buffer.data(), L"untouched");
    int rc = start(cmd, null_buffer ? nullptr : buffer.data(), chars);
    wprintf(L"start=%d result=%ls\n", rc, buffer.data());
    fflush(stdout);
  }
  if (hygiene) {
    const HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    wchar_t dir[MAX_PATH] = {};
    GetDllDirectoryW(MAX_PATH, dir);
    HMODULE own = LoadLibraryExW(L"canary.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    wprintf(L"com=%08lx dlldir=%ls own=%d\n", static_cast<unsigned long>(again), dir, own ? 1 : 0);
  }
  return 0;
}

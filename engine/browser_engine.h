// The browser-engine step: the product's Lumbrel.dll sets up its browser
// engine itself; the setup only loads it from the install directory and hands
// it the engine version the product expects.
#pragma once

#include <windows.h>

#include <string>

namespace engine {

constexpr wchar_t kBrowserEngineRelative[] = L"Utils\\Lumbrel.dll";
constexpr wchar_t kBrowserEngineVersion[] = L"3.3497.1841.0";

// "Start" of Lumbrel.dll: the callee removes its argument.
using BrowserEngineStartFn = int(__stdcall*)(const wchar_t* version);

// Loads "<install_dir>\Utils\Lumbrel.dll" once it has passed the signature
// check and calls its "Start" with kBrowserEngineVersion on this thread,
// logging "install cef nRet=%d". The library stays loaded for the life of the
// process. A missing, unaccepted or unloadable file, or one without "Start",
// is skipped silently: the result is whether "Start" was called, and
// `start_result` receives what it returned.
bool InstallBrowserEngine(const std::wstring& install_dir, int* start_result = nullptr);

}  // namespace engine

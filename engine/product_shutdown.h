// Before any file is placed, every running copy of the product is asked to
// quit and then ended, so that its files can be replaced.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace engine {

// The registered message every product window listens for.
constexpr wchar_t kUninstallBroadcastName[] = L"PelorixUninstBroadcast";

// Top-level windows asked to close: the product's main window, then the
// sibling product's.
constexpr wchar_t kProductWindowClass[] = L"PelorixMainWndClassName";
constexpr wchar_t kSiblingWindowClass[] = L"QuentaUIWndClass";

// How long each window gets to answer WM_CLOSE.
constexpr UINT kCloseTimeoutMs = 3000;

// The classes to close for a command line with or without "no_close_wnd".
std::vector<std::wstring> WindowClassesToClose(bool no_close_wnd);

// Posts the broadcast to all top-level windows without waiting. False when it
// could not be posted.
bool PostUninstallBroadcast();

// The shutdown step: the broadcast; WM_CLOSE to the first top-level window of
// each class in order (waiting up to kCloseTimeoutMs each, the answer
// ignored); then, when `install_dir` is longer than 4 characters, ends the
// processes running from under it and the product's main program. Nothing is
// reported: what does not close is left to the termination.
void CloseRunningProduct(const std::vector<std::wstring>& window_classes,
                         const std::wstring& install_dir);

// Ends (exit code 0) every process whose program lies in `dir` or below it
// (IsInDirectory: "C:\App" never matches "C:\Apple\x.exe", which belongs to
// someone else). The calling process and the process that started it are
// never ended. FALSE for a directory shorter than 4 or longer than MAX_PATH
// characters, or when the process list cannot be read; `ended` receives the
// number ended.
int EndProcessesUnder(const std::wstring& dir, int* ended = nullptr);

// Ends (exit code 0) every process whose program path equals `path` without
// case; the calling process and its parent are spared here too. FALSE for a
// path longer than MAX_PATH characters or when the list cannot be read.
int EndProcessByPath(const std::wstring& path, int* ended = nullptr);

}  // namespace engine

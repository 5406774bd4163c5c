// Declarative message maps. BEGIN_MSG_MAP ... END_MSG_MAP() defines
//   BOOL ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT& result,
//                             DWORD msg_map_id = 0)
// which returns TRUE when an entry handled the message (its value is in
// `result`) and FALSE when the caller should apply the default processing.
//
// Entries are tried in order. A handler receives bHandled == TRUE; clearing it
// declines the message, and the following entries (then the default) get it.
//
// Handler signatures:
//   LRESULT OnMessage(UINT msg, WPARAM, LPARAM, BOOL& bHandled);
//   LRESULT OnCommand(WORD notify_code, WORD id, HWND control, BOOL& bHandled);
#pragma once

#include <windows.h>

// What the window and dialog procedures call; the map macros implement it.
class CMessageMap {
 public:
  virtual BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                                    LRESULT& lResult, DWORD dwMsgMapID = 0) = 0;

 protected:
  ~CMessageMap() = default;
};

// Only map 0 exists; the id is accepted and passed on so that chained maps
// keep the ATL signature.
#define BEGIN_MSG_MAP(theClass)                                                        \
 public:                                                                               \
  BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,        \
                            LRESULT& lResult, DWORD dwMsgMapID = 0) {                  \
    BOOL bHandled = TRUE;                                                              \
    (void)hWnd;                                                                        \
    (void)bHandled;                                                                    \
    if (dwMsgMapID == 0) {

#define MESSAGE_HANDLER(msg, func)                     \
  if (uMsg == (msg)) {                                 \
    bHandled = TRUE;                                   \
    lResult = func(uMsg, wParam, lParam, bHandled);    \
    if (bHandled) return TRUE;                         \
  }

// One unsigned comparison: a range starting at 0 then draws no warning.
#define MESSAGE_RANGE_HANDLER(msgFirst, msgLast, func)                                      \
  if (static_cast<UINT>(uMsg - (msgFirst)) <= static_cast<UINT>((msgLast) - (msgFirst))) { \
    bHandled = TRUE;                                   \
    lResult = func(uMsg, wParam, lParam, bHandled);    \
    if (bHandled) return TRUE;                         \
  }

#define COMMAND_HANDLER(id, code, func)                                                    \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == (code)) {          \
    bHandled = TRUE;                                                                       \
    lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                             \
  }

#define COMMAND_ID_HANDLER(id, func)                                                       \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) {                                      \
    bHandled = TRUE;                                                                       \
    lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled); \
    if (bHandled) return TRUE;                                                             \
  }

// A qualified call: the base's own map, not the virtual entry point.
#define CHAIN_MSG_MAP(theChainClass)                                                    \
  if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, dwMsgMapID)) \
    return TRUE;

#define END_MSG_MAP() \
  }                   \
  return FALSE;       \
  }

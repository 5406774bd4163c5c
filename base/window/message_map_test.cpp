#include "base/window/message_map.h"

#include <gtest/gtest.h>

#include <string>

#include "base/window/window_impl.h"

namespace {

constexpr WORD kButton = 5;

class CBaseMap {
 public:
  BEGIN_MSG_MAP(CBaseMap)
    MESSAGE_HANDLER(WM_APP + 2, OnBase)
    MESSAGE_HANDLER(WM_APP + 3, OnBase)
  END_MSG_MAP()
  LRESULT OnBase(UINT, WPARAM, LPARAM, BOOL&) { return 100; }
};

// A window: what the map declines has to reach DefWindowProc.
class CMapWnd : public CWindowImpl<CMapWnd, CWindow, CFrameWinTraits>, public CBaseMap {
 public:
  BEGIN_MSG_MAP(CMapWnd)
    MESSAGE_HANDLER(WM_SETTEXT, OnFirst)
    MESSAGE_HANDLER(WM_SETTEXT, OnSecond)
    MESSAGE_HANDLER(WM_APP + 3, OnOverride)
    COMMAND_HANDLER(kButton, BN_CLICKED, OnClicked)
    COMMAND_ID_HANDLER(kButton, OnCommand)
    CHAIN_MSG_MAP(CBaseMap)
  END_MSG_MAP()

  // Text starting with '1' is declined by the first handler, '2' by both.
  LRESULT OnFirst(UINT, WPARAM, LPARAM lparam, BOOL& handled) {
    const wchar_t first = reinterpret_cast<const wchar_t*>(lparam)[0];
    log += "first;";
    handled = first != L'1' && first != L'2';
    return TRUE;
  }
  LRESULT OnSecond(UINT, WPARAM, LPARAM lparam, BOOL& handled) {
    log += handled ? "second;" : "second(not handling);";
    handled = reinterpret_cast<const wchar_t*>(lparam)[0] != L'2';
    return TRUE;
  }
  LRESULT OnOverride(UINT, WPARAM, LPARAM, BOOL&) { return 200; }
  LRESULT OnClicked(WORD, WORD, HWND, BOOL&) { return 20; }
  LRESULT OnCommand(WORD code, WORD id, HWND control, BOOL&) {
    log = std::to_string(code) + "," + std::to_string(id) + "," +
          std::to_string(reinterpret_cast<UINT_PTR>(control));
    return 21;
  }
  std::string log;
};

std::wstring TextOf(HWND hwnd) {
  wchar_t text[32] = {};
  GetWindowTextW(hwnd, text, 32);
  return text;
}

TEST(MessageMap, HandlersDeclineInTurnDownToDefWindowProc) {
  CMapWnd wnd;
  ASSERT_NE(wnd.Create(nullptr, nullptr, L"initial"), nullptr) << GetLastError();
  SetWindowTextW(wnd, L"0 swallowed by the first");
  EXPECT_EQ(wnd.log, "first;");
  EXPECT_EQ(TextOf(wnd), L"initial");

  wnd.log.clear();
  SetWindowTextW(wnd, L"1 swallowed by the second");
  EXPECT_EQ(wnd.log, "first;second;");  // bHandled starts TRUE again
  EXPECT_EQ(TextOf(wnd), L"initial");

  wnd.log.clear();
  SetWindowTextW(wnd, L"2 stored");
  EXPECT_EQ(wnd.log, "first;second;");
  EXPECT_EQ(TextOf(wnd), L"2 stored");
  wnd.DestroyWindow();
}

TEST(MessageMap, CommandsAndChainedMap) {
  CMapWnd wnd;
  LRESULT result = 0;
  auto route = [&](UINT msg, WPARAM wparam, LPARAM lparam) {
    result = -1;
    return wnd.ProcessWindowMessage(nullptr, msg, wparam, lparam, result);
  };
  EXPECT_TRUE(route(WM_COMMAND, MAKEWPARAM(kButton, BN_CLICKED), 0));
  EXPECT_EQ(result, 20);
  EXPECT_TRUE(route(WM_COMMAND, MAKEWPARAM(kButton, EN_CHANGE), 0x1234));
  EXPECT_EQ(result, 21);
  EXPECT_EQ(wnd.log, std::to_string(EN_CHANGE) + ",5," + std::to_string(0x1234));
  EXPECT_FALSE(route(WM_COMMAND, MAKEWPARAM(kButton + 1, BN_CLICKED), 0));
  EXPECT_FALSE(route(WM_NOTIFY, MAKEWPARAM(kButton, BN_CLICKED), 0));

  EXPECT_TRUE(route(WM_APP + 2, 0, 0));  // only the base has it
  EXPECT_EQ(result, 100);
  EXPECT_TRUE(route(WM_APP + 3, 0, 0));  // the own entry comes first
  EXPECT_EQ(result, 200);
  EXPECT_FALSE(route(WM_APP + 4, 0, 0));
}

}  // namespace

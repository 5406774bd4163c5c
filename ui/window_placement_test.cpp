#include "ui/window_placement.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* name;
  RECT window;
  bool has_owner;
  RECT owner;
  RECT work;
  POINT expected;
};

TEST(WindowPlacement, CenteredPositionKeepsTheWindowInTheWorkArea) {
  const RECT work = {0, 0, 1024, 728};
  const Case cases[] = {
      {"centred in the work area", {0, 0, 420, 180}, false, {}, work, {302, 274}},
      {"work area not at the origin", {0, 0, 420, 180}, false, {}, {1024, 40, 2048, 808}, {1326, 334}},
      {"centred over the owner", {0, 0, 420, 180}, true, {100, 100, 790, 546}, work, {235, 233}},
      {"owner near the right edge", {0, 0, 420, 180}, true, {900, 100, 1100, 300}, work, {604, 110}},
      {"owner near the bottom edge", {0, 0, 420, 180}, true, {100, 650, 300, 800}, work, {0, 548}},
      {"owner beyond the top-left", {0, 0, 420, 180}, true, {-500, -400, -300, -300}, work, {0, 0}},
      {"larger than the work area", {0, 0, 1200, 800}, false, {}, work, {0, 0}},
  };
  for (const Case& c : cases) {
    const POINT pos = CenteredPosition(c.window, c.has_owner ? &c.owner : nullptr, c.work);
    EXPECT_EQ(pos.x, c.expected.x) << c.name;
    EXPECT_EQ(pos.y, c.expected.y) << c.name;
  }
}

TEST(WindowPlacement, HiddenOwnerIsIgnored) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 5000, 5000, 100, 100, nullptr,
                               nullptr, nullptr, nullptr);
  HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 420, 180, owner, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(CenterWindowInWorkArea(window, owner));

  MONITORINFO info = {sizeof(info)};
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info));
  RECT rc;
  GetWindowRect(window, &rc);
  const POINT expected = CenteredPosition({0, 0, 420, 180}, nullptr, info.rcWork);
  EXPECT_EQ(rc.left, expected.x);
  EXPECT_EQ(rc.top, expected.y);
  DestroyWindow(window);
  DestroyWindow(owner);
}

}  // namespace

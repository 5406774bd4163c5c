#include "base/window/message_loop.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// A filter and idle handler made of lambdas.
struct CHooks : CMessageFilter, CIdleHandler {
  std::function<BOOL(MSG*)> filter = [](MSG*) { return FALSE; };
  std::function<void()> idle = [] {};
  BOOL PreTranslateMessage(MSG* msg) override { return filter(msg); }
  BOOL OnIdle() override { return idle(), TRUE; }
};

void PostToSelf(UINT msg, WPARAM wparam = 0) {
  PostThreadMessageW(GetCurrentThreadId(), msg, wparam, 0);
}

TEST(MessageLoop, FiltersNewestFirstConsumeAndMayRemoveThemselves) {
  CMessageLoop loop;
  std::string seen;
  CHooks older, newer;
  older.filter = [&](MSG* m) {
    seen += "older" + std::to_string(m->message - WM_APP) + ";";
    return m->message == WM_APP + 2;
  };
  newer.filter = [&](MSG* m) {
    seen += "newer" + std::to_string(m->message - WM_APP) + ";";
    if (m->message == WM_APP + 3) loop.RemoveMessageFilter(&newer);
    return m->message == WM_APP + 1;
  };
  ASSERT_TRUE(loop.AddMessageFilter(&older));
  ASSERT_TRUE(loop.AddMessageFilter(&newer));
  EXPECT_FALSE(loop.AddMessageFilter(&newer));

  for (UINT i = 1; i <= 4; ++i) PostToSelf(WM_APP + i);
  PostQuitMessage(42);
  EXPECT_EQ(loop.Run(), 42);
  EXPECT_EQ(seen, "newer1;newer2;older2;newer3;older3;older4;");
  EXPECT_FALSE(loop.RemoveMessageFilter(&newer));
}

// Posts `msg` from the first idle call and WM_QUIT from the second; tells
// whether idle processing came back on its own after `msg`. A thread timer is
// only generated while the queue is empty, so a WM_TIMER before the second
// idle call means the loop went to sleep in GetMessage without idling.
bool RearmsIdle(UINT msg) {
  CMessageLoop loop;
  int idle_calls = 0;
  bool slept = false;
  CHooks hooks;
  hooks.idle = [&] { PostToSelf(++idle_calls == 1 ? msg : WM_QUIT); };
  hooks.filter = [&](MSG* m) {
    if (m->message == WM_TIMER && idle_calls == 1) slept = true;
    return TRUE;  // thread messages: nothing to dispatch
  };
  loop.AddIdleHandler(&hooks);
  loop.AddMessageFilter(&hooks);
  const UINT_PTR timer = SetTimer(nullptr, 0, 200, nullptr);
  loop.Run();
  KillTimer(nullptr, timer);
  EXPECT_EQ(idle_calls, 2);
  return !slept;
}

TEST(MessageLoop, OnlyNonRoutineMessagesRearmIdleProcessing) {
  const std::pair<UINT, bool> cases[] = {
      {WM_MOUSEMOVE, false}, {WM_NCMOUSEMOVE, false}, {WM_PAINT, false}, {0x0118, false},
      {WM_APP, true},        {WM_KEYDOWN, true},      {WM_NULL, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RearmsIdle(c.first), c.second) << "message 0x" << std::hex << c.first;
  }
}

}  // namespace

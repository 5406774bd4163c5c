#include "ui/wizard_run.h"

#include <gtest/gtest.h>

#include "base/window/ui_thread_window.h"
#include "engine/command_parser.h"
#include "engine/process_state.h"
#include "ui/fake_install_task.h"
#include "ui/instance_mutex.h"
#include "ui/layer/gdiplus_api.h"
#include "ui/layer/layer_window.h"
#include "ui/res_initializer.h"

namespace {

// What the last gate of the wizard saw of the window when it was asked.
struct GateView {
  bool window = false;
  bool visible = false;
  bool recomposition_queued = false;
};

struct GateCase {
  const char* name;
  bool silent;
  bool passes;
  bool window_at_gate;  // built (hidden, its frame drawn) before the gate decides
  bool result;
};

class WizardRunTest : public ::testing::TestWithParam<GateCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus_.ok());
    ASSERT_TRUE(ResInitializer::GetInstance()->Init(GetModuleHandleW(nullptr)));
  }
  void TearDown() override {
    task_.Join();
    SetSilent(false);
    DestroyUIThreadWindow();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    ResInitializer::GetInstance()->Term();
  }

  WizardServices Services() {
    WizardServices services;
    services.task = &task_;
    services.parser = &parser_;
    return services;
  }

  gdip::ScopedStartup gdiplus_;
  FakeInstallTask task_;
  CCommandParser parser_;
};

TEST_P(WizardRunTest, WindowIsShownOnlyOnceTheGatePasses) {
  const GateCase& c = GetParam();
  parser_.Parse(c.silent ? L"--hide_ui" : L"");
  SetSilent(c.silent);
  GateView seen;
  const bool result = RunWizard(SW_SHOWNORMAL, Services(), [&] {
    HWND wnd = FindWindowW(kSetupWindowClass, nullptr);
    seen.window = wnd != nullptr;
    if (wnd) {
      seen.visible = IsWindowVisible(wnd) != FALSE;
      MSG msg;
      seen.recomposition_queued =
          PeekMessageW(&msg, wnd, kMsgLayerRecompose, kMsgLayerRecompose, PM_NOREMOVE) != FALSE;
      // Ends the message loop of a wizard that is let through.
      if (c.passes) PostMessageW(wnd, WM_CLOSE, 0, 0);
    }
    return c.passes;
  });
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(seen.window, c.window_at_gate);
  EXPECT_FALSE(seen.visible);
  // The first frame is composed while the gate is pending: once shown, the
  // window only hands it to the screen.
  EXPECT_FALSE(seen.recomposition_queued);
  EXPECT_EQ(FindWindowW(kSetupWindowClass, nullptr), nullptr);
}

// A silent wizard starts installing as it is created: it must not exist
// before its gate has passed.
INSTANTIATE_TEST_SUITE_P(Gates, WizardRunTest,
                         ::testing::Values(GateCase{"VisiblePasses", false, true, true, true},
                                           GateCase{"VisibleRefused", false, false, true, false},
                                           GateCase{"SilentRefused", true, false, false, false}),
                         [](const ::testing::TestParamInfo<GateCase>& info) { return info.param.name; });

}  // namespace

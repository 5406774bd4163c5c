// Where the wizard's start-up time goes inside the process: each stage of the
// setup run's interface start, then the wizard window's creation and its first
// composed frame, timed in one process (a fake install task stands in for the
// machine checks, which have benchmarks of their own). Prints milliseconds.
//
//   bench_startup_stages.exe [rounds]   (the first round pays the cold costs)
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>

#include "engine/command_parser.h"
#include "tests/bench/bench_util.h"
#include "ui/fake_install_task.h"
#include "ui/layer/gdiplus_api.h"
#include "ui/layer/shared_font.h"
#include "ui/main_wnd.h"
#include "ui/res_initializer.h"
#include "ui/ui_resources.h"

namespace {

using bench::NowMs;

class Stopwatch {
 public:
  void Lap(const char* name) {
    const double now = NowMs();
    std::printf("  %-28s %8.2f ms\n", name, now - last_);
    last_ = now;
  }
  void Reset() { last_ = NowMs(); }

 private:
  double last_ = NowMs();
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int rounds = argc > 1 ? _wtoi(argv[1]) : 3;
  Stopwatch watch;
  CoInitialize(nullptr);
  watch.Lap("COM");
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  watch.Lap("common controls");
  gdip::ScopedStartup gdiplus;
  watch.Lap("GDI+ start");
  InitSharedFont();
  std::printf("  (face \"%ls\")\n", CSharedFont::GetInstance()->GetFaceName().c_str());
  watch.Lap("shared font");
  for (int round = 1; round <= rounds; ++round) {
    std::printf("round %d\n", round);
    watch.Reset();
    {
      // The registered images alone, decoded the way the registry does it.
      static const UINT kImageIds[] = {247, 251, 252, 253, 254, 275, 284, 285, 286, 287,
                                       288, 289, 294, 295, 296, 297, 299, 300, 301};
      CImage images[sizeof(kImageIds) / sizeof(kImageIds[0])];
      for (size_t i = 0; i < sizeof(kImageIds) / sizeof(kImageIds[0]); ++i)
        images[i].LoadFromResource(GetModuleHandleW(nullptr), L"PNG", kImageIds[i],
                                   ImageFrameCount(kImageIds[i]));
      watch.Lap("(images alone)");
    }
    watch.Reset();
    ResInitializer::GetInstance()->Init(GetModuleHandleW(nullptr));
    watch.Lap("fonts and images");
    FakeInstallTask task;
    CCommandParser parser;
    parser.Parse(L"");
    WizardServices services;
    services.task = &task;
    services.parser = &parser;
    {
      CMainWnd wnd(services);
      RECT rc = {CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
      if (!wnd.Create(nullptr, &rc, nullptr, WS_POPUP, WS_EX_LAYERED)) return 1;
      watch.Lap("window and pages");
      // As the wizard run does it: composed while hidden, presented once shown.
      wnd.ComposeFrame();
      watch.Lap("first frame composed");
      wnd.ShowWindow(SW_SHOWNORMAL);
      wnd.PresentFrame();
      watch.Lap("shown and presented");
      wnd.DestroyWindow();
    }
    DestroyUIThreadWindow();
    ResInitializer::GetInstance()->Term();
  }
  CoUninitialize();
  return 0;
}

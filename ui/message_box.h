// The setup's message box: a modal dialog drawn with the layer controls in the
// setup's style. SetupMessageBox is what callers use.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/window/dialog_impl.h"
#include "ui/layer/layer_control_group.h"
#include "ui/layer/layer_timers.h"
#include "ui/layer/layer_window.h"
#include "ui/layer/memory_dc.h"
#include "ui/ui_resource_ids.h"

class CLayerButtonCtrl;

// Result of the close button and of WM_CLOSE (neither Yes nor No).
// The setup's words for an install that cannot be completed: the user is
// asked to download the setup again. Shown in a box and on the finish page.
constexpr wchar_t kInstallFailedText[] = L"安装出错,请重新下载安装程序进行安装";

constexpr int kMessageBoxClosed = 8;
// Command id of the close button.
constexpr UINT kMessageBoxCloseId = 1000;
constexpr int kMessageBoxWidth = 420;
constexpr int kMessageBoxHeight = 180;

// Shows `text` (null: empty) with the buttons of `type`'s low four bits (MB_OK,
// MB_OKCANCEL, MB_YESNO; anything else shows OK) and returns the button's
// command id (IDOK, IDCANCEL, IDYES, IDNO) or kMessageBoxClosed (close
// button, WM_CLOSE, Enter or Esc without an OK or Cancel button). Returns -1 at
// once, showing nothing, in silent mode, and -1 when the box could not be
// created (GetLastError). Owner: the thread's active window.
int SetupMessageBox(const wchar_t* text, UINT type);

class CMessageBox : public CDialogImpl<CMessageBox>, public ILayerWindow {
 public:
  enum { IDD = IDD_MESSAGE_BOX };

  CMessageBox(const wchar_t* text, UINT type);
  ~CMessageBox() override;

  // Runs the box modally over `owner` (may be null).
  int Show(HWND owner);

  BEGIN_MSG_MAP(CMessageBox)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    MESSAGE_HANDLER(WM_CLOSE, OnClose)
    MESSAGE_HANDLER(WM_NCHITTEST, OnNcHitTest)
    MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    MESSAGE_HANDLER(WM_MOUSEHOVER, OnMouseMove)
    MESSAGE_HANDLER(WM_MOUSELEAVE, OnMouseLeave)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
    MESSAGE_HANDLER(WM_LBUTTONUP, OnLButtonUp)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()

  // ILayerWindow
  BOOL GetFocusRectFlag() override { return FALSE; }
  void SetFocusRectFlag(BOOL) override {}
  HWND GetHwnd() override { return m_hWnd; }
  void ShowToolTip(BOOL, const wchar_t*) override {}
  BOOL SetTimer(UINT id, UINT interval) override;
  BOOL KillTimer(UINT id) override;
  BOOL PostMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;
  LRESULT SendMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;
  void InvalidateRect(const RECT* rect) override;

 private:
  LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnCommand(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnNcHitTest(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnEraseBackground(UINT, WPARAM, LPARAM, BOOL&) { return 1; }
  LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnMouseMove(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnMouseLeave(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnLButtonDown(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnLButtonUp(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);

  void BuildControls();
  CLayerButtonCtrl* AddButton(UINT id, int x, const wchar_t* text, UINT image, COLORREF color,
                              UINT font);
  // Redraws every control into the surface.
  void DrawSurface();

  std::wstring text_;
  UINT type_;
  UINT first_result_ = 0;
  UINT second_result_ = 0;
  std::unique_ptr<CLayerControlRootView> root_;
  CLayerButtonCtrl* first_button_ = nullptr;
  CLayerButtonCtrl* second_button_ = nullptr;
  CLayerButtonCtrl* close_button_ = nullptr;
  // The window DC is held while the surface lives: the surface copies itself
  // to it one last time when it is freed.
  HDC window_dc_ = nullptr;
  std::unique_ptr<CMemoryDCEx> surface_;
  CLayerTimerSet timers_;
  // Set when mouse-leave tracking must be requested again.
  bool track_mouse_ = true;
};

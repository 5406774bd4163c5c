#include "ui/message_box.h"

#include <windowsx.h>

#include "engine/process_state.h"
#include "ui/layer/image_draw.h"
#include "ui/layer/layer_button.h"
#include "ui/layer/layer_label.h"
#include "ui/layer/layer_paint.h"
#include "ui/res_initializer.h"
#include "ui/window_placement.h"

namespace {

constexpr COLORREF kTextColor = 0x333333;
constexpr COLORREF kAccentColor = 0x60C107;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr int kTextLeft = 115, kTextTop = 71, kTextHeight = 16;
constexpr int kButtonTop = 132, kButtonWidth = 90, kButtonHeight = 28;
constexpr int kFirstButtonLeft = 310, kSecondButtonLeft = 204, kSingleButtonLeft = 165;
constexpr int kCloseSize = 35;
// The id of the system message box's text control.
constexpr UINT kMessageTextId = 0xFFFF;

const wchar_t kOkText[] = L"确定";
const wchar_t kCancelText[] = L"取消";
const wchar_t kYesText[] = L"是";
const wchar_t kNoText[] = L"否";

ResInitializer& Res() { return *ResInitializer::GetInstance(); }

}  // namespace

int SetupMessageBox(const wchar_t* text, UINT type) {
  if (IsSilent()) return -1;
  CMessageBox box(text, type);
  return box.Show(::GetActiveWindow());
}

CMessageBox::CMessageBox(const wchar_t* text, UINT type)
    : text_(text ? text : L""),
      type_(type),
      root_(std::make_unique<CLayerControlRootView>(this, kMessageBoxWidth, kMessageBoxHeight)) {}

CMessageBox::~CMessageBox() {
  if (root_) root_->RemoveAll(FALSE);
}

int CMessageBox::Show(HWND owner) { return static_cast<int>(DoModal(owner)); }

LRESULT CMessageBox::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
  // No taskbar button of its own.
  ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE,
                      ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, kMessageBoxWidth, kMessageBoxHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  window_dc_ = ::GetDC(m_hWnd);
  if (window_dc_)
    surface_ = std::make_unique<CMemoryDCEx>(window_dc_, kMessageBoxWidth, kMessageBoxHeight);
  CenterWindowInWorkArea(m_hWnd, ::GetWindow(m_hWnd, GW_OWNER));

  RECT client = {0, 0, kMessageBoxWidth, kMessageBoxHeight};
  ::GetClientRect(m_hWnd, &client);
  root_->SetRect(client, FALSE);
  BuildControls();
  DrawSurface();
  // The text is drawn, not held by a control; a hidden static with the id the
  // system box uses gives it to screen readers and automation.
  ::CreateWindowExW(0, L"STATIC", text_.c_str(), WS_CHILD | SS_LEFT, 0, 0, 0, 0, m_hWnd,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kMessageTextId)), nullptr,
                    nullptr);
  ::InvalidateRect(m_hWnd, nullptr, FALSE);
  // The system box this replaces came to the foreground too.
  ::SetForegroundWindow(m_hWnd);
  return TRUE;
}

void CMessageBox::BuildControls() {
  const RECT client = root_->GetRect();
  const int width = client.right - client.left;

  auto* background = new CLayerImageCtrl(root_.get(), this, 0, 0, 0, width, client.bottom);
  LayerImageLayout stretched;
  stretched.mode = kImageStretched;
  background->SetLayout(stretched);
  background->SetImage(Res().GetImage(IDB_BOX_BACKGROUND), FALSE);
  root_->AddChild(background);

  auto* label = new CLayerLabelCtrl(root_.get(), this, 0, kTextLeft, kTextTop, width - kTextLeft,
                                    kTextHeight);
  label->SetText(text_.c_str(), FALSE);
  label->SetTextColor(kTextColor, FALSE);
  label->SetFont(Res().GetFont(IDF_14));
  label->SetTextFormat(0);
  root_->AddChild(label);

  switch (type_ & 0xF) {
    case MB_OKCANCEL:
      first_result_ = IDCANCEL;
      second_result_ = IDOK;
      break;
    case MB_YESNO:
      first_result_ = IDNO;
      second_result_ = IDYES;
      break;
    default:
      first_result_ = IDOK;
      break;
  }
  const auto text_of = [](UINT result) {
    switch (result) {
      case IDCANCEL: return kCancelText;
      case IDYES: return kYesText;
      case IDNO: return kNoText;
      default: return kOkText;
    }
  };
  if (second_result_) {
    first_button_ = AddButton(first_result_, kFirstButtonLeft, text_of(first_result_),
                              IDB_BOX_BUTTON_SECONDARY, kAccentColor, IDF_14);
    second_button_ = AddButton(second_result_, kSecondButtonLeft, text_of(second_result_),
                               IDB_BOX_BUTTON_PRIMARY, kWhite, IDF_12);
  } else {
    first_button_ = AddButton(first_result_, kSingleButtonLeft, text_of(first_result_),
                              IDB_BOX_BUTTON_PRIMARY, kWhite, IDF_14);
  }

  close_button_ = new CLayerButtonCtrl(root_.get(), this, kMessageBoxCloseId,
                                       kMessageBoxWidth - kCloseSize, 0, kCloseSize, kCloseSize);
  close_button_->SetStateImage(Res().GetImage(IDB_BOX_CLOSE));
  root_->AddChild(close_button_);
}

CLayerButtonCtrl* CMessageBox::AddButton(UINT id, int x, const wchar_t* text, UINT image,
                                         COLORREF color, UINT font) {
  auto* button =
      new CLayerButtonCtrl(root_.get(), this, id, x, kButtonTop, kButtonWidth, kButtonHeight);
  button->SetStateImage(Res().GetImage(image));
  button->SetText(text, FALSE);
  button->SetTextColor(color, FALSE);
  button->SetFont(Res().GetFont(font));
  button->SetTextFormat(kTextHCenter | kTextVCenter);
  root_->AddChild(button);
  return button;
}

void CMessageBox::DrawSurface() {
  if (!surface_ || !surface_->IsValid()) return;
  const RECT all = {0, 0, kMessageBoxWidth, kMessageBoxHeight};
  ::FillRect(surface_->GetDC(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  root_->Draw(surface_->GetDC());
}

LRESULT CMessageBox::OnCommand(UINT, WPARAM wparam, LPARAM, BOOL&) {
  const UINT id = LOWORD(wparam);
  if (id == kMessageBoxCloseId)
    EndDialog(kMessageBoxClosed);
  else if ((second_result_ && id == second_result_) || id == first_result_)
    EndDialog(static_cast<int>(id));
  else if (id == IDOK || id == IDCANCEL)
    // Enter or Esc (the dialog manager's commands) on a box without that
    // button dismiss it like its close button: no choice is made.
    EndDialog(kMessageBoxClosed);
  return 0;
}

LRESULT CMessageBox::OnClose(UINT, WPARAM, LPARAM, BOOL&) {
  EndDialog(kMessageBoxClosed);
  return 0;
}

LRESULT CMessageBox::OnNcHitTest(UINT, WPARAM, LPARAM lparam, BOOL&) {
  POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ::ScreenToClient(m_hWnd, &pt);
  ILayerControl* hit = root_->ChildFromPoint(pt.x, pt.y);
  // Anything but a button drags the box.
  return hit && !hit->GetPassThrough() ? HTCLIENT : HTCAPTION;
}

LRESULT CMessageBox::OnPaint(UINT, WPARAM, LPARAM, BOOL&) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(m_hWnd, &ps);
  if (dc && surface_ && surface_->IsValid())
    ::BitBlt(dc, 0, 0, kMessageBoxWidth, kMessageBoxHeight, surface_->GetDC(), 0, 0, SRCCOPY);
  ::EndPaint(m_hWnd, &ps);
  return 0;
}

LRESULT CMessageBox::OnMouseMove(UINT msg, WPARAM wparam, LPARAM lparam, BOOL&) {
  if (track_mouse_) {
    TRACKMOUSEEVENT tme = {sizeof(tme), TME_HOVER | TME_LEAVE, m_hWnd, HOVER_DEFAULT};
    if (::TrackMouseEvent(&tme)) track_mouse_ = false;
  }
  root_->OnWindowMouseMove(static_cast<UINT>(wparam), GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
  return 0;
}

LRESULT CMessageBox::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL&) {
  track_mouse_ = true;
  root_->OnWindowMouseLeave();
  return 0;
}

LRESULT CMessageBox::OnLButtonDown(UINT, WPARAM wparam, LPARAM lparam, BOOL&) {
  ::SetCapture(m_hWnd);
  root_->OnWindowLButtonDown(static_cast<UINT>(wparam), GET_X_LPARAM(lparam),
                             GET_Y_LPARAM(lparam));
  return 0;
}

LRESULT CMessageBox::OnLButtonUp(UINT, WPARAM wparam, LPARAM lparam, BOOL&) {
  if (::GetCapture() == m_hWnd) ::ReleaseCapture();
  root_->OnWindowLButtonUp(static_cast<UINT>(wparam), GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
  return 0;
}

LRESULT CMessageBox::OnTimer(UINT, WPARAM wparam, LPARAM, BOOL&) {
  root_->OnTimer(static_cast<UINT>(wparam));
  return 0;
}

LRESULT CMessageBox::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  timers_.Clear(m_hWnd);
  root_->RemoveAll(FALSE);
  first_button_ = second_button_ = close_button_ = nullptr;
  surface_.reset();
  if (window_dc_) ::ReleaseDC(m_hWnd, window_dc_);
  window_dc_ = nullptr;
  handled = FALSE;
  return 0;
}

BOOL CMessageBox::SetTimer(UINT id, UINT interval) {
  return m_hWnd ? timers_.Acquire(m_hWnd, id, interval) : FALSE;
}

BOOL CMessageBox::KillTimer(UINT id) { return m_hWnd ? timers_.Release(m_hWnd, id) : FALSE; }

BOOL CMessageBox::PostMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return m_hWnd ? ::PostMessageW(m_hWnd, msg, wparam, lparam) : FALSE;
}

LRESULT CMessageBox::SendMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  return m_hWnd ? ::SendMessageW(m_hWnd, msg, wparam, lparam) : 0;
}

void CMessageBox::InvalidateRect(const RECT*) {
  if (!m_hWnd) return;
  DrawSurface();
  ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

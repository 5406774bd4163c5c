#include "base/window/dialog_impl.h"

#include <gtest/gtest.h>

#include "base/window/dialog_impl_test_resource.h"

namespace {

constexpr UINT kRun = WM_APP + 1;
constexpr UINT kAsk = WM_APP + 2;

// Once shown, asks itself for two values (one answered through
// DWLP_MSGRESULT, one returned directly), then clicks OK by a posted command.
class CScriptedDlg : public CDialogImpl<CScriptedDlg> {
 public:
  enum { IDD = IDD_WINDOW_TEST };

  BEGIN_MSG_MAP(CScriptedDlg)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(kRun, OnRun)
    MESSAGE_HANDLER(kAsk, OnAsk)
    MESSAGE_HANDLER(WM_CTLCOLORDLG, OnCtlColorDlg)
    COMMAND_ID_HANDLER(IDOK, OnOk)
  END_MSG_MAP()

  LRESULT OnInitDialog(UINT, WPARAM, LPARAM lparam, BOOL&) {
    init_param = lparam;
    bound_at_init = m_hWnd;
    edit_found = GetDlgItem(IDC_WINDOW_TEST_EDIT) != nullptr;
    PostMessage(kRun);
    return TRUE;
  }
  LRESULT OnRun(UINT, WPARAM, LPARAM, BOOL&) {
    asked = SendMessage(kAsk);
    brush = SendMessage(WM_CTLCOLORDLG);
    PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return 0;
  }
  LRESULT OnAsk(UINT, WPARAM, LPARAM, BOOL&) { return 1234; }
  LRESULT OnCtlColorDlg(UINT, WPARAM, LPARAM, BOOL&) {
    return reinterpret_cast<LRESULT>(GetStockObject(GRAY_BRUSH));
  }
  LRESULT OnOk(WORD, WORD, HWND, BOOL&) {
    EndDialog(77);
    return 0;
  }
  void OnFinalMessage(HWND hwnd) override { final_hwnd = hwnd; }

  LPARAM init_param = 0;
  HWND bound_at_init = nullptr, final_hwnd = nullptr;
  bool edit_found = false;
  LRESULT asked = 0, brush = 0;
};

TEST(DialogImpl, ModalDialogFromResourceEndsWithItsResult) {
  CScriptedDlg dlg;
  EXPECT_EQ(dlg.DoModal(nullptr, 0x5150), 77) << GetLastError();

  EXPECT_EQ(dlg.init_param, 0x5150);
  EXPECT_NE(dlg.bound_at_init, nullptr);
  EXPECT_TRUE(dlg.edit_found);  // the controls come from the template
  EXPECT_EQ(dlg.asked, 1234);
  EXPECT_EQ(dlg.brush, reinterpret_cast<LRESULT>(GetStockObject(GRAY_BRUSH)));
  EXPECT_EQ(dlg.final_hwnd, dlg.bound_at_init);
  EXPECT_EQ(dlg.m_hWnd, nullptr);

  // A template that does not exist: -1, and the object stays unbound.
  struct CMissing : CDialogImpl<CMissing> {
    enum { IDD = 999 };
    BEGIN_MSG_MAP(CMissing)
    END_MSG_MAP()
  } missing;
  EXPECT_EQ(missing.DoModal(nullptr), -1);
  EXPECT_EQ(missing.m_hWnd, nullptr);
}

}  // namespace

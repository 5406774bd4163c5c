// The wizard: the setup's borderless layered main window with its welcome,
// custom, progress and finish pages. It forwards the user's commands to its
// three models and follows the messages they post back (kMsgWizardStep,
// kMsgInstallProgress). In silent mode the window stays hidden and the models
// drive the flow by themselves.
#pragma once

#include <windows.h>

#include <string>

#include "ui/install_models.h"
#include "ui/instance_mutex.h"
#include "ui/layer/layer_window_base.h"
#include "ui/wizard_pages.h"

// Wizard states.
enum WizardState { kWizardChoosing = 0, kWizardInstalling = 1, kWizardFinished = 2 };

class CMainWnd : public CLayerWindowBase<CMainWnd> {
 public:
  DECLARE_WND_CLASS_EX(kSetupWindowClass, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

  // Chooses the install directory right away (start model).
  explicit CMainWnd(WizardServices services);
  ~CMainWnd() override;

  BEGIN_MSG_MAP(CMainWnd)
    CHAIN_MSG_MAP(CLayerWindowBase<CMainWnd>)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    MESSAGE_HANDLER(kMsgWizardStep, OnWizardStep)
    MESSAGE_HANDLER(kMsgInstallProgress, OnInstallProgress)
    MESSAGE_HANDLER(kMsgActivateRunningSetup, OnActivateRequest)
    MESSAGE_HANDLER(WM_CLOSE, OnClose)
    MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnFreePress)
  END_MSG_MAP()

  int state() const { return state_; }
  const std::wstring& page_name() const { return page_name_; }
  const WizardPages& pages() const { return pages_; }
  const CInstallStartModel& start_model() const { return start_model_; }
  const CInstallingModel& installing_model() const { return installing_model_; }

 protected:
  void DrawFrameBackground(HDC dc, const RECT& client) override;

 private:
  LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnCommand(UINT, WPARAM, LPARAM, BOOL&);
  // A press that no control took: the borderless window is dragged by it.
  LRESULT OnFreePress(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnWizardStep(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnInstallProgress(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnActivateRequest(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnSysCommand(UINT, WPARAM, LPARAM, BOOL&);

  void SetIcons();
  void RequestInstall();
  void ChooseDirectory();
  void ShowDirWarning(bool show);
  // Shows one of the three top-level groups.
  void ShowPage(CLayerControlGroup* page);
  void ShowCustomControls(bool custom);
  // Turns the finish page into the failure page: its text, no launch button.
  void ShowInstallFailed();
  void Quit();

  WizardServices services_;
  CInstallStartModel start_model_;
  CInstallingModel installing_model_;
  CInstallFinishModel finish_model_;
  WizardPages pages_;
  int state_ = kWizardChoosing;
  std::wstring page_name_;
  HICON big_icon_ = nullptr;
  HICON small_icon_ = nullptr;
  bool quitting_ = false;
};

// The wizard's page groups, built from the registered fonts and images: the
// welcome group (with its lower welcome and custom parts), the progress group
// and the finish group, plus the close and minimise buttons on every page.
#pragma once

#include <windows.h>

class CLayerButtonCtrl;
class CLayerCheckboxCtrl;
class CLayerControlGroup;
class CLayerControlRootView;
class CLayerLabelCtrl;
class CLayerProgress;
class ILayerWindow;

// Control ids of the wizard.
enum WizardControlId : UINT {
  kIdInstallNow = 1000,
  kIdInstallCustom = 1001,
  kIdProgressBar = 1002,
  kIdProgressText = 1003,
  kIdBrowse = 1004,
  kIdClose = 1005,
  kIdMinimise = 1006,
  kIdDesktopCheck = 1007,
  kIdDesktopLabel = 1008,
  kIdStartMenuCheck = 1009,
  kIdStartMenuLabel = 1010,
  kIdLicenceLink = 1011,
  kIdPrivacyLink = 1012,
  kIdLaunch = 1013,
  kIdCustomLink = 1014,
  kIdBack = 1015,
  kIdDirField = 1016,
  kIdDirLabel = 1017,
  kIdLowerCustom = 1021,
  kIdLowerWelcome = 1022,
  kIdDirWarning = 1023,
  kIdFinishTitle = 1024,
};

constexpr int kWizardWidth = 690;
constexpr int kWizardHeight = 446;

// The controls the window acts on; all owned by the root view's tree.
struct WizardPages {
  CLayerControlGroup* welcome = nullptr;
  CLayerControlGroup* lower_welcome = nullptr;
  CLayerControlGroup* lower_custom = nullptr;
  CLayerControlGroup* progress = nullptr;
  CLayerControlGroup* finish = nullptr;
  CLayerLabelCtrl* dir_label = nullptr;
  CLayerLabelCtrl* welcome_warning = nullptr;
  CLayerLabelCtrl* custom_warning = nullptr;
  CLayerButtonCtrl* browse = nullptr;
  CLayerCheckboxCtrl* desktop_check = nullptr;
  CLayerCheckboxCtrl* start_menu_check = nullptr;
  CLayerProgress* progress_bar = nullptr;
  CLayerButtonCtrl* close = nullptr;
  CLayerButtonCtrl* minimise = nullptr;
};

// Builds every page into `root` (client size `width` x `height`). The
// directory field shows `install_dir`; the browse button is disabled when
// `browse_enabled` is false. Pages start visible; the caller picks the page.
WizardPages BuildWizardPages(CLayerControlRootView* root, ILayerWindow* owner, int width,
                             int height, const wchar_t* install_dir, bool browse_enabled);

#include "ui/wizard_pages.h"

#include "ui/layer/layer_button.h"
#include "ui/layer/layer_control_group.h"
#include "ui/layer/layer_label.h"
#include "ui/layer/layer_progress.h"
#include "ui/res_initializer.h"
#include "ui/ui_resource_ids.h"

namespace {

constexpr wchar_t kTagline[] = L"简单、快速、安全地优化您的电脑性能";
constexpr wchar_t kNoSpaceWarning[] = L"磁盘空间不足，请释放空间后重试";

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kGrey = 0x808080;
constexpr COLORREF kDarkGrey = 0x5E5E5E;
constexpr COLORREF kLinkBlue = 0xFF8029;
constexpr COLORREF kWarningRed = 0x0A3AFF;

// Text format flags of the toolkit.
constexpr UINT kCentred = 0x11;
constexpr UINT kVCentred = 0x1;
constexpr UINT kVCentredNoWrapEllipsis = 0x1101;
constexpr UINT kCentredNoWrapEllipsis = 0x1111;

struct TextStyle {
  UINT format;
  COLORREF color;
  UINT font;
};

const CImage* Image(UINT id) { return ResInitializer::GetInstance()->GetImage(id); }

void ApplyText(CLayerControlBase* control, const wchar_t* text, const TextStyle& style) {
  control->SetText(text, FALSE);
  control->SetTextFormat(style.format);
  control->SetTextColor(style.color, FALSE);
  control->SetFont(ResInitializer::GetInstance()->GetFont(style.font));
}

// Builds the children of one group; every control is added on creation.
class GroupBuilder {
 public:
  GroupBuilder(CLayerControlGroup* group, ILayerWindow* owner) : group_(group), owner_(owner) {}

  CLayerControlGroup* Group(UINT id, int x, int y, int w, int h, UINT background = 0) {
    auto* group = new CLayerControlGroup(group_, owner_, id, x, y, w, h);
    if (background) group->SetBkImage(Image(background));
    return Add(group);
  }
  CLayerImageCtrl* Picture(int x, int y, int w, int h, UINT image) {
    auto* control = new CLayerImageCtrl(group_, owner_, 0, x, y, w, h);
    control->SetImage(Image(image), FALSE);
    return Add(control);
  }
  CLayerLabelCtrl* Label(UINT id, int x, int y, int w, int h, const wchar_t* text,
                         const TextStyle& style) {
    auto* control = new CLayerLabelCtrl(group_, owner_, id, x, y, w, h);
    ApplyText(control, text, style);
    return Add(control);
  }
  CLayerLabelCtrl* Link(UINT id, int x, int y, int w, int h, const wchar_t* text,
                        const TextStyle& style) {
    CLayerLabelCtrl* control = Label(id, x, y, w, h, text, style);
    control->SetTakesMouse(TRUE);
    control->SetCursorHandle(ResInitializer::GetInstance()->GetCursor(IDC_HAND_CURSOR));
    return control;
  }
  CLayerButtonCtrl* Button(UINT id, int x, int y, int w, int h, UINT image,
                           const wchar_t* text = nullptr, const TextStyle* style = nullptr) {
    auto* control = new CLayerButtonCtrl(group_, owner_, id, x, y, w, h);
    control->SetStateImage(Image(image));
    if (text && style) ApplyText(control, text, *style);
    return Add(control);
  }
  CLayerCheckboxCtrl* Check(UINT id, int x, int y, int w, int h) {
    auto* control = new CLayerCheckboxCtrl(group_, owner_, id, x, y, w, h);
    control->SetStateImage(Image(IDB_CHECKBOX));
    control->SetChecked(TRUE, FALSE);
    return Add(control);
  }
  CLayerProgress* Progress(UINT id, int x, int y, int w, int h) {
    auto* control = new CLayerProgress(group_, owner_, id, x, y, w, h);
    return Add(control);
  }

 private:
  template <class T>
  T* Add(T* control) {
    control->OnCreate(group_);
    group_->AddChild(control);
    return control;
  }

  CLayerControlGroup* group_;
  ILayerWindow* owner_;
};

void BuildLowerWelcome(CLayerControlGroup* group, ILayerWindow* owner, int width,
                       WizardPages* pages) {
  GroupBuilder b(group, owner);
  const TextStyle large_button = {kCentred, kWhite, IDF_18};
  const TextStyle small_grey = {kVCentred, kGrey, IDF_12};
  const TextStyle link = {kVCentred, kLinkBlue, IDF_12};
  b.Button(kIdInstallNow, 236, 33, 198, 50, IDB_LARGE_BUTTON, L"立即安装", &large_button);
  b.Label(0, 207, 0, 70, 12, L"安装即同意", small_grey);
  b.Link(kIdLicenceLink, 272, 0, 105, 12, L"《用户许可协议》", link);
  // Left-aligned, so a wider box draws the glyph at the same place; 15 pixels
  // leave one 12-pixel glyph no room beside GDI+'s padding, and some GDI+
  // engines then draw nothing at all.
  b.Label(0, 372, 0, 18, 12, L"和", small_grey);
  b.Link(kIdPrivacyLink, 385, 0, 105, 12, L"《用户隐私协议》", link);
  b.Button(kIdCustomLink, 561, 137, 79, 14, IDB_CUSTOM_LINK);
  pages->welcome_warning = b.Label(kIdDirWarning, 0, 98, width, 16, kNoSpaceWarning,
                                   {kCentredNoWrapEllipsis, kWarningRed, IDF_12});
  pages->welcome_warning->SetVisible(FALSE, FALSE);
}

void BuildLowerCustom(CLayerControlGroup* group, ILayerWindow* owner, const wchar_t* install_dir,
                      bool browse_enabled, WizardPages* pages) {
  GroupBuilder b(group, owner);
  const TextStyle option = {kVCentred, kGrey, IDF_12};
  b.Group(kIdDirField, 20, 26, 620, 34, IDB_DIR_FIELD);
  pages->dir_label = b.Label(kIdDirLabel, 32, 35, 576, 16, install_dir,
                             {kVCentredNoWrapEllipsis, kGrey, IDF_12});
  pages->custom_warning = b.Label(kIdDirWarning, 32, 68, 576, 16, kNoSpaceWarning,
                                  {kVCentredNoWrapEllipsis, kWarningRed, IDF_12});
  pages->custom_warning->SetVisible(FALSE, FALSE);
  pages->browse = b.Button(kIdBrowse, 612, 36, 16, 14, IDB_BROWSE);
  pages->browse->SetEnabled(browse_enabled ? TRUE : FALSE, FALSE);
  pages->desktop_check = b.Check(kIdDesktopCheck, 20, 112, 14, 14);
  b.Label(kIdDesktopLabel, 40, 113, 95, 12, L"创建桌面图标", option);
  pages->start_menu_check = b.Check(kIdStartMenuCheck, 139, 112, 14, 14);
  b.Label(kIdStartMenuLabel, 160, 113, 95, 12, L"添加到开始菜单", option);
  const TextStyle back = {kCentred, kLinkBlue, IDF_14};
  const TextStyle install = {kCentred, kWhite, IDF_14};
  b.Button(kIdBack, 384, 86, 120, 40, IDB_BACK_BUTTON, L"返回", &back);
  b.Button(kIdInstallCustom, 520, 86, 120, 40, IDB_INSTALL_BUTTON, L"安装", &install);
}

void BuildWelcome(CLayerControlGroup* group, ILayerWindow* owner, int width, int height,
                  const wchar_t* install_dir, bool browse_enabled, WizardPages* pages) {
  GroupBuilder b(group, owner);
  b.Picture(0, 0, width, height, IDB_PAGE_BACKGROUND);
  b.Picture(306, 60, 79, 105, IDB_WELCOME_LOGO);
  b.Label(0, 0, 173, width, 24, L"Pelorix", {kCentred, kWhite, IDF_22_BOLD});
  b.Label(0, 0, 211, width, 16, kTagline, {kCentred, kGrey, IDF_16});
  pages->lower_welcome = b.Group(kIdLowerWelcome, 15, 256, width - 30, height - 256);
  BuildLowerWelcome(pages->lower_welcome, owner, width, pages);
  pages->lower_custom = b.Group(kIdLowerCustom, 15, 285, width - 30, height - 300);
  BuildLowerCustom(pages->lower_custom, owner, install_dir, browse_enabled, pages);
  pages->lower_custom->SetVisible(FALSE, FALSE);
}

void BuildProgress(CLayerControlGroup* group, ILayerWindow* owner, int width, WizardPages* pages) {
  GroupBuilder b(group, owner);
  b.Picture(285, 55, 120, 140, IDB_PROGRESS_PICTURE);
  b.Label(0, 0, 240, width, 16, kTagline, {kCentred, kGrey, IDF_16});
  CLayerProgress* bar = b.Progress(kIdProgressBar, 41, 296, 608, 10);
  bar->SetDirection(kGrowFromLeft);
  bar->SetRange(100);
  bar->SetBkImage(Image(IDB_PROGRESS_BACK), 0, 0);
  bar->SetBarImage(Image(IDB_PROGRESS_FILL), 0, 0);
  pages->progress_bar = bar;
  b.Label(kIdProgressText, 0, 326, width, 16, L"正在安装...", {kCentred, kGrey, IDF_14});
}

void BuildFinish(CLayerControlGroup* group, ILayerWindow* owner, int width) {
  GroupBuilder b(group, owner);
  b.Picture(306, 60, 79, 105, IDB_FINISH_LOGO);
  b.Label(kIdFinishTitle, 0, 183, width, 24, L"安装完成", {kCentred, kWhite, IDF_22_BOLD});
  b.Label(0, 0, 221, width, 16, kTagline, {kCentred, kDarkGrey, IDF_16});
  const TextStyle large_button = {kCentred, kWhite, IDF_18};
  b.Button(kIdLaunch, 246, 301, 198, 50, IDB_LARGE_BUTTON, L"立即体验", &large_button);
}

}  // namespace

WizardPages BuildWizardPages(CLayerControlRootView* root, ILayerWindow* owner, int width,
                             int height, const wchar_t* install_dir, bool browse_enabled) {
  WizardPages pages;
  GroupBuilder top(root, owner);
  pages.welcome = top.Group(0, 0, 0, width, height);
  BuildWelcome(pages.welcome, owner, width, height, install_dir, browse_enabled, &pages);
  pages.progress = top.Group(0, 0, 0, width, height, IDB_PAGE_BACKGROUND);
  BuildProgress(pages.progress, owner, width, &pages);
  pages.finish = top.Group(0, 0, 0, width, height, IDB_PAGE_BACKGROUND);
  BuildFinish(pages.finish, owner, width);
  pages.close = top.Button(kIdClose, 639, 26, 25, 25, IDB_CLOSE);
  pages.minimise = top.Button(kIdMinimise, 606, 26, 25, 25, IDB_MINIMISE);
  return pages;
}

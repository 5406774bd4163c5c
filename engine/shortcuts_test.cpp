#include "engine/shortcuts.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "engine/placement_test_support.h"
#include "engine/product_registration.h"

namespace engine {
namespace {

using testing_support::PendingHasPair;
using testing_support::ScopedPendingValue;
using testing_support::ScopedTempDir;
using testing_support::WriteText;

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring LongPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
}

// The show command as stored in the link's header (offset 0x3C). The link
// object reads every value other than 1, 3 and 7 back as 1.
DWORD StoredShowCommand(const std::wstring& link_path) {
  std::string bytes = testing_support::ReadText(link_path);
  DWORD show = 0;
  if (bytes.size() >= 0x40) memcpy(&show, bytes.data() + 0x3C, sizeof(show));
  return show;
}

// What a link says, read back through the shell's own link object.
struct LinkContent {
  std::wstring target;
  std::wstring arguments;
  std::wstring working_dir;
  std::wstring icon;
  int icon_index = -1;
  int show = 0;
};

bool ReadLink(const std::wstring& link_path, LinkContent* out) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return false;
  }
  IPersistFile* file = nullptr;
  bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
            SUCCEEDED(file->Load(link_path.c_str(), STGM_READ));
  if (ok) {
    wchar_t text[MAX_PATH * 2] = {};
    link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    out->target = text;
    text[0] = 0;
    link->GetArguments(text, MAX_PATH);
    out->arguments = text;
    text[0] = 0;
    link->GetWorkingDirectory(text, MAX_PATH);
    out->working_dir = text;
    text[0] = 0;
    link->GetIconLocation(text, MAX_PATH, &out->icon_index);
    out->icon = text;
    link->GetShowCmd(&out->show);
  }
  if (file) file->Release();
  link->Release();
  return ok;
}

class ShortcutsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    com_ = true;
    ASSERT_TRUE(root_.IsValid());
    folders_.common_desktop = root_.Child(L"common_desktop");
    folders_.user_desktop = root_.Child(L"user_desktop");
    folders_.common_programs = root_.Child(L"common_programs");
    folders_.user_programs = root_.Child(L"user_programs");
    for (const auto* f : {&folders_.common_desktop, &folders_.user_desktop,
                          &folders_.common_programs, &folders_.user_programs}) {
      ASSERT_TRUE(CreateDirectoryW(f->c_str(), nullptr));
    }
    install_ = root_.Child(L"Install Dir");
    main_ = MainProgramPath(install_);
    uninst_ = JoinPath(install_, L"uninst.exe");
    ASSERT_TRUE(CreateDirectoryW(install_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(JoinPath(install_, L"Nexhub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(JoinPath(install_, L"Nexhub\\pelorix").c_str(), nullptr));
    ASSERT_TRUE(WriteText(main_, "main"));
    ASSERT_TRUE(WriteText(uninst_, "uninst"));
  }
  void TearDown() override {
    if (com_) CoUninitialize();
  }

  std::wstring DesktopLink() const { return JoinPath(folders_.common_desktop, kProductLinkName); }
  std::wstring MenuFolder() const { return JoinPath(folders_.common_programs, kStartMenuFolderName); }
  std::wstring MenuLink() const { return JoinPath(MenuFolder(), kProductLinkName); }
  std::wstring UninstallLink() const { return JoinPath(MenuFolder(), kUninstallLinkName); }

  // Links and folders an earlier install left in all four places.
  void PlantOldLinks() {
    for (const auto* programs : {&folders_.common_programs, &folders_.user_programs}) {
      const std::wstring old = JoinPath(*programs, kStartMenuFolderName);
      ASSERT_TRUE(CreateDirectoryW(old.c_str(), nullptr) ||
                  GetLastError() == ERROR_ALREADY_EXISTS);
      ASSERT_TRUE(WriteText(JoinPath(old, L"Old Help.lnk"), "old"));
    }
    for (const auto* desktop : {&folders_.common_desktop, &folders_.user_desktop}) {
      ASSERT_TRUE(WriteText(JoinPath(*desktop, kProductLinkName), "old"));
    }
  }

  void ExpectLink(const std::wstring& link, const std::wstring& target, const wchar_t* arguments) {
    LinkContent c;
    ASSERT_TRUE(ReadLink(link, &c)) << link;
    EXPECT_EQ(target, c.target);
    EXPECT_EQ(arguments, c.arguments);
    EXPECT_EQ(target.substr(0, target.rfind(L'\\')), c.working_dir);
    // Stored as the short name of the same file.
    EXPECT_EQ(0, lstrcmpiW(LongPath(target).c_str(), LongPath(c.icon).c_str())) << c.icon;
    EXPECT_EQ(0, c.icon_index);
    EXPECT_EQ(static_cast<DWORD>(kLinkShowCommand), StoredShowCommand(link));
    EXPECT_EQ(SW_SHOWNORMAL, c.show);
  }

  bool com_ = false;
  ScopedTempDir root_;
  ShortcutFolders folders_;
  std::wstring install_, main_, uninst_;
};

TEST_F(ShortcutsTest, ShellLinkNeedsAnExistingTarget) {
  const std::wstring link = root_.Child(L"x.lnk");
  EXPECT_FALSE(CreateShellLink(root_.Child(L"missing.exe").c_str(), nullptr, link.c_str(),
                               main_.c_str(), 0, FALSE));
  EXPECT_FALSE(Exists(link));
}

TEST_F(ShortcutsTest, ShellLinkContents) {
  const std::wstring link = root_.Child(L"plain.lnk");
  ASSERT_TRUE(CreateShellLink(main_.c_str(), L"--a b", link.c_str(), uninst_.c_str(), 0, TRUE));
  LinkContent c;
  ASSERT_TRUE(ReadLink(link, &c));
  EXPECT_EQ(main_, c.target);
  EXPECT_EQ(L"--a b", c.arguments);
  EXPECT_EQ(JoinPath(install_, L"Nexhub\\pelorix"), c.working_dir);
  EXPECT_EQ(0, lstrcmpiW(uninst_.c_str(), LongPath(c.icon).c_str())) << c.icon;
  EXPECT_EQ(static_cast<DWORD>(kLinkShowCommand), StoredShowCommand(link));
}

TEST_F(ShortcutsTest, NegativeIconIndexSetsNoIcon) {
  const std::wstring link = root_.Child(L"noicon.lnk");
  ASSERT_TRUE(CreateShellLink(main_.c_str(), nullptr, link.c_str(), uninst_.c_str(), -1, FALSE));
  LinkContent c;
  ASSERT_TRUE(ReadLink(link, &c));
  EXPECT_EQ(L"", c.icon);
  EXPECT_EQ(L"", c.arguments);
}

TEST_F(ShortcutsTest, BothChoicesOn) {
  PlantOldLinks();
  ASSERT_TRUE(CreateShortcuts(install_, true, true, folders_));
  ExpectLink(DesktopLink(), main_, L"--from=desktop");
  ExpectLink(MenuLink(), main_, L"--from=startmenu");
  ExpectLink(UninstallLink(), uninst_, L"");
  // Nothing of the old folders is kept.
  EXPECT_FALSE(Exists(JoinPath(MenuFolder(), L"Old Help.lnk")));
  EXPECT_FALSE(Exists(JoinPath(folders_.user_programs, kStartMenuFolderName)));
  EXPECT_FALSE(Exists(JoinPath(folders_.user_desktop, kProductLinkName)));
}

// An old desktop link that cannot go now is left to the restart only on the
// all-users desktop, never on the user's own.
TEST_F(ShortcutsTest, HeldDesktopLinkWaitsForTheRestartOnlyOnTheCommonDesktop) {
  ScopedPendingValue pending;
  PlantOldLinks();
  const std::wstring common = JoinPath(folders_.common_desktop, kProductLinkName);
  const std::wstring user = JoinPath(folders_.user_desktop, kProductLinkName);
  base::ScopedHandle held[2];
  for (int i = 0; i < 2; ++i) {
    held[i].Reset(CreateFileW((i ? user : common).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held[i].IsValid());
  }
  CreateShortcuts(install_, false, true, folders_);
  EXPECT_TRUE(PendingHasPair(L"\\??\\" + common, L""));
  EXPECT_FALSE(PendingHasPair(L"\\??\\" + user, L""));
  EXPECT_TRUE(Exists(user));
}

TEST_F(ShortcutsTest, ChoicesDecideWhatIsCreated) {
  const struct {
    bool desktop;
    bool start_menu;
  } cases[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "desktop " << c.desktop << " start menu " << c.start_menu);
    PlantOldLinks();
    EXPECT_TRUE(CreateShortcuts(install_, c.desktop, c.start_menu, folders_));
    // An old plain-text "link" would not load as a shell link.
    LinkContent unused;
    EXPECT_EQ(c.desktop, ReadLink(DesktopLink(), &unused));
    EXPECT_EQ(c.desktop, Exists(DesktopLink()));
    EXPECT_EQ(c.start_menu, Exists(MenuFolder()));
    EXPECT_EQ(c.start_menu, Exists(MenuLink()));
    EXPECT_EQ(c.start_menu, Exists(UninstallLink()));
    EXPECT_FALSE(Exists(JoinPath(MenuFolder(), L"Old Help.lnk")));
    EXPECT_FALSE(Exists(JoinPath(folders_.user_programs, kStartMenuFolderName)));
    EXPECT_FALSE(Exists(JoinPath(folders_.user_desktop, kProductLinkName)));
  }
}

TEST_F(ShortcutsTest, FailedDesktopLinkEndsTheStep) {
  ASSERT_TRUE(DeleteFileW(main_.c_str()));
  EXPECT_FALSE(CreateShortcuts(install_, true, true, folders_));
  EXPECT_FALSE(Exists(DesktopLink()));
  EXPECT_FALSE(Exists(MenuLink()));
  EXPECT_FALSE(Exists(UninstallLink()));
}

TEST_F(ShortcutsTest, MissingUninstallerFailsAfterProductLink) {
  ASSERT_TRUE(DeleteFileW(uninst_.c_str()));
  EXPECT_FALSE(CreateShortcuts(install_, false, true, folders_));
  EXPECT_TRUE(Exists(MenuLink()));
  EXPECT_FALSE(Exists(UninstallLink()));
}

// The machine's own folders: links are created, then both choices off takes
// them away again (which also leaves the prefix as found).
TEST_F(ShortcutsTest, MachineFolders) {
  ShortcutFolders machine;
  ASSERT_TRUE(SystemShortcutFolders(&machine));
  ASSERT_TRUE(CreateShortcuts(install_, true, true));
  const std::wstring desktop = JoinPath(machine.common_desktop, kProductLinkName);
  const std::wstring menu = JoinPath(machine.common_programs, kStartMenuFolderName);
  ExpectLink(desktop, main_, L"--from=desktop");
  ExpectLink(JoinPath(menu, kProductLinkName), main_, L"--from=startmenu");
  ExpectLink(JoinPath(menu, kUninstallLinkName), uninst_, L"");

  EXPECT_TRUE(CreateShortcuts(install_, false, false));
  EXPECT_FALSE(Exists(desktop));
  EXPECT_FALSE(Exists(menu));
}

}  // namespace
}  // namespace engine

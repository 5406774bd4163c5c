// Sample uninstaller of the product, installed as "uninst.exe" in the install
// root, where the uninstall entry ("UninstallString", the path alone) and the
// start-menu link start it. Without arguments it asks before removing the
// product and says when it is done; "/S" removes it silently. The exit code
// is one of uninstall.h's.
//
// The list of what to remove is the package's own uninstall list
// (UninstallRootDirFileList.xml), carried as a resource. That list is
// computed from the product tree, and this program is a file of that tree:
// to have no build cycle the build makes the list from the tree's inputs
// (assemble_tree.py --write-root-list: the generated names and the names of
// the built files) before this program is linked, and checks the assembled
// tree against it afterwards, so the two cannot differ.
#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/command_line.h"
#include "sample_product/uninstall.h"

namespace {

constexpr wchar_t kTitle[] = L"Pelorix";

std::wstring ModulePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::wstring();
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring self = ModulePath();
  const size_t slash = self.find_last_of(L'\\');
  if (slash == std::wstring::npos) return sample::kUninstallFailed;
  const std::wstring install_dir = self.substr(0, slash);

  CCommandLine command_line;
  command_line.Parse(sample::ArgumentsAfterProgram(GetCommandLineW(), self).c_str());
  const bool silent = command_line.HasSwitch(sample::kSilentSwitch);

  sample::RootList list;
  if (!sample::LoadRootList(nullptr, &list)) {
    if (!silent) MessageBoxW(nullptr, L"The uninstaller is damaged.", kTitle, MB_OK | MB_ICONERROR);
    return sample::kUninstallFailed;
  }
  if (!sample::IsInstallDir(install_dir)) {
    if (!silent) MessageBoxW(nullptr, L"Pelorix is not installed in this folder.", kTitle, MB_OK | MB_ICONERROR);
    return sample::kUninstallNotInstalled;
  }
  if (!silent && MessageBoxW(nullptr, L"Remove Pelorix and all of its components from this computer?", kTitle,
                             MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
    return sample::kUninstallCancelled;
  }

  // Task Scheduler (autorun) and the shell (links) are COM.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const sample::UninstallOutcome outcome = sample::Uninstall(install_dir, self, list);
  if (SUCCEEDED(com)) CoUninitialize();

  const bool restart = outcome.entries_pending > 0;
  if (!silent) {
    MessageBoxW(nullptr,
                restart ? L"Pelorix was removed. Some of its files are in use; they will be removed when "
                          L"you restart the computer."
                        : L"Pelorix was removed from this computer.",
                kTitle, MB_OK | MB_ICONINFORMATION);
  }
  return restart ? sample::kUninstallRestartNeeded : sample::kUninstallDone;
}

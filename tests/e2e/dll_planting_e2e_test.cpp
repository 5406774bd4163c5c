// A setup usually runs from a Downloads folder: libraries planted beside it
// must never be loaded, through a whole silent install of the real package,
// whether it runs as a program or inside a host through Start. It runs in a
// prefix reporting Windows 10, where the signature checks (and so wintrust
// and crypt32) take part.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/e2e_util.h"
#include "tests/e2e/package_run.h"

namespace {

using e2e::BuiltFile;
using e2e::Quote;

constexpr DWORD kInstallTimeoutMs = 240000;

// Every library the setup's process loads during such an install (Wine's
// WINEDEBUG=+loaddll lists them), except the known DLLs that Windows 7 to 11
// always take from System32 (see tests/check_imports.sh) and the exe itself;
// plus what other paths of the setup load by run-time binding.
const wchar_t* const kPlantedNames[] = {
    L"7z.dll", L"bcrypt.dll", L"cabinet.dll", L"combase.dll", L"comctl32.dll", L"crypt32.dll",
    L"dbghelp.dll", L"dnsapi.dll", L"dwmapi.dll", L"gdiplus.dll", L"iphlpapi.dll", L"kerberos.dll",
    L"kernelbase.dll", L"lumbrel.dll", L"mpr.dll", L"msimg32.dll", L"msv1_0.dll", L"netapi32.dll",
    L"Palinst.dll", L"propsys.dll", L"rsaenh.dll", L"secur32.dll", L"shcore.dll", L"taskschd.dll",
    L"ucrtbase.dll", L"urlmon.dll", L"userenv.dll", L"uxtheme.dll", L"version.dll", L"win32u.dll",
    L"windowscodecs.dll", L"winhttp.dll", L"wininet.dll", L"winmm.dll", L"wintrust.dll", L"wtsapi32.dll",
    L"xmllite.dll", L"zlib1.dll"};

// Wine's own system libraries import shcore by bare name, so a planted copy
// would be loaded at process start before the setup runs a line. Windows 8.1
// and later list shcore among the known DLLs, and on Windows 7 nothing
// imports it; Wine ignores the registry's KnownDLLs list, so the installs
// here take shcore as builtin only (Wine's own override list, which it reads
// from the registry as each process starts), as Windows 10 would. Every other
// name still fails the test if it is loaded.
bool TreatShcoreAsKnownDll() {
  const wchar_t builtin[] = L"builtin";
  return RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", L"shcore", REG_SZ, builtin,
                         sizeof(builtin)) == ERROR_SUCCESS;
}

using e2e::Widen;

void ExpectInstalled(const std::wstring& install_dir) {
  EXPECT_TRUE(e2e::FileExists(install_dir + L"\\Nexhub\\pelorix\\pelorix_ui.exe")) << "installed into " << install_dir;
  EXPECT_TRUE(e2e::FileExists(install_dir + L"\\Utils\\7z.dll")) << "installed into " << install_dir;
}

TEST(DllPlanting, LibrariesBesideTheProgramAreNeverLoaded) {
  e2e::TempDir dir;
  ASSERT_TRUE(CopyFileW(e2e::PackagePath().c_str(), dir.File(L"Install.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(BuiltFile(L"start_host.exe").c_str(), dir.File(L"start_host.exe").c_str(), FALSE));
  for (const wchar_t* name : kPlantedNames) {
    ASSERT_TRUE(CopyFileW(BuiltFile(L"canary.dll").c_str(), dir.File(name).c_str(), FALSE)) << name;
  }
  ASSERT_TRUE(TreatShcoreAsKnownDll());  // the prefix is thrown away afterwards

  // The program itself, which starts the product at the end.
  const std::wstring program_dir = L"C:\\PelorixPlanted";
  e2e::RunResult program = e2e::Run(Quote(dir.File(L"Install.exe")) + L" --hide_ui /DIR=" + program_dir +
                                        L" --pid=" + Widen(e2e::UniquePid("plant")),
                                    kInstallTimeoutMs);
  ASSERT_TRUE(program.finished);
  EXPECT_EQ(program.exit_code, 0u);
  ExpectInstalled(program_dir);
  // The browser-engine step loaded the product's own library and called it.
  wchar_t common[MAX_PATH] = {};
  GetEnvironmentVariableW(L"ALLUSERSPROFILE", common, MAX_PATH);
  EXPECT_TRUE(e2e::FileExists(std::wstring(common) + L"\\PelorixSample\\lumbrel.log"));

  // A host calling Start: the whole install inside the host's process.
  const std::wstring hosted_dir = L"C:\\PelorixPlantedHosted";
  e2e::RunResult hosted =
      e2e::Run(Quote(dir.File(L"start_host.exe")) + L" " + Quote(dir.File(L"Install.exe")) + L" " +
                   Quote(L"--hide_ui --nostart /DIR=" + hosted_dir + L" --pid=" + Widen(e2e::UniquePid("hplant"))) +
                   L" 16",
               kInstallTimeoutMs);
  ASSERT_TRUE(hosted.finished);
  EXPECT_EQ(hosted.output, "start=0 result=suc\r\n");
  ExpectInstalled(hosted_dir);

  for (const wchar_t* name : kPlantedNames) {
    EXPECT_FALSE(e2e::FileExists(dir.File(name) + L".loaded")) << "planted " << name;
  }
}

// Proves the check above can fail: a library beside a program is what a
// bare-name load picks up, and the canary then leaves its marker.
TEST(DllPlanting, CanaryBesideTheProgramIsLoadedByBareName) {
  const std::wstring name = L"planting_probe_" + std::to_wstring(GetCurrentProcessId()) + L".dll";
  const std::wstring planted = BuiltFile(name.c_str());
  ASSERT_TRUE(CopyFileW(BuiltFile(L"canary.dll").c_str(), planted.c_str(), FALSE));
  EXPECT_EQ(LoadLibraryW(name.c_str()), nullptr);  // the canary refuses to stay
  EXPECT_TRUE(e2e::FileExists(planted + L".loaded"));
  DeleteFileW((planted + L".loaded").c_str());
  DeleteFileW(planted.c_str());
}

}  // namespace

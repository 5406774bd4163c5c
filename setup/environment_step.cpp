#include "setup/environment_step.h"

#include <windows.h>
#include <shellapi.h>

#include "engine/command_parser.h"
#include "engine/install_errors.h"
#include "engine/install_task.h"
#include "engine/process_state.h"
#include "generated/endpoints.h"
#include "log/stage_timer.h"
#include "telemetry/setup_statistics.h"
#include "trust/signature_check.h"
#include "ui/message_box.h"

namespace {

constexpr UINT kArchiveLibraryResource = 203;
constexpr wchar_t kArchiveLibraryType[] = L"DLL_7Z";
constexpr UINT kPayloadRecordResource = 215;
constexpr wchar_t kPayloadRecordType[] = L"SETUPDATA";

constexpr wchar_t kPackageDamaged[] = L"安装程序文件出错，是否重新下载安装文件";

void ReportFailure(int errcode) {
  Statistics()->Report(L"fail", (L"&ex_ary[errcode]=" + std::to_wstring(errcode)).c_str(), true);
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::wstring EnvironmentMessage(int code) {
  switch (code) {
    case kEnvNoDiskSpace: return L"没有可用的磁盘空间，无法继续安装";
    case kEnvTempNotWritable: return L"系统临时目录不可写，无法继续安装";
    case kEnvTempTooSmall: return L"系统临时目录空间太小，无法继续安装";
    case kEnvNotAdmin: return L"请以管理员权限重新运行安装程序";
    default: return std::wstring();
  }
}

bool RunEnvironmentStep() {
  const int code = InstallTask()->CheckEnvironment();
  LogUtils::MarkStage(L"environment checks done");
  if (code != kEnvOk) {
    SetupMessageBox(EnvironmentMessage(code).c_str(), MB_OK);
    ReportFailure(code);
    return false;
  }

  const std::wstring& debug_file = CommandParser()->GetDebugFile();
  if (!debug_file.empty() && FileExists(debug_file)) {
    // A module named on the command line replaces our resources, so it must
    // carry an accepted signature; refusing it ends the run quietly.
    if (!SignatureCheck(debug_file.c_str())) return false;
    HMODULE module = LoadLibraryW(debug_file.c_str());
    if (!module) return false;
    SetResourceModule(module);
  }

  if (!InstallTask()->ExtractArchiveLibrary(ResourceModule(), kArchiveLibraryResource,
                                            kArchiveLibraryType)) {
    SetupMessageBox(kInstallFailedText, MB_OK);
    ReportFailure(kStatArchiveLibrary);
    return false;
  }
  LogUtils::MarkStage(L"7-Zip library loaded");
  InstallTask()->SetSilent(CommandParser()->IsSilent());
  return true;
}

bool PreparePackage() {
  return InstallTask()->PreparePayload(ResourceModule(), kPayloadRecordResource, kPayloadRecordType) != FALSE;
}

void ReportPackageFailure() {
  if (SetupMessageBox(kPackageDamaged, MB_YESNO) == IDYES && kDownloadPageUrl[0] != L'\0') {
    ShellExecuteW(nullptr, L"open", kDownloadPageUrl, nullptr, nullptr, SW_SHOWNORMAL);
  }
  ReportFailure(kStatPackage);
}

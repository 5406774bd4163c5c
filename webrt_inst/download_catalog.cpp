#include "webrt_inst/download_catalog.h"

#include <windows.h>

#include "base/md5.h"
#include "base/string_conv.h"
#include "generated/webrt_endpoints.h"
#include "log/logger.h"

namespace webrt {
namespace {

struct CatalogueRow {
  const wchar_t* path;
  const char* md5;
};

constexpr CatalogueRow kWin10x64 = {
    L"/pc/module/webview2/windows10/MicrosoftEdgeWebview_X64_121.0.2277.128.exe",
    "182ce781a75363fedee80ab8fa3f4938"};
constexpr CatalogueRow kWin10x86 = {
    L"/pc/module/webview2/windows10/MicrosoftEdgeWebview_X86_121.0.2277.128.exe",
    "e466419c5402fa3f2ceb34ebf1fc36bc"};
constexpr CatalogueRow kWin7x64 = {
    L"/pc/module/webview2/windows7/MicrosoftEdge_X64_109.0.1518.115.exe",
    "e4715c207793199b7aba7ff1c9b2be5f"};
constexpr CatalogueRow kWin7x86 = {
    L"/pc/module/webview2/windows7/MicrosoftEdge_X86_109.0.1518.115.exe",
    "1620461a1e907aea750313ff10c418f5"};

}  // namespace

CdnChoice SelectDownloadUrlFor(const base::NtVersion& version, bool is_64bit,
                               const std::wstring& cdn) {
  const CatalogueRow* row = nullptr;
  if (version.major > 6 || (version.major == 6 && version.minor > 1)) {
    row = is_64bit ? &kWin10x64 : &kWin10x86;
  } else if (version.major == 6 && version.minor == 1) {
    row = is_64bit ? &kWin7x64 : &kWin7x86;
  }
  CdnChoice choice;
  if (row) {
    choice.url = cdn + row->path;
    choice.md5 = base::Utf8ToWide(row->md5);
  }
  return choice;
}

bool IsMachine64Bit() {
  static const bool is_64bit = base::Is64BitSystem();
  return is_64bit;
}

std::wstring SelectDownloadUrl(std::wstring* md5) {
  CdnChoice choice =
      SelectDownloadUrlFor(base::CurrentNtVersion(), IsMachine64Bit(), kWebView2CdnEndpoint);
  LOG_INFO << "select download url: " << choice.url;
  if (md5) *md5 = choice.md5;
  return choice.url;
}

std::wstring GetDownloadPath(const std::wstring& folder, const std::wstring& url) {
  if (folder.empty() || url.empty()) return std::wstring();
  std::wstring path = folder;
  if (path.back() != L'\\') path += L'\\';
  const std::string utf8 = base::WideToUtf8(url);
  path += base::Utf8ToWide(base::Md5Hex(utf8.data(), utf8.size())) + L".exe";
  LOG_INFO << "webview2 download path=" << path;
  return path;
}

}  // namespace webrt

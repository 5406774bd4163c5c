#include "webrt_inst/download_catalog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "generated/webrt_endpoints.h"

namespace webrt {
namespace {

constexpr wchar_t kCdn[] = L"http://cdn.test";

struct Row {
  DWORD major, minor;
  bool is_64bit;
  const wchar_t* path;  // null: no installer
  const wchar_t* md5;
};

const Row kRows[] = {
    {5, 1, false, nullptr, nullptr},
    {5, 2, true, nullptr, nullptr},
    {6, 0, true, nullptr, nullptr},
    {6, 1, false, L"/pc/module/webview2/windows7/MicrosoftEdge_X86_109.0.1518.115.exe",
     L"1620461a1e907aea750313ff10c418f5"},
    {6, 1, true, L"/pc/module/webview2/windows7/MicrosoftEdge_X64_109.0.1518.115.exe",
     L"e4715c207793199b7aba7ff1c9b2be5f"},
    {6, 2, false, L"/pc/module/webview2/windows10/MicrosoftEdgeWebview_X86_121.0.2277.128.exe",
     L"e466419c5402fa3f2ceb34ebf1fc36bc"},
    // Windows 8.1 takes the "windows10" builds.
    {6, 3, true, L"/pc/module/webview2/windows10/MicrosoftEdgeWebview_X64_121.0.2277.128.exe",
     L"182ce781a75363fedee80ab8fa3f4938"},
    {10, 0, false, L"/pc/module/webview2/windows10/MicrosoftEdgeWebview_X86_121.0.2277.128.exe",
     L"e466419c5402fa3f2ceb34ebf1fc36bc"},
    {10, 0, true, L"/pc/module/webview2/windows10/MicrosoftEdgeWebview_X64_121.0.2277.128.exe",
     L"182ce781a75363fedee80ab8fa3f4938"},
};

TEST(SelectDownloadUrlFor, PicksTheRowForVersionAndArchitecture) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(testing::Message() << row.major << "." << row.minor << (row.is_64bit ? " x64" : " x86"));
    base::NtVersion version;
    version.major = row.major;
    version.minor = row.minor;
    const CdnChoice choice = SelectDownloadUrlFor(version, row.is_64bit, kCdn);
    if (!row.path) {
      EXPECT_EQ(L"", choice.url);
      EXPECT_EQ(L"", choice.md5);
    } else {
      EXPECT_EQ(std::wstring(kCdn) + row.path, choice.url);
      EXPECT_EQ(row.md5, choice.md5);
    }
  }
}

TEST(SelectDownloadUrlFor, NoVersionGivesNothing) {
  EXPECT_EQ(L"", SelectDownloadUrlFor(base::NtVersion(), true, kCdn).url);
}

TEST(GetDownloadPath, IsTheMd5OfTheUtf8UrlInTheFolder) {
  // md5("http://127.0.0.1/a.exe")
  EXPECT_EQ(L"C:\\d\\3f0a28626033b46ac2117451ead3cabf.exe",
            GetDownloadPath(L"C:\\d", L"http://127.0.0.1/a.exe"));
  // md5 of the UTF-8 bytes of "http://h/\u00e9" (c3 a9), not of UTF-16.
  EXPECT_EQ(L"C:\\d\\8e4f8e6437ddf934e1c0d3611f370eae.exe",
            GetDownloadPath(L"C:\\d\\", L"http://h/\u00e9"));
}

TEST(GetDownloadPath, NoFolderOrNoUrlGivesNoPath) {
  EXPECT_EQ(L"", GetDownloadPath(L"C:\\d", L""));
  EXPECT_EQ(L"", GetDownloadPath(L"", L"http://x/1"));
}

TEST(SelectDownloadUrl, UsesTheConfiguredCdn) {
  std::wstring md5;
  const std::wstring url = SelectDownloadUrl(&md5);
  ASSERT_FALSE(url.empty());  // the test prefixes are Windows 7 or later
  EXPECT_EQ(0u, url.find(std::wstring(kWebView2CdnEndpoint) + L"/pc/module/webview2/")) << url;
  EXPECT_EQ(32u, md5.size());
}

}  // namespace
}  // namespace webrt

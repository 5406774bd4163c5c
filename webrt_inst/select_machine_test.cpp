// Run in prefixes of each Windows version and architecture (see
// CMakeLists.txt): the catalogue row the machine itself gets.
#include <gtest/gtest.h>

#include "generated/webrt_endpoints.h"
#include "webrt_inst/download_catalog.h"

namespace webrt {
namespace {

#if defined(EXPECT_ARCH_64)
constexpr bool kExpect64 = true;
#else
constexpr bool kExpect64 = false;
#endif

#if defined(EXPECT_WINVER_10)
constexpr const wchar_t* kExpectedPath =
    kExpect64 ? L"/pc/module/webview2/windows10/MicrosoftEdgeWebview_X64_121.0.2277.128.exe"
              : L"/pc/module/webview2/windows10/MicrosoftEdgeWebview_X86_121.0.2277.128.exe";
#elif defined(EXPECT_WINVER_7)
constexpr const wchar_t* kExpectedPath =
    kExpect64 ? L"/pc/module/webview2/windows7/MicrosoftEdge_X64_109.0.1518.115.exe"
              : L"/pc/module/webview2/windows7/MicrosoftEdge_X86_109.0.1518.115.exe";
#else
constexpr const wchar_t* kExpectedPath = nullptr;
#endif

TEST(SelectDownloadUrl, MatchesThisMachine) {
  if (!kExpect64 && sizeof(void*) == 8) {
    GTEST_SKIP() << "needs 32-bit execution: the X86 runtime is 32-bit Windows' row, and a 64-bit build runs "
                    "only in a 64-bit prefix";
  }
  EXPECT_EQ(kExpect64, IsMachine64Bit());
  std::wstring md5 = L"untouched";
  const std::wstring url = SelectDownloadUrl(&md5);
  if (kExpectedPath) {
    EXPECT_EQ(std::wstring(kWebView2CdnEndpoint) + kExpectedPath, url);
    EXPECT_EQ(32u, md5.size());
  } else {
    EXPECT_EQ(L"", url);
    EXPECT_EQ(L"", md5);
  }
}

}  // namespace
}  // namespace webrt

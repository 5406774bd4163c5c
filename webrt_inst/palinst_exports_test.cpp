// Palinst.dll as a host program uses it: loaded by path, exports found by
// their plain names, called with the Windows calling convention.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/registry.h"

namespace {

constexpr wchar_t kClientKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

using IsExistFn = bool(WINAPI*)(wchar_t*, int);
using InstFn = int(WINAPI*)();
using StopFn = int(WINAPI*)();

class PalinstExportsTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dll = exe;
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"Palinst.dll";
    module_ = LoadLibraryW(dll.c_str());
    ASSERT_TRUE(module_) << "LoadLibrary failed: " << GetLastError();
    is_exist_ = reinterpret_cast<IsExistFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "IsExistWebView2")));
    inst_ = reinterpret_cast<InstFn>(reinterpret_cast<void*>(GetProcAddress(module_, "InstWebView2")));
    stop_ = reinterpret_cast<StopFn>(reinterpret_cast<void*>(GetProcAddress(module_, "StopInst")));
    ASSERT_TRUE(is_exist_ && inst_ && stop_);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  // Calls IsExistWebView2 as a host would. On 32-bit x86 the call is made by
  // hand, to see that the callee removed its arguments from the stack as
  // __stdcall must; x64 has one convention, in which the caller does that.
  bool CallIsExist(wchar_t* buffer, int capacity) {
#if defined(__i386__)
    unsigned a = reinterpret_cast<unsigned>(is_exist_);
    unsigned c = reinterpret_cast<unsigned>(buffer);
    unsigned d = static_cast<unsigned>(capacity);
    unsigned left = 0;
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "pushl %%edx\n\t"
        "pushl %%ecx\n\t"
        "call *%%eax\n\t"
        "movl %%esi, %%edi\n\t"
        "subl %%esp, %%edi\n\t"
        "movl %%esi, %%esp\n\t"
        : "+a"(a), "+c"(c), "+d"(d), "=D"(left)
        :
        : "esi", "memory", "cc");
    EXPECT_EQ(0u, left) << "bytes of arguments left on the stack";
    return (a & 0xFF) != 0;
#else
    return is_exist_(buffer, capacity);
#endif
  }

  HMODULE module_ = nullptr;
  IsExistFn is_exist_ = nullptr;
  InstFn inst_ = nullptr;
  StopFn stop_ = nullptr;
};

TEST_F(PalinstExportsTest, NoDecoratedNames) {
  EXPECT_EQ(nullptr, GetProcAddress(module_, "_IsExistWebView2@8"));
  EXPECT_EQ(nullptr, GetProcAddress(module_, "IsExistWebView2@8"));
  EXPECT_EQ(nullptr, GetProcAddress(module_, "_InstWebView2@0"));
}

TEST_F(PalinstExportsTest, IsExistCleansItsArgumentsAndZeroFills) {
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kClientKey, L"pv", L"1.2.3", true,
                                   KEY_WOW64_32KEY));
  wchar_t buffer[20];
  for (wchar_t& ch : buffer) ch = L'#';
  EXPECT_TRUE(CallIsExist(buffer, 16));
  EXPECT_EQ(std::wstring(L"1.2.3"), buffer);
  for (int i = 5; i < 16; ++i) EXPECT_EQ(L'\0', buffer[i]) << i;
  for (int i = 16; i < 20; ++i) EXPECT_EQ(L'#', buffer[i]) << "written past capacity at " << i;
}

TEST_F(PalinstExportsTest, IsExistTruncatesToCapacity) {
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kClientKey, L"pv", L"121.0.2277.128", true,
                                   KEY_WOW64_32KEY));
  wchar_t buffer[8];
  for (wchar_t& ch : buffer) ch = L'#';
  EXPECT_TRUE(CallIsExist(buffer, 4));
  EXPECT_EQ(std::wstring(L"121."), std::wstring(buffer, 4));
  EXPECT_EQ(L'#', buffer[4]);
}

TEST_F(PalinstExportsTest, IsExistWithoutBufferOrRuntime) {
  EXPECT_FALSE(CallIsExist(nullptr, 16));
  wchar_t buffer[4] = {L'#', L'#', L'#', L'#'};
  EXPECT_FALSE(is_exist_(buffer, 4));
  for (wchar_t ch : buffer) EXPECT_EQ(L'\0', ch);
}

TEST_F(PalinstExportsTest, ZeroMachineVersionFallsThroughToUser) {
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kClientKey, L"pv", L"0.0.0.0", true,
                                   KEY_WOW64_32KEY));
  ASSERT_TRUE(base::RegWriteString(HKEY_CURRENT_USER, kClientKey, L"pv", L"109.0.1518.115", true,
                                   KEY_WOW64_64KEY));
  wchar_t buffer[32] = {};
  EXPECT_TRUE(is_exist_(buffer, 32));
  EXPECT_EQ(std::wstring(L"109.0.1518.115"), buffer);
}

TEST_F(PalinstExportsTest, InstWithRuntimePresentReturnsZero) {
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kClientKey, L"pv", L"1.2.3", true,
                                   KEY_WOW64_32KEY));
  EXPECT_EQ(0, inst_());
}

TEST_F(PalinstExportsTest, StopBeforeInstSkipsTheRun) {
  EXPECT_NE(0, stop_());
  const DWORD start = GetTickCount();
  EXPECT_EQ(-2, inst_());
  EXPECT_LT(GetTickCount() - start, 20000u);
  // The skipped loop leaves no WM_QUIT behind for the host's own loop.
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

}  // namespace

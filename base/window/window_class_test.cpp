#include "base/window/window_class.h"

#include <gtest/gtest.h>

#include <cwchar>

#include "base/window/window_impl.h"

namespace {

template <int N>
class CUnnamed : public CWindowImpl<CUnnamed<N>> {
 public:
  BEGIN_MSG_MAP(CUnnamed)
  END_MSG_MAP()
};

class CNamed : public CWindowImpl<CNamed> {
 public:
  DECLARE_WND_CLASS_EX(L"PelorixWindowClassTest", CS_DBLCLKS, COLOR_BTNFACE)
  BEGIN_MSG_MAP(CNamed)
  END_MSG_MAP()
};

std::wstring ClassNameOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

TEST(WindowClass, UnnamedClassIsAtlAddressAndRegisteredOnce) {
  CUnnamed<1> a1, a2;
  CUnnamed<2> b;
  ASSERT_NE(a1.Create(HWND_MESSAGE), nullptr) << GetLastError();
  ASSERT_NE(a2.Create(HWND_MESSAGE), nullptr) << GetLastError();
  ASSERT_NE(b.Create(HWND_MESSAGE), nullptr) << GetLastError();

  wchar_t expected[32];
  // The address in as many hex digits as a pointer has: 8, or 16 on x64.
  swprintf(expected, 32, L"ATL:%0*llX", static_cast<int>(2 * sizeof(void*)),
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&CUnnamed<1>::GetWndClassInfo())));
  EXPECT_EQ(ClassNameOf(a1), expected);
  EXPECT_NE(ClassNameOf(b), expected);
  const ATOM atom = CUnnamed<1>::GetWndClassInfo().atom;
  EXPECT_EQ(GetClassLongW(a1, GCW_ATOM), atom);
  EXPECT_EQ(GetClassLongW(a2, GCW_ATOM), atom);
  // A repeated registration answers from the record, not with "exists".
  EXPECT_EQ(CUnnamed<1>::GetWndClassInfo().Register(DefWindowProcW), atom);
  a1.DestroyWindow();
  a2.DestroyWindow();
  b.DestroyWindow();
}

TEST(WindowClass, DeclaredClassAndTermUnregistering) {
  CNamed named;
  CUnnamed<3> gone;
  ASSERT_NE(named.Create(HWND_MESSAGE), nullptr) << GetLastError();
  ASSERT_NE(gone.Create(HWND_MESSAGE), nullptr) << GetLastError();
  gone.DestroyWindow();
  EXPECT_EQ(ClassNameOf(named), L"PelorixWindowClassTest");
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  const HINSTANCE instance = AppModule().GetModuleInstance();
  ASSERT_TRUE(GetClassInfoExW(instance, L"PelorixWindowClassTest", &wc));
  EXPECT_EQ(wc.style, static_cast<UINT>(CS_DBLCLKS));
  EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));

  // A class with a live window stays, and keeps its atom.
  const ATOM kept = CNamed::GetWndClassInfo().atom;
  AppModule().Term();
  EXPECT_EQ(CNamed::GetWndClassInfo().atom, kept);
  EXPECT_EQ(CUnnamed<3>::GetWndClassInfo().atom, 0);
  EXPECT_FALSE(GetClassInfoExW(instance, CUnnamed<3>::GetWndClassInfo().ClassName(), &wc));
  ASSERT_NE(gone.Create(HWND_MESSAGE), nullptr) << GetLastError();  // registers again
  gone.DestroyWindow();
  named.DestroyWindow();
}

}  // namespace

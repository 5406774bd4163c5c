#include "package/item_path.h"

#include <windows.h>

#include <cwctype>
#include <vector>

namespace package {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) ==
         CSTR_EQUAL;
}

// Windows resolves "CON", "con.txt" and "CON .log" alike to the device.
bool IsDeviceName(const std::wstring& component) {
  std::wstring stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$",
                                            L"CONOUT$", L"CLOCK$"};
  for (const wchar_t* device : kDevices) {
    if (EqualsNoCase(stem, device)) return true;
  }
  if (stem.size() == 4) {
    std::wstring prefix = stem.substr(0, 3);
    wchar_t digit = stem[3];
    // COM1-9, LPT1-9 and the superscript digits that Windows also maps.
    bool numbered = (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' ||
                    digit == L'\u00B2' || digit == L'\u00B3';
    if (numbered && (EqualsNoCase(prefix, L"COM") || EqualsNoCase(prefix, L"LPT"))) return true;
  }
  return false;
}

bool IsSafeComponent(const std::wstring& component) {
  if (component.empty()) return false;
  // Win32 strips trailing dots and spaces, so "..", "... " and "a." would not
  // name what they seem to.
  if (component.back() == L'.' || component.back() == L' ') return false;
  for (wchar_t c : component) {
    if (c < 0x20 || c == L':' || c == L'<' || c == L'>' || c == L'"' || c == L'|' ||
        c == L'?' || c == L'*')
      return false;
  }
  return !IsDeviceName(component);
}

}  // namespace

bool IsSafeItemPath(const std::wstring& item) {
  if (item.empty() || item.size() >= MAX_PATH) return false;
  if (IsSeparator(item.front())) return false;  // rooted, UNC or "\\?\"
  size_t start = 0;
  while (start <= item.size()) {
    size_t end = start;
    while (end < item.size() && !IsSeparator(item[end])) ++end;
    if (!IsSafeComponent(item.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

bool IsPathInside(const std::wstring& destination, const std::wstring& full) {
  auto normalise = [](const std::wstring& path, std::wstring* out) {
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return false;
    std::vector<wchar_t> buffer(size + 1);
    DWORD len = GetFullPathNameW(path.c_str(), size + 1, buffer.data(), nullptr);
    if (len == 0 || len > size) return false;
    out->assign(buffer.data(), len);
    return true;
  };
  std::wstring dest, target;
  if (!normalise(destination, &dest) || !normalise(full, &target)) return false;
  if (dest.empty() || dest.back() != L'\\') dest += L'\\';
  if (target.size() <= dest.size()) return false;
  return CompareStringOrdinal(target.c_str(), static_cast<int>(dest.size()), dest.c_str(),
                              static_cast<int>(dest.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace package

#include "tests/bench/bench_util.h"

#include <algorithm>
#include <cstring>

namespace bench {

double NowMs() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return 1000.0 * double(c.QuadPart) / double(f.QuadPart);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool ReadRecord(const std::wstring& path, package::PayloadRecord* record) {
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(215), L"SETUPDATA");
  bool ok = res && SizeofResource(module, res) == sizeof(*record);
  if (ok) std::memcpy(record, LockResource(LoadResource(module, res)), sizeof(*record));
  FreeLibrary(module);
  return ok;
}

}  // namespace bench

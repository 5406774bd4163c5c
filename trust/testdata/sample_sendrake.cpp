// A stand-in for the product's Sendrake.dll: a few fixed answers for the
// product "pelorix" in the library's calling form. Built once with every
// entry and once (SAMPLE_SENDRAKE_NO_VERSION) without "get_product_info_ver".
#include <windows.h>

#include <cstdlib>
#include <cstring>

#define SAMPLE_EXPORT extern "C" __declspec(dllexport)

namespace {

constexpr char kProduct[] = "pelorix";
LONG g_outstanding = 0;

char* Give(const char* text) {
  const size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  std::memcpy(copy, text, n);
  InterlockedIncrement(&g_outstanding);
  return copy;
}

// Answers only for the product this library describes.
char* ForProduct(const char* product_id, const char* text) {
  return product_id && std::strcmp(product_id, kProduct) == 0 ? Give(text) : nullptr;
}

}  // namespace

SAMPLE_EXPORT void free_str(char* text) {
  if (!text) return;
  InterlockedDecrement(&g_outstanding);
  std::free(text);
}

// Texts handed out and not yet returned; the tests check nothing leaks.
SAMPLE_EXPORT LONG sample_outstanding() { return g_outstanding; }

SAMPLE_EXPORT char* get_prduct_id(const char*) { return Give(kProduct); }
SAMPLE_EXPORT char* get_installed_prduct_id_list(const char*) { return Give("[\"pelorix\"]"); }
#ifndef SAMPLE_SENDRAKE_NO_VERSION
SAMPLE_EXPORT char* get_product_info_ver(const char*) { return Give("2026.07"); }
#endif
SAMPLE_EXPORT char* get_install_dir(const char* id) { return ForProduct(id, "C:\\Program Files\\Pelorix"); }
SAMPLE_EXPORT char* get_default_stat_url(const char* id) { return ForProduct(id, "http://127.0.0.1:18233/pc_all"); }
SAMPLE_EXPORT char* get_short_name(const char* id) { return ForProduct(id, "\xE7\xBD\x97\xE7\x9B\x98"); }
SAMPLE_EXPORT char* get_drive_name(const char*) { return nullptr; }
SAMPLE_EXPORT char* get_general_value(const char* name, const char* id) {
  if (name && std::strcmp(name, "update_sign_url") == 0) return ForProduct(id, "http://127.0.0.1:18234/sign.dat");
  return nullptr;
}

#include "setup/module_imports.h"

#include <winternl.h>

namespace {

template <class T>
T* At(const void* base, DWORD rva) {
  // Import slots are written through these pointers, hence the const_cast.
  return reinterpret_cast<T*>(const_cast<BYTE*>(reinterpret_cast<const BYTE*>(base)) + rva);
}

// The headers of this image's own width: it only ever reads itself and the
// system libraries of its own process.
const IMAGE_NT_HEADERS* NtHeaders(const void* base) {
  auto* dos = static_cast<const IMAGE_DOS_HEADER*>(base);
  return At<const IMAGE_NT_HEADERS>(base, static_cast<DWORD>(dos->e_lfanew));
}

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
    char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

bool Equals(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

// Finds an already loaded module by base name ("kernel32.dll") through the
// loader's list; no function of any library is needed for that.
const void* FindLoadedModule(const char* name) {
#if defined(__x86_64__)
  // The TEB's PEB field, read the way NtCurrentTeb does; GCC 12 takes the
  // header's gs-relative read for an out-of-bounds array access.
  PEB* peb;
  asm("movq %%gs:0x60, %0" : "=r"(peb));
#else
  auto* peb = reinterpret_cast<PEB*>(NtCurrentTeb()->ProcessEnvironmentBlock);
#endif
  LIST_ENTRY* head = &peb->Ldr->InMemoryOrderModuleList;
  for (LIST_ENTRY* link = head->Flink; link != head; link = link->Flink) {
    auto* entry = CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
    const UNICODE_STRING& full = entry->FullDllName;
    const int chars = full.Length / 2;
    int start = chars;
    while (start > 0 && full.Buffer[start - 1] != L'\\' && full.Buffer[start - 1] != L'/') --start;
    char base_name[64];
    int n = 0;
    for (int i = start; i < chars && n < 63; ++i) base_name[n++] = static_cast<char>(full.Buffer[i]);
    base_name[n] = '\0';
    if (EqualsNoCase(base_name, name)) return entry->DllBase;
  }
  return nullptr;
}

// Looks an export up by name, following a forwarder to another loaded module.
FARPROC FindExport(const void* module, const char* name, int depth = 0) {
  if (!module || depth > 4) return nullptr;
  const IMAGE_DATA_DIRECTORY& dir =
      NtHeaders(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (!dir.VirtualAddress) return nullptr;
  auto* exports = At<const IMAGE_EXPORT_DIRECTORY>(module, dir.VirtualAddress);
  auto* names = At<const DWORD>(module, exports->AddressOfNames);
  auto* ordinals = At<const WORD>(module, exports->AddressOfNameOrdinals);
  auto* functions = At<const DWORD>(module, exports->AddressOfFunctions);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    if (!Equals(At<const char>(module, names[i]), name)) continue;
    const DWORD rva = functions[ordinals[i]];
    if (rva < dir.VirtualAddress || rva >= dir.VirtualAddress + dir.Size) {
      return reinterpret_cast<FARPROC>(At<BYTE>(module, rva));
    }
    // "OTHERDLL.Function": split at the dot.
    const char* forward = At<const char>(module, rva);
    char dll[64];
    int n = 0;
    while (forward[n] && forward[n] != '.' && n < 58) {
      dll[n] = forward[n];
      ++n;
    }
    if (forward[n] != '.') return nullptr;
    const char* function = forward + n + 1;
    dll[n] = '\0';
    const char suffix[] = ".dll";
    for (int k = 0; k < 5; ++k) dll[n + k] = suffix[k];
    return FindExport(FindLoadedModule(dll), function, depth + 1);
  }
  return nullptr;
}

}  // namespace

bool ImageRunsWhereLinked() {
  uintptr_t runtime = 0, linked = 0;
  // The real address of a label against the same label as an absolute
  // constant, which only a relocated image has adjusted. x86 has no
  // instruction-relative addressing: "call" pushes the real address.
#if defined(__x86_64__)
  asm volatile("lea 1f(%%rip), %0\n1: movabs $1b, %1" : "=r"(runtime), "=r"(linked));
#else
  asm volatile("call 1f\n1: pop %0\n\tmovl $1b, %1" : "=r"(runtime), "=r"(linked));
#endif
  return runtime == linked;
}

bool BindUnresolvedImports(HMODULE module) {
  const IMAGE_DATA_DIRECTORY& dir =
      NtHeaders(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!dir.VirtualAddress) return true;
  auto* first = At<const IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress);

  // Bound already (the usual case on Windows)? Then touch nothing.
  bool unbound = false;
  for (auto* d = first; d->Name; ++d) {
    if (!d->OriginalFirstThunk) continue;
    if (At<IMAGE_THUNK_DATA>(module, d->FirstThunk)->u1.AddressOfData ==
        At<IMAGE_THUNK_DATA>(module, d->OriginalFirstThunk)->u1.AddressOfData) {
      unbound = true;
    }
  }
  if (!unbound) return true;

  const void* kernel32 = FindLoadedModule("kernel32.dll");
  using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
  using LoadLibraryFn = HMODULE(WINAPI*)(LPCSTR);
  using VirtualProtectFn = BOOL(WINAPI*)(LPVOID, SIZE_T, DWORD, PDWORD);
  auto get_proc = reinterpret_cast<GetProcAddressFn>(FindExport(kernel32, "GetProcAddress"));
  if (!get_proc) return false;
  HMODULE k32 = reinterpret_cast<HMODULE>(const_cast<void*>(kernel32));
  auto load_library = reinterpret_cast<LoadLibraryFn>(get_proc(k32, "LoadLibraryA"));
  auto protect = reinterpret_cast<VirtualProtectFn>(get_proc(k32, "VirtualProtect"));
  if (!load_library || !protect) return false;

  for (auto* d = first; d->Name; ++d) {
    // Every library the executable imports is one Windows takes from System32.
    HMODULE library = load_library(At<const char>(module, d->Name));
    if (!library) return false;
    auto* names = At<IMAGE_THUNK_DATA>(module, d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk);
    auto* slots = At<IMAGE_THUNK_DATA>(module, d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (d->OriginalFirstThunk && slots->u1.Function != names->u1.AddressOfData) continue;
      FARPROC proc;
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
        proc = get_proc(library, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(IMAGE_ORDINAL(names->u1.Ordinal))));
      } else {
        proc = get_proc(library, At<IMAGE_IMPORT_BY_NAME>(module, names->u1.AddressOfData)->Name);
      }
      if (!proc) return false;
      DWORD old = 0;
      // A slot is as wide as a pointer.
      if (!protect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old)) return false;
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(proc);
      protect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
    }
  }
  return true;
}

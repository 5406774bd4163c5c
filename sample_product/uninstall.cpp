#include "sample_product/uninstall.h"

#include <cwchar>

#include "base/registry.h"
#include "engine/autorun.h"
#include "engine/delayed_move.h"
#include "engine/pending_renames.h"
#include "engine/process_image.h"
#include "engine/product_registration.h"
#include "engine/product_shutdown.h"
#include "engine/shortcuts.h"
#include "package/temp_workspace.h"

namespace sample {
namespace {

// How long ended processes get to be gone before their files are removed.
constexpr DWORD kProcessExitWaitMs = 5000;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// A name that can only mean an entry directly in the install root.
bool IsPlainName(const std::wstring& name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  // Windows drops trailing dots and blanks: "Nexhub." would be "Nexhub".
  if (name.back() == L'.' || name.back() == L' ') return false;
  for (wchar_t c : name) {
    if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c)) return false;
  }
  return true;
}

// The text of an attribute value as quoteattr writes it.
bool Unescape(const std::wstring& raw, std::wstring* out) {
  out->clear();
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != L'&') {
      out->push_back(raw[i]);
      continue;
    }
    const size_t end = raw.find(L';', i);
    if (end == std::wstring::npos) return false;
    const std::wstring entity = raw.substr(i + 1, end - i - 1);
    static const struct {
      const wchar_t* name;
      wchar_t c;
    } kNamed[] = {{L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''}};
    bool known = false;
    for (const auto& named : kNamed) {
      if (entity == named.name) {
        out->push_back(named.c);
        known = true;
      }
    }
    if (!known) {
      if (entity.size() < 2 || entity[0] != L'#') return false;
      const bool hex = entity[1] == L'x';
      wchar_t* stop = nullptr;
      const unsigned long code = wcstoul(entity.c_str() + (hex ? 2 : 1), &stop, hex ? 16 : 10);
      if (*stop || code == 0 || code > 0xFFFF) return false;  // names of the BMP only, as the lists hold
      out->push_back(static_cast<wchar_t>(code));
    }
    i = end;
  }
  return true;
}

// The Name of every <Item> between <tag> and </tag>.
bool ParseSection(const std::wstring& xml, const std::wstring& tag, std::vector<std::wstring>* names) {
  const std::wstring open = L"<" + tag + L">";
  const size_t begin = xml.find(open);
  if (begin == std::wstring::npos) return false;
  const size_t end = xml.find(L"</" + tag + L">", begin);
  if (end == std::wstring::npos) return false;
  const std::wstring body = xml.substr(begin + open.size(), end - begin - open.size());
  for (size_t pos = body.find(L"<Item"); pos != std::wstring::npos; pos = body.find(L"<Item", pos)) {
    const size_t attr = body.find(L"Name=", pos);
    if (attr == std::wstring::npos || attr + 5 >= body.size() || body.find(L'>', pos) < attr) return false;
    const wchar_t quote = body[attr + 5];
    if (quote != L'"' && quote != L'\'') return false;
    const size_t close = body.find(quote, attr + 6);
    if (close == std::wstring::npos) return false;
    std::wstring name;
    if (!Unescape(body.substr(attr + 6, close - attr - 6), &name) || !IsPlainName(name)) return false;
    names->push_back(name);
    pos = close;
  }
  return true;
}

bool SamePath(std::wstring a, std::wstring b) {
  while (!a.empty() && a.back() == L'\\') a.pop_back();
  while (!b.empty() && b.back() == L'\\') b.pop_back();
  return engine::UpperCase(a) == engine::UpperCase(b);
}

bool Exists(const std::wstring& path, DWORD* attrs) {
  *attrs = GetFileAttributesW(path.c_str());
  return *attrs != INVALID_FILE_ATTRIBUTES;
}

// Removes one root entry of the list. A directory entry goes with its tree (a
// link in its place as a link); a file entry only when it is a file (or a
// link to one, removed as a link): a folder of the user's that happens to bear
// a listed file name is not the product's. False when something is left for
// the restart.
bool RemoveRootEntry(const std::wstring& path, bool is_dir) {
  DWORD attrs = 0;
  if (!Exists(path, &attrs)) return true;
  if (is_dir) {
    return package::DeleteTreeOrSchedule(path);
  }
  if ((attrs & FILE_ATTRIBUTE_DIRECTORY) && !package::IsLinkAttributes(attrs)) return true;
  if ((attrs & FILE_ATTRIBUTE_DIRECTORY)) return package::DeleteTree(path);
  return package::DeleteOrSchedule(path);
}

// TerminateProcess returns before the process is gone and has let go of its
// files: waits up to `timeout_ms` until no process (but this one and its
// parent, which the shutdown spares) runs a program from `dir`.
void WaitForProcessesUnder(const std::wstring& dir, DWORD timeout_ms) {
  const DWORD self = GetCurrentProcessId();
  const DWORD parent = engine::ParentProcessId();
  const DWORD start = GetTickCount();
  for (;;) {
    bool running = false;
    for (DWORD pid : engine::RunningProcessIds()) {
      if (pid == 0 || pid == self || pid == parent) continue;
      if (engine::IsInDirectory(engine::ProcessImagePath(pid), dir)) running = true;
    }
    if (!running || GetTickCount() - start >= timeout_ms) return;
    Sleep(50);
  }
}

}  // namespace

bool IsInstallDir(const std::wstring& dir) {
  if (GetFileAttributesW(engine::MainProgramPath(dir).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  std::wstring setup_path;
  return base::RegReadString(HKEY_LOCAL_MACHINE, engine::kProductKey, L"Setup Path", &setup_path, 0,
                             KEY_WOW64_32KEY) &&
         SamePath(setup_path, dir);
}

bool ParseRootList(const std::wstring& xml, RootList* list) {
  RootList parsed;
  if (xml.find(L"<RootDirFiles>") == std::wstring::npos || !ParseSection(xml, L"Dir", &parsed.dirs) ||
      !ParseSection(xml, L"File", &parsed.files)) {
    return false;
  }
  *list = std::move(parsed);
  return true;
}

bool LoadRootList(HMODULE module, RootList* list) {
  HRSRC found = FindResourceW(module, kRootListResource, reinterpret_cast<LPCWSTR>(RT_RCDATA));
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const DWORD size = SizeofResource(module, found);
  const auto* text = static_cast<const wchar_t*>(loaded ? LockResource(loaded) : nullptr);
  if (!text || size < sizeof(wchar_t) || text[0] != 0xFEFF) return false;
  return ParseRootList(std::wstring(text + 1, size / sizeof(wchar_t) - 1), list);
}

std::wstring ArgumentsAfterProgram(const std::wstring& command_line, const std::wstring& program_path) {
  size_t pos = 0;
  while (pos < command_line.size() && IsBlank(command_line[pos])) ++pos;
  const bool quoted = pos < command_line.size() && command_line[pos] == L'"';
  const size_t start = pos + (quoted ? 1 : 0);
  const size_t length = program_path.size();
  size_t after = std::wstring::npos;
  if (!program_path.empty() && command_line.size() >= start + length &&
      SamePath(command_line.substr(start, length), program_path)) {
    const size_t next = start + length;
    if (quoted && next < command_line.size() && command_line[next] == L'"') {
      after = next + 1;
    } else if (!quoted && (next == command_line.size() || IsBlank(command_line[next]))) {
      after = next;
    }
  }
  if (after == std::wstring::npos) {
    // Not our path as we know it (a short name, say): the first token.
    after = quoted ? command_line.find(L'"', start) : command_line.find_first_of(L" \t", start);
    if (after == std::wstring::npos) return std::wstring();
    if (quoted) ++after;
  }
  while (after < command_line.size() && IsBlank(command_line[after])) ++after;
  return command_line.substr(after);
}

bool RegisteredHere(const std::wstring& install_dir) {
  std::wstring setup_path;
  if (!base::RegReadString(HKEY_LOCAL_MACHINE, engine::kProductKey, L"Setup Path", &setup_path, 0,
                           KEY_WOW64_32KEY)) {
    return true;
  }
  return SamePath(setup_path, install_dir);
}

UninstallOutcome Uninstall(const std::wstring& install_dir, const std::wstring& self, const RootList& list) {
  UninstallOutcome outcome;
  // As the setup does before it places files: the broadcast, WM_CLOSE, then
  // the processes running from the directory. This process is spared.
  engine::CloseRunningProduct(engine::WindowClassesToClose(false), install_dir);
  WaitForProcessesUnder(install_dir, kProcessExitWaitMs);
  // A replacement an interrupted install left pending would bring files back
  // at the restart that finishes this uninstall.
  engine::PrunePendingRenames(install_dir);

  const std::wstring self_name = self.substr(self.find_last_of(L'\\') + 1);
  const auto remove = [&](const std::wstring& name, bool is_dir) {
    if (!is_dir && engine::UpperCase(name) == engine::UpperCase(self_name)) return;  // last, below
    if (RemoveRootEntry(engine::JoinPath(install_dir, name), is_dir)) {
      ++outcome.entries_removed;
    } else {
      ++outcome.entries_pending;
    }
  };
  for (const std::wstring& dir : list.dirs) remove(dir, true);
  for (const std::wstring& file : list.files) remove(file, false);

  // The registration last but for the uninstaller itself: until here, the
  // program list can still start an uninstall that was cut short.
  if (RegisteredHere(install_dir)) {
    engine::SetAutorun(false, install_dir.c_str());
    engine::ShortcutFolders folders;
    engine::SystemShortcutFolders(&folders);  // whichever folders are found
    engine::RemoveShortcuts(folders);
    base::RegRemoveTree(HKEY_LOCAL_MACHINE, engine::kUninstallKey, KEY_WOW64_32KEY);
    base::RegRemoveTree(HKEY_LOCAL_MACHINE, engine::kProductKey, KEY_WOW64_32KEY);
    outcome.registration_removed = true;
  }

  // A running program cannot delete itself on Windows: DeleteOrSchedule
  // tries, then leaves it to the restart (MoveFileEx with
  // MOVEFILE_DELAY_UNTIL_REBOOT). The folder follows it in the pending list,
  // so the restart removes the folder once it is empty; the session manager
  // leaves a folder that still holds something (a file of the user's) alone.
  package::DeleteOrSchedule(self);
  if (!RemoveDirectoryW(install_dir.c_str())) {
    DWORD attrs = 0;
    if (Exists(install_dir, &attrs)) engine::ScheduleMove(install_dir.c_str(), nullptr, engine::kMoveAtRestart);
  }
  return outcome;
}

}  // namespace sample

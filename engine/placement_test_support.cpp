#include "engine/placement_test_support.h"

#include <sddl.h>

#include <cwchar>

#include "package/temp_workspace.h"

namespace engine {
namespace testing_support {
namespace {

const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

base::ScopedRegKey OpenSessionManager(REGSAM access) {
  base::ScopedRegKey key;
  RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, access, key.Receive());
  return key;
}

std::wstring ProgramDirectory() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L'\\'));
}

}  // namespace

bool ReadPendingValue(std::vector<BYTE>* data, DWORD* type) {
  base::ScopedRegKey key = OpenSessionManager(KEY_QUERY_VALUE);
  if (!key) return false;
  DWORD size = 0;
  DWORD value_type = 0;
  if (RegQueryValueExW(key.Get(), kPendingValue, nullptr, &value_type, nullptr, &size) !=
      ERROR_SUCCESS)
    return false;
  data->assign(size, 0);
  if (RegQueryValueExW(key.Get(), kPendingValue, nullptr, &value_type, data->data(), &size) !=
      ERROR_SUCCESS)
    return false;
  data->resize(size);
  if (type) *type = value_type;
  return true;
}

bool WritePendingValue(const std::vector<BYTE>& data, DWORD type) {
  base::ScopedRegKey key = OpenSessionManager(KEY_SET_VALUE);
  return key && RegSetValueExW(key.Get(), kPendingValue, 0, type, data.data(),
                               static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool RemovePendingValue() {
  base::ScopedRegKey key = OpenSessionManager(KEY_SET_VALUE);
  if (!key) return false;
  LONG status = RegDeleteValueW(key.Get(), kPendingValue);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::vector<BYTE> MultiSz(std::initializer_list<std::wstring> strings) {
  std::wstring text;
  for (const std::wstring& s : strings) {
    text += s;
    text.push_back(L'\0');
  }
  text.push_back(L'\0');
  const BYTE* bytes = reinterpret_cast<const BYTE*>(text.data());
  return std::vector<BYTE>(bytes, bytes + text.size() * sizeof(wchar_t));
}

bool PendingHasPair(const std::wstring& source, const std::wstring& destination) {
  std::vector<BYTE> data;
  if (!ReadPendingValue(&data)) return false;
  const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
  size_t chars = data.size() / sizeof(wchar_t);
  std::vector<std::wstring> strings;
  for (size_t pos = 0; pos < chars;) {
    size_t end = pos;
    while (end < chars && text[end]) ++end;
    strings.emplace_back(text + pos, end - pos);
    pos = end + 1;
  }
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (strings[i].empty()) break;
    if (_wcsicmp(strings[i].c_str(), source.c_str()) == 0 &&
        _wcsicmp(strings[i + 1].c_str(), destination.c_str()) == 0)
      return true;
  }
  return false;
}

ScopedPendingValue::ScopedPendingValue() : present_(ReadPendingValue(&data_, &type_)) {
  RemovePendingValue();
}

ScopedPendingValue::~ScopedPendingValue() {
  if (present_) {
    WritePendingValue(data_, type_);
  } else {
    RemovePendingValue();
  }
}

ScopedTempDir::ScopedTempDir(const std::wstring& parent) {
  std::wstring dir;
  bool named = parent.empty() ? package::NewTempPath(&dir)
                              : package::NewTempPathIn(parent, nullptr, &dir);
  if (named && package::CreateDirectories(dir, nullptr)) path_ = dir;
}

ScopedTempDir::~ScopedTempDir() {
  if (!path_.empty()) package::DeleteTree(path_);
}

bool WriteText(const std::wstring& path, const std::string& text) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD done = 0;
  return file &&
         WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
         done == text.size();
}

std::string ReadText(const std::wstring& path) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return "<missing>";
  std::string text;
  char buffer[4096];
  DWORD done = 0;
  while (ReadFile(file.Get(), buffer, sizeof(buffer), &done, nullptr) && done > 0)
    text.append(buffer, done);
  return text;
}

std::vector<std::wstring> FindNames(const std::wstring& dir, const wchar_t* pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\" + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.push_back(data.cFileName);
  while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

CHeldFile::CHeldFile(const std::wstring& path, const wchar_t* share) {
  std::wstring guid;
  if (!package::NewGuidText(&guid)) return;
  std::wstring ready_name = L"PlacementHolderReady" + guid;
  std::wstring release_name = L"PlacementHolderRelease" + guid;
  ready_.Reset(CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
  release_.Reset(CreateEventW(nullptr, TRUE, FALSE, release_name.c_str()));
  if (!ready_ || !release_) return;

  std::wstring program = ProgramDirectory() + L"\\file_holder.exe";
  std::wstring command = L"\"" + program + L"\" \"" + path + L"\" " + share + L" " + ready_name +
                         L" " + release_name;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return;
  CloseHandle(info.hThread);
  process_.Reset(info.hProcess);
  // The holder either reports the file open or ends without it.
  HANDLE waits[2] = {ready_.Get(), process_.Get()};
  held_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
}

CHeldFile::~CHeldFile() { Release(); }

void CHeldFile::Release() {
  if (release_) SetEvent(release_.Get());
  if (process_) WaitForSingleObject(process_.Get(), 30000);
  process_.Reset();
  held_ = false;
}

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"<invalid>";
  std::wstring result = text;
  LocalFree(text);
  return result;
}

BOOL CRecordingFileSecurity::ResetToInherited(const wchar_t* path) {
  resets.emplace_back(path, ReadText(path));
  if (fail) SetLastError(ERROR_ACCESS_DENIED);
  return fail ? FALSE : TRUE;
}

BOOL CRecordingFileSecurity::CreateProtectedDirectory(const wchar_t* path) {
  protected_dirs.push_back(path);
  if (fail) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return CreateDirectoryW(path, nullptr);
}

bool CRecordingFileSecurity::WasReset(const std::wstring& path, const std::string& content) const {
  for (const auto& reset : resets) {
    if (CompareStringOrdinal(reset.first.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL &&
        reset.second == content)
      return true;
  }
  return false;
}

std::vector<BYTE> SddlDescriptor(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ULONG size = 0;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, &size)) return {};
  std::vector<BYTE> bytes(static_cast<BYTE*>(sd), static_cast<BYTE*>(sd) + size);
  LocalFree(sd);
  return bytes;
}

std::wstring DaclSddl(const std::vector<BYTE>& descriptor) {
  if (descriptor.empty()) return L"<none>";
  std::vector<BYTE> copy = descriptor;
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(copy.data(), SDDL_REVISION_1,
                                                            DACL_SECURITY_INFORMATION, &text, nullptr))
    return L"<invalid>";
  std::wstring result = text;
  LocalFree(text);
  return result;
}

}  // namespace testing_support
}  // namespace engine

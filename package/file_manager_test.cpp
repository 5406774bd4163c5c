#include "package/file_manager.h"

#include <aclapi.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "base/md5.h"
#include "base/scoped_handle.h"
#include "package/link_test_util.h"
#include "package/pending_test_util.h"
#include "package/sevenzip_library.h"
#include "package/stored_access_test_util.h"
#include "package/temp_workspace.h"

namespace {

using package::CFileManager;
using package::PayloadRecord;

std::wstring ExeDir() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::vector<uint8_t> ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> TestArchive(const wchar_t* name) {
  return ReadAll(ExeDir() + L"package_testdata\\" + name);
}

// Builds a file laid out like the setup: `prefix` bytes of image, then the
// scrambled payload; returns the record that describes it.
struct FakePackage {
  std::wstring path;
  PayloadRecord record = {};
  std::vector<uint8_t> bytes;

  FakePackage(const std::vector<uint8_t>& plain, uint32_t prefix) {
    bytes.assign(prefix, 0x4D);
    std::vector<uint8_t> stored(plain);
    // Byte 0 is the key and stays as it is; the rest is XORed with it.
    for (size_t i = 1; i < stored.size(); ++i) stored[i] ^= stored[0];
    bytes.insert(bytes.end(), stored.begin(), stored.end());
    record.offset = prefix;
    record.length = static_cast<uint32_t>(stored.size());
    base::Md5 md5;
    md5.Update(stored.data(), stored.size());
    md5.Final(record.digest);
    package::NewTempPath(&path);
    Write();
  }
  ~FakePackage() { DeleteFileW(path.c_str()); }
  void Write() {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
};

struct Drained {
  std::vector<std::wstring> names;
  std::vector<int> indexes;
  int total = -1;
};

Drained DrainAll(CFileManager* m) {
  Drained d;
  wchar_t name[1024];
  int index = -1, total = -1, more = 0;
  for (int guard = 0; guard < 100000; ++guard) {
    if (!m->GetNextFile(name, 1024, &index, &total, &more)) break;
    if (!more) continue;
    d.names.push_back(name);
    d.indexes.push_back(index);
    d.total = total;
  }
  return d;
}

class FileManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(package::Load7zLibrary((ExeDir() + L"7z.dll").c_str()));
    ASSERT_TRUE(package::NewTempPath(&base_));
    ASSERT_TRUE(CreateDirectoryW(base_.c_str(), nullptr));
  }
  void TearDown() override { package::DeleteTree(base_); }
  CFileManager* NewManager() {
    CFileManager* m = package::CreateFileManager();
    m->SetStagingBaseForTesting(base_);
    m->SetSilent(true);
    return m;
  }
  std::wstring base_;
};

TEST_F(FileManagerTest, RecordChecks) {
  FakePackage pkg(TestArchive(L"normal.7z"), 4096);
  struct Case {
    const char* what;
    uint32_t offset, length;
    DWORD size;
    bool ok;
  } cases[] = {
      {"valid", pkg.record.offset, pkg.record.length, 24, true},
      {"23 bytes", pkg.record.offset, pkg.record.length, 23, false},
      {"25 bytes", pkg.record.offset, pkg.record.length, 25, false},
      {"unfilled offset", 0xCCCCCCCC, pkg.record.length, 24, false},
      {"unfilled length", pkg.record.offset, 0xCCCCCCCC, 24, false},
      {"past the end", pkg.record.offset, pkg.record.length + 1, 24, false},
      {"wraps around 32 bits", 0xFFFFFF00u, 0x200, 24, false},
      {"empty payload", pkg.record.offset, 0, 24, false},
  };
  for (const Case& c : cases) {
    uint8_t raw[25] = {};
    PayloadRecord r = pkg.record;
    r.offset = c.offset;
    r.length = c.length;
    memcpy(raw, &r, sizeof(r));
    CFileManager* m = NewManager();
    EXPECT_EQ(m->InitFromRecord(raw, c.size, pkg.path), c.ok) << c.what;
    m->Release();
  }
}

TEST_F(FileManagerTest, TruncatedExecutableFailsInit) {
  FakePackage pkg(TestArchive(L"normal.7z"), 4096);
  pkg.bytes.resize(pkg.bytes.size() - 100);
  pkg.Write();
  CFileManager* m = NewManager();
  EXPECT_FALSE(m->InitFromRecord(&pkg.record, 24, pkg.path));
  m->Release();
}

TEST_F(FileManagerTest, StagesEveryFileInOrderAndCleansUp) {
  // 12345 is not a multiple of the allocation granularity.
  FakePackage pkg(TestArchive(L"normal.7z"), 12345);
  CFileManager* m = NewManager();
  ASSERT_TRUE(m->InitFromRecord(&pkg.record, 24, pkg.path));
  ASSERT_TRUE(m->Start());
  wchar_t dir[1024];
  ASSERT_TRUE(m->GetTempDir(dir, 1024));
  const std::wstring staging = dir;
  EXPECT_EQ(staging.rfind(base_ + L"\\{", 0), 0u) << staging;
  EXPECT_EQ(staging.substr(staging.size() - 4), L".tmp");
  wchar_t small[4];
  EXPECT_FALSE(m->GetTempDir(small, 4));
  EXPECT_EQ(small[0], L'\0');

  Drained d = DrainAll(m);
  const std::set<std::wstring> expected = {L"readme.txt", L"empty.txt", L"dir1\\dir2\\deep.txt",
                                           L"中文目录\\中文文件.txt", L"readonly.txt", L"big.txt"};
  EXPECT_EQ(std::set<std::wstring>(d.names.begin(), d.names.end()), expected);
  EXPECT_EQ(d.names.size(), expected.size());  // directories never reach the queue
  for (size_t i = 0; i < d.indexes.size(); ++i) EXPECT_EQ(d.indexes[i], static_cast<int>(i));
  EXPECT_GE(d.total, static_cast<int>(expected.size()));
  EXPECT_EQ(m->GetResult(), 1);
  m->Stop(true);
  EXPECT_EQ(m->worker_code(), 1);
  for (const std::wstring& name : d.names) {
    EXPECT_NE(GetFileAttributesW((staging + L"\\" + name).c_str()), INVALID_FILE_ATTRIBUTES);
  }
  // After the end every call says so.
  int more = 0;
  EXPECT_FALSE(m->GetNextFile(dir, 1024, nullptr, nullptr, &more));
  m->Release();
  EXPECT_EQ(GetFileAttributesW(staging.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileManagerTest, AlignedOffsetWorksToo) {
  FakePackage pkg(TestArchive(L"normal.7z"), 65536);
  CFileManager* m = NewManager();
  ASSERT_TRUE(m->InitFromRecord(&pkg.record, 24, pkg.path));
  ASSERT_TRUE(m->Start());
  EXPECT_EQ(DrainAll(m).names.size(), 6u);
  EXPECT_EQ(m->GetResult(), 1);
  m->Release();
}

TEST_F(FileManagerTest, BadPayloadsEndWithoutFilesAndWithoutHanging) {
  struct Case {
    const char* what;
    std::vector<uint8_t> plain;
    bool alter_after_digest;
    int worker_code;
  } cases[] = {
      {"one altered byte", TestArchive(L"normal.7z"), true, -10002},
      {"not a 7z", TestArchive(L"not_an_archive.7z"), false, -10000},
      {"encrypted", TestArchive(L"encrypted.7z"), false, -10000},
      {"item outside the destination", TestArchive(L"unsafe_dotdot.7z"), false, -10000},
  };
  for (Case& c : cases) {
    ASSERT_FALSE(c.plain.empty()) << c.what;
    FakePackage pkg(c.plain, 8192);
    if (c.alter_after_digest) {
      pkg.bytes[8192 + pkg.record.length / 2] ^= 0x01;
      pkg.Write();
    }
    CFileManager* m = NewManager();
    ASSERT_TRUE(m->InitFromRecord(&pkg.record, 24, pkg.path)) << c.what;
    // The digest is checked before Start returns; what only extraction finds
    // comes later.
    ASSERT_EQ(m->Start(), !c.alter_after_digest) << c.what;
    Drained d = DrainAll(m);
    EXPECT_TRUE(d.names.empty()) << c.what;
    EXPECT_EQ(m->GetResult(), 0) << c.what;
    m->Stop(true);
    EXPECT_EQ(m->worker_code(), c.worker_code) << c.what;
    m->Release();
  }
  // Nothing was written next to the staging directories either.
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((base_ + L"\\*").c_str(), &fd);
  int entries = 0;
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..")) ++entries;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  EXPECT_EQ(entries, 0);
}

TEST_F(FileManagerTest, NameThatDoesNotFitIsConsumedAndMoreIsRequired) {
  FakePackage pkg(TestArchive(L"normal.7z"), 512);
  CFileManager* m = NewManager();
  ASSERT_TRUE(m->InitFromRecord(&pkg.record, 24, pkg.path));
  ASSERT_TRUE(m->Start());
  wchar_t name[4];
  int index = -1, total = 0;
  EXPECT_FALSE(m->GetNextFile(name, 4, &index, &total, nullptr));
  int more = 0;
  // Wait for a real name; the first one that arrives is too long for 4.
  bool got = false;
  while (!got) {
    bool r = m->GetNextFile(name, 4, &index, &total, &more);
    if (more) {
      EXPECT_FALSE(r);
      EXPECT_EQ(index, 0);
      got = true;
    }
    ASSERT_TRUE(r || more) << "ended before any name";
  }
  EXPECT_EQ(DrainAll(m).names.size(), 5u);
  m->Release();
}

// Wine 8 keeps no access list on files or directories: it reads back one made
// from the Unix mode it derived from the list given. So the descriptor the
// directory is created with is checked itself, and what the file system reads
// back is checked as far as Wine keeps it.
TEST(StagingSecurity, AdministratorsAndSystemOnlyNothingInherited) {
  PSECURITY_DESCRIPTOR sd = package::NewStagingSecurityDescriptor();
  ASSERT_NE(sd, nullptr);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(sd, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_NE(dacl, nullptr);  // a null DACL would grant everyone everything
  ASSERT_EQ(dacl->AceCount, 2);
  BYTE admins[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
  DWORD a = sizeof(admins), s = sizeof(system);
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &a));
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &s));
  bool saw_admins = false, saw_system = false;
  for (WORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask & FILE_ALL_ACCESS, static_cast<DWORD>(FILE_ALL_ACCESS));
    saw_admins = saw_admins || EqualSid(&ace->SidStart, admins);
    saw_system = saw_system || EqualSid(&ace->SidStart, system);
  }
  EXPECT_TRUE(saw_admins);
  EXPECT_TRUE(saw_system);
  LocalFree(sd);
}

TEST_F(FileManagerTest, StoredAccessOfStagingAndStagedFiles) {
  FakePackage pkg(TestArchive(L"normal.7z"), 512);
  CFileManager* m = NewManager();
  ASSERT_TRUE(m->InitFromRecord(&pkg.record, 24, pkg.path));
  ASSERT_TRUE(m->Start());
  wchar_t dir[1024];
  ASSERT_TRUE(m->GetTempDir(dir, 1024));
  EXPECT_FALSE(GrantsOthers(dir, ~0u)) << "staging directory";
  DrainAll(m);
  // Staged files take the directory's list by inheritance, which Wine does
  // not model; nobody else may change or replace them in any case.
  constexpr DWORD kChange = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | DELETE |
                            WRITE_DAC | WRITE_OWNER;
  EXPECT_FALSE(GrantsOthers(std::wstring(dir) + L"\\readme.txt", kChange)) << "staged file";
  m->Release();
}

int g_guid_calls = 0;

// {11111111-2222-3333-4444-5555555555NN}, NN counting the calls from 00.
HRESULT WINAPI CountingGuid(GUID* guid) {
  *guid = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, static_cast<BYTE>(g_guid_calls++)}};
  return S_OK;
}

TEST_F(FileManagerTest, PlantedDirectoryIsNeverAdopted) {
  const std::wstring planted = base_ + L"\\{11111111-2222-3333-4444-555555555500}.tmp";
  ASSERT_TRUE(CreateDirectoryW(planted.c_str(), nullptr));
  FakePackage pkg(TestArchive(L"normal.7z"), 512);
  CFileManager* m = NewManager();
  ASSERT_TRUE(m->InitFromRecord(&pkg.record, 24, pkg.path));
  // The first name the staging tries is the planted one.
  g_guid_calls = 0;
  auto previous = package::SetGuidGeneratorForTesting(&CountingGuid);
  const bool started = m->Start();
  package::SetGuidGeneratorForTesting(previous);
  ASSERT_TRUE(started);
  wchar_t dir[1024];
  ASSERT_TRUE(m->GetTempDir(dir, 1024));
  // Refused at its creation, and the next name taken instead.
  EXPECT_EQ(std::wstring(dir), base_ + L"\\{11111111-2222-3333-4444-555555555501}.tmp");
  DrainAll(m);
  m->Release();
  EXPECT_NE(GetFileAttributesW(planted.c_str()), INVALID_FILE_ATTRIBUTES);  // left untouched
}

TEST_F(FileManagerTest, DefaultStagingLivesInCommonApplicationData) {
  FakePackage pkg(TestArchive(L"normal.7z"), 512);
  CFileManager* m = package::CreateFileManager();
  m->SetSilent(true);
  ASSERT_TRUE(m->InitFromRecord(&pkg.record, 24, pkg.path));
  ASSERT_TRUE(m->Start());
  wchar_t dir[1024], common[MAX_PATH];
  ASSERT_TRUE(m->GetTempDir(dir, 1024));
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, common, CSIDL_COMMON_APPDATA, FALSE));
  EXPECT_EQ(std::wstring(dir).rfind(std::wstring(common) + L"\\{", 0), 0u) << dir;
  DrainAll(m);
  m->Release();
  EXPECT_EQ(GetFileAttributesW(dir), INVALID_FILE_ATTRIBUTES);
}

DWORD g_tamper_error = ERROR_SUCCESS;

// Overwrites the middle of the payload once its digest has been checked.
void TamperWithCheckedPayload(const std::wstring& path) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
  g_tamper_error = file ? ERROR_SUCCESS : GetLastError();
  if (!file) return;
  std::vector<char> zeros(4096, 0);
  DWORD written = 0;
  SetFilePointer(file.Get(), 8192, nullptr, FILE_BEGIN);
  WriteFile(file.Get(), zeros.data(), static_cast<DWORD>(zeros.size()), &written, nullptr);
}

TEST_F(FileManagerTest, PayloadChangedAfterItsCheckIsNotExtracted) {
  FakePackage pkg(TestArchive(L"normal.7z"), 4096);
  CFileManager* m = NewManager();
  ASSERT_TRUE(m->InitFromRecord(&pkg.record, 24, pkg.path));
  auto previous = package::SetPayloadCheckedHookForTesting(&TamperWithCheckedPayload);
  g_tamper_error = ERROR_SUCCESS;
  ASSERT_TRUE(m->Start());
  Drained d = DrainAll(m);
  m->Stop(true);
  package::SetPayloadCheckedHookForTesting(previous);
  EXPECT_EQ(g_tamper_error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(d.names.size(), 6u);
  EXPECT_EQ(m->GetResult(), 1);
  m->Release();
}

// Makes a directory as a run of the setup (`ours`) or someone else would,
// dated back before this process when `old`.
void MakeDirectory(const std::wstring& path, bool ours, bool old) {
  ASSERT_TRUE(ours ? package::CreateProtectedDirectory(path) : CreateDirectoryW(path.c_str(), nullptr));
  std::ofstream((path + L"\\payload.bin").c_str()) << "left over";
  if (!old) return;
  base::ScopedHandle dir(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  SYSTEMTIME when = {2020, 1, 0, 1, 0, 0, 0, 0};
  FILETIME time;
  ASSERT_TRUE(SystemTimeToFileTime(&when, &time));
  ASSERT_TRUE(SetFileTime(dir.Get(), &time, &time, &time));
}

TEST_F(FileManagerTest, StagingOfKilledRunsGoesEverythingElseStays) {
  pending_test::ScopedPendingRenames saved;
  struct Case {
    const char* what;
    const wchar_t* name;
    bool ours, old, removed;
    bool waits_for_restart = false;
  } cases[] = {
      {"left by a killed run", L"{0AB2C3D4-1111-2222-3333-444455556666}.tmp", true, true, true},
      {"lower-case digits too", L"{0ab2c3d4-1111-2222-3333-444455556667}.TMP", true, true, true},
      {"other name", L"{0AB2C3D4-1111-2222-3333-444455556668}.tmp.old", true, true, false},
      {"not a GUID", L"{0AB2C3D4-1111-2222-3333-44445555666X}.tmp", true, true, false},
      {"someone else's access list", L"{0AB2C3D4-1111-2222-3333-444455556669}.tmp", false, true, false},
      {"newer than this process", L"{0AB2C3D4-1111-2222-3333-44445555666A}.tmp", true, false, false},
      {"library never scheduled", L"{0AB2C3D4-1111-2222-3333-44445555666B}.lib", true, true, true},
      {"library waiting for the restart", L"{0AB2C3D4-1111-2222-3333-44445555666C}.lib", true, true, false, true},
  };
  for (const Case& c : cases) {
    MakeDirectory(base_ + L"\\" + c.name, c.ours, c.old);
    if (c.waits_for_restart) {
      ASSERT_TRUE(MoveFileExW((base_ + L"\\" + c.name).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    }
  }
  FakePackage pkg(TestArchive(L"normal.7z"), 512);
  CFileManager* m = NewManager();
  ASSERT_TRUE(m->InitFromRecord(&pkg.record, 24, pkg.path));
  ASSERT_TRUE(m->Start());
  for (const Case& c : cases) {
    EXPECT_EQ(GetFileAttributesW((base_ + L"\\" + c.name).c_str()) == INVALID_FILE_ATTRIBUTES, c.removed) << c.what;
  }
  EXPECT_EQ(DrainAll(m).names.size(), 6u);  // this run's own staging is untouched
  m->Release();
}

// Mounts are made on the Unix side (Wine runs as root, so access modes would
// not stop it); the tool gives no handle to wait on, so each step waits for
// its effect.
template <typename Done>
bool WaitFor(Done done) {
  for (int i = 0; i < 100; ++i, Sleep(100)) {
    if (done()) return true;
  }
  return false;
}

// A tmpfs of `bytes` with the mount `options` on the empty directory `dir`
// for the scope.
class ScopedTmpfs {
 public:
  ScopedTmpfs(const std::wstring& dir, const std::string& options, ULONGLONG bytes) : dir_(dir), bytes_(bytes) {
    mounted_ = link_test::RunUnixTool(("mount -t tmpfs -o " + options + " tmpfs").c_str(), {dir_}) &&
               WaitFor([&] { return Mounted(); });
  }
  ~ScopedTmpfs() {
    if (link_test::RunUnixTool("umount -l", {dir_})) WaitFor([&] { return !Mounted(); });
  }
  bool mounted() const { return mounted_; }

 private:
  bool Mounted() const {
    ULARGE_INTEGER caller, total, free_bytes;
    return GetDiskFreeSpaceExW((dir_ + L"\\").c_str(), &caller, &total, &free_bytes) && total.QuadPart == bytes_;
  }
  std::wstring dir_;
  ULONGLONG bytes_;
  bool mounted_ = false;
};

TEST_F(FileManagerTest, UnusableFirstChoiceGivesWayToFirstFixedDriveWithRoom) {
  // Folders on C: (a drive with room) that fail in three ways: not made
  // (read-only tmpfs, as a read-only medium), not made (below a file), made
  // but not written (a full tmpfs).
  const std::wstring read_only = base_ + L"\\read-only", full = base_ + L"\\full", file = base_ + L"\\file";
  ASSERT_TRUE(CreateDirectoryW(read_only.c_str(), nullptr) && CreateDirectoryW(full.c_str(), nullptr));
  std::ofstream(file.c_str()) << "not a directory";
  ScopedTmpfs read_only_mount(read_only, "ro,size=1m", 1 << 20), full_mount(full, "size=4k", 4096);
  ASSERT_TRUE(read_only_mount.mounted() && full_mount.mounted()) << "mounting needs Wine run as root";
  std::ofstream((full + L"\\filler").c_str()) << std::string(4096, 'x');
  const struct {
    const char* what;
    std::wstring base;
  } firsts[] = {{"read-only folder", read_only}, {"below a file", file + L"\\staging"}, {"full folder", full}};
  const struct {
    const char* what;
    std::vector<std::wstring> drives;
    bool staged;
  } fallbacks[] = {
      {"the machine's drives", {}, true},
      {"missing drive first", {L"Q:\\", L"C:\\"}, true},
      {"no fixed drive", {L"Q:\\"}, false},
  };
  FakePackage pkg(TestArchive(L"normal.7z"), 512);
  for (const auto& first : firsts) {
    for (const auto& fallback : fallbacks) {
      const std::string what = std::string(first.what) + ", " + fallback.what;
      CFileManager* m = NewManager();
      m->SetStagingBaseForTesting(first.base);
      m->SetFallbackDrivesForTesting(fallback.drives);
      ASSERT_TRUE(m->InitFromRecord(&pkg.record, 24, pkg.path)) << what;
      EXPECT_EQ(m->Start(), fallback.staged) << what;
      wchar_t dir[1024] = L"?";
      m->GetTempDir(dir, 1024);
      if (fallback.staged) {
        EXPECT_EQ(std::wstring(dir).rfind(L"C:\\{", 0), 0u) << what;
        EXPECT_EQ(DrainAll(m).names.size(), 6u) << what;
        EXPECT_EQ(m->GetResult(), 1) << what;
      } else {
        EXPECT_EQ(dir[0], L'\0') << what;
      }
      m->Release();
      EXPECT_EQ(GetFileAttributesW(dir), INVALID_FILE_ATTRIBUTES) << what;
    }
  }
}

TEST(PayloadScrambling, KeyByteStaysAndEveryLaneIsXored) {
  for (uint32_t length : {1u, 2u, 4u, 5u, 8u, 9u, 1027u}) {
    std::vector<uint8_t> plain(length);
    for (uint32_t i = 0; i < length; ++i) plain[i] = static_cast<uint8_t>(i * 31 + 7);
    const uint8_t key = plain[0];
    std::vector<uint8_t> stored(plain);
    for (uint32_t i = 1; i < length; ++i) stored[i] ^= key;
    std::vector<uint8_t> out(length, 0xEE);
    package::Unscramble(stored.data(), out.data(), length);
    EXPECT_EQ(out, plain) << length;
    package::Unscramble(stored.data(), stored.data(), length);  // in place
    EXPECT_EQ(stored, plain) << length;
  }
}

}  // namespace

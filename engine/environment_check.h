// The machine checks run before the wizard: free disk space, a writable and
// large-enough temporary directory, administrator rights.
//
// The result is one of the EnvironmentResult codes of engine/install_errors.h
// (0 = all passed, else the code of the first check that failed, 1-4).
#pragma once

#include <windows.h>

namespace engine {

// Some fixed drive must have strictly more than this many bytes free.
constexpr ULONGLONG kMinFreeDiskBytes = 150ULL * 1048576;
// The temporary directory's drive needs at least this many bytes free.
constexpr ULONGLONG kMinFreeTempBytes = 10ULL * 1048576;

// The questions the checks ask of the machine, each shaped like the Win32
// call it stands for, so that tests can describe drives and tokens Wine
// cannot produce. File system work (the write probe, temporary names) always
// happens for real, below the directory TempPath reports.
class IEnvironmentQueries {
 public:
  virtual ~IEnvironmentQueries() = default;
  // As GetLogicalDriveStringsW.
  virtual DWORD LogicalDriveStrings(DWORD length, wchar_t* buffer) = 0;
  // As GetDriveTypeW.
  virtual UINT DriveType(const wchar_t* root) = 0;
  // As GetDiskFreeSpaceExW.
  virtual BOOL DiskFreeSpace(const wchar_t* root, ULARGE_INTEGER* free_to_caller,
                             ULARGE_INTEGER* total, ULARGE_INTEGER* total_free) = 0;
  // As GetTempPathW.
  virtual DWORD TempPath(DWORD length, wchar_t* buffer) = 0;
  // As CheckTokenMembership.
  virtual BOOL TokenMembership(HANDLE token, PSID sid, BOOL* is_member) = 0;
};

// The real machine's answers.
class CSystemEnvironmentQueries : public IEnvironmentQueries {
 public:
  DWORD LogicalDriveStrings(DWORD length, wchar_t* buffer) override;
  UINT DriveType(const wchar_t* root) override;
  BOOL DiskFreeSpace(const wchar_t* root, ULARGE_INTEGER* free_to_caller, ULARGE_INTEGER* total,
                     ULARGE_INTEGER* total_free) override;
  DWORD TempPath(DWORD length, wchar_t* buffer) override;
  BOOL TokenMembership(HANDLE token, PSID sid, BOOL* is_member) override;
};

// Runs the checks in order against `queries`; the first failure decides.
int CheckEnvironment(IEnvironmentQueries* queries);

// Runs the checks against this machine and the calling thread's token.
int CheckEnvironment();

}  // namespace engine

// Times payload staging against the genuine 7z.exe extracting the same
// (unscrambled) archive, side by side, with peak memory. Prints figures; it
// is a benchmark, not a test.
//
//   bench_staging <package Install.exe> <7z.dll> <7z.exe> [rounds]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/file_manager.h"
#include "package/payload_record.h"
#include "package/sevenzip_library.h"
#include "package/temp_workspace.h"
#include "tests/bench/bench_util.h"

namespace {

using bench::Median;
using bench::NowMs;
using bench::ReadRecord;

// Stages the whole payload; returns milliseconds, or -1.
double StageOnce(const package::PayloadRecord& record, const std::wstring& package, int* files) {
  const double t0 = NowMs();
  package::CFileManager* m = package::CreateFileManager();
  m->SetSilent(true);
  if (!m->InitFromRecord(&record, sizeof(record), package) || !m->Start()) {
    m->Release();
    return -1;
  }
  wchar_t name[1024];
  int index = 0, total = 0, more = 0;
  *files = 0;
  while (m->GetNextFile(name, 1024, &index, &total, &more)) {
    if (more) ++*files;
  }
  const double elapsed = NowMs() - t0;
  const bool ok = m->GetResult() == 1;
  m->Release();  // removal of the staging directory is not timed
  return ok ? elapsed : -1;
}

struct ChildRun {
  double ms = -1;
  SIZE_T peak = 0;
};

ChildRun RunSevenZip(const std::wstring& exe, const std::wstring& archive, const std::wstring& out) {
  std::wstring cmd = L"\"" + exe + L"\" x -y -bso0 -bsp0 \"-o" + out + L"\" \"" + archive + L"\"";
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  ChildRun run;
  const double t0 = NowMs();
  if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return run;
  WaitForSingleObject(pi.hProcess, INFINITE);
  run.ms = NowMs() - t0;
  PROCESS_MEMORY_COUNTERS pmc = {sizeof(pmc)};
  if (GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof(pmc))) run.peak = pmc.PeakWorkingSetSize;
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  if (code != 0) run.ms = -1;
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return run;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    fwprintf(stderr, L"usage: bench_staging <Install.exe> <7z.dll> <7z.exe> [rounds]\n");
    return 2;
  }
  const std::wstring package = argv[1];
  const int rounds = argc > 4 ? _wtoi(argv[4]) : 5;
  package::PayloadRecord record;
  if (!ReadRecord(package, &record)) {
    fwprintf(stderr, L"no payload record in %ls\n", package.c_str());
    return 3;
  }
  if (!package::Load7zLibrary(argv[2])) {
    fwprintf(stderr, L"cannot load %ls\n", argv[2]);
    return 4;
  }
  // The same archive, unscrambled, for 7z.exe.
  uint8_t* plain = nullptr;
  if (package::ReadPayload(package, record, &plain) != 1) return 5;
  std::wstring archive, out;
  package::NewTempPath(&archive);
  archive += L".7z";
  HANDLE f = CreateFileW(archive.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, plain, record.length, &written, nullptr);
  CloseHandle(f);
  std::free(plain);

  std::vector<double> stage, verify, seven;
  SIZE_T seven_peak = 0;
  int files = 0;
  // Warm-up of both (file cache, Wine's services), then interleaved rounds.
  StageOnce(record, package, &files);
  package::NewTempPath(&out);
  RunSevenZip(argv[3], archive, out);
  package::DeleteTree(out);
  for (int r = 0; r < rounds; ++r) {
    const double t0 = NowMs();
    if (package::ReadPayload(package, record, &plain) == 1) verify.push_back(NowMs() - t0);
    std::free(plain);
    stage.push_back(StageOnce(record, package, &files));
    package::NewTempPath(&out);
    ChildRun run = RunSevenZip(argv[3], archive, out);
    package::DeleteTree(out);
    seven.push_back(run.ms);
    seven_peak = std::max(seven_peak, run.peak);
  }
  DeleteFileW(archive.c_str());
  PROCESS_MEMORY_COUNTERS pmc = {sizeof(pmc)};
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));

  const double s = Median(stage), v = Median(verify), z = Median(seven);
  wprintf(L"payload: %u bytes, %d files, %d rounds (medians)\n", record.length, files, rounds);
  wprintf(L"%-34ls %10ls %8ls %12ls\n", L"", L"ms", L"x 7z.exe", L"peak MiB");
  wprintf(L"%-34ls %10.0f %8.2f %12.1f\n", L"7z.exe x (unscrambled archive)", z, 1.0, seven_peak / 1048576.0);
  wprintf(L"%-34ls %10.0f %8.2f %12.1f\n", L"staging (verify+unscramble+extract)", s, z > 0 ? s / z : 0,
          pmc.PeakWorkingSetSize / 1048576.0);
  wprintf(L"%-34ls %10.0f %8.2f %12ls\n", L"  of which verify+unscramble", v, z > 0 ? v / z : 0, L"");
  return 0;
}

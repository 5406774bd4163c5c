// How much of the placement hides behind the extraction: the payload staged
// alone, the staged files placed alone, and both together the way the
// installer does it (each file placed as soon as the staging worker
// publishes it). Prints figures; it is a benchmark, not a test.
//
//   bench_pipeline <package Install.exe> <7z.dll> <install root> [rounds]
//
// Every round installs into a fresh directory below <install root>, which
// must be on the volume of the staging directory (the common application
// data folder) so that placement moves files instead of copying them.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/file_placement.h"
#include "package/file_manager.h"
#include "package/payload_record.h"
#include "package/sevenzip_library.h"
#include "package/temp_workspace.h"
#include "tests/bench/bench_util.h"

namespace {

using bench::Median;
using bench::NowMs;
using bench::ReadRecord;

// One staging run. With `place_into`, every published name is placed there
// at once; `staged` (optional) receives the names for a later placement.
struct StageRun {
  double ms = -1;
  double place_ms = 0;  // time spent inside PlaceFile
  int files = 0;
  int place_failures = 0;
};

StageRun Stage(const package::PayloadRecord& record, const std::wstring& package,
               const std::wstring& place_into, package::CFileManager** keep) {
  StageRun run;
  const double t0 = NowMs();
  package::CFileManager* m = package::CreateFileManager();
  m->SetSilent(true);
  if (!m->InitFromRecord(&record, sizeof(record), package) || !m->Start()) {
    m->Release();
    return run;
  }
  wchar_t staging[1024];
  m->GetTempDir(staging, 1024);
  wchar_t name[1024];
  int index = 0, total = 0, more = 0;
  while (m->GetNextFile(name, 1024, &index, &total, &more)) {
    if (!more) continue;
    ++run.files;
    if (place_into.empty()) continue;
    const double p0 = NowMs();
    const std::wstring source = std::wstring(staging) + L"\\" + name;
    const std::wstring target = place_into + L"\\" + name;
    if (!engine::PlaceFile(source.c_str(), target.c_str(), nullptr, nullptr)) ++run.place_failures;
    run.place_ms += NowMs() - p0;
  }
  run.ms = NowMs() - t0;
  const bool ok = m->GetResult() == 1;
  if (keep && ok) {
    *keep = m;  // the caller places the staged files, then releases
  } else {
    m->Release();  // removal of the staging directory is not timed
  }
  if (!ok) run.ms = -1;
  return run;
}

// Places every file below `staging` into `target`, as the installer would
// after a staging that it did not overlap.
bool PlaceAll(const std::wstring& staging, const std::wstring& relative, const std::wstring& target,
              int* placed) {
  WIN32_FIND_DATAW found;
  const std::wstring dir = relative.empty() ? staging : staging + L"\\" + relative;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    const std::wstring leaf = found.cFileName;
    if (leaf == L"." || leaf == L"..") continue;
    const std::wstring rel = relative.empty() ? leaf : relative + L"\\" + leaf;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = PlaceAll(staging, rel, target, placed) && ok;
    } else {
      const std::wstring source = staging + L"\\" + rel;
      const std::wstring dest = target + L"\\" + rel;
      if (engine::PlaceFile(source.c_str(), dest.c_str(), nullptr, nullptr)) {
        ++*placed;
      } else {
        ok = false;
      }
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    fwprintf(stderr, L"usage: bench_pipeline <Install.exe> <7z.dll> <install root> [rounds]\n");
    return 2;
  }
  const std::wstring package = argv[1];
  const std::wstring root = argv[3];
  const int rounds = argc > 4 ? std::max(1, _wtoi(argv[4])) : 5;
  package::PayloadRecord record;
  if (!ReadRecord(package, &record)) {
    fwprintf(stderr, L"no payload record in %ls\n", package.c_str());
    return 3;
  }
  if (!package::Load7zLibrary(argv[2])) {
    fwprintf(stderr, L"cannot load %ls\n", argv[2]);
    return 4;
  }
  CreateDirectoryW(root.c_str(), nullptr);

  std::vector<double> stage_only, place_only, pipelined, place_inside;
  int files = 0, failures = 0;
  // Round 0 is the warm-up (file cache, Wine's services); the three ways run
  // interleaved in every round so that drift hits them alike.
  for (int r = 0; r <= rounds; ++r) {
    StageRun alone = Stage(record, package, L"", nullptr);

    package::CFileManager* kept = nullptr;
    Stage(record, package, L"", &kept);
    const std::wstring sequential_dir = root + L"\\seq";
    package::DeleteTree(sequential_dir);
    double placed_ms = -1;
    if (kept) {
      wchar_t staging[1024];
      kept->GetTempDir(staging, 1024);
      int placed = 0;
      const double t0 = NowMs();
      const bool ok = PlaceAll(staging, L"", sequential_dir, &placed);
      placed_ms = NowMs() - t0;
      if (!ok || placed != alone.files) failures++;
      kept->Release();
    }
    package::DeleteTree(sequential_dir);

    const std::wstring pipelined_dir = root + L"\\pipe";
    package::DeleteTree(pipelined_dir);
    StageRun both = Stage(record, package, pipelined_dir, nullptr);
    failures += both.place_failures;
    package::DeleteTree(pipelined_dir);

    if (alone.ms < 0 || placed_ms < 0 || both.ms < 0) {
      fwprintf(stderr, L"round %d failed\n", r);
      return 5;
    }
    files = alone.files;
    if (r == 0) continue;
    stage_only.push_back(alone.ms);
    place_only.push_back(placed_ms);
    pipelined.push_back(both.ms);
    place_inside.push_back(both.place_ms);
  }
  PROCESS_MEMORY_COUNTERS pmc = {sizeof(pmc)};
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));

  const double s = Median(stage_only), p = Median(place_only), b = Median(pipelined);
  const double in = Median(place_inside);
  wprintf(L"payload %u bytes, %d files, %d rounds (medians, ms), placement failures %d\n\n",
          record.length, files, rounds, failures);
  wprintf(L"| step | ms |\n|---|---:|\n");
  wprintf(L"| staging alone (verify, unscramble, extract) | %.0f |\n", s);
  wprintf(L"| placement alone, after the staging | %.0f |\n", p);
  wprintf(L"| staging, then placement (sum) | %.0f |\n", s + p);
  wprintf(L"| staging with placement as files are published | %.0f |\n", b);
  wprintf(L"| of which inside PlaceFile | %.0f |\n", in);
  // Medians of noisy runs: the pipelined run can come out below staging
  // alone, so the hidden share is capped at the whole placement.
  const double hidden = p > 0 ? std::min(100.0, std::max(0.0, 100.0 * (s + p - b) / p)) : 0.0;
  wprintf(L"| overlap (sum - pipelined) | %.0f (%.0f%% of the placement hidden) |\n", s + p - b, hidden);
  wprintf(L"\npeak working set of this process: %.1f MiB\n", pmc.PeakWorkingSetSize / 1048576.0);
  return failures ? 6 : 0;
}

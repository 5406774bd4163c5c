// The real, signed package run silently: its 7-Zip library and payload are
// prepared and every trace of the staging is gone afterwards, also when the
// package is damaged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/e2e_util.h"
#include "tests/e2e/package_run.h"

namespace {

using e2e::HasAction;
using e2e::PackagePath;
using e2e::PendingRenames;
using e2e::Quote;
using e2e::StagingDirs;
using e2e::UniquePid;

std::vector<std::string> StatRequests(const std::string& pid) { return e2e::StatRequests(STAT_TEST_WWW, pid); }

TEST(Package, SilentRunPreparesTheLibraryAndLeavesNoStagingBehind) {
  const std::vector<std::wstring> before = StagingDirs();
  const std::string pid = UniquePid("pkgok");
  e2e::BoxWatcher boxes(IDOK);
  const DWORD start = GetTickCount();
  e2e::RunResult r = e2e::Run(Quote(PackagePath()) + L" --hide_ui --pid=" + std::wstring(pid.begin(), pid.end()),
                              120000, [&](DWORD pid) { boxes.Watch(pid); });
  boxes.Stop();
  printf("silent run of the package: %lu ms\n", GetTickCount() - start);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_TRUE(boxes.texts().empty());
  EXPECT_EQ(StagingDirs(), before);
  // The unpacked 7-Zip library was loaded, so it waits for deletion at restart.
  EXPECT_NE(PendingRenames().find(L"\\7z.dll|"), std::wstring::npos) << PendingRenames();
  // "end" is sent synchronously, so it is there when the process has gone.
  const std::vector<std::string> requests = StatRequests(pid);
  EXPECT_TRUE(HasAction(requests, "start", "&type=install&"));
  EXPECT_TRUE(HasAction(requests, "end"));
  EXPECT_FALSE(HasAction(requests, "fail"));
}

// Where the package's regions begin, from its headers and its record.
struct Layout {
  DWORD size = 0, image_end = 0, resources = 0, resources_end = 0, record = 0, payload_end = 0, signature = 0,
        signature_end = 0, cabinet = 0, time_stamp = 0;
};

Layout ReadLayout(const std::string& bytes) {
  Layout l;
  l.size = static_cast<DWORD>(bytes.size());
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
  // The package is built for the same width as this test.
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(bytes.data() + dos->e_lfanew);
  l.time_stamp = dos->e_lfanew + 8;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const DWORD resource_rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    l.image_end = std::max<DWORD>(l.image_end, section->PointerToRawData + section->SizeOfRawData);
    if (resource_rva >= section->VirtualAddress && resource_rva < section->VirtualAddress + section->SizeOfRawData) {
      l.resources = section->PointerToRawData + (resource_rva - section->VirtualAddress);
      l.resources_end = section->PointerToRawData + section->SizeOfRawData;
    }
  }
  l.signature = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].VirtualAddress;
  l.signature_end = l.signature + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY].Size;
  // The record: the payload's offset (the image's end), then a length that
  // ends within the padding before the signature.
  for (DWORD at = l.resources; at + 24 <= l.resources_end; ++at) {
    DWORD offset, length;
    memcpy(&offset, bytes.data() + at, 4);
    memcpy(&length, bytes.data() + at + 4, 4);
    if (offset == l.image_end && offset + length <= l.signature && l.signature - (offset + length) < 8) {
      l.record = at;
      l.payload_end = offset + length;
    }
  }
  l.cabinet = static_cast<DWORD>(bytes.find("MSCF", l.resources));
  return l;
}

// What a damaged package gives: the loader refuses it before any code of
// ours runs; the setup refuses it with a statistics error code; or, with
// only the signature hit (which the setup does not check on itself: Windows
// shows the publisher as unknown when it asks for elevation), it installs.
enum Outcome { kNotAnImage, kRefused5, kRefused8, kInstalls };

struct Damage {
  const char* what;
  bool truncate;  // else one byte is flipped
  DWORD (*at)(const Layout&);
  Outcome outcome;
  bool hosted = false;  // also run through the Start export
};

std::string Apply(std::string bytes, const Layout& l, const Damage& d) {
  const DWORD at = d.at(l);
  if (d.truncate) {
    bytes.resize(at);
  } else {
    bytes[at] ^= 0x40;
  }
  return bytes;
}

TEST(Package, DamagedPackagesChangeNothing) {
  const std::string original = e2e::ReadAll(PackagePath());
  const Layout l = ReadLayout(original);
  ASSERT_NE(l.record, 0u);
  ASSERT_NE(l.cabinet, static_cast<DWORD>(std::string::npos));
  const Damage damages[] = {
      {"cut at the image's end", true, [](const Layout& l) { return l.image_end; }, kRefused8},
      {"cut inside the resources", true, [](const Layout& l) { return (l.resources + l.resources_end) / 2; },
       kNotAnImage},
      {"cut inside the payload record", true, [](const Layout& l) { return l.record + 12; }, kNotAnImage},
      {"cut one byte into the payload", true, [](const Layout& l) { return l.image_end + 1; }, kRefused8},
      {"cut in the payload's middle", true, [](const Layout& l) { return (l.image_end + l.payload_end) / 2; },
       kRefused8, true},
      {"cut one byte before the payload's end", true, [](const Layout& l) { return l.payload_end - 1; }, kRefused8},
      {"cut at the signature's start", true, [](const Layout& l) { return l.signature; }, kInstalls},
      {"cut inside the signature", true, [](const Layout& l) { return (l.signature + l.signature_end) / 2; },
       kInstalls},
      {"flipped: \"MZ\"", false, [](const Layout&) { return DWORD{0}; }, kNotAnImage},
      {"flipped: PE header offset", false, [](const Layout&) { return DWORD{0x3C}; }, kNotAnImage},
      {"flipped: PE time stamp", false, [](const Layout& l) { return l.time_stamp; }, kInstalls},
      {"flipped: 7-Zip cabinet resource", false, [](const Layout& l) { return l.cabinet + 4096; }, kRefused5},
      {"flipped: record offset", false, [](const Layout& l) { return l.record; }, kRefused8},
      {"flipped: record length", false, [](const Layout& l) { return l.record + 5; }, kRefused8},
      {"flipped: record digest", false, [](const Layout& l) { return l.record + 8 + 7; }, kRefused8},
      {"flipped: payload key byte", false, [](const Layout& l) { return l.image_end; }, kRefused8},
      {"flipped: payload middle", false, [](const Layout& l) { return (l.image_end + l.payload_end) / 2; },
       kRefused8, true},
      {"flipped: payload last byte", false, [](const Layout& l) { return l.payload_end - 1; }, kRefused8},
      {"flipped: signature", false, [](const Layout& l) { return (l.signature + l.signature_end) / 2; },
       kInstalls},
  };
  constexpr wchar_t kDir[] = L"C:\\PelorixDamaged";
  for (const Damage& d : damages) {
    // What an earlier install (also one of this table) registered.
    e2e::RemoveTree(kDir);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Pelorix");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelorix");
    e2e::TempDir dir;
    const std::wstring path = dir.File(L"Install.exe");
    {
      const std::string bytes = Apply(original, l, d);
      HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      DWORD n = 0;
      WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
      CloseHandle(f);
    }
    const std::vector<std::wstring> before = StagingDirs();
    const std::string pid = UniquePid("damaged");
    e2e::RunResult r = e2e::Run(Quote(path) + L" --hide_ui --nostart /DIR=" + kDir + L" --pid=" + e2e::Widen(pid),
                                120000);
    Sleep(300);  // "fail" is asynchronous
    const std::vector<std::string> requests = StatRequests(pid);
    std::string fail = "none";
    for (const std::string& line : requests) {
      const size_t at = line.find("action=fail&");
      const size_t code = line.find("errcode]=") + 9;
      if (at != std::string::npos) fail = line.substr(code, line.find('&', code) - code);
    }
    const bool placed = e2e::FileExists(kDir);
    const bool registered =
        e2e::ReadRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Pelorix", L"Setup Path") != L"<missing>" ||
        e2e::ReadRegString(HKEY_LOCAL_MACHINE,
                           L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelorix",
                           L"DisplayName") != L"<missing>";
    const std::vector<std::wstring> after = StagingDirs();
    const bool new_staging = std::any_of(after.begin(), after.end(), [&](const std::wstring& name) {
      return std::find(before.begin(), before.end(), name) == before.end();
    });
    printf("%-40s start=%d fail=%s install_success=%d placed=%d registered=%d staging left=%d\n", d.what,
           HasAction(requests, "start"), fail.c_str(), HasAction(requests, "install_success"), placed, registered,
           new_staging);
    if (d.outcome != kNotAnImage) {
      EXPECT_EQ(r.exit_code, 0u) << d.what;
    }
    EXPECT_EQ(HasAction(requests, "start"), d.outcome != kNotAnImage) << d.what;
    EXPECT_EQ(fail, d.outcome == kRefused5 ? "5" : d.outcome == kRefused8 ? "8" : "none") << d.what;
    EXPECT_EQ(placed, d.outcome == kInstalls) << d.what;
    EXPECT_EQ(registered, d.outcome == kInstalls) << d.what;
    EXPECT_FALSE(new_staging) << d.what;
    if (d.hosted) {
      e2e::RunResult hosted =
          e2e::Run(Quote(e2e::BuiltFile(L"start_host.exe")) + L" " + Quote(path) + L" --hide_ui 8", 120000);
      EXPECT_EQ(hosted.output, "start=0 result=fail\r\n") << d.what;
    }
  }
}

}  // namespace

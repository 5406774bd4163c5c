#include "engine/file_placement.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/placement_test_support.h"

namespace engine {
namespace {

using testing_support::CHeldFile;
using testing_support::CRecordingFileSecurity;
using testing_support::FindNames;
using testing_support::PendingHasPair;
using testing_support::ReadText;
using testing_support::ScopedPendingValue;
using testing_support::ScopedTempDir;
using testing_support::WriteText;

std::vector<std::wstring> Steps(const std::vector<PlacementDiagnostic>& diagnostics) {
  std::vector<std::wstring> steps;
  for (const auto& d : diagnostics) steps.push_back(d.step);
  return steps;
}

class PlaceFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.IsValid());
    staged_ = dir_.Child(L"staging\\new.dll");
    ASSERT_TRUE(CreateDirectoryW(dir_.Child(L"staging").c_str(), nullptr));
    ASSERT_TRUE(WriteText(staged_, "new"));
  }

  ScopedPendingValue saved_;
  ScopedTempDir dir_;
  std::wstring staged_;
  std::vector<PlacementDiagnostic> diagnostics_;
  int outcome_ = -1;
};

TEST_F(PlaceFileTest, MovesIntoDirectoriesItCreates) {
  std::wstring target = dir_.Child(L"install\\sub\\deeper\\a.dll");
  ASSERT_TRUE(PlaceFile(staged_.c_str(), target.c_str(), &diagnostics_, &outcome_));
  EXPECT_EQ("new", ReadText(target));
  EXPECT_EQ("<missing>", ReadText(staged_));  // moved, not copied
  EXPECT_EQ(kPlacedNow, outcome_);
  EXPECT_TRUE(diagnostics_.empty());
}

TEST_F(PlaceFileTest, ReplacesAFileNotInUse) {
  std::wstring target = dir_.Child(L"a.dll");
  ASSERT_TRUE(WriteText(target, "old"));
  ASSERT_TRUE(PlaceFile(staged_.c_str(), target.c_str(), nullptr, nullptr));
  EXPECT_EQ("new", ReadText(target));
}

TEST_F(PlaceFileTest, MissingSourceLeavesTheDestinationAlone) {
  std::wstring target = dir_.Child(L"a.dll");
  ASSERT_TRUE(WriteText(target, "old"));
  std::wstring missing = dir_.Child(L"staging\\missing.dll");
  EXPECT_FALSE(PlaceFile(missing.c_str(), target.c_str(), &diagnostics_, &outcome_));
  EXPECT_EQ("old", ReadText(target));
  EXPECT_TRUE(FindNames(dir_.path(), L"cln*.tmp").empty());
  ASSERT_EQ(1u, diagnostics_.size());
  EXPECT_EQ(L"move file fail", diagnostics_[0].step);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), diagnostics_[0].error);
  EXPECT_FALSE(diagnostics_[0].message.empty());
}

TEST_F(PlaceFileTest, RefusesOverlongPaths) {
  std::wstring target = dir_.path() + L"\\" + std::wstring(1100, L'a');
  EXPECT_FALSE(PlaceFile(staged_.c_str(), target.c_str(), nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
  EXPECT_FALSE(PlaceFile(nullptr, target.c_str(), nullptr, nullptr));
  EXPECT_EQ("new", ReadText(staged_));
}

struct InUseCase {
  const wchar_t* share;  // how the other process holds the destination
  bool placed_now;
  std::vector<std::wstring> steps;
};

// Same volume, destination held open by another process.
TEST_F(PlaceFileTest, DestinationInUseOnTheSameVolume) {
  const InUseCase cases[] = {
      // Like a running program: it can be renamed, so it is moved aside.
      {L"rd", true, {L"move file fail"}},
      {L"rwd", true, {L"move file fail"}},
      // Locked against renaming: the new file waits for the restart.
      {L"r", false, {L"move file fail", L"rename old file fail"}},
      {L"rw", false, {L"move file fail", L"rename old file fail"}},
      {L"none", false, {L"move file fail", L"rename old file fail"}},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "share " << c.share);
    std::wstring install = dir_.Child(L"install" + std::to_wstring(index++));
    ASSERT_TRUE(CreateDirectoryW(install.c_str(), nullptr));
    std::wstring target = install + L"\\a.dll";
    ASSERT_TRUE(WriteText(target, "old"));
    ASSERT_TRUE(WriteText(staged_, "new"));
    diagnostics_.clear();
    outcome_ = -1;

    CHeldFile held(target, c.share);
    ASSERT_TRUE(held.IsHeld());
    ASSERT_TRUE(PlaceFile(staged_.c_str(), target.c_str(), &diagnostics_, &outcome_));
    EXPECT_EQ(c.steps, Steps(diagnostics_));
    EXPECT_EQ("<missing>", ReadText(staged_));
    std::vector<std::wstring> cln = FindNames(install, L"cln*.tmp");

    if (c.placed_now) {
      EXPECT_EQ("new", ReadText(target));
      EXPECT_TRUE(outcome_ == kPlacedNow || outcome_ == kOldFileAtRestart) << outcome_;
      // The old file went under a "cln" name: deleted at once, or (while it
      // is still open) scheduled for deletion at restart.
      if (outcome_ == kOldFileAtRestart) {
        ASSERT_EQ(1u, cln.size());
        EXPECT_TRUE(PendingHasPair(L"\\??\\" + install + L"\\" + cln[0], L""));
      }
      held.Release();
      EXPECT_TRUE(FindNames(install, L"cln*.tmp").empty());
    } else {
      EXPECT_EQ(kNewFileAtRestart, outcome_);
      held.Release();  // a holder without read sharing keeps the tests out too
      EXPECT_EQ("old", ReadText(target));
      // One "cln" file, holding the new content; no empty placeholder left.
      ASSERT_EQ(1u, cln.size());
      EXPECT_EQ("new", ReadText(install + L"\\" + cln[0]));
      EXPECT_TRUE(PendingHasPair(L"\\??\\" + install + L"\\" + cln[0], L"!\\??\\" + target));
    }
  }
}

struct InheritCase {
  const char* name;
  bool other_volume;
  const wchar_t* share;    // how another process holds the old file; null: no old file
  const wchar_t* waiting;  // the name the new file waits under until restart; null: none
};

// A rename keeps the list the file had in the staging directory (only
// Administrators and SYSTEM), and the rename at restart keeps the list the
// waiting file has then: each way of placing must reset the file where it
// ends, after it got there.
TEST_F(PlaceFileTest, WhatIsPlacedTakesTheListOfItsDirectory) {
  const InheritCase cases[] = {
      {"renamed", false, nullptr, nullptr},
      {"renamed past a running file", false, L"rd", nullptr},
      {"renamed at restart", false, L"r", L"cln*.tmp"},
      {"copied", true, nullptr, nullptr},
      {"copied past a running file", true, L"rd", nullptr},
      {"copied, swapped in at restart", true, L"r", L"brd*.tmp"},
  };
  ScopedTempDir other_volume(L"Z:\\tmp");
  ASSERT_TRUE(other_volume.IsValid());
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring n = std::to_wstring(index++);
    const std::wstring install = dir_.Child(L"inherit" + n);
    const std::wstring target = install + L"\\a.dll";
    const std::wstring source = c.other_volume ? other_volume.Child(L"new" + n + L".dll") : staged_;
    ASSERT_TRUE(WriteText(source, "new"));
    std::unique_ptr<CHeldFile> held;
    if (c.share) {
      ASSERT_TRUE(CreateDirectoryW(install.c_str(), nullptr));
      ASSERT_TRUE(WriteText(target, "old"));
      held.reset(new CHeldFile(target, c.share));
      ASSERT_TRUE(held->IsHeld());
    }
    CRecordingFileSecurity security;
    diagnostics_.clear();
    ASSERT_TRUE(PlaceFile(source.c_str(), target.c_str(), &diagnostics_, &outcome_, &security));
    std::wstring placed = target;
    if (c.waiting) {
      std::vector<std::wstring> names = FindNames(install, c.waiting);
      ASSERT_EQ(1u, names.size());
      placed = install + L"\\" + names[0];
      EXPECT_TRUE(PendingHasPair(L"\\??\\" + placed, L"!\\??\\" + target));
    }
    EXPECT_TRUE(security.WasReset(placed, "new")) << security.resets.size();
    const std::vector<std::wstring> steps = Steps(diagnostics_);
    EXPECT_EQ(0, std::count(steps.begin(), steps.end(), L"reset access fail"));
  }
}

// The file is in place; only the log hears of the list it kept.
TEST_F(PlaceFileTest, AFailedResetIsReportedButKeepsThePlacement) {
  CRecordingFileSecurity security;
  security.fail = true;
  const std::wstring target = dir_.Child(L"install\\a.dll");
  ASSERT_TRUE(PlaceFile(staged_.c_str(), target.c_str(), &diagnostics_, &outcome_, &security));
  EXPECT_EQ("new", ReadText(target));
  EXPECT_EQ(std::vector<std::wstring>{L"reset access fail"}, Steps(diagnostics_));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), diagnostics_[0].error);
}

class PlaceFileAcrossVolumesTest : public PlaceFileTest {
 protected:
  void SetUp() override {
    PlaceFileTest::SetUp();
    ASSERT_TRUE(other_volume_.IsValid());
    source_ = other_volume_.Child(L"new.dll");
    ASSERT_TRUE(WriteText(source_, "new"));
    target_ = dir_.Child(L"install\\a.dll");
  }

  // Z: is the root of the host's file system in every Wine prefix.
  ScopedTempDir other_volume_{L"Z:\\tmp"};
  std::wstring source_;
  std::wstring target_;
};

TEST_F(PlaceFileAcrossVolumesTest, CopiesAndKeepsTheSource) {
  ASSERT_TRUE(PlaceFile(source_.c_str(), target_.c_str(), &diagnostics_, &outcome_));
  EXPECT_EQ("new", ReadText(target_));
  EXPECT_EQ("new", ReadText(source_));
  EXPECT_EQ(kPlacedNow, outcome_);
  EXPECT_TRUE(diagnostics_.empty());
}

TEST_F(PlaceFileAcrossVolumesTest, ReplacesADeletableDestination) {
  ASSERT_TRUE(CreateDirectoryW(dir_.Child(L"install").c_str(), nullptr));
  ASSERT_TRUE(WriteText(target_, "old"));
  SetFileAttributesW(target_.c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(PlaceFile(source_.c_str(), target_.c_str(), &diagnostics_, &outcome_));
  EXPECT_EQ("new", ReadText(target_));
  EXPECT_EQ(kPlacedNow, outcome_);
  EXPECT_TRUE(FindNames(dir_.Child(L"install"), L"brd*.tmp").empty());
}

// Shared for writing, a file in use is simply overwritten.
TEST_F(PlaceFileAcrossVolumesTest, WritableDestinationInUseIsOverwritten) {
  ASSERT_TRUE(CreateDirectoryW(dir_.Child(L"install").c_str(), nullptr));
  ASSERT_TRUE(WriteText(target_, "old"));
  CHeldFile held(target_, L"rw");
  ASSERT_TRUE(held.IsHeld());
  ASSERT_TRUE(PlaceFile(source_.c_str(), target_.c_str(), &diagnostics_, &outcome_));
  EXPECT_EQ(kPlacedNow, outcome_);
  EXPECT_EQ("new", ReadText(target_));
  EXPECT_TRUE(diagnostics_.empty());
}

TEST_F(PlaceFileAcrossVolumesTest, LockedDestinationIsReplacedAtRestart) {
  ASSERT_TRUE(CreateDirectoryW(dir_.Child(L"install").c_str(), nullptr));
  ASSERT_TRUE(WriteText(target_, "old"));
  CHeldFile held(target_, L"r");
  ASSERT_TRUE(held.IsHeld());
  ASSERT_TRUE(PlaceFile(source_.c_str(), target_.c_str(), &diagnostics_, &outcome_));
  EXPECT_EQ(kNewFileAtRestart, outcome_);
  EXPECT_EQ("old", ReadText(target_));
  std::vector<std::wstring> brd = FindNames(dir_.Child(L"install"), L"brd*.tmp");
  ASSERT_EQ(1u, brd.size());
  std::wstring waiting = dir_.Child(L"install\\" + brd[0]);
  EXPECT_EQ("new", ReadText(waiting));
  EXPECT_TRUE(PendingHasPair(L"\\??\\" + waiting, L"!\\??\\" + target_));
  EXPECT_EQ(std::vector<std::wstring>({L"move file fail", L"rename old file fail"}),
            Steps(diagnostics_));
}

TEST_F(PlaceFileAcrossVolumesTest, RenamableDestinationIsMovedAsideForTheCopy) {
  ASSERT_TRUE(CreateDirectoryW(dir_.Child(L"install").c_str(), nullptr));
  ASSERT_TRUE(WriteText(target_, "old"));
  CHeldFile held(target_, L"rd");
  ASSERT_TRUE(held.IsHeld());
  ASSERT_TRUE(PlaceFile(source_.c_str(), target_.c_str(), &diagnostics_, &outcome_));
  EXPECT_EQ("new", ReadText(target_));
  EXPECT_EQ(std::vector<std::wstring>{L"move file fail"}, Steps(diagnostics_));
  std::vector<std::wstring> brd = FindNames(dir_.Child(L"install"), L"brd*.tmp");
  if (outcome_ == kOldFileAtRestart) {
    ASSERT_EQ(1u, brd.size());
    EXPECT_TRUE(PendingHasPair(L"\\??\\" + dir_.Child(L"install\\" + brd[0]), L""));
  } else {
    EXPECT_EQ(kPlacedNow, outcome_);
  }
  held.Release();
  EXPECT_TRUE(FindNames(dir_.Child(L"install"), L"brd*.tmp").empty());
}

// A source that cannot be read must not cost the destination its file.
TEST_F(PlaceFileAcrossVolumesTest, UnreadableSourceKeepsTheOldFile) {
  ASSERT_TRUE(CreateDirectoryW(dir_.Child(L"install").c_str(), nullptr));
  ASSERT_TRUE(WriteText(target_, "old"));
  CHeldFile source_locked(source_, L"none");
  ASSERT_TRUE(source_locked.IsHeld());
  EXPECT_FALSE(PlaceFile(source_.c_str(), target_.c_str(), &diagnostics_, &outcome_));
  EXPECT_EQ("old", ReadText(target_));
  EXPECT_TRUE(FindNames(dir_.Child(L"install"), L"brd*.tmp").empty());
}

TEST_F(PlaceFileAcrossVolumesTest, UnreadableSourceKeepsAnOldFileInUse) {
  ASSERT_TRUE(CreateDirectoryW(dir_.Child(L"install").c_str(), nullptr));
  ASSERT_TRUE(WriteText(target_, "old"));
  CHeldFile source_locked(source_, L"none");
  CHeldFile held(target_, L"rd");
  ASSERT_TRUE(source_locked.IsHeld() && held.IsHeld());
  EXPECT_FALSE(PlaceFile(source_.c_str(), target_.c_str(), &diagnostics_, &outcome_));
  EXPECT_EQ("old", ReadText(target_));
  EXPECT_TRUE(FindNames(dir_.Child(L"install"), L"brd*.tmp").empty());
}

}  // namespace
}  // namespace engine

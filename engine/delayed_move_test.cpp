#include "engine/delayed_move.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/access_permission.h"
#include "engine/placement_test_support.h"

namespace engine {
namespace {

using testing_support::PendingHasPair;
using testing_support::ReadPendingValue;
using testing_support::ScopedPendingValue;
using testing_support::ScopedTempDir;
using testing_support::SidText;
using testing_support::WriteText;


// Denies access a given number of times, then answers with `final_error`
// (0: success). Records every identifier the key is opened to.
class FakeDelayedMove : public IDelayedMoveSystem {
 public:
  FakeDelayedMove(int denials, DWORD final_error) : denials_(denials), final_error_(final_error) {}

  BOOL MoveAtRestart(const wchar_t* source, const wchar_t* destination, DWORD flags) override {
    ++moves;
    last_flags = flags;
    last_destination = destination ? destination : L"<null>";
    if (denials_ > 0) {
      --denials_;
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    SetLastError(final_error_);
    return final_error_ == ERROR_SUCCESS;
  }
  BOOL OpenSessionManagerTo(PSID sid) override {
    opened.push_back(SidText(sid));
    return TRUE;
  }

  int moves = 0;
  DWORD last_flags = 0;
  std::wstring last_destination;
  std::vector<std::wstring> opened;

 private:
  int denials_;
  DWORD final_error_;
};

std::wstring CurrentUserSidText() {
  SidBuffer sid;
  return CAccessPermission().CurrentUserSid(&sid) ? SidText(sid.data()) : L"<none>";
}

struct FallbackCase {
  const char* name;
  int denials;
  DWORD final_error;
  BOOL result;
  int moves;
  bool opened_to_owners;    // Administrators and the current user
  bool opened_to_everyone;  // then Everyone
};

TEST(ScheduleMove, AccessFallbackOpensTheKeyStepByStep) {
  const FallbackCase cases[] = {
      {"granted at once", 0, ERROR_SUCCESS, TRUE, 1, false, false},
      {"other error fails at once", 0, ERROR_FILE_NOT_FOUND, FALSE, 1, false, false},
      {"denied once", 1, ERROR_SUCCESS, TRUE, 2, true, false},
      {"denied, then another error", 1, ERROR_WRITE_FAULT, FALSE, 2, true, false},
      {"denied twice", 2, ERROR_SUCCESS, TRUE, 3, true, true},
      {"denied three times", 3, ERROR_SUCCESS, FALSE, 3, true, true},
  };
  const std::wstring user = CurrentUserSidText();
  for (const auto& c : cases) {
    FakeDelayedMove fake(c.denials, c.final_error);
    EXPECT_EQ(c.result, ScheduleMove(L"C:\\a\\x.tmp", L"C:\\a\\x.dll", kMoveAtRestartReplacing,
                                     &fake))
        << c.name;
    EXPECT_EQ(c.moves, fake.moves) << c.name;
    std::vector<std::wstring> expected;
    if (c.opened_to_owners) {
      expected.push_back(L"S-1-5-32-544");
      expected.push_back(user);
    }
    if (c.opened_to_everyone) expected.push_back(L"S-1-1-0");
    EXPECT_EQ(expected, fake.opened) << c.name;
    if (!c.result && c.denials >= 3) {
      EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << c.name;
    }
  }
}

TEST(ScheduleMove, DestinationOnAnotherVolumeIsRefused) {
  FakeDelayedMove fake(0, ERROR_SUCCESS);
  EXPECT_FALSE(ScheduleMove(L"C:\\a\\x.tmp", L"Z:\\a\\x.dll", kMoveAtRestartReplacing, &fake));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SAME_DEVICE), GetLastError());
  EXPECT_EQ(0, fake.moves);
}

TEST(ScheduleMove, DeletionAndFlagsArePassedThrough) {
  FakeDelayedMove fake(0, ERROR_SUCCESS);
  EXPECT_TRUE(ScheduleMove(L"C:\\a\\x.tmp", nullptr, kMoveAtRestart, &fake));
  EXPECT_EQ(L"<null>", fake.last_destination);
  EXPECT_EQ(static_cast<DWORD>(MOVEFILE_DELAY_UNTIL_REBOOT), fake.last_flags);
  // An empty destination is a deletion too, and is not judged by volume.
  EXPECT_TRUE(ScheduleMove(L"C:\\a\\x.tmp", L"", kMoveAtRestart, &fake));
  EXPECT_EQ(L"<null>", fake.last_destination);
  EXPECT_TRUE(ScheduleMove(L"C:\\a\\x.tmp", L"C:\\a\\y", kMoveAtRestartReplacing, &fake));
  EXPECT_EQ(static_cast<DWORD>(MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING),
            fake.last_flags);
}

TEST(ScheduleMove, RejectsOtherFlagsAndEmptySource) {
  FakeDelayedMove fake(0, ERROR_SUCCESS);
  EXPECT_FALSE(ScheduleMove(L"C:\\a", L"C:\\b", MOVEFILE_COPY_ALLOWED, &fake));
  EXPECT_FALSE(ScheduleMove(L"C:\\a", L"C:\\b", kMoveAtRestart | MOVEFILE_COPY_ALLOWED, &fake));
  EXPECT_FALSE(ScheduleMove(L"", L"C:\\b", kMoveAtRestart, &fake));
  EXPECT_FALSE(ScheduleMove(nullptr, L"C:\\b", kMoveAtRestart, &fake));
  EXPECT_EQ(0, fake.moves);
}

struct VolumeCase {
  const wchar_t* a;
  const wchar_t* b;
  bool same;
};

TEST(ScheduleMove, OnSameVolume) {
  const VolumeCase cases[] = {
      {L"C:\\windows\\a", L"c:\\users\\b", true},
      {L"C:\\x", L"C:\\does\\not\\exist", true},
      {L"C:\\x", L"Z:\\tmp\\y", false},
      {L"Z:\\tmp", L"z:\\", true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.same, OnSameVolume(c.a, c.b)) << c.a << L" " << c.b;
}

class ScheduleMoveRegistry : public ::testing::Test {
 protected:
  ScopedPendingValue saved_;
  ScopedTempDir dir_;
};

TEST_F(ScheduleMoveRegistry, RecordsMoveAndDeletionInThePendingList) {
  ASSERT_TRUE(dir_.IsValid());
  std::wstring file = dir_.Child(L"a.tmp");
  ASSERT_TRUE(WriteText(file, "a"));
  ASSERT_TRUE(ScheduleMove(file.c_str(), nullptr, kMoveAtRestart));
  EXPECT_TRUE(PendingHasPair(L"\\??\\" + file, L""));

  std::wstring target = dir_.Child(L"b.dll");
  ASSERT_TRUE(ScheduleMove(file.c_str(), target.c_str(), kMoveAtRestartReplacing));
  EXPECT_TRUE(PendingHasPair(L"\\??\\" + file, L"!\\??\\" + target));
}

TEST_F(ScheduleMoveRegistry, CrossVolumeMoveLeavesTheListUntouched) {
  ASSERT_TRUE(dir_.IsValid());
  std::wstring file = dir_.Child(L"a.tmp");
  ASSERT_TRUE(WriteText(file, "a"));
  std::vector<BYTE> before, after;
  bool had = ReadPendingValue(&before);
  // Wine would record this one; Windows would not, and neither do we.
  EXPECT_FALSE(ScheduleMove(file.c_str(), L"Z:\\tmp\\placement-never.dll",
                            kMoveAtRestartReplacing));
  EXPECT_EQ(had, ReadPendingValue(&after));
  EXPECT_EQ(before, after);
}

}  // namespace
}  // namespace engine

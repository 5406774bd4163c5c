#include "engine/delayed_move.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/placement_test_support.h"

namespace engine {
namespace {

using testing_support::PendingHasPair;
using testing_support::ReadPendingValue;
using testing_support::ScopedPendingValue;
using testing_support::DaclSddl;
using testing_support::ScopedTempDir;
using testing_support::SddlDescriptor;
using testing_support::WriteText;


// A Session Manager key locked down the way some hardening tools leave it:
// Administrators may only read it, and a deny entry for everyone's writes.
constexpr wchar_t kLockedKeySddl[] = L"D:P(D;;KW;;;WD)(A;CI;KR;;;BA)(A;CI;KA;;;SY)";
// The same with just the entry the fallback may add: the pending list's
// rights for the Administrators, on this key only, ahead of the deny entry.
constexpr wchar_t kGrantedKeySddl[] =
    L"D:P(A;;0x3;;;BA)(D;;KW;;;WD)(A;CI;KR;;;BA)(A;CI;KA;;;SY)";

// Denies access a given number of times, then answers with `final_error`
// (0: success). Holds the key's list and records every list written to it.
class FakeDelayedMove : public IDelayedMoveSystem {
 public:
  FakeDelayedMove(int denials, DWORD final_error)
      : key_list(SddlDescriptor(kLockedKeySddl)), denials_(denials), final_error_(final_error) {}

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
  BOOL ReadSessionManagerAccess(std::vector<BYTE>* descriptor) override {
    if (!readable) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    *descriptor = key_list;
    return TRUE;
  }
  BOOL WriteSessionManagerAccess(const std::vector<BYTE>& descriptor) override {
    if (!writable) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    key_list = descriptor;
    written.push_back(DaclSddl(descriptor));
    return TRUE;
  }

  int moves = 0;
  DWORD last_flags = 0;
  std::wstring last_destination;
  bool readable = true;
  bool writable = true;
  std::vector<BYTE> key_list;
  std::vector<std::wstring> written;

 private:
  int denials_;
  DWORD final_error_;
};

struct FallbackCase {
  const char* name;
  int denials;
  DWORD final_error;
  bool readable;
  bool writable;
  BOOL result;
  DWORD error;  // last error when the result is FALSE
  int moves;
  bool granted;  // the key was opened for one retry, then restored
};

// Only the Administrators are ever let in, for one retry, and the key's list
// is put back byte for byte whatever the retry gives.
TEST(ScheduleMove, AccessFallbackGrantsAdministratorsOnceAndRestores) {
  const FallbackCase cases[] = {
      {"granted at once", 0, ERROR_SUCCESS, true, true, TRUE, 0, 1, false},
      {"other error fails at once", 0, ERROR_FILE_NOT_FOUND, true, true, FALSE, ERROR_FILE_NOT_FOUND, 1,
       false},
      {"denied once", 1, ERROR_SUCCESS, true, true, TRUE, 0, 2, true},
      {"denied, then another error", 1, ERROR_WRITE_FAULT, true, true, FALSE, ERROR_WRITE_FAULT, 2, true},
      {"denied twice", 2, ERROR_SUCCESS, true, true, FALSE, ERROR_ACCESS_DENIED, 2, true},
      {"key list unreadable", 1, ERROR_SUCCESS, false, true, FALSE, ERROR_ACCESS_DENIED, 1, false},
      {"key list not writable", 1, ERROR_SUCCESS, true, false, FALSE, ERROR_ACCESS_DENIED, 1, false},
  };
  const std::vector<BYTE> locked = SddlDescriptor(kLockedKeySddl);
  const std::wstring granted = DaclSddl(SddlDescriptor(kGrantedKeySddl));
  ASSERT_FALSE(locked.empty());
  for (const auto& c : cases) {
    FakeDelayedMove fake(c.denials, c.final_error);
    fake.readable = c.readable;
    fake.writable = c.writable;
    const BOOL result =
        ScheduleMove(L"C:\\a\\x.tmp", L"C:\\a\\x.dll", kMoveAtRestartReplacing, &fake);
    const DWORD error = GetLastError();
    EXPECT_EQ(c.result, result) << c.name;
    if (!c.result) {
      EXPECT_EQ(c.error, error) << c.name;
    }
    EXPECT_EQ(c.moves, fake.moves) << c.name;
    std::vector<std::wstring> expected;
    if (c.granted) expected = {granted, DaclSddl(locked)};
    EXPECT_EQ(expected, fake.written) << c.name;
    EXPECT_EQ(locked, fake.key_list) << c.name;
  }
}

// A key whose list lets everyone in (no DACL) cannot be the reason for the
// denial; nothing is written to it.
TEST(ScheduleMove, AccessFallbackLeavesAKeyWithoutAListAlone) {
  SECURITY_DESCRIPTOR open_sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&open_sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&open_sd, TRUE, nullptr, FALSE));
  DWORD size = 0;
  MakeSelfRelativeSD(&open_sd, nullptr, &size);
  FakeDelayedMove fake(1, ERROR_SUCCESS);
  fake.key_list.assign(size, 0);
  ASSERT_TRUE(MakeSelfRelativeSD(&open_sd, fake.key_list.data(), &size));
  EXPECT_FALSE(ScheduleMove(L"C:\\a\\x.tmp", nullptr, kMoveAtRestart, &fake));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(fake.written.empty());
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

// The real key: the first move is denied so that the fallback runs.
class DenyFirstMove : public CSystemDelayedMove {
 public:
  BOOL MoveAtRestart(const wchar_t* source, const wchar_t* destination, DWORD flags) override {
    if (moves++ == 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    ReadSessionManagerAccess(&during_retry);
    return CSystemDelayedMove::MoveAtRestart(source, destination, flags);
  }
  int moves = 0;
  std::vector<BYTE> during_retry;
};

TEST_F(ScheduleMoveRegistry, AccessFallbackPutsTheKeyListBackByteForByte) {
  ASSERT_TRUE(dir_.IsValid());
  std::wstring file = dir_.Child(L"a.tmp");
  ASSERT_TRUE(WriteText(file, "a"));
  DenyFirstMove system;
  std::vector<BYTE> before, expected_grant, after;
  ASSERT_TRUE(system.ReadSessionManagerAccess(&before));
  ASSERT_TRUE(WithPendingListGrant(before, &expected_grant));

  ASSERT_TRUE(ScheduleMove(file.c_str(), nullptr, kMoveAtRestart, &system)) << GetLastError();
  EXPECT_EQ(2, system.moves);
  EXPECT_TRUE(PendingHasPair(L"\\??\\" + file, L""));
  // The retry ran with the grant on the real key, and nothing else changed.
  EXPECT_EQ(DaclSddl(expected_grant), DaclSddl(system.during_retry));
  ASSERT_TRUE(system.ReadSessionManagerAccess(&after));
  EXPECT_EQ(before, after) << DaclSddl(before) << L" / " << DaclSddl(after);
}

}  // namespace
}  // namespace engine

#include "engine/command_parser.h"

#include <gtest/gtest.h>

#include "base/registry.h"

namespace {

// The parser reads the stored channel id from the machine key; every case
// starts without one and leaves none behind.
class CommandParserTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(base::RegRemoveValue(HKEY_LOCAL_MACHINE, kProductKey, kPidValue)); }
  void TearDown() override { base::RegRemoveValue(HKEY_LOCAL_MACHINE, kProductKey, kPidValue); }
  void StorePid(const std::wstring& pid) {
    ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kProductKey, kPidValue, pid));
  }
};

TEST_F(CommandParserTest, DefaultsWithEmptyCommandLine) {
  CCommandParser p;
  EXPECT_EQ(p.Parse(nullptr), 1);
  EXPECT_FALSE(p.IsSilent());
  EXPECT_EQ(p.GetCmdPid(), L"home");
  EXPECT_EQ(p.GetPid(), L"home");
  EXPECT_FALSE(p.IsNoStart());
  EXPECT_FALSE(p.IsRun());
  EXPECT_TRUE(p.GetInstallDir().empty());
  EXPECT_TRUE(p.GetDebugFile().empty());
  EXPECT_TRUE(p.IsAutorun());
  EXPECT_TRUE(p.IsDesktopShortcut());
  EXPECT_TRUE(p.IsStartMenuShortcut());
  EXPECT_FALSE(p.IsMigrate());
  EXPECT_EQ(p.GetMigrateSource(), L"varnock");
  EXPECT_TRUE(p.GetMigrateTargetDir().empty());
  EXPECT_TRUE(p.IsCloseRunningProduct());
}

TEST_F(CommandParserTest, EveryOptionIsRead) {
  CCommandParser p;
  p.Parse(L"/hide_ui --nostart -run \"/DIR=C:\\Pel orix\" /DIR=\"D:\\a b\" --pid=ch7 "
          L"/DebugFile=C:\\r.dll --migrate --migrate_src=corvale --migrate_tdir=E:\\old --no_close_wnd");
  EXPECT_TRUE(p.IsSilent());
  EXPECT_TRUE(p.IsNoStart());
  EXPECT_TRUE(p.IsRun());
  EXPECT_EQ(p.GetInstallDir(), L"D:\\a b");
  EXPECT_EQ(p.GetCmdPid(), L"ch7");
  EXPECT_EQ(p.GetPid(), L"ch7");
  EXPECT_EQ(p.GetDebugFile(), L"C:\\r.dll");
  EXPECT_TRUE(p.IsMigrate());
  EXPECT_EQ(p.GetMigrateSource(), L"corvale");
  EXPECT_EQ(p.GetMigrateTargetDir(), L"E:\\old");
  EXPECT_FALSE(p.IsCloseRunningProduct());
}

TEST_F(CommandParserTest, EmptyMigrationSourceReplacesTheDefault) {
  CCommandParser p;
  p.Parse(L"--migrate_src=");
  EXPECT_TRUE(p.GetMigrateSource().empty());
}

TEST_F(CommandParserTest, EmptyPidFallsBackToDefault) {
  CCommandParser p;
  p.Parse(L"--pid=");
  EXPECT_EQ(p.GetCmdPid(), L"home");
}

TEST_F(CommandParserTest, StoredPidWinsTrimmedButStatisticsKeepCommandLinePid) {
  StorePid(L"  \tstored_ch \t ");
  CCommandParser p;
  p.Parse(L"--pid=cmd_ch");
  EXPECT_EQ(p.GetCmdPid(), L"cmd_ch");
  EXPECT_EQ(p.GetPid(), L"stored_ch");
}

TEST_F(CommandParserTest, EmptyOrOversizeStoredPidIsIgnored) {
  StorePid(L"");
  CCommandParser p;
  p.Parse(L"--pid=cmd_ch");
  EXPECT_EQ(p.GetPid(), L"cmd_ch");
  // 130 characters need 262 bytes with the terminator: more than is read.
  StorePid(std::wstring(130, L'x'));
  p.Parse(L"--pid=cmd_ch");
  EXPECT_EQ(p.GetPid(), L"cmd_ch");
  // 129 characters and the terminator fit exactly.
  StorePid(std::wstring(129, L'y'));
  p.Parse(L"--pid=cmd_ch");
  EXPECT_EQ(p.GetPid(), std::wstring(129, L'y'));
}

TEST_F(CommandParserTest, ParsingAgainKeepsWhatIsNotGivenAgain) {
  CCommandParser p;
  p.Parse(L"/DIR=C:\\first --pid=a");
  p.Parse(L"--pid=b");
  EXPECT_EQ(p.GetInstallDir(), L"C:\\first");
  EXPECT_EQ(p.GetCmdPid(), L"b");
  // A second parse of the same text changes nothing.
  CCommandParser q;
  q.Parse(L"--hide_ui /DIR=C:\\x");
  q.Parse(L"--hide_ui /DIR=C:\\x");
  EXPECT_TRUE(q.IsSilent());
  EXPECT_EQ(q.GetInstallDir(), L"C:\\x");
}

TEST_F(CommandParserTest, SingletonIsOneObject) {
  EXPECT_EQ(CommandParser(), CommandParser());
}

}  // namespace

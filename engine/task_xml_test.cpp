#include "engine/task_xml.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

struct ReadCase {
  const char* what;
  const wchar_t* xml;
  bool exec;
  TaskAction action;
};

class ReadFirstExec : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadFirstExec, Reads) {
  const ReadCase& c = GetParam();
  TaskAction got{L"unset", L"unset", L"unset"};
  ASSERT_EQ(ReadFirstExecAction(c.xml, &got), c.exec) << c.what;
  if (!c.exec) return;
  EXPECT_EQ(got.path, c.action.path) << c.what;
  EXPECT_EQ(got.arguments, c.action.arguments) << c.what;
  EXPECT_EQ(got.working_directory, c.action.working_directory) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadFirstExec,
    testing::Values(
        ReadCase{"full",
                 L"<Task><Actions Context=\"Author\">\n  <Exec>\n"
                 L"    <Command>&quot;C:\\A &amp; B\\x.exe&quot;</Command>\n"
                 L"    <Arguments>/a &lt;b&gt; 'c'</Arguments>\n"
                 L"    <WorkingDirectory>C:\\A &amp; B</WorkingDirectory>\n  </Exec>\n"
                 L"</Actions></Task>",
                 true,
                 {L"\"C:\\A & B\\x.exe\"", L"/a <b> 'c'", L"C:\\A & B"}},
        ReadCase{"command only", L"<Actions><Exec><Command>x.exe</Command></Exec></Actions>",
                 true, {L"x.exe", L"", L""}},
        ReadCase{"comment first",
                 L"<Actions><!-- <Exec> --><Exec><Command>y</Command></Exec></Actions>", true,
                 {L"y", L"", L""}},
        ReadCase{"exec second",
                 L"<Actions><ShowMessage><Title>t</Title></ShowMessage>"
                 L"<Exec><Command>x</Command></Exec></Actions>",
                 false, {}},
        ReadCase{"exec-like name", L"<Actions><ExecX><Command>x</Command></ExecX></Actions>", false,
                 {}},
        ReadCase{"no actions", L"<Task><Triggers/></Task>", false, {}},
        ReadCase{"empty actions", L"<Actions></Actions><Exec><Command>x</Command></Exec>", false,
                 {}},
        ReadCase{"empty exec", L"<Actions><Exec/></Actions>", true, {L"", L"", L""}}),
    [](const testing::TestParamInfo<ReadCase>& info) {
      std::string name = info.param.what;
      for (char& c : name) {
        if (c == ' ' || c == '-') c = '_';
      }
      return name;
    });

TEST(ReplaceFirstExec, RewritesOnlyTheFirstExecAction) {
  std::wstring xml =
      L"<Task><Triggers><CalendarTrigger/></Triggers><Actions Context=\"Author\">"
      L"<Exec><Command>old.exe</Command><Arguments>/old</Arguments></Exec>"
      L"<Exec><Command>second.exe</Command></Exec></Actions></Task>";
  const TaskAction action{L"\"C:\\A & B\\x.exe\"", L"/autorun --from=task", L"C:\\A & B"};
  ASSERT_TRUE(ReplaceFirstExecAction(&xml, action));
  EXPECT_EQ(xml,
            L"<Task><Triggers><CalendarTrigger/></Triggers><Actions Context=\"Author\">"
            L"<Exec><Command>&quot;C:\\A &amp; B\\x.exe&quot;</Command>"
            L"<Arguments>/autorun --from=task</Arguments>"
            L"<WorkingDirectory>C:\\A &amp; B</WorkingDirectory></Exec>"
            L"<Exec><Command>second.exe</Command></Exec></Actions></Task>");
  TaskAction back;
  ASSERT_TRUE(ReadFirstExecAction(xml, &back));
  EXPECT_EQ(back.path, action.path);
  EXPECT_EQ(back.arguments, action.arguments);
  EXPECT_EQ(back.working_directory, action.working_directory);
}

TEST(ReplaceFirstExec, FillsAnEmptyExec) {
  std::wstring xml = L"<Actions><Exec/></Actions>";
  ASSERT_TRUE(ReplaceFirstExecAction(&xml, {L"a.exe", L"", L""}));
  EXPECT_EQ(xml, L"<Actions><Exec><Command>a.exe</Command></Exec></Actions>");
}

TEST(ReplaceFirstExec, LeavesOtherActionsAlone) {
  const std::wstring original = L"<Actions><SendEmail/><Exec><Command>x</Command></Exec></Actions>";
  std::wstring xml = original;
  EXPECT_FALSE(ReplaceFirstExecAction(&xml, {L"a.exe", L"", L""}));
  EXPECT_EQ(xml, original);
}

struct EnableCase {
  const char* what;
  const wchar_t* before;
  const wchar_t* after;
};

class EnableInXml : public testing::TestWithParam<EnableCase> {};

TEST_P(EnableInXml, SetsTheSettingsFlag) {
  std::wstring xml = GetParam().before;
  const bool has_settings = std::wstring(GetParam().after) != GetParam().before ||
                            xml.find(L"<Settings") != std::wstring::npos;
  EXPECT_EQ(EnableInTaskXml(&xml), has_settings);
  EXPECT_EQ(xml, GetParam().after) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnableInXml,
    testing::Values(
        EnableCase{"false",
                   L"<Triggers><Enabled>false</Enabled></Triggers><Settings><Hidden>false</Hidden>"
                   L"<Enabled>false</Enabled></Settings>",
                   L"<Triggers><Enabled>false</Enabled></Triggers><Settings><Hidden>false</Hidden>"
                   L"<Enabled>true</Enabled></Settings>"},
        EnableCase{"absent", L"<Settings><Hidden>false</Hidden></Settings>",
                   L"<Settings><Enabled>true</Enabled><Hidden>false</Hidden></Settings>"},
        EnableCase{"empty", L"<Settings><Enabled/></Settings>",
                   L"<Settings><Enabled>true</Enabled></Settings>"},
        EnableCase{"no settings", L"<Task></Task>", L"<Task></Task>"}),
    [](const testing::TestParamInfo<EnableCase>& info) {
      std::string name = info.param.what;
      for (char& c : name) {
        if (c == ' ') c = '_';
      }
      return name;
    });

TEST(XmlEscape, RoundTrips) {
  const std::wstring text = L"\"a\" & <b> 'c' &amp;";
  EXPECT_EQ(XmlEscape(text), L"&quot;a&quot; &amp; &lt;b&gt; &apos;c&apos; &amp;amp;");
  EXPECT_EQ(XmlUnescape(XmlEscape(text)), text);
  EXPECT_EQ(XmlUnescape(L"&unknown; &amp"), L"&unknown; &amp");
}

}  // namespace
}  // namespace engine

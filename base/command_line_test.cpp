#include "base/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SwitchCase {
  const wchar_t* text;
  const wchar_t* lookup;
  bool found;
  const wchar_t* value;
};

// Each row parses `text` alone, then looks up `lookup`.
const SwitchCase kSwitchCases[] = {
    {L"/hide_ui", L"hide_ui", true, L""},
    {L"--hide_ui", L"hide_ui", true, L""},
    {L"-hide_ui", L"hide_ui", true, L""},
    {L"/-hide_ui", L"hide_ui", true, L""},
    {L"hide_ui", L"hide_ui", false, L""},   // no prefix: a plain argument
    {L"--HIDE_UI", L"hide_ui", false, L""}, // names are case-sensitive
    {L"--pid=abc", L"--pid", true, L"abc"},
    {L"/pid=abc", L"--pid", true, L"abc"},
    {L"--pid=abc", L"-pid", true, L"abc"},
    {L"--pid=abc", L"pid", true, L"abc"},
    {L"/DIR=\"C:\\Program Files\\Pelorix\"", L"/DIR", true, L"C:\\Program Files\\Pelorix"},
    {L"/DIR=\\\"C:\\a b\\\"", L"/DIR", true, L"C:\\a b"},
    {L"/DIR=\"\\\"C:\\x\\\"\"", L"/DIR", true, L"C:\\x"},
    {L"--migrate_src=", L"migrate_src", true, L""},
    {L"--a=b=c", L"a", true, L"b=c"},
    {L"--pid=1 --pid=2", L"--pid", true, L"2"},   // the last one wins
    {L"   --x=1    --y=2  ", L"y", true, L"2"},
    {L"--mainapp=\"--tab=1 --x\"", L"--mainapp", true, L"--tab=1 --x"},
    {L"--v=\"", L"v", true, L"\""},              // a lone quote is not a quoted value
    // A quoted directory with its trailing backslash ends at the quote.
    {L"/DIR=\"C:\\P\\\" --hide_ui", L"/DIR", true, L"C:\\P\\"},
    {L"/DIR=\"C:\\P\\\" --hide_ui", L"hide_ui", true, L""},
    {L"--x=\"a \\\"b\\\" c\" --y", L"x", true, L"a \\\"b\\\" c"},
    {L"--x=\"a \\\"b\\\" c\" --y", L"y", true, L""},
};

TEST(CommandLine, SwitchTable) {
  for (const SwitchCase& c : kSwitchCases) {
    CCommandLine cl;
    cl.Parse(c.text);
    std::wstring value = L"untouched";
    EXPECT_EQ(cl.GetValue(c.lookup, &value), c.found) << c.text;
    EXPECT_EQ(value, c.found ? c.value : L"") << c.text;
    EXPECT_EQ(cl.HasSwitch(c.lookup), c.found) << c.text;
  }
}

TEST(CommandLine, PlainArgumentsKeepOrderAndLoneDashes) {
  CCommandLine cl;
  cl.Parse(L"one - / two --s \"three four\"");
  const std::vector<std::wstring> expected = {L"one", L"-", L"/", L"two", L"\"three four\""};
  EXPECT_EQ(cl.arguments(), expected);
  EXPECT_TRUE(cl.HasSwitch(L"s"));
}

TEST(CommandLine, UnterminatedQuoteRunsToTheEnd) {
  CCommandLine cl;
  cl.Parse(L"--a=1 --dir=\"C:\\x y --hide_ui");
  std::wstring value;
  ASSERT_TRUE(cl.GetValue(L"dir", &value));
  // The opening quote is not matched, so it stays and nothing after it is a switch.
  EXPECT_EQ(value, L"\"C:\\x y --hide_ui");
  EXPECT_FALSE(cl.HasSwitch(L"hide_ui"));
  EXPECT_TRUE(cl.HasSwitch(L"a"));
}

TEST(CommandLine, NullAndEmptyTextAndRepeatedParse) {
  CCommandLine cl;
  cl.Parse(nullptr);
  EXPECT_TRUE(cl.switches().empty());
  EXPECT_TRUE(cl.arguments().empty());
  cl.Parse(L"--a=1 x");
  cl.Parse(L"--b");  // parsing adds; it does not clear
  EXPECT_TRUE(cl.HasSwitch(L"a"));
  EXPECT_TRUE(cl.HasSwitch(L"b"));
  EXPECT_EQ(cl.arguments().size(), 1u);
  EXPECT_EQ(cl.raw(), L"--b");
}

TEST(CommandLine, TabsAreNotSeparators) {
  CCommandLine cl;
  cl.Parse(L"--a=1\t--b");
  std::wstring value;
  ASSERT_TRUE(cl.GetValue(L"a", &value));
  EXPECT_EQ(value, L"1\t--b");
}

}  // namespace

#include "telemetry/statistic_impl.h"

#include <gtest/gtest.h>

#include "base/file_version.h"

#include <string>
#include <vector>

#include "base/os_version.h"
#include "base/registry.h"
#include "trust/product_info_test_util.h"
#include "telemetry/machine_id.h"
#include "telemetry/mid2.h"
#include "telemetry/mid_test_support.h"
#include "telemetry/setup_statistics.h"

namespace {

using telemetry_test::kAbsent;
using telemetry_test::ReadHubwright;
using telemetry_test::WriteHubwright;

constexpr wchar_t kTemplate[] =
    L"http://{host}/pc_all?app=pelorix&pid={pid}&mid={mid}&mid2={mid2}&appver={appver}"
    L"&modver={modver}&type={type}&action={action}&ex_ary[ex_flag]=value_added";

// Keeps what would go on the wire instead of sending it.
class CRecordingStatistic : public CVnkStatisticImpl {
 public:
  struct Sent {
    std::wstring url;
    bool async;
  };
  std::vector<Sent> sent;
  bool transfer_result = true;

 protected:
  bool Send(const std::wstring& url, const std::wstring&, bool async,
            const telemetry::StatCompletion& completion) override {
    sent.push_back({url, async});
    if (completion) completion(transfer_result);
    return transfer_result;
  }
};

// Gives each test a chosen "stat_rand" (or none) and puts the old one back.
class CSamplingGuard {
 public:
  CSamplingGuard() : saved_(ReadHubwright(CVnkStatisticImpl::kSamplingValue)) {}
  ~CSamplingGuard() {
    if (saved_ == kAbsent) {
      base::RegRemoveValue(HKEY_LOCAL_MACHINE, telemetry_test::kHubwrightKey,
                           CVnkStatisticImpl::kSamplingValue, telemetry_test::kView);
    } else {
      WriteHubwright(CVnkStatisticImpl::kSamplingValue, saved_);
    }
  }
  void Set(const std::wstring& value) {
    if (value == kAbsent) {
      base::RegRemoveValue(HKEY_LOCAL_MACHINE, telemetry_test::kHubwrightKey,
                           CVnkStatisticImpl::kSamplingValue, telemetry_test::kView);
    } else {
      WriteHubwright(CVnkStatisticImpl::kSamplingValue, value);
    }
  }

 private:
  std::wstring saved_;
};

std::wstring Mid() {
  wchar_t buffer[260];
  return GetMID(buffer, 260) ? buffer : L"";
}

std::wstring Mid2() {
  wchar_t buffer[260];
  return SUCCEEDED(GetMID2(buffer, 260)) ? buffer : L"";
}

TEST(ReplacePlaceholder, ReplacesEveryOccurrenceUnlessTheFirstStartsTheUrl) {
  struct Case {
    const wchar_t* url;
    const wchar_t* expected;
  } cases[] = {
      {L"a={x}", L"a=V"},
      {L"a={x}&b={x}", L"a=V&b=V"},
      {L"{x}&b={x}", L"{x}&b={x}"},  // found at the very start: left alone
      {L"a={y}", L"a={y}"},
      {L"", L""},
      {L"a={x}{x}", L"a=VV"},
  };
  for (const Case& c : cases) {
    std::wstring url = c.url;
    telemetry::ReplacePlaceholder(&url, L"{x}", L"V");
    EXPECT_EQ(url, c.expected) << c.url;
  }
  std::wstring grows = L"a={x}";
  telemetry::ReplacePlaceholder(&grows, L"{x}", L"{x}{x}");  // no re-scan of the value
  EXPECT_EQ(grows, L"a={x}{x}");
}

TEST(FillStatisticsHost, PutsTheHostBetweenSchemeAndPath) {
  EXPECT_EQ(telemetry::FillStatisticsHost(kTemplate, L"stats.example:81").substr(0, 31),
            L"http://stats.example:81/pc_all?");
  EXPECT_EQ(telemetry::FillStatisticsHost(L"http://a/b", L"h"), L"http://a/b");
}

class StatisticImplTest : public ::testing::Test {
 protected:
  CSamplingGuard sampling_;
};

TEST_F(StatisticImplTest, FillsThePlaceholdersAndAppendsExtrasAsGiven) {
  sampling_.Set(L"100");
  CRecordingStatistic stat;
  ASSERT_EQ(stat.Init(0, L"install", telemetry::FillStatisticsHost(kTemplate, L"h").c_str()), 1);
  stat.SetPid(L"1234");
  stat.SetAppVersion(L"2.1.0.7");
  stat.SetModVersion(L"9.8.7.6");
  ASSERT_EQ(stat.Report(100, L"start", nullptr, nullptr, true, L"&ex_ary[k]=a b"), 1);
  ASSERT_EQ(stat.sent.size(), 1u);
  EXPECT_TRUE(stat.sent[0].async);
  EXPECT_EQ(stat.sent[0].url, L"http://h/pc_all?app=pelorix&pid=1234&mid=" + Mid() + L"&mid2=" + Mid2() +
                                  L"&appver=2.1.0.7&modver=9.8.7.6&type=install&action=start"
                                  L"&ex_ary[ex_flag]=value_added&ex_ary[k]=a b");
  EXPECT_EQ(stat.mid.size(), 32u);
  EXPECT_EQ(stat.mid2.size(), 44u);
}

TEST_F(StatisticImplTest, CallTypeAndTemplateWinOverTheDefaults) {
  sampling_.Set(L"100");
  CRecordingStatistic stat;
  ASSERT_EQ(stat.Init(0, L"install", L"http://h/p?t={type}&a={action}&app={app}"), 1);
  stat.SetApp(L"pelorix");
  stat.SetFixedExtra(L"&fixed=1");
  stat.Report(100, L"a1", L"update", nullptr, false, nullptr);
  stat.Report(100, L"a2", nullptr, L"http://other/q?x={action}&y={type}", false, L"&e=2");
  ASSERT_EQ(stat.sent.size(), 2u);
  EXPECT_EQ(stat.sent[0].url, L"http://h/p?t=update&a=a1&app=pelorix&fixed=1");
  EXPECT_FALSE(stat.sent[0].async);
  EXPECT_EQ(stat.sent[1].url, L"http://other/q?x=a2&y=install&fixed=1&e=2");
}

TEST_F(StatisticImplTest, NothingIsSentBeforeInitOrWithoutAnAction) {
  sampling_.Set(L"100");
  CRecordingStatistic stat;
  EXPECT_EQ(stat.Report(100, L"start", nullptr, nullptr, true, nullptr), 0);
  EXPECT_EQ(stat.Init(-1, L"install", L"http://h/{action}"), 0);
  EXPECT_FALSE(stat.initialized());
  EXPECT_EQ(stat.Report(100, L"start", nullptr, nullptr, true, nullptr), 0);
  ASSERT_EQ(stat.Init(3, L"install", L"http://h/{action}"), 1);
  EXPECT_EQ(stat.Report(100, nullptr, nullptr, nullptr, true, nullptr), 0);
  EXPECT_TRUE(stat.sent.empty());
  // Only the first successful Init counts.
  EXPECT_EQ(stat.Init(4, L"other", L"http://other/{action}"), 1);
  stat.Report(100, L"x", nullptr, nullptr, true, nullptr);
  ASSERT_EQ(stat.sent.size(), 1u);
  EXPECT_EQ(stat.sent[0].url, L"http://h/x");
}

TEST_F(StatisticImplTest, SamplingThresholdDecidesWhatIsSentAndHow) {
  struct Case {
    const wchar_t* stored;
    int percentage;
    const wchar_t* expected_url;  // null: nothing sent
  } cases[] = {
      {L"31", 30, nullptr},
      {L"30", 30, L"http://h/a=30per_act"},
      {L"1", 30, L"http://h/a=30per_act"},
      {L"100", 99, nullptr},
      {L"100", 100, L"http://h/a=act"},
      {L"31", 100, L"http://h/a=act"},
  };
  for (const Case& c : cases) {
    sampling_.Set(c.stored);
    CRecordingStatistic stat;
    ASSERT_EQ(stat.Init(0, nullptr, L"http://h/a={action}"), 1);
    EXPECT_EQ(stat.threshold(), _wtoi(c.stored));
    const int sent = stat.Report(c.percentage, L"act", nullptr, nullptr, true, nullptr);
    if (c.expected_url) {
      EXPECT_EQ(sent, 1) << c.stored << " " << c.percentage;
      ASSERT_EQ(stat.sent.size(), 1u);
      EXPECT_EQ(stat.sent[0].url, c.expected_url);
    } else {
      EXPECT_EQ(sent, 0) << c.stored << " " << c.percentage;
      EXPECT_TRUE(stat.sent.empty());
    }
    EXPECT_EQ(ReadHubwright(CVnkStatisticImpl::kSamplingValue), c.stored) << "a valid value is kept";
  }
}

TEST_F(StatisticImplTest, UnusableThresholdIsReplacedAndWrittenBack) {
  for (const wchar_t* stored : {L"abc", L"0", L"101", L"-5", L"", kAbsent}) {
    sampling_.Set(stored);
    CRecordingStatistic stat;
    ASSERT_EQ(stat.Init(0, nullptr, L"http://h/{action}"), 1);
    EXPECT_GE(stat.threshold(), 1) << stored;
    EXPECT_LE(stat.threshold(), 100) << stored;
    EXPECT_EQ(ReadHubwright(CVnkStatisticImpl::kSamplingValue), std::to_wstring(stat.threshold())) << stored;
    // The next run keeps the value drawn now.
    CRecordingStatistic next;
    next.Init(0, nullptr, L"http://h/{action}");
    EXPECT_EQ(next.threshold(), stat.threshold()) << stored;
  }
}

TEST_F(StatisticImplTest, CompletionSeesTheTransferResult) {
  sampling_.Set(L"100");
  for (bool result : {true, false}) {
    CRecordingStatistic stat;
    stat.transfer_result = result;
    stat.Init(0, nullptr, L"http://h/{action}");
    std::vector<bool> calls;
    EXPECT_EQ(stat.Report(100, L"end", nullptr, nullptr, false, nullptr,
                          [&](bool ok) { calls.push_back(ok); }),
              result ? 1 : 0);
    EXPECT_EQ(calls, std::vector<bool>{result});
  }
}

TEST_F(StatisticImplTest, SetupStatisticsAddsTheCommonExtrasInOrder) {
  sampling_.Set(L"100");
  CRecordingStatistic stat;
  SetupStatistics setup(&stat);
  setup.Init(0, L"install", L"http://{host}/pc_all?action={action}");
  const base::NtVersion& v = base::CurrentNtVersion();
  const std::wstring os = std::to_wstring(v.major) + L"." + std::to_wstring(v.minor) + L"." +
                          std::to_wstring(v.build);
  const std::wstring guid = telemetry::MachineGuid();
  EXPECT_EQ(guid.size(), 36u) << "the prefix has a MachineGuid";

  ASSERT_TRUE(setup.Report(L"fail", L"&ex_ary[errcode]=3", true));
  setup.SetNewUser(false);
  ASSERT_TRUE(setup.Report(L"end", L"", false));
  ASSERT_EQ(stat.sent.size(), 2u);
  EXPECT_EQ(stat.sent[0].url, L"http://127.0.0.1:18233/pc_all?action=fail&ex_ary[os]=" + os +
                                  L"&ex_ary[new_user]=1&ex_ary[ms_mid]=" + guid +
                                  L"&ex_ary[interval]=0&ex_ary[errcode]=3");
  EXPECT_TRUE(stat.sent[0].async);
  EXPECT_EQ(stat.sent[1].url, L"http://127.0.0.1:18233/pc_all?action=end&ex_ary[os]=" + os +
                                  L"&ex_ary[new_user]=0&ex_ary[ms_mid]=" + guid + L"&ex_ary[interval]=0");
  EXPECT_FALSE(stat.sent[1].async);
}

TEST_F(StatisticImplTest, IntervalCountsWholeSecondsSinceInit) {
  sampling_.Set(L"100");
  CRecordingStatistic stat;
  SetupStatistics setup(&stat);
  setup.Init(0, L"install", L"http://h/{action}");
  Sleep(1100);
  setup.Report(L"later");
  ASSERT_EQ(stat.sent.size(), 1u);
  EXPECT_NE(stat.sent[0].url.find(L"&ex_ary[interval]=1"), std::wstring::npos) << stat.sent[0].url;
}

// The product's information file gives the template, app and channel
// when the caller brings no template of its own.
TEST_F(StatisticImplTest, ProductInformationGivesTemplateAppAndChannel) {
  sampling_.Set(L"100");
  product_info_test::BaseFolder base;
  ASSERT_TRUE(log_test::WriteRaw(base.File(L"Pelorix.exe"), "MZ"));
  ASSERT_TRUE(base::RegWriteString(HKEY_CURRENT_USER, L"Software\\PelorixStatTest", L"channel", L"chan7"));
  ASSERT_TRUE(product_info_test::WriteInfo(
      base.File(L"ProductInfo.dat"),
      product_info_test::Info("1", R"({"product_id":"pelorix","main_process_name":"Pelorix.exe",
        "reg_path":"HKEY_CURRENT_USER\\Software\\PelorixStatTest","channel_reg_key":"channel",
        "app":"pelorix_x","stats_url":"http://s/pc_all?app={app}&pid={pid}&action={action}"})")));
  auto info = std::make_shared<trust::SendrakeImpl>();
  ASSERT_TRUE(info->InitFromDirectory(base.path()));

  CRecordingStatistic stat;
  stat.SetProductInfo(info);
  ASSERT_EQ(stat.Init(0, L"install", nullptr), 1);
  EXPECT_EQ(stat.BuildUrl(100, L"start", nullptr, nullptr, L""), L"http://s/pc_all?app=pelorix_x&pid=chan7&action=start");
  // A template and a pid of the caller's own still win.
  stat.SetPid(L"home");
  EXPECT_EQ(stat.BuildUrl(100, L"end", nullptr, L"http://t/?p={pid}&a={app}", L""), L"http://t/?p=home&a=pelorix_x");

  CRecordingStatistic without;
  without.SetProductInfo(nullptr);
  ASSERT_EQ(without.Init(0, L"install", nullptr), 1);
  EXPECT_EQ(without.BuildUrl(100, L"start", nullptr, L"http://t/?a={app}", L""), L"http://t/?a=");
  base::RegRemoveTree(HKEY_CURRENT_USER, L"Software\\PelorixStatTest");
}

TEST(ModVersion, IsTheFixedVersionOfAFileAndEmptyWithoutOne) {
  wchar_t kernel[MAX_PATH];
  GetSystemDirectoryW(kernel, MAX_PATH);
  const std::wstring version = base::FixedFileVersion(std::wstring(kernel) + L"\\kernel32.dll");
  EXPECT_EQ(std::count(version.begin(), version.end(), L'.'), 3) << version;
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(base::FixedFileVersion(self), L"");  // the test program has no version resource
  EXPECT_EQ(base::FixedFileVersion(L"C:\\no\\such.dll"), L"");
}

}  // namespace

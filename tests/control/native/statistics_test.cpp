// Statistics requests and the simulated device's counters: which statistics a
// request names, the refusals of a bad update, and HoursPoweredCount.
#include "control/core/opos.h"
#include "control/services/parsers/statistics_request.h"
#include "control/services/statistics.h"
#include "fakes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace quillon;
using namespace quillon::control;

std::vector<std::wstring> Names(const std::vector<stats::Requested> &list) {
  std::vector<std::wstring> out;
  for (const stats::Requested &r : list)
    out.push_back(r.name);
  return out;
}

long CountOf(const std::vector<stats::Requested> &list, const std::wstring &name) {
  return static_cast<long>(
      std::count_if(list.begin(), list.end(), [&](const stats::Requested &r) { return r.name == name; }));
}

const int kGoodScans = stats::IndexOf(L"GoodScanCount");

TEST(StatisticsRequest, GroupsAndNames) {
  const auto table = stats::SimulatedTable();
  EXPECT_EQ(8u, stats::ResolveNames(table, L"", true).size());
  EXPECT_EQ(8u, stats::ResolveNames(table, L"  ", true).size());
  EXPECT_EQ((std::vector<std::wstring>{L"HoursPoweredCount", L"CommunicationErrorCount", L"GoodScanCount"}),
            Names(stats::ResolveNames(table, L"U_", true)));
  const auto maker = stats::ResolveNames(table, L"M_", true, kGoodScans);
  EXPECT_EQ(6u, maker.size()) << "the five manufacturer's statistics and GoodScanCount";
  EXPECT_EQ(1, CountOf(maker, L"GoodScanCount"));
  EXPECT_EQ(5u, stats::ResolveNames(table, L"M_", false, kGoodScans).size()) << "only a retrieval repeats it";
  const auto named = stats::ResolveNames(table, L"GoodScanCount, NoSuchStatistic", true);
  ASSERT_EQ(2u, named.size());
  EXPECT_EQ(kGoodScans, named[0].index);
  EXPECT_EQ(-1, named[1].index);
  EXPECT_EQ(L"NoSuchStatistic", named[1].name);
}

// Each statistic once, whichever order the groups come in.
TEST(StatisticsRequest, GroupsTogetherListEachStatisticOnce) {
  for (const wchar_t *request : {L"U_,M_", L"M_,U_", L"U_, M_, U_", L"M_,M_"}) {
    const auto list = stats::ResolveNames(stats::SimulatedTable(), request, true, kGoodScans);
    EXPECT_EQ(1, CountOf(list, L"GoodScanCount")) << request;
  }
  EXPECT_EQ(8u, stats::ResolveNames(stats::SimulatedTable(), L"U_,M_", true, kGoodScans).size());
}

TEST(StatisticsRequest, UpdatesAndResets) {
  const auto table = stats::SimulatedTable();
  std::vector<stats::Assignment> a;
  EXPECT_EQ(0, stats::ParseUpdate(table, L"GoodScanCount=41, M_=7", a).code);
  ASSERT_EQ(2u, a.size());
  EXPECT_EQ(std::vector<int>{kGoodScans}, a[0].targets);
  EXPECT_EQ(41, a[0].value);
  EXPECT_EQ(5u, a[1].targets.size()) << "M_ in an update is the manufacturer's five alone";
  EXPECT_EQ(0, stats::ParseUpdate(table, L"=3", a).code);
  EXPECT_EQ(8u, a[0].targets.size());
  std::vector<int> targets;
  EXPECT_EQ(0, stats::ParseReset(table, L"", targets).code);
  EXPECT_EQ(8u, targets.size());
  const Result unknown = stats::ParseReset(table, L"NoSuch", targets);
  EXPECT_EQ(114, unknown.code);
  EXPECT_EQ(280, unknown.extended);
}

TEST(StatisticsRequest, BadUpdatesAreRefused) {
  const struct {
    const wchar_t *buffer;
    long code, extended;
  } cases[] = {
      {L"GoodScanCount=Error", 106, 0}, {L"GoodScanCount", 106, 0},
      {L"GoodScanCount=-1", 106, 0},    {L"", 106, 0},
      {L"NoSuch=1", 114, 280},          {L"GoodScanCount=1,,", 106, 0},
      {L"GoodScanCount= 1 2", 106, 0},  {L"GoodScanCount=99999999999999999999", 106, 0},
  };
  for (const auto &c : cases) {
    std::vector<stats::Assignment> a;
    const Result r = stats::ParseUpdate(stats::SimulatedTable(), c.buffer, a);
    EXPECT_EQ(c.code, r.code) << c.buffer;
    EXPECT_EQ(c.extended, r.extended) << c.buffer;
  }
}

TEST(Counters, HoursPoweredCountsFromTheStoredValue) {
  fake::Clock clock;
  stats::Counters counters(clock);
  counters.Load({{L"HoursPoweredCount", 10}, {L"GoodScanCount", 3}});
  clock.now += 3 * 3600000;
  EXPECT_EQ(13, counters.Values()[0]);
  EXPECT_EQ(13, counters.Stored().at(L"HoursPoweredCount"));
  EXPECT_EQ(13, counters.Values()[0]) << "reading or storing does not count the hours again";
  counters.Assign({{{0}, 100}});
  clock.now += 3600000;
  EXPECT_EQ(101, counters.Values()[0]);
  counters.Reset({0});
  EXPECT_EQ(0, counters.Values()[0]);
  EXPECT_EQ(3, counters.Values()[static_cast<size_t>(kGoodScans)]);
}

TEST(Counters, ReportListsWhatWasAskedWithUnknownNamesEmpty) {
  const std::wstring x = stats::Report({L"M<1>", L"S1", L"F1"},
                                       {{kGoodScans, L"GoodScanCount"}, {-1, L"No<such>"}, {3, L"DemoLabelCount"}},
                                       {0, 0, 42, 5, 0, 0, 0, 0}, L"");
  EXPECT_NE(std::wstring::npos, x.find(L"<ModelName>M&lt;1&gt;</ModelName>"));
  EXPECT_NE(std::wstring::npos, x.find(L"<Name>GoodScanCount</Name>\r\n   <Value>42</Value>"));
  EXPECT_NE(std::wstring::npos, x.find(L"<Name>No&lt;such&gt;</Name>\r\n   <Value></Value>"));
  EXPECT_NE(std::wstring::npos, x.find(L"<ManufacturerSpecific>\r\n   <Name>DemoLabelCount</Name>"));
  EXPECT_EQ(std::wstring::npos, x.find(L"LongText"));
}

} // namespace

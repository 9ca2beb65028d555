// The catalogue against the model scanner: the conforming model passes every
// rule, each fault fails exactly the rule that names it, a hung call ends the
// run with its report written, and Ctrl+C leaves the device closed. Also the
// pieces of plain logic: --only patterns and the statistics reply reader.
#include "check/runner.h"
#include "check/statistics_xml.h"
#include "model_scanner.h"

#include "support/read_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

struct ModelRun {
  int status = -1;
  std::vector<RuleResult> results;
  bool deviceLeftOpen = true;
};

std::wstring TempFile(const wchar_t *name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

ModelRun RunAgainstModel(ModelFault fault, unsigned callTimeoutMs = 5000, const std::wstring &report = L"") {
  FakeScannerRegistration registration;
  EXPECT_EQ(S_OK, registration.Result());
  ModelScanner model(registration, fault);
  CheckOptions options;
  options.device = L"ModelScanner";
  options.interactive = true;
  options.allowWrites = true;
  options.callTimeoutMs = callTimeoutMs;
  options.reportPath = report;
  const CheckTimings timings{20, 500, 60};
  CheckRunner *runner = nullptr;
  Watchdog watchdog([&runner](const std::wstring &call, unsigned ms) {
    if (runner) runner->OnCallTimedOut(call, ms);
  });
  CheckSession session(watchdog, callTimeoutMs);
  CheckRunner run(options, timings, session, model, model);
  runner = &run;
  ModelRun result;
  result.status = run.Run(SelectRules(options));
  runner = nullptr;
  result.results = run.Results();
  result.deviceLeftOpen = model.AnyOpenOrClaimed();
  g_checkInterrupted = false;
  return result;
}

const RuleResult *Find(const ModelRun &run, const std::wstring &id) {
  for (const RuleResult &r : run.results)
    if (r.rule->id == id) return &r;
  return nullptr;
}

std::string Narrow(const std::wstring &s) { return Utf8(s); }

TEST(CheckRun, ConformingModelPassesEveryRuleItCanCheck) {
  const ModelRun run = RunAgainstModel(ModelFault::None);
  EXPECT_EQ(0, run.status);
  ASSERT_EQ(Catalogue().size(), run.results.size());
  for (const RuleResult &r : run.results) {
    // The model reports every statistics capability, so nothing is ruled out.
    const Outcome expected = r.rule->id == std::wstring(L"stats.capability-gating") ? Outcome::Skip : Outcome::Pass;
    EXPECT_EQ(expected, r.outcome) << Narrow(r.rule->id) << ": " << Narrow(r.detail);
  }
  EXPECT_FALSE(run.deviceLeftOpen);
}

struct FaultRow {
  ModelFault fault;
  const wchar_t *rule;
};

// One row per rule: the fault that rule exists to catch.
const FaultRow kFaultRows[] = {
    {ModelFault::ClearInputWhileClosedIllegal, L"lifecycle.closed-answers-101"},
    {ModelFault::StateClosedWhileEnabled, L"lifecycle.state-values"},
    {ModelFault::OpenTwiceSucceeds, L"lifecycle.open-twice-106"},
    {ModelFault::UnknownDeviceNoService, L"lifecycle.unknown-device-109"},
    {ModelFault::CloseKeepsClaim, L"lifecycle.close-releases-everything"},
    {ModelFault::ReleaseUnclaimedSucceeds, L"claim.release-unclaimed-106"},
    {ModelFault::NegativeTimeoutClaims, L"claim.timeout-below-minus-one-106"},
    {ModelFault::ReclaimRefused, L"claim.again-from-holder"},
    {ModelFault::ClaimNotExclusive, L"claim.exclusive-across-processes"},
    {ModelFault::ClaimTimeoutNotWaited, L"claim.timeout-honoured"},
    {ModelFault::ClearInputUnclaimedSucceeds, L"claim.enable-needs-claim-103"},
    {ModelFault::DisableIgnored, L"enable.reads-back"},
    {ModelFault::ReleaseKeepsEnabled, L"enable.release-disables"},
    {ModelFault::HealthWhileDisabled, L"enable.methods-need-enable-105"},
    {ModelFault::CapPowerReportingThree, L"power.capability-value"},
    {ModelFault::NotifyWhileEnabledAccepted, L"power.notify-while-enabled-106"},
    {ModelFault::NotifyIllegalValueAccepted, L"power.notify-needs-capability"},
    {ModelFault::PowerStateStaysUnknown, L"power.state-reporting"},
    {ModelFault::ThawFlushesHeldData, L"events.data-event-enabled-gates"},
    {ModelFault::FreezeIgnored, L"events.frozen-holds-data"},
    {ModelFault::DataCountStays, L"events.data-count-drops"},
    {ModelFault::DataEventEnabledStays, L"events.data-event-enabled-resets"},
    {ModelFault::AutoDisableIgnored, L"events.auto-disable"},
    {ModelFault::ClearInputKeepsQueue, L"events.clear-input"},
    {ModelFault::ClearInputPropertiesKeepsType, L"events.clear-input-properties"},
    {ModelFault::DeliversInsideCall, L"events.application-thread"},
    {ModelFault::DecodeOffKeepsLabel, L"data.decode-off"},
    {ModelFault::WrongTypeForIdentifier, L"data.decode-on"},
    {ModelFault::HealthTextUnchanged, L"health.internal-external"},
    {ModelFault::UnknownHealthLevelSucceeds, L"health.unknown-level-106"},
    {ModelFault::InteractiveHealthFails, L"health.interactive"},
    {ModelFault::UpdateWithoutCapability, L"stats.capability-gating"},
    {ModelFault::BrokenStatisticsXml, L"stats.retrieve-parses"},
    {ModelFault::UnknownStatisticOmitted, L"stats.unknown-name"},
    {ModelFault::ResetKeepsValue, L"stats.update-and-reset"},
    {ModelFault::ReadKeepsResultCode, L"result.code-after-every-call"},
    {ModelFault::DescriptionReadRaises, L"state.properties-readable"},
};

class BrokenRule : public testing::TestWithParam<FaultRow> {};

TEST_P(BrokenRule, FailsThatRuleAlone) {
  const ModelRun run = RunAgainstModel(GetParam().fault);
  EXPECT_EQ(1, run.status);
  for (const RuleResult &r : run.results) {
    const bool named = r.rule->id == std::wstring(GetParam().rule);
    EXPECT_EQ(named, r.outcome == Outcome::Fail) << Narrow(r.rule->id) << ": " << Narrow(r.detail);
  }
  EXPECT_FALSE(run.deviceLeftOpen);
}

INSTANTIATE_TEST_SUITE_P(EachRule, BrokenRule, testing::ValuesIn(kFaultRows),
                         [](const testing::TestParamInfo<FaultRow> &row) {
                           std::string name;
                           for (const wchar_t *p = row.param.rule; *p; ++p)
                             name += std::isalnum(*p) ? static_cast<char>(*p) : '_';
                           return name;
                         });

TEST(CheckRun, EveryRuleHasAFaultRow) {
  for (const Rule &rule : Catalogue()) {
    const bool covered = std::any_of(std::begin(kFaultRows), std::end(kFaultRows),
                                     [&](const FaultRow &row) { return std::wstring(row.rule) == rule.id; });
    EXPECT_TRUE(covered) << Narrow(rule.id);
  }
}

TEST(CheckRun, HungCallFailsItsRuleAndEndsTheRunWithTheReportWritten) {
  const std::wstring report = TempFile(L"quillon_check_hung.txt");
  DeleteFileW(report.c_str());
  const ModelRun run = RunAgainstModel(ModelFault::HangsInUnknownHealthLevel, 300, report);
  EXPECT_EQ(1, run.status);
  bool after = false;
  for (const RuleResult &r : run.results) {
    if (after) {
      EXPECT_EQ(Outcome::Skip, r.outcome) << Narrow(r.rule->id);
      EXPECT_NE(std::wstring::npos, r.detail.find(L"CheckHealth did not return")) << Narrow(r.detail);
    } else if (r.rule->id == std::wstring(L"health.unknown-level-106")) {
      EXPECT_EQ(Outcome::Fail, r.outcome);
      EXPECT_EQ(L"CheckHealth did not return within 300 ms", r.detail);
      after = true;
    } else {
      EXPECT_NE(Outcome::Fail, r.outcome) << Narrow(r.rule->id);
    }
  }
  EXPECT_TRUE(after);
  const std::string text = ReadFileBytes(report);
  EXPECT_NE(std::string::npos, text.find("FAIL  health.unknown-level-106: CheckHealth did not return")) << text;
  EXPECT_NE(std::string::npos, text.find(" failed, ")) << text;
  DeleteFileW(report.c_str());
}

TEST(CheckRun, CtrlCEndsTheRunWithTheDeviceClosedAndReleased) {
  const ModelRun run = RunAgainstModel(ModelFault::InterruptedInReclaim);
  EXPECT_EQ(0, run.status);
  const RuleResult *stopped = Find(run, L"claim.again-from-holder");
  ASSERT_NE(nullptr, stopped);
  EXPECT_EQ(Outcome::Skip, stopped->outcome);
  EXPECT_EQ(L"not finished: interrupted (Ctrl+C)", stopped->detail);
  EXPECT_EQ(L"not run: interrupted (Ctrl+C)", run.results.back().detail);
  EXPECT_FALSE(run.deviceLeftOpen);
}

TEST(CheckOptions, OnlySelectsByPatterns) {
  const struct {
    const wchar_t *only;
    size_t count;
    const wchar_t *first;
  } kRows[] = {
      {L"--only=events.*", 8, L"events.data-event-enabled-gates"},
      {L"--only=*-106", 5, L"lifecycle.open-twice-106"},
      {L"--only=claim.again-from-holder,data.decode-o??", 2, L"claim.again-from-holder"},
      {L"--only=nothing", 0, nullptr},
  };
  for (const auto &row : kRows) {
    CheckOptions o;
    std::wstring error;
    ASSERT_TRUE(ParseCheckOptions({L"Dev", row.only}, o, error)) << Narrow(error);
    const auto rules = SelectRules(o);
    EXPECT_EQ(row.count, rules.size()) << Narrow(row.only);
    if (row.first && !rules.empty()) {
      EXPECT_EQ(std::wstring(row.first), rules.front()->id);
    }
  }
  CheckOptions o;
  std::wstring error;
  EXPECT_FALSE(ParseCheckOptions({L"--colour"}, o, error));
  EXPECT_FALSE(ParseCheckOptions({L"One", L"Two"}, o, error));
}

TEST(CheckOptions, ReportFileNameKeepsOnlyWhatAFileNameMayHold) {
  const SYSTEMTIME t{2026, 12, 2, 8, 22, 45, 1, 0};
  EXPECT_EQ(L"QuillonCheck QuillonSim 2026-12-08 224501.txt", ReportFileName(L"QuillonSim", t));
  EXPECT_EQ(L"QuillonCheck a_b_c_d_e 2026-12-08 224501.txt", ReportFileName(L"a:b/c\\d?e", t));
  EXPECT_EQ(L"QuillonCheck " + std::wstring(64, L'x') + L" 2026-12-08 224501.txt",
            ReportFileName(std::wstring(300, L'x'), t));
}

TEST(StatisticsReply, ReadsEntriesAndRefusesWhatIsNotTheStatisticsShape) {
  std::vector<StatisticEntry> entries;
  std::wstring error;
  ASSERT_TRUE(ParseStatisticsReply(
      L"<?xml version=\"1.0\"?><!-- c --><u:UPOSStat xmlns:u=\"x\"><u:Equipment><u:DeviceCategory UPOS='Scanner'/>"
      L"</u:Equipment><u:Event><u:Parameter><u:Name>A&amp;B</u:Name><u:Value> 7 </u:Value></u:Parameter>"
      L"<u:ManufacturerSpecific><u:Name>M</u:Name><u:Value><![CDATA[<x>]]></u:Value></u:ManufacturerSpecific>"
      L"</u:Event></u:UPOSStat>",
      entries, error))
      << Narrow(error);
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ(L"A&B", entries[0].name);
  EXPECT_EQ(L"7", entries[0].value);
  EXPECT_EQ(L"<x>", entries[1].value);

  const wchar_t *kRefused[] = {
      L"<UPOSStat><Equipment></UPOSStat>",                                                 // mismatched end tag
      L"<UPOSStat><Equipment><DeviceCategory UPOS=\"Scanner\"/></Equipment></UPOSStat>",   // no Event
      L"<Stats><Equipment><DeviceCategory UPOS=\"Scanner\"/></Equipment><Event/></Stats>", // wrong root
      L"<UPOSStat><Equipment><DeviceCategory UPOS=\"Printer\"/></Equipment><Event/></UPOSStat>",
      L"<UPOSStat><Equipment><DeviceCategory UPOS=\"Scanner\"/></Equipment><Event><Parameter><Name>A</Name>"
      L"</Parameter></Event></UPOSStat>", // no Value
      L"<UPOSStat a=\"1\" a=\"2\"/>",     // attribute twice
      L"<UPOSStat>&nbsp;</UPOSStat>",     // unknown entity
      L"<UPOSStat/><UPOSStat/>",          // two roots
      L"",
  };
  for (const wchar_t *doc : kRefused)
    EXPECT_FALSE(ParseStatisticsReply(doc, entries, error)) << Narrow(doc);
}

} // namespace

// The device core's life cycle: the result code of every call in every state,
// what ResultCode keeps, the claim, enabling and its power state, AutoDisable.
#include "fakes.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace quillon;
using namespace quillon::control;
using fake::Rig;

// One step of a life-cycle table: an action, the code it returns (methods) or
// leaves in ResultCode (properties).
struct Step {
  const char *what;
  std::function<long(Rig &)> act;
  long result;
};

long Put(Rig &r, Prop p, long value) {
  r.device.Put(p, value);
  return r.GetLong(Prop::ResultCode);
}

void RunSteps(Rig &r, const std::vector<Step> &steps) {
  for (const Step &step : steps) {
    EXPECT_EQ(step.result, step.act(r)) << step.what;
    EXPECT_EQ(step.result, r.GetLong(Prop::ResultCode)) << step.what << " (ResultCode)";
  }
}

TEST(Lifecycle, ClosedDeviceAnswersClosed) {
  Rig r;
  EXPECT_EQ(1, r.GetLong(Prop::State));
  std::wstring text;
  long data = 0;
  RunSteps(r, {
                  {"ClaimDevice", [](Rig &c) { return c.device.ClaimDevice(0); }, 101},
                  {"ReleaseDevice", [](Rig &c) { return c.device.ReleaseDevice(); }, 101},
                  {"Close", [](Rig &c) { return c.device.Close(); }, 101},
                  {"CheckHealth", [](Rig &c) { return c.device.CheckHealth(1); }, 101},
                  {"ClearInput", [](Rig &c) { return c.device.ClearInput(); }, 101},
                  {"ClearInputProperties", [](Rig &c) { return c.device.ClearInputProperties(); }, 101},
                  {"ResetStatistics", [](Rig &c) { return c.device.ResetStatistics(L""); }, 101},
                  {"RetrieveStatistics", [&](Rig &c) { return c.device.RetrieveStatistics(text); }, 101},
                  {"DirectIO", [&](Rig &c) { return c.device.DirectIO(1, data, text); }, 101},
                  {"DeviceEnabled=true", [](Rig &c) { return Put(c, Prop::DeviceEnabled, 1); }, 101},
                  {"FreezeEvents=true", [](Rig &c) { return Put(c, Prop::FreezeEvents, 1); }, 101},
                  {"read Claimed",
                   [](Rig &c) {
                     EXPECT_FALSE(c.GetBool(Prop::Claimed));
                     return c.GetLong(Prop::ResultCode);
                   },
                   101},
              });
  EXPECT_EQ(2000, r.GetLong(Prop::PowerState));
  EXPECT_EQ(1, r.GetLong(Prop::State));
  EXPECT_EQ(1014000, r.GetLong(Prop::ControlObjectVersion));
  EXPECT_EQ(101, r.GetLong(Prop::ResultCode)) << "reading an always-available property leaves ResultCode";
  EXPECT_FALSE(r.device.Put(Prop::State, 2)) << "a read-only property is not written";
}

TEST(Lifecycle, OpenClaimEnableReleaseClose) {
  Rig r;
  RunSteps(r, {
                  {"Open unknown", [](Rig &c) { return c.device.Open(L"NoSuchScanner"); }, 109},
                  {"Open empty", [](Rig &c) { return c.device.Open(L""); }, 109},
                  {"Open a path", [](Rig &c) { return c.device.Open(L"Full\\..\\Full"); }, 109},
                  {"Open unknown service", [](Rig &c) { return c.device.Open(L"BadService"); }, 104},
                  {"Open",
                   [](Rig &c) {
                     const long rc = c.device.Open(L"Full");
                     EXPECT_EQ(2, c.GetLong(Prop::State));
                     return rc;
                   },
                   0},
                  {"Open again", [](Rig &c) { return c.device.Open(L"Full"); }, 106},
                  {"enable unclaimed", [](Rig &c) { return Put(c, Prop::DeviceEnabled, 1); }, 103},
                  {"release unclaimed", [](Rig &c) { return c.device.ReleaseDevice(); }, 106},
                  {"ClearInput unclaimed", [](Rig &c) { return c.device.ClearInput(); }, 103},
                  {"CheckHealth disabled", [](Rig &c) { return c.device.CheckHealth(1); }, 105},
                  {"Claim(-2)", [](Rig &c) { return c.device.ClaimDevice(-2); }, 106},
                  {"Claim(0)", [](Rig &c) { return c.device.ClaimDevice(0); }, 0},
                  {"Claim again", [](Rig &c) { return c.device.ClaimDevice(-1); }, 0},
                  {"BinaryConversion=3", [](Rig &c) { return Put(c, Prop::BinaryConversion, 3); }, 106},
                  {"enable", [](Rig &c) { return Put(c, Prop::DeviceEnabled, 1); }, 0},
                  {"enable again", [](Rig &c) { return Put(c, Prop::DeviceEnabled, 1); }, 0},
                  {"CheckHealth(0)", [](Rig &c) { return c.device.CheckHealth(0); }, 106},
                  {"CheckHealth(4)", [](Rig &c) { return c.device.CheckHealth(4); }, 106},
                  {"PowerNotify while enabled", [](Rig &c) { return Put(c, Prop::PowerNotify, 1); }, 106},
                  {"release", [](Rig &c) { return c.device.ReleaseDevice(); }, 0},
                  {"disabled by release", [](Rig &c) { return c.GetBool(Prop::DeviceEnabled) ? -1L : 0L; }, 0},
                  {"Close", [](Rig &c) { return c.device.Close(); }, 0},
              });
  EXPECT_EQ(1, r.GetLong(Prop::State));
  EXPECT_FALSE(r.directory.state.open) << "the service is closed";
  EXPECT_FALSE(r.claim.held) << "and the claim given up";
}

TEST(Lifecycle, ClaimHeldElsewhereTimesOutAndEnablingSaysClaimed) {
  Rig r;
  ASSERT_EQ(0, r.device.Open(L"Full"));
  r.claim.otherHolder = true;
  EXPECT_EQ(112, r.device.ClaimDevice(0));
  EXPECT_FALSE(r.GetBool(Prop::Claimed));
  EXPECT_EQ(102, Put(r, Prop::DeviceEnabled, 1));
  r.claim.otherHolder = false;
  EXPECT_EQ(0, r.device.ClaimDevice(100));
  EXPECT_TRUE(r.GetBool(Prop::Claimed));
}

TEST(Lifecycle, ServiceThatFailsToOpenLeavesTheDeviceClosed) {
  Rig r;
  r.directory.state.openResult = 107;
  EXPECT_EQ(107, r.device.Open(L"Full"));
  EXPECT_EQ(1, r.GetLong(Prop::State));
  r.directory.state.openResult = 0;
  EXPECT_EQ(0, r.device.Open(L"Full"));
}

TEST(Lifecycle, OpenFailsWhenTheWakeupCannotBeMade) {
  Rig r;
  r.wakeup.failPrepare = true;
  EXPECT_EQ(111, r.device.Open(L"Full"));
  EXPECT_EQ(1, r.GetLong(Prop::State));
  r.wakeup.failPrepare = false;
  EXPECT_EQ(0, r.device.Open(L"Full"));
}

TEST(Lifecycle, InjectedFaultFailsTheNextMethodButNotOpenOrClose) {
  Rig r;
  r.Ready();
  r.directory.state.fault = Result{114, 281};
  EXPECT_EQ(114, r.device.CheckHealth(1));
  EXPECT_EQ(281, r.GetLong(Prop::ResultCodeExtended));
  EXPECT_EQ(0, r.device.CheckHealth(1));
  EXPECT_EQ(0, r.GetLong(Prop::ResultCodeExtended));
  r.directory.state.fault = Result{111, 0};
  EXPECT_EQ(0, r.device.Close());
  EXPECT_EQ(0, r.device.Open(L"Full")) << "Open takes no fault either";
}

TEST(Lifecycle, ArgumentsOfARefusedCallAreLeftAlone) {
  Rig r;
  r.Ready(L"Plain");
  long data = 7;
  std::wstring text = L"request";
  EXPECT_EQ(106, r.device.DirectIO(99, data, text));
  EXPECT_EQ(7, data);
  EXPECT_EQ(L"request", text);
  EXPECT_EQ(0, r.device.DirectIO(1, data, text));
  EXPECT_EQ(2, data) << "the service is told the device is claimed";
  EXPECT_EQ(L"reply", text);
  std::wstring buffer = L"M_";
  EXPECT_EQ(106, r.device.RetrieveStatistics(buffer)) << "no statistics on this device";
  EXPECT_EQ(L"M_", buffer);
}

TEST(Lifecycle, StatisticsFailuresCarryTheirExtendedCode) {
  Rig r;
  r.Ready();
  EXPECT_EQ(114, r.device.UpdateStatistics(L"bad"));
  EXPECT_EQ(280, r.GetLong(Prop::ResultCodeExtended));
  EXPECT_EQ(0, r.device.ResetStatistics(L""));
  EXPECT_EQ(0, r.GetLong(Prop::ResultCodeExtended));
  ASSERT_EQ(0, r.device.ReleaseDevice());
  EXPECT_EQ(103, r.device.UpdateStatistics(L""));
}

// A report that the device went offline, arriving while the application
// enables it, is not lost: PowerState and the first StatusUpdateEvent say offline.
TEST(Power, ReportArrivingWhileEnablingIsKept) {
  Rig r;
  ASSERT_EQ(0, r.device.Open(L"Full"));
  ASSERT_EQ(0, r.device.ClaimDevice(0));
  r.device.Put(Prop::PowerNotify, 1);
  r.directory.state.duringPowerRead = [&] {
    r.directory.state.power = opos::PS_OFFLINE;
    r.directory.state.sink->OnPowerState(opos::PS_OFFLINE);
  };
  EXPECT_EQ(0, Put(r, Prop::DeviceEnabled, 1));
  EXPECT_EQ(2003, r.GetLong(Prop::PowerState));
  r.Pump();
  ASSERT_FALSE(r.target.events.empty());
  EXPECT_EQ(2003, r.target.events.back().args.at(0));
}

TEST(Power, ReportingFollowsNotifyAndCapability) {
  struct Case {
    const wchar_t *device;
    long offCode;
  } cases[] = {{L"Full", 2002}, {L"Standard", 2004}};
  for (const Case &c : cases) {
    Rig r;
    ASSERT_EQ(0, r.device.Open(c.device));
    ASSERT_EQ(0, r.device.ClaimDevice(0));
    ASSERT_EQ(0, Put(r, Prop::PowerNotify, 1));
    EXPECT_EQ(2000, r.GetLong(Prop::PowerState)) << "unknown while disabled";
    ASSERT_EQ(0, Put(r, Prop::DeviceEnabled, 1));
    r.Pump();
    ASSERT_EQ(1u, r.target.events.size());
    EXPECT_EQ(EventKind::Status, r.target.events[0].kind);
    EXPECT_EQ(std::vector<long>{2001}, r.target.events[0].args);
    EXPECT_EQ(2001, r.GetLong(Prop::PowerState));
    r.directory.state.sink->OnPowerState(2002);
    r.directory.state.sink->OnPowerState(2002); // no change, no event
    r.Pump();
    ASSERT_EQ(2u, r.target.events.size());
    EXPECT_EQ(std::vector<long>{c.offCode}, r.target.events[1].args);
    EXPECT_EQ(c.offCode, r.GetLong(Prop::PowerState));
    EXPECT_EQ(0, Put(r, Prop::DeviceEnabled, 0));
    EXPECT_EQ(2000, r.GetLong(Prop::PowerState));
  }
  Rig plain;
  ASSERT_EQ(0, plain.device.Open(L"Plain"));
  EXPECT_EQ(106, Put(plain, Prop::PowerNotify, 1)) << "no power reporting on this device";
  EXPECT_EQ(106, Put(plain, Prop::PowerNotify, 2));
}

// AutoDisable, which happens on the service's thread, disables the service
// too, on the application's thread: after ReleaseDevice the device reads
// nothing more.
TEST(AutoDisable, DisablesTheServiceNotOnlyTheProperty) {
  Rig r;
  r.Ready();
  r.device.Put(Prop::AutoDisable, 1);
  EXPECT_TRUE(r.Scan("FIRST"));
  EXPECT_FALSE(r.Scan("SECOND")) << "a disabled device takes no label";
  EXPECT_FALSE(r.GetBool(Prop::DeviceEnabled));
  EXPECT_FALSE(r.directory.state.enabled) << "the service is disabled as well";
  r.Pump();
  EXPECT_EQ(std::vector<std::string>{"FIRST"}, r.DataSeen()) << "queued input is delivered while disabled";
  EXPECT_EQ(0, Put(r, Prop::DeviceEnabled, 1));
  EXPECT_TRUE(r.directory.state.enabled);
  EXPECT_TRUE(r.Scan("THIRD"));
  EXPECT_EQ(0, r.device.ReleaseDevice());
  EXPECT_FALSE(r.directory.state.enabled);
}

TEST(AutoDisable, TheServiceIsDisabledEvenIfTheApplicationAsksNothing) {
  Rig r;
  r.Ready();
  r.device.Put(Prop::AutoDisable, 1);
  EXPECT_TRUE(r.Scan("ONLY"));
  r.Pump(); // the delivery that the label asked for
  EXPECT_FALSE(r.directory.state.enabled);
}

// Found by fuzzing: the container's FreezeEvents, like every other call of the
// application, carries out an AutoDisable whose wake-up could not be sent.
TEST(AutoDisable, AContainerCallCarriesItOutToo) {
  Rig r;
  r.Ready();
  r.device.Put(Prop::AutoDisable, 1);
  r.wakeup.fail = true;
  EXPECT_TRUE(r.Scan("ONLY"));
  r.device.FreezeContainerEvents(true);
  EXPECT_FALSE(r.directory.state.enabled);
}

} // namespace

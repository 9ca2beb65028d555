// The device core's event queue and delivery rules: DataEventEnabled,
// FreezeEvents (the application's and the container's), ClearInput, input
// errors, the queue's bounds, and a wake-up that cannot be sent.
#include "fakes.h"

#include <gtest/gtest.h>

namespace {

using namespace quillon;
using namespace quillon::control;
using fake::Rig;

size_t Count(const Rig &r, EventKind kind) {
  size_t n = 0;
  for (const fake::Event &e : r.target.events)
    n += e.kind == kind;
  return n;
}

TEST(Events, LabelsWaitForDataEventEnabledThenGoOneAtATime) {
  Rig r;
  r.Ready();
  r.device.Put(Prop::DataEventEnabled, 0);
  for (const char *label : {"A1", "B2", "C3"})
    EXPECT_TRUE(r.Scan(label));
  r.Pump();
  EXPECT_TRUE(r.target.events.empty());
  EXPECT_EQ(3, r.GetLong(Prop::DataCount));
  r.device.Put(Prop::DataEventEnabled, 1);
  r.Pump();
  ASSERT_EQ(1u, r.target.events.size()) << "one event per enabling";
  EXPECT_EQ("A1", r.target.events[0].scanData);
  EXPECT_EQ(110, r.target.events[0].scanDataType);
  EXPECT_EQ(2, r.target.events[0].dataCount);
  EXPECT_FALSE(r.target.events[0].dataEventEnabled);
  r.target.rearm = true;
  r.device.Put(Prop::DataEventEnabled, 1);
  r.Pump();
  EXPECT_EQ((std::vector<std::string>{"A1", "B2", "C3"}), r.DataSeen());
  EXPECT_EQ(0, r.GetLong(Prop::DataCount));
  EXPECT_EQ(3, r.directory.state.delivered) << "the service counts delivered labels";
}

TEST(Events, NothingIsDeliveredInsideACallOfTheApplication) {
  Rig r;
  r.Ready();
  {
    Device::CallScope call(r.device);
    EXPECT_TRUE(r.Scan("INSIDE"));
    r.Pump();
    EXPECT_TRUE(r.target.events.empty());
  }
  r.Pump();
  EXPECT_EQ(std::vector<std::string>{"INSIDE"}, r.DataSeen()) << "delivered after the call";
}

TEST(Events, FreezeEventsHoldsDeliveryAndReleasingItDelivers) {
  Rig r;
  r.Ready();
  r.device.Put(Prop::FreezeEvents, 1);
  EXPECT_TRUE(r.Scan("4006381333931", 104));
  r.directory.state.sink->OnStatusUpdate(2001);
  r.Pump();
  EXPECT_TRUE(r.target.events.empty());
  EXPECT_EQ(1, r.GetLong(Prop::DataCount));
  r.device.Put(Prop::FreezeEvents, 0);
  r.Pump();
  ASSERT_EQ(2u, r.target.events.size());
  EXPECT_EQ(EventKind::Data, r.target.events[0].kind) << "in the order raised";
  EXPECT_EQ(EventKind::Status, r.target.events[1].kind);
  EXPECT_EQ(0, r.GetLong(Prop::DataCount));
}

// The container freezes events from inside a handler: no further event
// fires until it thaws them.
TEST(Events, ContainerFreezeFromInsideAHandlerStopsTheNextEvent) {
  Rig r;
  r.Ready();
  for (int i = 0; i < 5; ++i)
    r.directory.state.sink->OnStatusUpdate(2001);
  r.target.onEvent = [&](const fake::Event &) {
    if (r.target.events.size() == 1) r.device.FreezeContainerEvents(true);
  };
  r.Pump();
  EXPECT_EQ(1u, r.target.events.size());
  r.device.FreezeContainerEvents(false);
  r.Pump();
  EXPECT_EQ(5u, r.target.events.size());
}

TEST(Events, StatusUpdatesAreNotHeldByDataEventEnabled) {
  Rig r;
  r.Ready();
  r.device.Put(Prop::DataEventEnabled, 0);
  EXPECT_TRUE(r.Scan("HELD"));
  for (int i = 0; i < 500; ++i)
    EXPECT_TRUE(r.directory.state.sink->OnStatusUpdate(2001));
  r.Pump();
  EXPECT_EQ(500u, Count(r, EventKind::Status));
  EXPECT_EQ(0u, Count(r, EventKind::Data));
  EXPECT_EQ(1, r.GetLong(Prop::DataCount));
}

TEST(Events, ClearInputEmptiesTheQueueAndClearInputPropertiesTheScanData) {
  Rig r;
  r.Ready();
  EXPECT_TRUE(r.Scan("ONE"));
  r.Pump();
  ASSERT_EQ(1u, r.target.events.size());
  for (const char *label : {"TWO", "THREE"})
    EXPECT_TRUE(r.Scan(label));
  EXPECT_EQ(2, r.GetLong(Prop::DataCount));
  EXPECT_EQ(0, r.device.ClearInput());
  EXPECT_EQ(0, r.GetLong(Prop::DataCount));
  EXPECT_EQ(L"ONE", r.device.Get(Prop::ScanData).text) << "ClearInput leaves the scan properties";
  r.device.Put(Prop::DataEventEnabled, 1);
  r.Pump();
  EXPECT_EQ(1u, r.target.events.size());
  EXPECT_EQ(0, r.device.ClearInputProperties());
  EXPECT_EQ(L"", r.device.Get(Prop::ScanData).text);
  EXPECT_EQ(L"", r.device.Get(Prop::ScanDataLabel).text);
  EXPECT_EQ(0, r.GetLong(Prop::ScanDataType));
  EXPECT_TRUE(r.GetBool(Prop::DataEventEnabled)) << "and nothing else";
}

TEST(Events, InputErrorAnsweredClearEmptiesTheInputAndRestoresTheState) {
  for (const long response : {opos::ER_CLEAR, opos::ER_CONTINUEINPUT}) {
    Rig r;
    r.Ready();
    r.device.Put(Prop::DataEventEnabled, 0);
    EXPECT_TRUE(r.Scan("BEFORE"));
    EXPECT_TRUE(r.directory.state.sink->OnInputError(111, 0));
    EXPECT_TRUE(r.Scan("AFTER"));
    EXPECT_EQ(4, r.GetLong(Prop::State));
    r.target.errorResponse = response;
    r.target.rearm = true;
    r.device.Put(Prop::DataEventEnabled, 1);
    r.Pump();
    ASSERT_GE(r.target.events.size(), 2u);
    EXPECT_EQ(EventKind::Error, r.target.events[1].kind);
    EXPECT_EQ((std::vector<long>{111, 0, 2}), r.target.events[1].args);
    EXPECT_EQ(2, r.GetLong(Prop::State));
    if (response == opos::ER_CLEAR)
      EXPECT_EQ(std::vector<std::string>{"BEFORE"}, r.DataSeen());
    else
      EXPECT_EQ((std::vector<std::string>{"BEFORE", "AFTER"}), r.DataSeen());
  }
}

TEST(Events, ClosingInsideAHandlerStopsDelivery) {
  Rig r;
  r.Ready();
  r.device.Put(Prop::DataEventEnabled, 0);
  EXPECT_TRUE(r.Scan("A"));
  EXPECT_TRUE(r.Scan("B"));
  for (int i = 0; i < 3; ++i)
    r.directory.state.sink->OnStatusUpdate(7);
  r.target.onEvent = [&](const fake::Event &) { r.device.Close(); };
  r.device.Put(Prop::DataEventEnabled, 1);
  r.Pump();
  EXPECT_EQ(1u, r.target.events.size());
  EXPECT_FALSE(r.Scan("C"));
}

// A wake-up that could not be posted (Windows refuses when the thread's queue
// holds 10,000 messages) does not stop delivery for good.
TEST(Events, AWakeupThatCouldNotBePostedIsAskedForAgain) {
  Rig r;
  r.Ready();
  r.wakeup.fail = true;
  EXPECT_TRUE(r.Scan("FIRST"));
  r.wakeup.fail = false;
  EXPECT_TRUE(r.Scan("SECOND"));
  r.target.rearm = true;
  r.Pump();
  EXPECT_EQ((std::vector<std::string>{"FIRST", "SECOND"}), r.DataSeen());

  // With nothing more arriving, the application's next call asks again.
  r.wakeup.fail = true;
  EXPECT_TRUE(r.Scan("THIRD"));
  r.wakeup.fail = false;
  { Device::CallScope call(r.device); }
  r.Pump();
  EXPECT_EQ(3u, r.DataSeen().size());
}

// The queue is bounded by bytes as well as by events: large labels cannot
// make it outgrow the process.
TEST(Queue, LargeLabelsAreRefusedOnceTheBytesAreSpent) {
  fake::Directory directory;
  fake::Claim claim;
  fake::Wakeup wakeup;
  fake::Target target;
  EventQueue::Limits limits;
  limits.bytes = 1 << 20;
  Device device({directory, claim, wakeup, target, limits});
  device.Open(L"Full");
  device.ClaimDevice(0);
  device.Put(Prop::DeviceEnabled, 1);
  const std::string big(64 * 1024, 'x');
  int taken = 0;
  while (taken < 1000 && directory.state.sink->OnLabel(Label{big, big, 0}))
    ++taken;
  EXPECT_GE(taken, 7);
  EXPECT_LE(taken, 8) << "a label held twice costs 128 KiB of the 1 MiB";
  EXPECT_EQ(taken, device.Get(Prop::DataCount).number);
  EXPECT_TRUE(directory.state.sink->OnStatusUpdate(2001)) << "small events still fit";
  EXPECT_EQ(0, device.ClearInput());
  EXPECT_TRUE(directory.state.sink->OnLabel(Label{big, big, 0})) << "and the bytes come back";
}

TEST(Queue, EachKindHoldsAtMostItsCount) {
  EventQueue queue({3, 1 << 20});
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(queue.PushInput({EventKind::Data}));
    EXPECT_TRUE(queue.PushOther({EventKind::Status}));
  }
  EXPECT_FALSE(queue.PushInput({EventKind::Data}));
  EXPECT_FALSE(queue.PushOther({EventKind::Status}));
  EXPECT_EQ(3, queue.DataCount());
  QueuedEvent ev;
  EXPECT_TRUE(queue.TakeNext(false, ev));
  EXPECT_EQ(EventKind::Status, ev.kind) << "input waits when it may not go";
  queue.Clear();
  EXPECT_EQ(0u, queue.Bytes());
}

} // namespace

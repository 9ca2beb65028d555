// ModelScanner: the recording fake control made to behave as a UnifiedPOS
// scanner keeps the rules (device "ModelScanner"), or as one that breaks
// exactly one of them (a ModelFault). It answers through the fake's answer
// book, queues labels it is handed, delivers events from posted messages,
// and stands in for the second process that holds the claim.
#pragma once

#include "check/rules.h"
#include "support/fake_scanner.h"

#include <deque>
#include <map>
#include <string>

enum class ModelFault {
  None,
  ClearInputWhileClosedIllegal,
  StateClosedWhileEnabled,
  OpenTwiceSucceeds,
  UnknownDeviceNoService,
  CloseKeepsClaim,
  ReleaseUnclaimedSucceeds,
  NegativeTimeoutClaims,
  ReclaimRefused,
  ClaimNotExclusive,
  ClaimTimeoutNotWaited,
  ClearInputUnclaimedSucceeds,
  DisableIgnored,
  ReleaseKeepsEnabled,
  HealthWhileDisabled,
  CapPowerReportingThree,
  NotifyWhileEnabledAccepted,
  NotifyIllegalValueAccepted,
  PowerStateStaysUnknown,
  ThawFlushesHeldData,
  FreezeIgnored,
  DataCountStays,
  DataEventEnabledStays,
  AutoDisableIgnored,
  ClearInputKeepsQueue,
  ClearInputPropertiesKeepsType,
  DeliversInsideCall,
  DecodeOffKeepsLabel,
  WrongTypeForIdentifier,
  HealthTextUnchanged,
  UnknownHealthLevelSucceeds,
  InteractiveHealthFails,
  UpdateWithoutCapability,
  BrokenStatisticsXml,
  UnknownStatisticOmitted,
  ResetKeepsValue,
  ReadKeepsResultCode,
  DescriptionReadRaises,
  HangsInUnknownHealthLevel,
  InterruptedInReclaim,
};

class ModelScanner : public LabelSource, public ClaimHolder {
public:
  ModelScanner(FakeScannerRegistration &registration, ModelFault fault);
  ~ModelScanner() override;
  ModelScanner(const ModelScanner &) = delete;
  ModelScanner &operator=(const ModelScanner &) = delete;

  // LabelSource: a label read by the open device.
  Fed Deliver(int number, int total, std::wstring &why) override;
  unsigned WaitMs() const override { return 200; }
  bool Person() const override { return false; }
  // ClaimHolder: the other process.
  long Hold(long timeout) override;
  void Release() override { m_otherHolds = false; }

  // Whether any instance is still open or holds the claim.
  bool AnyOpenOrClaimed() const;

private:
  struct Label {
    std::wstring raw, data;
    long type;
  };
  struct Instance {
    bool open = false;
    bool enabled = false, dataEventEnabled = false, freeze = false, autoDisable = false, decode = false;
    long powerNotify = 0;
    long resultCode = 0, resultCodeExtended = 0;
    long dataCount = 0;
    std::deque<Label> queue;
    std::wstring scanData, scanDataLabel, healthText;
    long scanDataType = 0;
    bool flush = false;
  };

  std::optional<FakeAnswer> Answer(FakeScanner &fake, const RecordedCall &call);
  long Method(FakeScanner &fake, Instance &i, const RecordedCall &call, FakeAnswer &answer);
  void Put(FakeScanner &fake, Instance &i, DISPID dispid, long value);
  std::optional<FakeAnswer> Get(FakeScanner &fake, Instance &i, DISPID dispid);
  std::wstring Statistics(const std::wstring &names) const;
  void ScheduleDelivery();
  void DeliverOne();
  bool Is(ModelFault f) const { return m_fault == f; }
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  FakeScannerRegistration &m_registration;
  ModelFault m_fault;
  std::map<FakeScanner *, Instance> m_instances;
  FakeScanner *m_claimOwner = nullptr;
  FakeScanner *m_current = nullptr; // the instance opened last
  bool m_otherHolds = false;
  long m_goodScans = 3;
  HWND m_window = nullptr;
};

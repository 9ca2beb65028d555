// Automation strings at the statistics and Direct IO calls: every BSTR the
// console makes and every one the control hands back is freed exactly once,
// whether the call succeeds, fails at the device or fails as a call.
#include "console_window.h"

#include "support/bstr_leak_check.h"

namespace {

enum class Outcome { Success, SuccessWithoutReply, DeviceFailureWithText, CallFails, CallRaises };

struct Case {
  const char *name;
  DISPID dispid;
  int button;
  Outcome outcome;
};

const Case kCases[] = {
    {"Retrieve, success", kRetrieveStatistics, IDC_RETRIEVE_STATISTICS, Outcome::Success},
    {"Retrieve, device failure with text", kRetrieveStatistics, IDC_RETRIEVE_STATISTICS,
     Outcome::DeviceFailureWithText},
    {"Retrieve, failing HRESULT", kRetrieveStatistics, IDC_RETRIEVE_STATISTICS, Outcome::CallFails},
    {"Retrieve, exception", kRetrieveStatistics, IDC_RETRIEVE_STATISTICS, Outcome::CallRaises},
    {"Execute, success", kDirectIO, IDC_DIRECTIO_EXECUTE, Outcome::Success},
    {"Execute, success leaving the text", kDirectIO, IDC_DIRECTIO_EXECUTE, Outcome::SuccessWithoutReply},
    {"Execute, device failure with text", kDirectIO, IDC_DIRECTIO_EXECUTE, Outcome::DeviceFailureWithText},
    {"Execute, failing HRESULT", kDirectIO, IDC_DIRECTIO_EXECUTE, Outcome::CallFails},
    {"Execute, exception", kDirectIO, IDC_DIRECTIO_EXECUTE, Outcome::CallRaises},
    {"Update, success", kUpdateStatistics, IDC_UPDATE_STATISTICS, Outcome::Success},
    {"Update, failing HRESULT", kUpdateStatistics, IDC_UPDATE_STATISTICS, Outcome::CallFails},
    {"Reset, success", kResetStatistics, IDC_RESET_STATISTICS, Outcome::Success},
    {"Reset, exception", kResetStatistics, IDC_RESET_STATISTICS, Outcome::CallRaises},
};

using BstrRelease = ConsoleWindow;

TEST_F(BstrRelease, EveryStringIsFreedExactlyOnceOnEveryPath) {
  SetText(IDC_DIRECTIO_INPUT, L"<inArgs>\r\n <scannerID>1</scannerID>\r\n</inArgs>");
  MessageBoxWatcher boxes;

  for (const Case &c : kCases) {
    SCOPED_TRACE(c.name);
    m_reg.Answers().Clear();
    m_reg.On(kCapStatisticsReporting, kGet).ReturnsBool(true);
    m_reg.On(kCapUpdateStatistics, kGet).ReturnsBool(true);
    FakeAnswer &answer = m_reg.On(c.dispid);
    switch (c.outcome) {
    case Outcome::Success:
      answer.Returns(0L).ReplacesString(L"<reply>a device's answer</reply>");
      break;
    case Outcome::SuccessWithoutReply:
      answer.Returns(0L);
      break;
    case Outcome::DeviceFailureWithText:
      answer.Returns(111L).ReplacesString(L"half an answer");
      break;
    case Outcome::CallFails:
      answer.Fails(RPC_E_DISCONNECTED);
      break;
    case Outcome::CallRaises:
      answer.Raises(L"the control broke down");
      break;
    }
    boxes.Clear();
    m_fake->ClearCalls();

    long handedOut = 0;
    {
      BstrLeakCheck check;
      ASSERT_TRUE(check.Active());
      Click(c.button);
      ASSERT_EQ(m_fake->CallsTo(c.dispid).size(), 1u) << "the call under test was not made";
      handedOut = check.HandedOut();
      EXPECT_EQ(check.HandedOutNotFreed(), 0) << "a string from the control was not freed";
      EXPECT_EQ(check.DoubleFrees(), 0) << "a string was freed twice";
      EXPECT_EQ(check.Outstanding(), 0) << "a string made for the call was not freed";
      EXPECT_GT(check.Frees(), 0) << "nothing was allocated and freed: the check saw nothing";
    }
    const bool replaced = c.outcome == Outcome::Success || c.outcome == Outcome::DeviceFailureWithText;
    const bool byRef = c.dispid == kRetrieveStatistics || c.dispid == kDirectIO;
    if (replaced && byRef) {
      EXPECT_GE(handedOut, 1) << "the control's replacement string was not counted";
    }
    if (c.outcome == Outcome::CallFails || c.outcome == Outcome::CallRaises) {
      EXPECT_EQ(boxes.Count(), 1u) << "the failed call was not reported";
    }
  }
}

} // namespace

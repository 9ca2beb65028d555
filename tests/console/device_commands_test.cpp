// The device life-cycle buttons in the real main window: the exact call each
// click makes, what lands in Return Value, Result Code and Scan Count, and the
// Auto Enable box across claim, release, close and open.
#include "console_window.h"

#include "support/dialog_answerer.h"

#include <optional>

namespace {

const wchar_t kChooserCaption[] = L"Open Service Object";

using DeviceCommands = ConsoleWindow;

// One button: the one call it makes (a method with an optional long argument,
// or a boolean property write), and which state it touches.
struct CommandCase {
  int nID;
  DISPID dispid;
  WORD kind;
  std::optional<long> arg; // the long argument of a method, or the written boolean
  bool storesReturn;       // the method's result goes to Return Value
  bool resetsCount;
};

const CommandCase kCommands[] = {
    {IDC_CLAIM, kClaimDevice, kMethod, 6000, true, true},
    {IDC_RELEASE, kReleaseDevice, kMethod, std::nullopt, true, true},
    {IDC_CLOSE, kClose, kMethod, std::nullopt, true, true},
    {IDC_CH_INTERNAL, kCheckHealth, kMethod, 1, true, false},
    {IDC_CH_EXTERNAL, kCheckHealth, kMethod, 2, true, false},
    {IDC_CH_INTERACTIVE, kCheckHealth, kMethod, 3, true, false},
    {IDC_DEVICE_ENABLE, kDeviceEnabled, kPut, 1, false, false},
    {IDC_DEVICE_DISABLE, kDeviceEnabled, kPut, 0, false, false},
    {IDC_DATA_EVENTS, kDataEventEnabled, kPut, 1, false, false},
    {IDC_DECODE_DATA, kDecodeData, kPut, 1, false, false},
};

TEST_F(DeviceCommands, EachButtonMakesItsOneCallAndShowsTheOutcome) {
  for (const CommandCase &c : kCommands) {
    SCOPED_TRACE(testing::Message() << "button " << c.nID);
    m_reg.Answers().Clear();
    m_reg.On(c.dispid, kMethod).Returns(111L); // OPOS_E_FAILURE from every method
    m_reg.On(kResultCodeId, kGet).Returns(106L);
    m_dlg->m_nLastReturn = 114; // from an earlier call
    m_dlg->m_nScanCount = 7;
    m_fake->ClearCalls();

    Click(c.nID);

    const auto &calls = m_fake->Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].dispid, c.dispid);
    EXPECT_EQ(calls[0].flags, c.kind);
    if (c.arg) {
      ASSERT_EQ(calls[0].args.size(), 1u);
      if (c.kind == kPut) {
        EXPECT_EQ(calls[0].args[0].vt, VT_BOOL);
        EXPECT_EQ(calls[0].args[0].value.AsLong() != 0, *c.arg != 0);
      } else {
        EXPECT_EQ(calls[0].args[0].vt, VT_I4);
        EXPECT_EQ(calls[0].args[0].value.AsLong(), *c.arg);
      }
    } else {
      EXPECT_TRUE(calls[0].args.empty());
    }
    // Then the refresh: the live ResultCode.
    EXPECT_EQ(calls[1].dispid, kResultCodeId);
    EXPECT_EQ(calls[1].flags, kGet);

    EXPECT_EQ(m_dlg->m_nLastReturn, c.storesReturn ? 111 : 114);
    EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(c.storesReturn ? 111 : 114));
    EXPECT_EQ(Text(IDC_RESULT_CODE), Name(106));
    EXPECT_EQ(Text(IDC_SCAN_COUNT), c.resetsCount ? L"0" : L"7");
  }
}

// Success answers for claim, release and close, each as a separate step.
struct AutoEnableStep {
  int nID;
  long result;
  bool enabledAfter;
  bool checkedAfter;
};

TEST_F(DeviceCommands, AutoEnableIsUsableOnlyBetweenASuccessfulClaimAndASuccessfulReleaseOrClose) {
  const AutoEnableStep kSteps[] = {
      {IDC_CLAIM, 104, false, false},                                 // e.g. before Open: refused, the box stays off
      {IDC_CLAIM, 0, true, false},    {IDC_RELEASE, 111, true, true}, // failed: box as it was (checked below)
      {IDC_CLOSE, 106, true, true},   {IDC_RELEASE, 0, false, false},
      {IDC_CLAIM, 0, true, false},    {IDC_CLOSE, 0, false, false},
  };
  for (const AutoEnableStep &s : kSteps) {
    SCOPED_TRACE(testing::Message() << "button " << s.nID << " answering " << s.result);
    const DISPID dispid = s.nID == IDC_CLAIM ? kClaimDevice : s.nID == IDC_RELEASE ? kReleaseDevice : kClose;
    m_reg.On(dispid).Returns(s.result);
    // Whenever it can be used, the user has ticked it.
    if (Enabled(IDC_AUTO_ENABLE)) SendMessageW(Item(IDC_AUTO_ENABLE), BM_SETCHECK, BST_CHECKED, 0);
    m_fake->ClearCalls();

    Click(s.nID);

    EXPECT_EQ(m_fake->CallsTo(dispid).size(), 1u); // sent whatever the device's state
    EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(s.result));
    EXPECT_EQ(Enabled(IDC_AUTO_ENABLE), s.enabledAfter);
    EXPECT_EQ(SendMessageW(Item(IDC_AUTO_ENABLE), BM_GETCHECK, 0, 0), s.checkedAfter ? BST_CHECKED : BST_UNCHECKED);
  }
}

TEST_F(DeviceCommands, AutoEnableClicksWriteDataEventEnabledAsTheBoxNowShowsWithoutRefreshing) {
  Click(IDC_CLAIM);
  ASSERT_TRUE(Enabled(IDC_AUTO_ENABLE));
  m_fake->ClearCalls();
  SendMessageW(Item(IDC_AUTO_ENABLE), BM_CLICK, 0, 0);
  SendMessageW(Item(IDC_AUTO_ENABLE), BM_CLICK, 0, 0);

  const auto &calls = m_fake->Calls();
  ASSERT_EQ(calls.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(calls[i].dispid, kDataEventEnabled);
    EXPECT_EQ(calls[i].flags, kPut);
    ASSERT_EQ(calls[i].args.size(), 1u);
    EXPECT_EQ(calls[i].args[0].value.AsLong() != 0, i == 0) << "click " << i + 1;
  }
}

TEST_F(DeviceCommands, ClearInputBlanksTheScanFieldsAndShowsItsOwnResult) {
  m_reg.On(kScanDataType).Returns(103L);
  m_reg.On(kScanDataLabel).Returns(L"4006381333931");
  m_fake->FireDataEvent(0);
  ASSERT_EQ(Text(IDC_SCAN_DATA_LABEL), L"4006381333931");
  ASSERT_NE(Text(IDC_SCAN_DATA_TYPE), L"");

  m_reg.On(kClearInput).Returns(105L);
  m_reg.On(kResultCodeId, kGet).Returns(105L);
  m_fake->ClearCalls();
  Click(IDC_CLEAR_INPUT);

  EXPECT_EQ(Text(IDC_SCAN_DATA_TYPE), L"");
  EXPECT_EQ(Text(IDC_SCAN_DATA_LABEL), L"");
  EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(105));
  EXPECT_EQ(Text(IDC_RESULT_CODE), Name(105));
  EXPECT_EQ(Text(IDC_SCAN_COUNT), L"1"); // the count is kept
  // One call, then a refresh before and after blanking.
  const std::vector<std::pair<DISPID, WORD>> expected = {
      {kClearInput, kMethod}, {kResultCodeId, kGet}, {kResultCodeId, kGet}};
  EXPECT_EQ(CallKinds(), expected);
}

// What the user does in the chooser, and what Open then sends.
struct OpenCase {
  const char *what;
  const wchar_t *typed; // null: keep what the chooser shows
  int button;
  const wchar_t *opened; // null: Open is not called
};

TEST_F(DeviceCommands, OpenSendsTheNameFromTheChooserOrNothingOnCancel) {
  const OpenCase kCases[] = {
      {"a typed name", L"Typed Scanner 7", IDOK, L"Typed Scanner 7"},
      {"an empty field", L"", IDOK, L""},
      {"cancel", L"Not This One", IDCANCEL, nullptr},
  };
  for (const OpenCase &c : kCases) {
    SCOPED_TRACE(c.what);
    m_reg.On(kOpen).Returns(109L);
    m_reg.On(kResultCodeId, kGet).Returns(0L);
    m_dlg->m_nLastReturn = 114;
    m_dlg->m_nScanCount = 4;
    SetText(IDC_RETURN_VALUE, L"earlier");
    m_fake->ClearCalls();

    DialogAnswerer chooser(kChooserCaption, [&](HWND dlg) {
      if (c.typed) SetDlgItemTextW(dlg, IDC_SO_NAMES, c.typed);
      DialogAnswerer::Press(dlg, c.button);
    });
    Click(IDC_OPEN);
    EXPECT_EQ(chooser.Answered(), 1);

    if (!c.opened) {
      EXPECT_TRUE(m_fake->Calls().empty());
      EXPECT_EQ(m_dlg->m_nLastReturn, 114);
      EXPECT_EQ(m_dlg->m_nScanCount, 4);
      EXPECT_EQ(Text(IDC_RETURN_VALUE), L"earlier");
      continue;
    }
    const auto opens = m_fake->CallsTo(kOpen);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].flags, kMethod);
    ASSERT_EQ(opens[0].args.size(), 1u);
    EXPECT_EQ(opens[0].args[0].vt, VT_BSTR);
    EXPECT_EQ(opens[0].args[0].value.AsString(), c.opened);
    EXPECT_EQ(m_fake->Calls().back().dispid, kResultCodeId);
    EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(109));
    EXPECT_EQ(Text(IDC_RESULT_CODE), Name(0));
    EXPECT_EQ(Text(IDC_SCAN_COUNT), L"0");
  }
}

TEST_F(DeviceCommands, EveryOpenClearsTheAutoEnableMarkButLeavesTheBoxUsable) {
  Click(IDC_CLAIM);
  for (const long result : {0L, 106L}) {
    SCOPED_TRACE(testing::Message() << "Open answering " << result);
    m_reg.On(kOpen).Returns(result);
    SendMessageW(Item(IDC_AUTO_ENABLE), BM_SETCHECK, BST_CHECKED, 0);
    DialogAnswerer chooser(kChooserCaption, [](HWND dlg) { DialogAnswerer::Press(dlg, IDOK); });
    Click(IDC_OPEN);
    ASSERT_EQ(chooser.Answered(), 1);
    EXPECT_EQ(SendMessageW(Item(IDC_AUTO_ENABLE), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_TRUE(Enabled(IDC_AUTO_ENABLE));
  }
}

// A click on Open can reach the window while Open is still running: from the
// chooser's loop (the main window is enabled again when the chooser is ended
// under a message box that outlived it) or from a loop the control runs
// inside its Open. Neither starts a second Open.
TEST_F(DeviceCommands, OpenNeverRunsTwiceAtOnce) {
  const HWND main = m_dlg->m_hWnd;
  const LPARAM openButton = reinterpret_cast<LPARAM>(Item(IDC_OPEN));
  struct Case {
    const char *what;
    bool clickDuringChooser;
    bool clickDuringOpenCall;
  };
  for (const Case c : {Case{"during the chooser", true, false}, Case{"during the control's Open", false, true}}) {
    SCOPED_TRACE(c.what);
    m_fake->ClearCalls();
    m_reg.Answers().Clear();
    if (c.clickDuringOpenCall)
      m_reg.Once(kOpen).Runs([&] { SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_OPEN, BN_CLICKED), openButton); });
    bool clicked = false;
    DialogAnswerer chooser(kChooserCaption, [&](HWND dlg) {
      if (c.clickDuringChooser && !clicked)
        PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_OPEN, BN_CLICKED), openButton);
      clicked = true;
      Sleep(300); // time for a second chooser to come
      SetDlgItemTextW(dlg, IDC_SO_NAMES, L"Once");
      DialogAnswerer::Press(dlg, IDOK);
    });
    Click(IDC_OPEN); // returns once every chooser it showed has been ended
    EXPECT_EQ(chooser.Answered(), 1);
    EXPECT_EQ(m_fake->CallsTo(kOpen).size(), 1u);
  }

  // And afterwards Open works as before.
  m_fake->ClearCalls();
  DialogAnswerer chooser(kChooserCaption, [](HWND dlg) { DialogAnswerer::Press(dlg, IDOK); });
  Click(IDC_OPEN);
  EXPECT_EQ(chooser.Answered(), 1);
  EXPECT_EQ(m_fake->CallsTo(kOpen).size(), 1u);
}

} // namespace

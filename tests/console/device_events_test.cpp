// The control's events in the real main window: what a scanned label shows,
// the count, the re-arming by Auto Enable, and the power message boxes, also
// under a flood of status events.
#include "console_window.h"

#include "support/dialog_answerer.h"
#include "support/message_pump.h"
#include "support/windows_queue_bits.h"

#include "framework/winapp.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>

namespace {

using DeviceEvents = ConsoleWindow;

struct LabelCase {
  long type;
  const wchar_t *label;
  const wchar_t *typeName;
};

TEST_F(DeviceEvents, ADataEventShowsTheLabelAndItsTypeNameAndNothingElse) {
  const LabelCase kLabels[] = {
      {104, L"4006381333931", L"SCAN_SDT_JAN13"},
      {110, L"QUILLON-128", L"SCAN_SDT_Code128"},
      {0, L"", L"SCAN_SDT_UNKNOWN"},
      {9999, L"odd", L"SCAN_SDT_UNKNOWN"},
  };
  // The last command's outcome, which the events leave as it is.
  m_reg.On(31).Returns(111L); // CheckHealth
  m_reg.On(kResultCodeId, kGet).Returns(106L);
  Click(IDC_CH_INTERNAL);
  m_reg.On(kResultCodeId, kGet).Returns(0L);
  for (const LabelCase &c : kLabels) {
    SCOPED_TRACE(testing::Message() << "type " << c.type);
    m_reg.On(kScanDataType).Returns(c.type);
    m_reg.On(kScanDataLabel).Returns(c.label);
    m_fake->ClearCalls();
    m_fake->FireDataEvent(0);

    EXPECT_EQ(Text(IDC_SCAN_DATA_TYPE), c.typeName);
    EXPECT_EQ(Text(IDC_SCAN_DATA_LABEL), c.label);
    // Two reads; no write with Auto Enable unchecked, and no refresh.
    const std::vector<std::pair<DISPID, WORD>> expected = {{kScanDataType, kGet}, {kScanDataLabel, kGet}};
    EXPECT_EQ(CallKinds(), expected);
    EXPECT_EQ(Text(IDC_RETURN_VALUE), Name(111));
    EXPECT_EQ(Text(IDC_RESULT_CODE), Name(106));
  }
}

TEST_F(DeviceEvents, TenDataEventsAfterClaimShowTen) {
  m_dlg->m_nScanCount = 3;
  Click(IDC_CLAIM);
  ASSERT_EQ(Text(IDC_SCAN_COUNT), L"0");
  for (int i = 1; i <= 10; ++i) {
    m_fake->FireDataEvent(0);
    EXPECT_EQ(Text(IDC_SCAN_COUNT), std::to_wstring(i));
  }
  EXPECT_EQ(m_dlg->m_nScanCount, 10);
}

TEST_F(DeviceEvents, AutoEnableReArmsDataEventsOncePerEventOnlyWhileChecked) {
  Click(IDC_CLAIM);
  for (const bool checked : {true, false}) {
    SCOPED_TRACE(checked ? "checked" : "unchecked");
    SendMessageW(Item(IDC_AUTO_ENABLE), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    m_fake->ClearCalls();
    for (int i = 0; i < 5; ++i)
      m_fake->FireDataEvent(0);

    const auto writes = m_fake->CallsTo(kDataEventEnabled);
    ASSERT_EQ(writes.size(), checked ? 5u : 0u);
    for (const RecordedCall &w : writes) {
      EXPECT_EQ(w.flags, kPut);
      ASSERT_EQ(w.args.size(), 1u);
      EXPECT_NE(w.args[0].value.AsLong(), 0);
    }
    // The write comes after the label has been read.
    if (checked) {
      EXPECT_EQ(m_fake->Calls()[2].dispid, kDataEventEnabled);
    }
  }
}

// Counts the times a window's text is written.
class TextWrites {
public:
  explicit TextWrites(HWND hwnd) : m_hwnd(hwnd) {
    SetWindowSubclass(hwnd, Count, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  ~TextWrites() { RemoveWindowSubclass(m_hwnd, Count, 1); }
  TextWrites(const TextWrites &) = delete;
  TextWrites &operator=(const TextWrites &) = delete;
  int Count() const { return m_count; }

private:
  static LRESULT CALLBACK Count(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) {
    if (msg == WM_SETTEXT) ++reinterpret_cast<TextWrites *>(self)->m_count;
    return DefSubclassProc(hwnd, msg, wp, lp);
  }
  HWND m_hwnd;
  int m_count = 0;
};

// A control that queues its labels posts one delivery per label and peeks
// for a timer of its own before each; on Windows that peek clears
// QS_POSTMESSAGE although the other deliveries still wait. The fields are
// still written once for the burst, not once per label.
TEST_F(DeviceEvents, ABurstIsWrittenOnceThoughTheControlPeeksForItsOwnMessagesBetweenLabels) {
  WindowsQueueBits asWindows;
  ASSERT_TRUE(asWindows.Installed());
  const int kLabels = 50;
  m_reg.On(kScanDataType).Returns(110L);
  for (int i = 1; i <= kLabels; ++i)
    m_reg.Once(kScanDataLabel).Returns((L"LABEL-" + std::to_wstring(i)).c_str());
  PumpMessages(50);
  TextWrites labelWrites(Item(IDC_SCAN_DATA_LABEL));
  TextWrites countWrites(Item(IDC_SCAN_COUNT));

  m_fake->PostDataEvents(kLabels, true);
  ASSERT_TRUE(PumpUntil([&] { return m_fake->PostedDeliveriesLeft() == 0 && Text(IDC_SCAN_COUNT) == L"50"; }, 10000))
      << "count shows " << testing::PrintToString(Text(IDC_SCAN_COUNT));
  EXPECT_EQ(Text(IDC_SCAN_DATA_LABEL), L"LABEL-50");
  EXPECT_EQ(Text(IDC_SCAN_DATA_TYPE), L"SCAN_SDT_Code128");
  EXPECT_LE(labelWrites.Count(), 2);
  EXPECT_LE(countWrites.Count(), 2);

  // A label on its own is still shown at once.
  m_reg.On(kScanDataLabel).Returns(L"ALONE");
  m_fake->FireDataEvent(0);
  EXPECT_EQ(Text(IDC_SCAN_DATA_LABEL), L"ALONE");
  EXPECT_EQ(Text(IDC_SCAN_COUNT), L"51");
}

BOOL CALLBACK CountMessageBox(HWND hwnd, LPARAM lp) {
  if (IsWindowVisible(hwnd) && MessageBoxWatcher::IsMessageBox(hwnd)) ++*reinterpret_cast<size_t *>(lp);
  return TRUE;
}

// Counts the visible message boxes of this thread.
size_t OpenMessageBoxes() {
  size_t n = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountMessageBox, reinterpret_cast<LPARAM>(&n));
  return n;
}

struct StatusCase {
  long status;
  const wchar_t *text; // null: no box
};

TEST_F(DeviceEvents, PowerStatusesShowTheirMessageAndOtherStatusesNothing) {
  const StatusCase kStatuses[] = {
      {2002, L"Device power off"},
      {2001, PowerStatusText(2001)},
      {2003, PowerStatusText(2003)},
      {2004, PowerStatusText(2004)},
      {0, nullptr},
      {2000, nullptr},
      {2005, nullptr},
      {-2002, nullptr},
  };
  for (const StatusCase &c : kStatuses) {
    SCOPED_TRACE(testing::Message() << "status " << c.status);
    MessageBoxWatcher boxes;
    m_fake->ClearCalls();
    m_fake->FireStatusUpdateEvent(c.status); // the box follows the event
    PumpUntil([&] { return boxes.Count() > 0 && OpenMessageBoxes() == 0; }, c.text ? 5000 : 200);
    if (c.text) {
      ASSERT_EQ(boxes.Texts(), std::vector<std::wstring>{c.text});
      EXPECT_EQ(boxes.Seen()[0].caption, AfxGetAppName().str());
    } else {
      EXPECT_EQ(boxes.Count(), 0u);
    }
    EXPECT_TRUE(m_fake->Calls().empty());
  }
  EXPECT_EQ(Text(IDC_RETURN_VALUE), L"");
}

// The flood, run from a timer inside the loop of the first power box: events
// keep arriving while the box is open, as they do from a device.
struct Flood {
  FakeScanner *fake = nullptr;
  std::atomic<bool> ran{false}; // the boxes are left open until it has run
  size_t boxesBefore = 0;
  size_t mostBoxes = 0;
};
Flood g_flood;

void CALLBACK RunFlood(HWND, UINT, UINT_PTR id, DWORD) {
  if (g_flood.ran || OpenMessageBoxes() == 0) return; // not yet: the box is due
  KillTimer(nullptr, id);
  g_flood.boxesBefore = OpenMessageBoxes();
  const long kPowerCodes[] = {2001, 2002, 2003, 2004, 0};
  for (int i = 0; i < 10000; ++i) {
    g_flood.fake->FireStatusUpdateEvent(kPowerCodes[i % 5]);
    if (i % 1000 == 0) {
      g_flood.fake->FireDataEvent(0); // scans are handled meanwhile
      g_flood.mostBoxes = std::max(g_flood.mostBoxes, OpenMessageBoxes());
    }
  }
  g_flood.fake->FireStatusUpdateEvent(2003); // the newest power text
  g_flood.fake->FireStatusUpdateEvent(0);    // not a power text: keeps it
  g_flood.mostBoxes = std::max(g_flood.mostBoxes, OpenMessageBoxes());
  g_flood.ran = true; // the box may close now
}

TEST_F(DeviceEvents, PowerTextsThatArriveTogetherShowTheNewestOnce) {
  MessageBoxWatcher boxes;
  for (int i = 0; i < 10000; ++i)
    m_fake->FireStatusUpdateEvent(2001 + i % 4);
  m_fake->FireStatusUpdateEvent(2002);
  m_fake->FireStatusUpdateEvent(0);
  EXPECT_EQ(OpenMessageBoxes(), 0u); // no box inside the events
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() > 0 && OpenMessageBoxes() == 0; }, 5000));
  PumpMessages(100);
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"Device power off"});
}

TEST_F(DeviceEvents, AFloodWhileTheBoxIsOpenKeepsOneBoxAndShowsTheNewestTextAfterIt) {
  m_reg.On(kScanDataType).Returns(103L);
  m_reg.On(kScanDataLabel).Returns(L"during the box");
  g_flood.fake = m_fake;
  g_flood.ran = false;
  g_flood.boxesBefore = g_flood.mostBoxes = 0;
  MessageBoxWatcher boxes([](HWND hwnd) { return g_flood.ran && MessageBoxWatcher::IsMessageBox(hwnd); });
  SetTimer(nullptr, 0, 10, RunFlood);

  m_fake->FireStatusUpdateEvent(2002); // the first box; the flood runs while it is open
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() >= 2 && OpenMessageBoxes() == 0; }, 20000));
  PumpMessages(100);

  ASSERT_TRUE(g_flood.ran);
  EXPECT_EQ(g_flood.boxesBefore, 1u);
  EXPECT_EQ(g_flood.mostBoxes, 1u);
  // The first text, then only the newest of all that came while it was open.
  EXPECT_EQ(boxes.Texts(), (std::vector<std::wstring>{L"Device power off", PowerStatusText(2003)}));
  EXPECT_EQ(Text(IDC_SCAN_COUNT), L"10");
  EXPECT_EQ(Text(IDC_SCAN_DATA_LABEL), L"during the box");

  // Nothing is left waiting: the next power event has a box of its own.
  boxes.Clear();
  m_fake->FireStatusUpdateEvent(2001);
  ASSERT_TRUE(PumpUntil([&] { return boxes.Count() > 0 && OpenMessageBoxes() == 0; }, 5000));
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{PowerStatusText(2001)});
}

// A power text that arrives while the chooser or the About box is open: its
// box is modal to that window, so neither can be ended under it (ending the
// chooser would give the main window back while the box is still open).
struct FrontWindow {
  const wchar_t *caption;
  int button; // ends it
  void (*open)(CPellixDlg &dlg);
};

std::atomic<HWND> g_front{nullptr};
FakeScanner *g_powerSource = nullptr;

void CALLBACK RaisePowerOffOverTheFrontWindow(HWND, UINT, UINT_PTR id, DWORD) {
  if (!g_front) return;
  KillTimer(nullptr, id);
  g_powerSource->FireStatusUpdateEvent(2002);
}

TEST_F(DeviceEvents, APowerBoxDuringTheChooserOrTheAboutBoxIsModalToThatWindow) {
  CWinApp app; // message boxes find the main window through the application
  app.m_pMainWnd = m_dlg.get();
  const FrontWindow kFront[] = {
      {L"Open Service Object", IDCANCEL,
       [](CPellixDlg &dlg) {
         SendMessageW(dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_OPEN, BN_CLICKED),
                      reinterpret_cast<LPARAM>(dlg.GetDlgItem(IDC_OPEN)));
       }},
      {L"About Pellix", IDOK, [](CPellixDlg &dlg) { SendMessageW(dlg.m_hWnd, WM_SYSCOMMAND, IDM_ABOUTBOX, 0); }},
  };
  for (const FrontWindow &front : kFront) {
    SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(front.caption)));
    g_front = nullptr;
    g_powerSource = m_fake;
    std::atomic<bool> frontEnabled{true};
    std::atomic<bool> mainEnabled{true};
    // Read on the watcher's thread when the box is seen, before it is closed.
    MessageBoxWatcher boxes([&](HWND hwnd) {
      if (!MessageBoxWatcher::IsMessageBox(hwnd)) return false;
      frontEnabled = IsWindowEnabled(g_front) != FALSE;
      mainEnabled = IsWindowEnabled(m_dlg->m_hWnd) != FALSE;
      return true;
    });
    DialogAnswerer answerer(front.caption, [&](HWND hwnd) {
      g_front = hwnd;
      // Ended only once the box has come and gone.
      for (int i = 0; i < 1000 && !(boxes.Count() > 0 && !IsWindow(boxes.Seen()[0].hwnd)); ++i)
        Sleep(10);
      DialogAnswerer::Press(hwnd, front.button);
    });
    SetTimer(nullptr, 0, 10, RaisePowerOffOverTheFrontWindow);
    front.open(*m_dlg); // returns when the window has been ended

    ASSERT_EQ(answerer.Answered(), 1);
    ASSERT_EQ(boxes.Texts(), std::vector<std::wstring>{L"Device power off"});
    EXPECT_EQ(boxes.Seen()[0].owner, g_front.load()) << "the box must belong to the window in front";
    EXPECT_FALSE(frontEnabled) << "the window under the box must not be usable";
    EXPECT_FALSE(mainEnabled);
    EXPECT_TRUE(IsWindowEnabled(m_dlg->m_hWnd));
  }
}

} // namespace

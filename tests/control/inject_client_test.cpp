// The injection client (control/inject/client.h) against stand-in injection
// windows of this process: every instance of a device is found, a command
// arrives with its bytes as the protocol lays them out, and a message that
// does not arrive is told apart from a device's refusal.
#include "comkit/handles.h"
#include "comkit/window_class.h"
#include "control/inject/client.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace inject = quillon::inject;

namespace {

// What one stand-in injection window received; it answers with reply.
struct Received {
  ULONG_PTR command = 0;
  std::string bytes;
  LRESULT reply = 1;
};

LRESULT CALLBACK Record(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return DefWindowProcW(hwnd, message, wParam, lParam);
  auto *received = reinterpret_cast<Received *>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  const auto *cds = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
  received->command = cds->dwData;
  received->bytes.assign(static_cast<const char *>(cds->lpData), cds->cbData);
  return received->reply;
}

// A message-only window of the injection class with the device's name, as a
// simulated device makes one, recording into *received when given.
class StandIn {
public:
  StandIn(const wchar_t *device, Received *received) {
    WNDCLASSEXW wc{sizeof wc};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = inject::kInjectClass;
    comkit::RegisterClassOnce(wc);
    m_hwnd = CreateWindowExW(0, inject::kInjectClass, device, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (m_hwnd && received) {
      SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(received));
      SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Record));
    }
  }
  ~StandIn() {
    if (m_hwnd) DestroyWindow(m_hwnd);
  }
  StandIn(const StandIn &) = delete;
  StandIn &operator=(const StandIn &) = delete;
  HWND Get() const { return m_hwnd; }

private:
  HWND m_hwnd = nullptr;
};

TEST(InjectClient, FindsEveryWindowOfTheDeviceAndNoOther) {
  const StandIn first(L"QuillonTestClientA", nullptr), second(L"QuillonTestClientA", nullptr),
      other(L"QuillonTestClientB", nullptr);
  ASSERT_TRUE(first.Get() && second.Get() && other.Get());
  const auto found = inject::FindWindows(L"QuillonTestClientA");
  ASSERT_EQ(2u, found.size());
  EXPECT_TRUE((found[0] == first.Get() && found[1] == second.Get()) ||
              (found[0] == second.Get() && found[1] == first.Get()));
  EXPECT_NE(nullptr, inject::FindFirstWindow(L"QuillonTestClientA"));
  EXPECT_TRUE(inject::FindWindows(L"QuillonTestClientNone").empty());
  EXPECT_EQ(nullptr, inject::FindFirstWindow(L"QuillonTestClientNone"));
}

// A Labels payload is each record followed by its raw bytes, then its decoded
// label, with nothing between labels; bytes outside ASCII and zeros travel as they are.
TEST(InjectClient, LabelsArriveLaidOutAsTheProtocolSays) {
  Received received;
  received.reply = 2;
  const StandIn window(L"QuillonTestClientLabels", &received);
  ASSERT_NE(nullptr, window.Get());
  std::string payload = inject::LabelPayload(104, "4006381333931", "]E04006381333931");
  inject::AppendLabel(payload, 110, std::string("A\0\xFF", 3), "");

  for (const inject::Wait wait : {inject::Wait{}, inject::Wait{2000, SMTO_ABORTIFHUNG}}) {
    received = Received{0, {}, 2};
    const inject::Delivery delivery = inject::Send(window.Get(), inject::Labels, payload, wait);
    EXPECT_TRUE(delivery.delivered);
    EXPECT_EQ(2, delivery.reply);
    EXPECT_EQ(static_cast<ULONG_PTR>(inject::Labels), received.command);
    const std::string &bytes = received.bytes;
    ASSERT_EQ(2 * sizeof(inject::LabelRecord) + 16 + 13 + 0 + 3, bytes.size());
    inject::LabelRecord record{};
    std::memcpy(&record, bytes.data(), sizeof record);
    EXPECT_EQ(104, record.type);
    EXPECT_EQ(16u, record.rawLength);
    EXPECT_EQ(13u, record.dataLength);
    EXPECT_EQ("]E04006381333931"
              "4006381333931",
              bytes.substr(sizeof record, 29));
    std::memcpy(&record, bytes.data() + sizeof record + 29, sizeof record);
    EXPECT_EQ(110, record.type);
    EXPECT_EQ(0u, record.rawLength);
    EXPECT_EQ(3u, record.dataLength);
    EXPECT_EQ(std::string("A\0\xFF", 3), bytes.substr(2 * sizeof record + 29));
  }
}

TEST(InjectClient, NumbersArriveInTheirOrder) {
  Received received;
  const StandIn window(L"QuillonTestClientNumbers", &received);
  ASSERT_NE(nullptr, window.Get());
  EXPECT_EQ(1, inject::SendNumbers(window.Get(), inject::Burst, 25, 110, 7).reply);
  EXPECT_EQ(static_cast<ULONG_PTR>(inject::Burst), received.command);
  ASSERT_EQ(sizeof(inject::Numbers), received.bytes.size());
  inject::Numbers numbers{};
  std::memcpy(&numbers, received.bytes.data(), sizeof numbers);
  EXPECT_EQ(25, numbers.value);
  EXPECT_EQ(110, numbers.extra);
  EXPECT_EQ(7, numbers.first);
}

// A device that does not answer in time, and no window at all, are reported
// as not delivered, not as a device that took nothing.
TEST(InjectClient, AMessageThatDoesNotArriveIsNotDelivered) {
  const ScopedHandle created(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HWND deaf = nullptr;
  std::thread owner([&] {
    const StandIn window(L"QuillonTestClientDeaf", nullptr);
    deaf = window.Get();
    SetEvent(created.Get());
    WaitForSingleObject(release.Get(), 20000); // and answers nothing meanwhile
  });
  const bool ready = WaitForSingleObject(created.Get(), 5000) == WAIT_OBJECT_0 && deaf;
  inject::Delivery late;
  if (ready) late = inject::SendNumbers(deaf, inject::Power, 2001, 0, 0, {200, SMTO_NORMAL});
  SetEvent(release.Get());
  owner.join();
  ASSERT_TRUE(ready);
  EXPECT_FALSE(late.delivered);
  EXPECT_EQ(0, late.reply);

  const inject::Delivery nowhere = inject::SendNumbers(nullptr, inject::Power, 2001);
  EXPECT_FALSE(nowhere.delivered);
  EXPECT_EQ(0, nowhere.reply);
}

} // namespace

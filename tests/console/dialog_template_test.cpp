// The window a hosted control follows in z-order is found from the template:
// by the ID of the item before it, where no other item shares that ID.
#include "framework/dialog_template.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kUnlabelled = 0xFFFFFFFF;
constexpr wchar_t kHosted[] = L"{CCB90182-B81E-11D2-AB74-0040054C3719}";

// An extended template of (class, ID) items; a class identifier as the class
// makes a hosted item.
std::vector<BYTE> Template(std::initializer_list<std::pair<const wchar_t *, DWORD>> items) {
  std::vector<BYTE> b;
  auto word = [&b](WORD w) {
    b.push_back(LOBYTE(w));
    b.push_back(HIBYTE(w));
  };
  auto words = [&word](std::initializer_list<WORD> ws) {
    for (WORD w : ws)
      word(w);
  };
  auto dword = [&word](DWORD d) {
    word(LOWORD(d));
    word(HIWORD(d));
  };
  word(1);
  word(0xFFFF);
  dword(0); // help ID
  dword(0); // extended style
  dword(WS_POPUP);
  word(static_cast<WORD>(items.size()));
  words({0, 0, 100, 100, 0, 0, 0}); // place, size; no menu, standard class, no title
  for (const auto &[cls, id] : items) {
    while (b.size() % 4)
      b.push_back(0);
    dword(0);
    dword(0);
    dword(WS_CHILD | WS_VISIBLE);
    words({10, 10, 20, 10});
    dword(id);
    for (const wchar_t *p = cls; *p; ++p)
      word(*p);
    words({0, 0, 0}); // end of the class; no title, no extra bytes
  }
  return b;
}

} // namespace

TEST(DialogTemplate, AHostedItemKnowsTheIdOfTheItemBeforeItWhereThatIdIsUnique) {
  const std::vector<BYTE> tpl = Template({{kHosted, 99},
                                          {L"STATIC", kUnlabelled},
                                          {kHosted, 100},
                                          {L"BUTTON", 7},
                                          {kHosted, 101},
                                          {L"STATIC", kUnlabelled},
                                          {kHosted, 102},
                                          {kHosted, 103}});
  std::vector<BYTE> plain;
  std::vector<HostedControlItem> hosted;
  ASSERT_TRUE(SplitDialogTemplate(tpl.data(), tpl.size(), plain, hosted));
  ASSERT_EQ(5u, hosted.size());
  EXPECT_EQ(std::nullopt, hosted[0].idBefore); // the first item
  EXPECT_EQ(std::nullopt, hosted[1].idBefore); // after one of two unlabelled texts
  EXPECT_EQ(std::optional<UINT>(7), hosted[2].idBefore);
  EXPECT_EQ(std::nullopt, hosted[3].idBefore);
  EXPECT_EQ(std::optional<UINT>(102), hosted[4].idBefore); // after another hosted item
  ASSERT_GE(plain.size(), 18u);
  EXPECT_EQ(3, plain[16] | plain[17] << 8) << "items left for the dialog manager";
}

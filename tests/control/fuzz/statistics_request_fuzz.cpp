// Fuzz target: statistics requests. Any text as a Retrieve, Update or Reset
// request: every statistic named is one of the table or marked unknown, a
// group lists each statistic once, an accepted update sets exactly the values
// it names, and the report of any retrieval is a document the reader reads
// with the names as they were asked.
#include "check.h"
#include "control/core/opos.h"
#include "control/services/parsers/statistics_request.h"
#include "control/services/parsers/xml.h"
#include "control/services/statistics.h"

#include <cstdlib>
#include <map>
#include <string>

using namespace quillon;
using namespace quillon::control;

namespace {

class Clock final : public IClock {
public:
  std::uint64_t NowMs() const override { return 0; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::wstring request;
  for (size_t i = 0; i + 1 < size; i += 2)
    request += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  const auto table = stats::SimulatedTable();
  const int goodScans = stats::IndexOf(L"GoodScanCount");

  const std::vector<stats::Requested> asked = stats::ResolveNames(table, request, true, goodScans);
  for (const stats::Requested &r : asked) {
    CHECK(r.index >= -1 && r.index < static_cast<int>(table.size()));
    if (r.index >= 0) CHECK(r.name == table[static_cast<size_t>(r.index)].name);
  }
  // No group brings a statistic twice: a known one twice only when named twice.
  std::map<int, int> seen;
  for (const stats::Requested &r : asked)
    if (r.index >= 0) ++seen[r.index];
  for (const auto &[index, count] : seen)
    CHECK(count == 1 || request.find(table[static_cast<size_t>(index)].name) != std::wstring::npos);

  Clock clock;
  stats::Counters counters(clock);
  counters.Load({});
  std::vector<stats::Assignment> assignments;
  const Result update = stats::ParseUpdate(table, request, assignments);
  CHECK(update.code == opos::SUCCESS || update.code == opos::E_ILLEGAL ||
        (update.code == opos::E_EXTENDED && update.extended == opos::EX_STATISTICS_ERROR));
  if (update.code == opos::SUCCESS) {
    counters.Assign(assignments);
    std::map<int, long long> last;
    for (const stats::Assignment &a : assignments) {
      CHECK(a.value >= 0);
      for (const int i : a.targets)
        last[i] = a.value;
    }
    const std::vector<long long> values = counters.Values();
    for (size_t i = 0; i < values.size(); ++i)
      CHECK(values[i] == (last.count(static_cast<int>(i)) ? last[static_cast<int>(i)] : 0));
  }
  std::vector<int> targets;
  const Result reset = stats::ParseReset(table, request, targets);
  CHECK(reset.code == opos::SUCCESS || reset.code == opos::E_EXTENDED);

  const std::wstring report = stats::Report({L"M", L"S", L"F"}, asked, counters.Values(), L"");
  const std::optional<xml::Node> doc = xml::Parse(report);
  CHECK(doc.has_value());
  const xml::Node *event = doc->Child(L"Event");
  CHECK(event && event->children.size() == asked.size());
  for (size_t i = 0; i < asked.size(); ++i)
    CHECK(event->children[i].ChildText(L"Name") == xml::Representable(asked[i].name));
  return 0;
}

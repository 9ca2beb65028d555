// The run of a catalogue, its printed lines, report and JUnit file.
#include "check/runner.h"

#include <cstdio>

namespace {

double SecondsSince(ULONGLONG start) { return static_cast<double>(GetTickCount64() - start) / 1000.0; }

const wchar_t *OutcomeWord(Outcome o) {
  switch (o) {
  case Outcome::Pass:
    return L"PASS";
  case Outcome::Fail:
    return L"FAIL";
  case Outcome::Skip:
    return L"SKIP";
  }
  return L"?";
}

std::string XmlEscaped(const std::wstring &text) {
  std::string out;
  for (const char c : Utf8(text)) {
    switch (c) {
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '&':
      out += "&amp;";
      break;
    case '"':
      out += "&quot;";
      break;
    default:
      // Control characters other than tab and line ends are not XML characters.
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
        out += '?';
      else
        out += c;
    }
  }
  return out;
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", s);
  return text;
}

} // namespace

bool WriteUtf8File(const std::wstring &path, const std::string &bytes) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  return CloseHandle(file) && ok;
}

std::vector<const Rule *> SelectRules(const CheckOptions &options) {
  std::vector<const Rule *> rules;
  for (const Rule &r : Catalogue()) {
    bool selected = options.only.empty();
    for (const std::wstring &p : options.only)
      selected = selected || MatchesPattern(p, r.id);
    if (selected) rules.push_back(&r);
  }
  return rules;
}

std::wstring CatalogueListing() {
  std::wstring text;
  for (const Rule &r : Catalogue())
    text += std::wstring(r.id) + L"\n    " + r.sentence + L"\n    UnifiedPOS: " + r.source + L"\n";
  return text;
}

std::string JUnitXml(const std::wstring &suite, const std::vector<RuleResult> &results, double seconds) {
  size_t failures = 0, skipped = 0;
  for (const RuleResult &r : results) {
    failures += r.outcome == Outcome::Fail;
    skipped += r.outcome == Outcome::Skip;
  }
  const std::string counts = " tests=\"" + std::to_string(results.size()) + "\" failures=\"" +
                             std::to_string(failures) + "\" skipped=\"" + std::to_string(skipped) +
                             "\" errors=\"0\" time=\"" + Seconds(seconds) + "\"";
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"QuillonCheck\"" + counts +
                  ">\n <testsuite name=\"" + XmlEscaped(suite) + "\"" + counts + ">\n";
  for (const RuleResult &r : results) {
    const std::wstring id = r.rule->id;
    x += "  <testcase classname=\"QuillonCheck." + XmlEscaped(id.substr(0, id.find(L'.'))) + "\" name=\"" +
         XmlEscaped(id) + "\" time=\"" + Seconds(r.seconds) + "\"";
    if (r.outcome == Outcome::Pass) {
      x += "/>\n";
      continue;
    }
    const char *tag = r.outcome == Outcome::Fail ? "failure" : "skipped";
    x += ">\n   <" + std::string(tag) + " message=\"" + XmlEscaped(r.detail) + "\"" +
         (r.outcome == Outcome::Fail ? " type=\"rule\"" : "") + ">" + XmlEscaped(r.rule->sentence) + "</" + tag +
         ">\n  </testcase>\n";
  }
  return x + " </testsuite>\n</testsuites>\n";
}

CheckRunner::CheckRunner(const CheckOptions &options, const CheckTimings &timings, CheckSession &session,
                         LabelSource &labels, ClaimHolder &holder)
    : m_options(options), m_timings(timings), m_session(session), m_labels(labels), m_holder(holder) {}

int CheckRunner::Run(const std::vector<const Rule *> &rules) {
  {
    std::lock_guard lock(m_lock);
    m_rules = rules;
    m_runStart = GetTickCount64();
  }
  int scanTotal = 0;
  for (const Rule *r : rules)
    scanTotal += r->scans;
  int scanNumber = 0;
  for (const Rule *rule : rules) {
    {
      std::lock_guard lock(m_lock);
      if (m_finished) break;
    }
    try {
      RunRule(*rule, scanNumber, scanTotal);
    } catch (const RunEnded &e) {
      std::lock_guard lock(m_lock);
      if (!m_finished) {
        Record(*rule, Outcome::Skip, L"not finished: " + e.why, SecondsSince(m_ruleStart));
        EndRemaining(L"not run: " + e.why);
      }
      break;
    }
  }
  Cleanup();
  Finish();
  std::lock_guard lock(m_lock);
  for (const RuleResult &r : m_results)
    if (r.outcome == Outcome::Fail) return 1;
  return 0;
}

void CheckRunner::RunRule(const Rule &rule, int &scanNumber, int scanTotal) {
  {
    std::lock_guard lock(m_lock);
    m_current = &rule;
    m_ruleStart = GetTickCount64();
  }
  std::wstring error;
  if (!m_session.NewControl(error)) {
    Record(rule, Outcome::Fail, error, SecondsSince(m_ruleStart));
    return;
  }
  Outcome outcome = Outcome::Pass;
  std::wstring detail;
  {
    RuleContext context(m_session, m_options, m_timings, m_labels, m_holder, scanNumber, scanTotal);
    try {
      rule.run(context);
    } catch (const RuleFailure &f) {
      outcome = Outcome::Fail;
      detail = f.message;
    } catch (const RuleSkip &s) {
      outcome = Outcome::Skip;
      detail = s.reason;
    } catch (const CDispatchException &e) {
      outcome = Outcome::Fail;
      detail = static_cast<const wchar_t *>(e.Message());
      for (wchar_t &c : detail)
        if (c == L'\r' || c == L'\n') c = L' ';
    }
    if (outcome != Outcome::Pass && !m_session.EventsConnected())
      detail += L" (the control's events could not be connected)";
  }
  Cleanup();
  Record(rule, outcome, detail, SecondsSince(m_ruleStart));
}

void CheckRunner::Cleanup() {
  // Leave the device disabled, released and closed whatever the rule did.
  m_session.SetInterruptible(false);
  auto attempt = [](auto f) {
    try {
      f();
    } catch (...) {
    }
  };
  // State is not trusted here: a control that misreports it would be left open.
  attempt([&] {
    if (m_session.GetDeviceEnabled()) m_session.SetDeviceEnabled(0);
  });
  attempt([&] {
    if (m_session.GetClaimed()) m_session.ReleaseDevice();
  });
  attempt([&] { m_session.Close(); });
  m_session.DestroyControl();
  m_session.SetInterruptible(true);
}

void CheckRunner::Record(const Rule &rule, Outcome outcome, const std::wstring &detail, double seconds) {
  std::lock_guard lock(m_lock);
  if (m_finished) return;
  for (const RuleResult &r : m_results)
    if (r.rule == &rule) return;
  m_results.push_back({&rule, outcome, detail, seconds});
  std::wstring line = std::wstring(OutcomeWord(outcome)) + L"  " + rule.id;
  if (!detail.empty()) line += L": " + detail;
  line += L"\n";
  m_printed += line;
  WriteStandardOutput(line);
}

void CheckRunner::EndRemaining(const std::wstring &why) {
  std::lock_guard lock(m_lock);
  for (const Rule *r : m_rules)
    Record(*r, Outcome::Skip, why, 0);
}

void CheckRunner::OnCallTimedOut(const std::wstring &call, unsigned ms) {
  {
    std::lock_guard lock(m_lock);
    if (m_finished) return;
    const std::wstring limit = ms % 1000 ? std::to_wstring(ms) + L" ms" : std::to_wstring(ms / 1000) + L" s";
    if (m_current)
      Record(*m_current, Outcome::Fail, call + L" did not return within " + limit, SecondsSince(m_ruleStart));
    EndRemaining(L"not run: the run ended when " + call + L" did not return");
    Finish();
  }
  if (onHung) onHung();
}

std::wstring CheckRunner::ReportText() const {
  std::lock_guard lock(const_cast<std::recursive_mutex &>(m_lock));
  return header + m_printed;
}

void CheckRunner::Finish() {
  std::lock_guard lock(m_lock);
  if (m_finished) return;
  if (beforeFinish) beforeFinish();
  size_t passed = 0, failed = 0, skipped = 0;
  for (const RuleResult &r : m_results) {
    passed += r.outcome == Outcome::Pass;
    failed += r.outcome == Outcome::Fail;
    skipped += r.outcome == Outcome::Skip;
  }
  const double seconds = SecondsSince(m_runStart);
  wchar_t took[32];
  std::swprintf(took, 32, L"%.1f", seconds);
  const std::wstring summary = std::to_wstring(passed) + L" passed, " + std::to_wstring(failed) + L" failed, " +
                               std::to_wstring(skipped) + L" skipped (" + took + L" s)\n";
  m_printed += summary;
  m_finished = true;
  std::wstring notes;
  if (!m_options.reportPath.empty()) {
    if (!WriteUtf8File(m_options.reportPath, Utf8(header + m_printed)))
      notes += L"The report could not be written to " + m_options.reportPath + L"\n";
    else
      notes += L"Report: " + m_options.reportPath + L"\n";
  }
  if (!m_options.junitPath.empty() &&
      !WriteUtf8File(m_options.junitPath, JUnitXml(L"QuillonCheck." + m_options.device, m_results, seconds)))
    notes += L"The JUnit file could not be written to " + m_options.junitPath + L"\n";
  WriteStandardOutput(notes + summary);
}

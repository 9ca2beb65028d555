// Runs the selected rules one after another, each on a fresh control
// instance, prints a line per rule and the totals, and writes the report and
// the JUnit file. A call that hangs ends the run through OnCallTimedOut, from
// the watchdog's thread, with everything written before the process ends.
#pragma once

#include "check/rules.h"
#include "common/std_output.h"

#include <functional>
#include <mutex>
#include <vector>

enum class Outcome { Pass, Fail, Skip };

struct RuleResult {
  const Rule *rule;
  Outcome outcome;
  std::wstring detail;
  double seconds;
};

// The rules the --only patterns select (all without patterns), in catalogue order.
std::vector<const Rule *> SelectRules(const CheckOptions &options);
// The --list text.
std::wstring CatalogueListing();

class CheckRunner {
public:
  CheckRunner(const CheckOptions &options, const CheckTimings &timings, CheckSession &session, LabelSource &labels,
              ClaimHolder &holder);

  // Runs the rules; the exit status (0 when none failed).
  int Run(const std::vector<const Rule *> &rules);
  // From the watchdog: the call in progress did not return. Records the
  // failure, ends the run with its outputs written, then runs onHung.
  void OnCallTimedOut(const std::wstring &call, unsigned ms);

  // Runs once the outputs are written after a hung call (the program ends
  // its process there: the call never returns).
  std::function<void()> onHung;
  // Runs before the outputs are written (the program restores what it changed).
  std::function<void()> beforeFinish;
  // The header lines of the report (device, control and service object).
  std::wstring header;

  const std::vector<RuleResult> &Results() const { return m_results; }
  // The text of the report (also what was printed).
  std::wstring ReportText() const;

private:
  void RunRule(const Rule &rule, int &scanNumber, int scanTotal);
  void Record(const Rule &rule, Outcome outcome, const std::wstring &detail, double seconds);
  void EndRemaining(const std::wstring &why);
  void Cleanup();
  void Finish();

  const CheckOptions &m_options;
  const CheckTimings &m_timings;
  CheckSession &m_session;
  LabelSource &m_labels;
  ClaimHolder &m_holder;
  std::recursive_mutex m_lock;
  std::vector<const Rule *> m_rules;
  std::vector<RuleResult> m_results;
  std::wstring m_printed;
  const Rule *m_current = nullptr;
  ULONGLONG m_ruleStart = 0;
  ULONGLONG m_runStart = 0;
  bool m_finished = false;
};

// The JUnit XML of a run.
std::string JUnitXml(const std::wstring &suite, const std::vector<RuleResult> &results, double seconds);
// Writes text as UTF-8; false when the file could not be written.
bool WriteUtf8File(const std::wstring &path, const std::string &bytes);

// The rules of a check and what a rule works with: the session on the
// control, where labels come from, the second process that holds the claim,
// and helpers that end a rule as failed or skipped with a sentence saying why.
#pragma once

#include "check/options.h"
#include "check/session.h"

#include <span>
#include <string>

// Where the labels a rule needs come from.
class LabelSource {
public:
  enum class Fed { Sent, Refused, Unavailable };
  virtual ~LabelSource() = default;
  // Asks for scan number of total; on Unavailable or Refused, why says why.
  virtual Fed Deliver(int number, int total, std::wstring &why) = 0;
  // How long a label may take to reach DataCount.
  virtual unsigned WaitMs() const = 0;
  // True when a person scans: a label that does not come is their choice,
  // not the device's fault.
  virtual bool Person() const = 0;
};

// Another process, which claims the device when asked and lets it go again.
class ClaimHolder {
public:
  virtual ~ClaimHolder() = default;
  // Opens the device in the other process and claims it with this time-out;
  // the result of its ClaimDevice (or of its Open when that failed).
  virtual long Hold(long timeout) = 0;
  // Releases and closes the device there.
  virtual void Release() = 0;
};

// Timings of a run; tests shorten them.
struct CheckTimings {
  unsigned quietMs = 300;     // how long to watch for an event that must not come
  unsigned eventMs = 2000;    // how long an event that is due may take
  unsigned claimWaitMs = 400; // the time-out of the ClaimDevice that must wait it out
};

struct RuleFailure {
  std::wstring message;
};
struct RuleSkip {
  std::wstring reason;
};

class RuleContext {
public:
  RuleContext(CheckSession &session, const CheckOptions &options, const CheckTimings &timings, LabelSource &labels,
              ClaimHolder &holder, int &scanNumber, int scanTotal)
      : s(session), o(options), t(timings), m_labels(labels), m_holder(holder), m_scanNumber(scanNumber),
        m_scanTotal(scanTotal) {}
  ~RuleContext();

  CheckSession &s;
  const CheckOptions &o;
  const CheckTimings &t;

  [[noreturn]] void Fail(const std::wstring &message) { throw RuleFailure{message}; }
  [[noreturn]] void Skip(const std::wstring &reason) { throw RuleSkip{reason}; }
  void Expect(bool condition, const std::wstring &message) {
    if (!condition) Fail(message);
  }
  // "what: expected OPOS_E_ILLEGAL, saw OPOS_SUCCESS"
  void ExpectCode(const std::wstring &what, long expected, long seen);
  // Reads ResultCode and expects it (after a property write, for one).
  void ExpectResultCode(const std::wstring &what, long expected);
  // "what: expected 1, saw 0"
  void ExpectValue(const std::wstring &what, long expected, long seen);
  void ExpectText(const std::wstring &what, const std::wstring &expected, const std::wstring &seen);

  // Open the device named on the command line; claim it; enable it.
  void Open();
  void Claim();
  void Enable();
  void OpenClaimEnable() {
    Open();
    Claim();
    Enable();
  }
  // One label read by the device and queued: DataCount rises by one. Skips
  // when no label can be had, fails when the device does not count it.
  void Scan();
  // Waits for DataEvent number n (counted from the start of the rule).
  bool WaitForDataEvents(size_t n) {
    return s.PumpUntil([&] { return s.DataEvents() >= n; }, t.eventMs);
  }
  // The claim held by the second process (and let go when the rule ends).
  long Hold(long timeout);
  void ReleaseHold();

private:
  LabelSource &m_labels;
  ClaimHolder &m_holder;
  int &m_scanNumber;
  int m_scanTotal;
  bool m_holding = false;
};

struct Rule {
  const wchar_t *id;
  const wchar_t *sentence;
  const wchar_t *source; // the UnifiedPOS behaviour the rule comes from
  int scans;             // labels the rule asks for
  void (*run)(RuleContext &);
};

std::span<const Rule> Catalogue();

// The OPOS name of a result code ("OPOS_E_ILLEGAL"), or the number.
std::wstring ResultName(long code);

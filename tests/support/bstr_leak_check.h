// BstrLeakCheck: counts the task-memory blocks (every BSTR is one) that the
// test thread allocates and frees while the check is alive, so a test can
// prove that each string was released exactly once on every path.
//
// oleaut32 allocates BSTRs with CoTaskMemAlloc; once its string cache is
// switched off (SetOaNoCache) every SysAllocString / SysFreeString reaches
// the task allocator, where a process-wide IMallocSpy sees it. The spy is
// registered on first use and stays registered: a spy with blocks still out
// cannot be revoked, and a second one cannot be registered.
//
//   BstrLeakCheck check;
//   ... code under test ...
//   EXPECT_EQ(check.Outstanding(), 0);   // nothing allocated here is left
//   EXPECT_EQ(check.DoubleFrees(), 0);   // nothing freed twice
//
// Only the thread that made the check is counted. A second free of a block
// is counted and swallowed, so it cannot corrupt the heap of the test.
#pragma once

#include <windows.h>
#include <oleauto.h>

class BstrLeakCheck {
public:
  BstrLeakCheck();
  ~BstrLeakCheck();
  BstrLeakCheck(const BstrLeakCheck &) = delete;
  BstrLeakCheck &operator=(const BstrLeakCheck &) = delete;

  // True when the spy is in place and counting.
  bool Active() const { return m_active; }

  // Blocks allocated on the checked thread since the check began.
  long Allocations() const;
  // Frees of those blocks.
  long Frees() const;
  // Frees of blocks that were allocated before the check began.
  long FreesOfOlder() const;
  // Blocks allocated since the check began and not yet freed.
  long Outstanding() const;
  // Frees of a block that had already been freed (and not reallocated).
  long DoubleFrees() const;

  // Strings a fake control handed to its caller while the check is alive,
  // and how many of them the caller has not freed yet.
  long HandedOut() const;
  long HandedOutNotFreed() const;
  // Whether the block holding b was allocated during this check and is
  // still live.
  bool IsLive(BSTR b) const;

  // Called by fakes for every BSTR they give away (results, by-reference
  // replacements, exception texts). Does nothing without an active check.
  static void NoteHandedOut(BSTR b);
  // Called by fakes for the copies they keep for themselves (recorded
  // arguments, stored property values): those are not the caller's to free.
  static void Exclude(BSTR b);

private:
  bool m_active = false;
};

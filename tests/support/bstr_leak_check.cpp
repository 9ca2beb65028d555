// The malloc spy behind BstrLeakCheck (bstr_leak_check.h): it counts the
// task-memory blocks of the checking thread until they are freed.
#include "bstr_leak_check.h"

#include <ole2.h>

#include "comkit/object.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>

namespace {

struct Block {
  SIZE_T size;
  bool handedOut;
};

// What the spy has seen for the active check. Guarded by m_lock, because
// other threads allocate task memory too.
// The spy lives for the whole process.
class CountingSpy final : public comkit::Unowned<CountingSpy, IMallocSpy> {
public:
  STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T cbRequest) override {
    t_pendingSize = cbRequest;
    return cbRequest;
  }
  STDMETHODIMP_(void *) PostAlloc(void *pActual) override {
    if (pActual) Allocated(pActual, t_pendingSize);
    return pActual;
  }
  STDMETHODIMP_(void *) PreFree(void *pRequest, BOOL) override {
    if (!pRequest) return pRequest;
    return Freeing(pRequest) ? pRequest : nullptr;
  }
  STDMETHODIMP_(void) PostFree(BOOL) override {}
  STDMETHODIMP_(SIZE_T) PreRealloc(void *pRequest, SIZE_T cbRequest, void **ppNewRequest, BOOL) override {
    t_pendingOld = pRequest;
    t_pendingSize = cbRequest;
    *ppNewRequest = pRequest;
    return cbRequest;
  }
  STDMETHODIMP_(void *) PostRealloc(void *pActual, BOOL) override {
    void *old = t_pendingOld;
    t_pendingOld = nullptr;
    if (pActual == old) {
      if (pActual) Resized(pActual, t_pendingSize);
      return pActual;
    }
    if (pActual) {
      // Moved (or a fresh block for a null request): the old block is gone.
      if (old) Freeing(old);
      Allocated(pActual, t_pendingSize);
    } else if (old && t_pendingSize == 0) {
      Freeing(old);
    }
    return pActual;
  }
  // SysFreeString asks for the size first, so a second free shows here. The
  // 32-bit oleaut32 then stops; the 64-bit one goes on to free the block,
  // which must not count as a further double free.
  STDMETHODIMP_(void *) PreGetSize(void *pRequest, BOOL) override {
    if (pRequest) SizeQueried(pRequest);
    return pRequest;
  }
  STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T cbActual, BOOL) override { return cbActual; }
  STDMETHODIMP_(void *) PreDidAlloc(void *pRequest, BOOL) override { return pRequest; }
  STDMETHODIMP_(int) PostDidAlloc(void *, BOOL, int fActual) override { return fActual; }
  STDMETHODIMP_(void) PreHeapMinimize() override {}
  STDMETHODIMP_(void) PostHeapMinimize() override {}

  bool Begin() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_thread) return false;
    m_thread = GetCurrentThreadId();
    m_live.clear();
    m_freed.clear();
    m_allocations = m_frees = m_freesOfOlder = m_doubleFrees = m_handedOut = 0;
    return true;
  }
  void End() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_thread = 0;
    m_live.clear();
    m_freed.clear();
  }

  void NoteHandedOut(const void *p) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_thread) return;
    if (Block *b = Containing(p)) {
      if (!b->handedOut) ++m_handedOut;
      b->handedOut = true;
    }
  }
  void Exclude(const void *p) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_thread) return;
    const auto a = reinterpret_cast<uintptr_t>(p);
    auto it = m_live.upper_bound(a);
    if (it == m_live.begin()) return;
    --it;
    if (a < it->first + it->second.size) m_live.erase(it);
  }
  bool IsLive(const void *p) {
    std::lock_guard<std::mutex> lock(m_lock);
    return Containing(p) != nullptr;
  }

  template <class F> auto Read(F f) {
    std::lock_guard<std::mutex> lock(m_lock);
    return f(*this);
  }

  long m_allocations = 0, m_frees = 0, m_freesOfOlder = 0, m_doubleFrees = 0, m_handedOut = 0;
  std::map<uintptr_t, Block> m_live;

private:
  bool Watched() const { return m_thread != 0 && GetCurrentThreadId() == m_thread; }

  Block *Containing(const void *p) {
    const auto a = reinterpret_cast<uintptr_t>(p);
    auto it = m_live.upper_bound(a);
    if (it == m_live.begin()) return nullptr;
    --it;
    return a < it->first + it->second.size ? &it->second : nullptr;
  }

  void Allocated(void *p, SIZE_T size) {
    try {
      std::lock_guard<std::mutex> lock(m_lock);
      const auto a = reinterpret_cast<uintptr_t>(p);
      m_freed.erase(a); // the address is in use again, whoever took it
      if (!Watched()) return;
      m_live[a] = Block{size, false};
      ++m_allocations;
    } catch (...) {
    }
  }
  void SizeQueried(void *p) {
    std::lock_guard<std::mutex> lock(m_lock);
    t_countedDoubleFree = nullptr;
    if (Watched() && m_freed.count(reinterpret_cast<uintptr_t>(p))) {
      ++m_doubleFrees;
      t_countedDoubleFree = p;
    }
  }
  void Resized(void *p, SIZE_T size) {
    std::lock_guard<std::mutex> lock(m_lock);
    auto it = m_live.find(reinterpret_cast<uintptr_t>(p));
    if (it != m_live.end()) it->second.size = size;
  }
  // false: the block was freed already and must not be freed again.
  bool Freeing(void *p) {
    try {
      std::lock_guard<std::mutex> lock(m_lock);
      if (!Watched()) return true;
      const auto a = reinterpret_cast<uintptr_t>(p);
      const bool counted = t_countedDoubleFree == p;
      t_countedDoubleFree = nullptr;
      if (m_live.erase(a)) {
        ++m_frees;
      } else if (m_freed.count(a)) {
        if (!counted) ++m_doubleFrees;
        return false;
      } else {
        ++m_freesOfOlder;
      }
      m_freed.insert(a);
    } catch (...) {
    }
    return true;
  }

  std::mutex m_lock;
  DWORD m_thread = 0;
  std::set<uintptr_t> m_freed;
  static thread_local SIZE_T t_pendingSize;
  static thread_local void *t_pendingOld;
  static thread_local void *t_countedDoubleFree; // by the size query of this free
};

thread_local SIZE_T CountingSpy::t_pendingSize = 0;
thread_local void *CountingSpy::t_pendingOld = nullptr;
thread_local void *CountingSpy::t_countedDoubleFree = nullptr;

CountingSpy *g_spy = nullptr; // set once, by Spy()

CountingSpy *Spy() {
  static CountingSpy *const spy = [] {
    auto *s = new CountingSpy();
    // Without this, freed strings go to oleaut32's cache and never reach
    // the allocator.
    if (HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll")) {
      using NoCacheFn = void(WINAPI *)();
      if (FARPROC p = GetProcAddress(oleaut, "SetOaNoCache"))
        reinterpret_cast<NoCacheFn>(reinterpret_cast<void *>(p))();
    }
    if (FAILED(CoRegisterMallocSpy(s))) return static_cast<CountingSpy *>(nullptr);
    g_spy = s;
    return s;
  }();
  return spy;
}

} // namespace

BstrLeakCheck::BstrLeakCheck() {
  CountingSpy *spy = Spy();
  m_active = spy && spy->Begin();
}

BstrLeakCheck::~BstrLeakCheck() {
  if (m_active) Spy()->End();
}

long BstrLeakCheck::Allocations() const {
  return m_active ? Spy()->Read([](CountingSpy &s) { return s.m_allocations; }) : 0;
}
long BstrLeakCheck::Frees() const {
  return m_active ? Spy()->Read([](CountingSpy &s) { return s.m_frees; }) : 0;
}
long BstrLeakCheck::FreesOfOlder() const {
  return m_active ? Spy()->Read([](CountingSpy &s) { return s.m_freesOfOlder; }) : 0;
}
long BstrLeakCheck::Outstanding() const {
  return m_active ? Spy()->Read([](CountingSpy &s) { return static_cast<long>(s.m_live.size()); }) : 0;
}
long BstrLeakCheck::DoubleFrees() const {
  return m_active ? Spy()->Read([](CountingSpy &s) { return s.m_doubleFrees; }) : 0;
}
long BstrLeakCheck::HandedOut() const {
  return m_active ? Spy()->Read([](CountingSpy &s) { return s.m_handedOut; }) : 0;
}
long BstrLeakCheck::HandedOutNotFreed() const {
  if (!m_active) return 0;
  return Spy()->Read([](CountingSpy &s) {
    long n = 0;
    for (const auto &entry : s.m_live)
      if (entry.second.handedOut) ++n;
    return n;
  });
}
bool BstrLeakCheck::IsLive(BSTR b) const { return m_active && b && Spy()->IsLive(b); }

void BstrLeakCheck::NoteHandedOut(BSTR b) {
  if (b && g_spy) g_spy->NoteHandedOut(b);
}

void BstrLeakCheck::Exclude(BSTR b) {
  if (b && g_spy) g_spy->Exclude(b);
}

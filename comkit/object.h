// IUnknown written once. A COM object derives from one of the templates here,
// naming the interfaces it implements in one list; QueryInterface answers
// each of them (and the interfaces they derive from), AddRef and Release
// follow the object's lifetime:
//   Object  - made with new, deleted when its last reference goes;
//   Unowned - counted, but owned by its maker (a static, a member, a stack
//             object): the last reference going deletes nothing;
//   Inner   - lives inside another object and shares that object's count.
// Counts are atomic, so an object may be reached from other threads.
//
// A class may declare, publicly, hooks that hide the defaults below:
//   bool Refuses(REFIID iid) const    - an interface of the list withheld now;
//   void *OtherInterface(REFIID iid)  - an IID outside the list (a
//                                       dispinterface's) answered with one of
//                                       the object's interfaces;
//   void LastReleased()               - Unowned only: the count reached zero.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <type_traits>

namespace comkit {

// The interface an interface derives from, which QueryInterface answers with
// it; IUnknown for the ones that derive from it directly.
template <class I> struct BaseOf { using Type = IUnknown; };
template <> struct BaseOf<IProvideClassInfo2> { using Type = IProvideClassInfo; };
template <> struct BaseOf<IPersistStreamInit> { using Type = IPersist; };
template <> struct BaseOf<IOleInPlaceObject> { using Type = IOleWindow; };
template <> struct BaseOf<IOleInPlaceSite> { using Type = IOleWindow; };
template <> struct BaseOf<IOleInPlaceUIWindow> { using Type = IOleWindow; };
template <> struct BaseOf<IOleInPlaceFrame> { using Type = IOleInPlaceUIWindow; };

// Whether QueryInterface for iid is answered with interface I.
template <class I> bool Answers(REFIID iid) {
  if constexpr (std::is_same_v<I, IUnknown>)
    return false;
  else
    return iid == __uuidof(I) || Answers<typename BaseOf<I>::Type>(iid);
}

// QueryInterface over the list; the first interface stands for IUnknown, and
// where two in the list answer the same IID the first one does.
template <class Derived, class First, class... Rest> class Implements : public First, public Rest... {
public:
  STDMETHODIMP QueryInterface(REFIID iid, void **ppv) final {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    Derived &self = *static_cast<Derived *>(this);
    if (iid == IID_IUnknown)
      *ppv = static_cast<First *>(this);
    else if (!self.Refuses(iid))
      *ppv = Find<First, Rest...>(iid);
    if (!*ppv) *ppv = self.OtherInterface(iid);
    if (!*ppv) return E_NOINTERFACE;
    static_cast<First *>(this)->AddRef();
    return S_OK;
  }

  bool Refuses(REFIID) const { return false; }
  void *OtherInterface(REFIID) { return nullptr; }

protected:
  Implements() = default;
  Implements(const Implements &) = delete;
  Implements &operator=(const Implements &) = delete;
  virtual ~Implements() = default;

  // This object as IUnknown, for those who need one.
  IUnknown *Unknown() { return static_cast<First *>(this); }

private:
  template <class I, class... More> void *Find(REFIID iid) {
    if (Answers<I>(iid)) return static_cast<I *>(this);
    if constexpr (sizeof...(More) > 0)
      return Find<More...>(iid);
    else
      return nullptr;
  }
};

// A count of its own; at zero the object deletes itself (Object) or tells
// its derived class (Unowned).
template <class Derived, bool DeleteAtZero, class... Interfaces>
class Counted : public Implements<Derived, Interfaces...> {
public:
  STDMETHODIMP_(ULONG) AddRef() final { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() final {
    const ULONG r = --m_refs;
    if (r) return r;
    if constexpr (DeleteAtZero)
      delete this; // the destructor is virtual: the derived class's runs
    else
      static_cast<Derived *>(this)->LastReleased();
    return 0;
  }
  ULONG References() const { return m_refs; }
  void LastReleased() {}

protected:
  Counted() = default;

private:
  std::atomic<ULONG> m_refs{1};
};

template <class Derived, class... Interfaces> using Object = Counted<Derived, true, Interfaces...>;
template <class Derived, class... Interfaces> using Unowned = Counted<Derived, false, Interfaces...>;

template <class Derived, class... Interfaces> class Inner : public Implements<Derived, Interfaces...> {
public:
  STDMETHODIMP_(ULONG) AddRef() final { return m_owner.AddRef(); }
  STDMETHODIMP_(ULONG) Release() final { return m_owner.Release(); }

protected:
  explicit Inner(IUnknown &owner) : m_owner(owner) {}
  IUnknown &Owner() const { return m_owner; }

private:
  IUnknown &m_owner;
};

} // namespace comkit

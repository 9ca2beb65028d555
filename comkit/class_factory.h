// A class factory whose objects are made by a function, and whose server
// locks are counted by another; aggregation is refused.
#pragma once

#include "comkit/object.h"

#include <functional>

namespace comkit {

class ClassFactory final : public Object<ClassFactory, IClassFactory> {
public:
  // Makes an object and hands out the interface iid of it into *ppv (already
  // null). What it throws is reported as E_OUTOFMEMORY.
  using Creator = std::function<HRESULT(REFIID iid, void **ppv)>;
  explicit ClassFactory(Creator create, std::function<void(bool lock)> lock = {})
      : m_create(std::move(create)), m_lock(std::move(lock)) {}

  // From now on CreateInstance fails with CLASS_E_CLASSNOTAVAILABLE (the
  // class was withdrawn while someone still holds the factory).
  void Withdraw() { m_create = nullptr; }

  STDMETHODIMP CreateInstance(IUnknown *outer, REFIID iid, void **ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

private:
  Creator m_create;
  std::function<void(bool)> m_lock;
};

} // namespace comkit

// The class factory of class_factory.h.
#include "comkit/class_factory.h"

namespace comkit {

STDMETHODIMP ClassFactory::CreateInstance(IUnknown *outer, REFIID iid, void **ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!m_create) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    return m_create(iid, ppv);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  if (m_lock) m_lock(lock != FALSE);
  return S_OK;
}

} // namespace comkit

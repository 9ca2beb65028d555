#include "runtime_class.h"

namespace {
const CRuntimeClass *g_pFirstClass = nullptr;
}

CRuntimeClassRegistration::CRuntimeClassRegistration(CRuntimeClass &rc) {
  rc.m_pNext = g_pFirstClass;
  g_pFirstClass = &rc;
}

const CRuntimeClass *CRuntimeClass::FromName(const wchar_t *pszClassName) {
  for (const CRuntimeClass *p = g_pFirstClass; p; p = p->m_pNext)
    if (pszClassName && lstrcmpW(p->m_pszClassName, pszClassName) == 0) return p;
  return nullptr;
}

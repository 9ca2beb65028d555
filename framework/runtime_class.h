// Dynamic creation by class name: a registry of factories that construct an
// empty object of a CWnd-derived class.
#pragma once

#include "wnd.h"

#include <memory>

struct CRuntimeClass {
  const wchar_t *m_pszClassName;
  CWnd *(*m_pfnCreateObject)();
  const CRuntimeClass *m_pNext; // the chain of all registered classes

  // A new object of this class, owned by the caller.
  std::unique_ptr<CWnd> CreateObject() const { return std::unique_ptr<CWnd>(m_pfnCreateObject()); }
  // The registered class with this name, or null.
  static const CRuntimeClass *FromName(const wchar_t *pszClassName);
};

// Links a runtime class into the chain at static initialisation.
struct CRuntimeClassRegistration {
  explicit CRuntimeClassRegistration(CRuntimeClass &rc);
};

#define DECLARE_DYNCREATE(class_name)                                                                                  \
  static CRuntimeClass classRuntime##class_name;                                                                       \
  static CWnd *CreateObject() { return new class_name; }

#define IMPLEMENT_DYNCREATE(class_name)                                                                                \
  CRuntimeClass class_name::classRuntime##class_name = {L## #class_name, &class_name::CreateObject, nullptr};          \
  static CRuntimeClassRegistration s_registration##class_name(class_name::classRuntime##class_name);

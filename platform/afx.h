// Core of the MFC subset the framework stands on: CObject, run-time class information,
// POSITION and CString (afx_string.h).
//
// Contract: every class derived from CObject may declare a run-time class with
// DECLARE_DYNAMIC/DECLARE_DYNCREATE in its body and IMPLEMENT_DYNAMIC/IMPLEMENT_DYNCREATE in one
// .cpp. RUNTIME_CLASS(C) names C's CRuntimeClass; CRuntimeClass::CreateObject() returns a new
// object for DYNCREATE classes and NULL for the others (or when allocation fails). CObject is not
// copyable (as in MFC), so derived classes cannot be sliced by accident.
#pragma once

#include "platform/wintypes.h"

class CObject;

// Opaque iteration cursor of the lists and maps; NULL means "no element".
struct OmbixPositionTag;
using POSITION = OmbixPositionTag*;
// The position a map's iteration starts from (GetStartPosition returns it for a non-empty map).
#define BEFORE_START_POSITION (reinterpret_cast<POSITION>(static_cast<INT_PTR>(-1)))

struct CRuntimeClass {
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  CObject* (*m_pfnCreateObject)();  // NULL for classes without a factory
  CRuntimeClass* m_pBaseClass;      // NULL only for CObject

  // A new object of the class, or NULL when the class has no factory or memory ran out.
  CObject* CreateObject() const;
  // TRUE when this class is pBaseClass or derives from it.
  BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

// In the class body (no semicolon needed). Leaves the access specifier at public.
#define DECLARE_DYNAMIC(class_name)       \
 public:                                  \
  static CRuntimeClass class##class_name; \
  CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* CreateObject();

// In one .cpp at namespace scope.
#define IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, pfnNew)                      \
  CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class_name), pfnNew, \
                                                 RUNTIME_CLASS(base_class_name)};         \
  CRuntimeClass* class_name::GetRuntimeClass() const {                                    \
    return RUNTIME_CLASS(class_name);                                                     \
  }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
  IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name) \
  CObject* class_name::CreateObject() {                  \
    return new class_name;                               \
  }                                                      \
  IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, &class_name::CreateObject)

class CObject {
 public:
  static CRuntimeClass classCObject;

  virtual ~CObject() = default;
  virtual CRuntimeClass* GetRuntimeClass() const;
  BOOL IsKindOf(const CRuntimeClass* pClass) const;

  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;

 protected:
  CObject() = default;
};

#include "platform/afx_string.h"

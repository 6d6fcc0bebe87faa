// CTSPIBaseObject: the base of every framework object (device, connection, address, call).
// Each object carries its own recursive lock; derived classes read and write their members while
// holding it, through CSingleLock on GetSyncObject(). The item data is a DWORD for derived
// classes, 0 at construction, never interpreted by the framework.
#pragma once

#include "framework/int_critical_section.h"
#include "platform/afx.h"

class CTSPIBaseObject : public CObject {
  DECLARE_DYNAMIC(CTSPIBaseObject)

 public:
  CTSPIBaseObject();
  ~CTSPIBaseObject() override;

  // The object's lock, for CSingleLock.
  CIntCriticalSection* GetSyncObject() const { return &m_csLock; }

  DWORD GetItemData() const;
  void SetItemData(DWORD dwItem);

 protected:
  mutable CIntCriticalSection m_csLock;
  DWORD m_dwItemData = 0;
};

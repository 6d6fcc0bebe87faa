#include "framework/base_object.h"

IMPLEMENT_DYNAMIC(CTSPIBaseObject, CObject)

CTSPIBaseObject::CTSPIBaseObject() = default;

CTSPIBaseObject::~CTSPIBaseObject() = default;

DWORD CTSPIBaseObject::GetItemData() const {
  CSingleLock lock(&m_csLock, TRUE);
  return m_dwItemData;
}

void CTSPIBaseObject::SetItemData(DWORD dwItem) {
  CSingleLock lock(&m_csLock, TRUE);
  m_dwItemData = dwItem;
}

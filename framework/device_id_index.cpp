// CDeviceIDIndex: constant-time look-up of a device's connections by TAPI device ID.
#include "framework/device_id_index.h"

#include "framework/connection.h"

namespace {

const CTSPIConnection* At(const CObArray& arr, INT_PTR nPos) {
  return static_cast<const CTSPIConnection*>(arr[nPos]);
}

}  // namespace

INT_PTR CDeviceIDIndex::Find(const CObArray& arr, DWORD dwDeviceID) const {
  INT_PTR nFirst = -1;
  // Unsigned, so that an ID below the base lands far outside the array.
  const DWORD dwPos = dwDeviceID - m_dwBase;
  if (dwPos < static_cast<DWORD>(arr.GetSize()) && At(arr, dwPos)->GetDeviceID() == dwDeviceID) {
    nFirst = dwPos;
  }
  const auto range = m_mapMoved.equal_range(dwDeviceID);
  for (auto it = range.first; it != range.second; ++it) {
    if (nFirst < 0 || it->second < nFirst) nFirst = it->second;
  }
  return nFirst;
}

INT_PTR CDeviceIDIndex::Locate(const CObArray& arr, const CTSPIConnection* pConn,
                               DWORD dwIndexedID) const {
  const DWORD dwPos = dwIndexedID - m_dwBase;
  if (dwPos < static_cast<DWORD>(arr.GetSize()) && At(arr, dwPos) == pConn) return dwPos;
  const auto range = m_mapMoved.equal_range(dwIndexedID);
  for (auto it = range.first; it != range.second; ++it) {
    if (At(arr, it->second) == pConn) return it->second;
  }
  return -1;
}

void CDeviceIDIndex::Forget(INT_PTR nPos, DWORD dwIndexedID) {
  const auto range = m_mapMoved.equal_range(dwIndexedID);
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == nPos) {
      m_mapMoved.erase(it);
      return;
    }
  }
}

void CDeviceIDIndex::Note(INT_PTR nPos, DWORD dwDeviceID) {
  if (dwDeviceID - m_dwBase != static_cast<DWORD>(nPos)) m_mapMoved.emplace(dwDeviceID, nPos);
}

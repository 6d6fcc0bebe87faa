// CDeviceIDIndex: finds a device's line (or phone) by TAPI device ID in constant time.
//
// Contract:
// - The connection at position i of the array normally carries the ID base + i; it is found
//   there by arithmetic and a check of its ID. Only connections whose ID differs (given another
//   by SetDeviceID, e.g. at LINE_CREATE) are kept in a table, so a device whose IDs were never
//   changed holds nothing extra.
// - Where IDs repeat, the connection at the lowest position wins, as a walk of the array would.
// - The index holds no lock: the device calls it under its own lock, the one that guards the
//   array, and tells it of every connection added and of every ID changed.
#pragma once

#include <unordered_map>

#include "platform/afxcoll.h"
#include "platform/wintypes.h"

class CTSPIConnection;

class CDeviceIDIndex {
 public:
  void SetBase(DWORD dwBase) { m_dwBase = dwBase; }
  // Position of the first connection in arr whose ID is dwDeviceID, or -1.
  INT_PTR Find(const CObArray& arr, DWORD dwDeviceID) const;
  // Position of pConn in arr, looked up under dwIndexedID, the ID the index knows it by; -1
  // when pConn is not in arr.
  INT_PTR Locate(const CObArray& arr, const CTSPIConnection* pConn, DWORD dwIndexedID) const;
  // The connection at nPos is no longer known by dwIndexedID.
  void Forget(INT_PTR nPos, DWORD dwIndexedID);
  // The connection at nPos is known by dwDeviceID, its ID from now on.
  void Note(INT_PTR nPos, DWORD dwDeviceID);
  void Clear() { m_mapMoved.clear(); }

 private:
  DWORD m_dwBase = 0;
  // Connections whose ID is not base + position: ID -> position.
  std::unordered_multimap<DWORD, INT_PTR> m_mapMoved;
};

// CTSPILineConnection: what the line asks of its addresses and calls. The addresses are called
// without the line's lock (their lock comes before the line's); the pointers stay valid because
// only the line's destructor deletes addresses.
#include "framework/line_connection.h"
#include "framework/line_seams.h"
#include "platform/afxmt.h"

TSPILineSeams& GetTSPILineSeams() {
  static TSPILineSeams seams;
  return seams;
}

CTSPIAddressInfo* CTSPILineConnection::AsAddress(CObject* pObject) {
  // An address derives from CObject alone (single inheritance), so both share one address.
  return reinterpret_cast<CTSPIAddressInfo*>(pObject);
}

HTAPICALL CTSPILineConnection::GetCallHandle(CTSPICallAppearance* pCall) {
  const TSPILineSeams& seams = GetTSPILineSeams();
  return seams.pfnGetCallHandle != nullptr ? seams.pfnGetCallHandle(pCall) : nullptr;
}

std::vector<CTSPIAddressInfo*> CTSPILineConnection::SnapshotAddresses() const {
  CSingleLock lock(GetSyncObject(), TRUE);
  std::vector<CTSPIAddressInfo*> addresses;
  for (INT_PTR i = 0; i < m_arrAddresses.GetSize(); ++i) {
    addresses.push_back(AsAddress(m_arrAddresses[i]));
  }
  return addresses;
}

DWORD CTSPILineConnection::CollectAvailableMediaModes() {
  const TSPILineSeams& seams = GetTSPILineSeams();
  if (seams.pfnGetAvailableMediaModes == nullptr) return 0;
  DWORD dwModes = 0;
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    dwModes |= seams.pfnGetAvailableMediaModes(pAddr);
  }
  return dwModes;
}

void CTSPILineConnection::SetAddressStatusMessages(DWORD dwAddressStates) {
  const TSPILineSeams& seams = GetTSPILineSeams();
  if (seams.pfnSetAddressStatusMessages == nullptr) return;
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    seams.pfnSetAddressStatusMessages(pAddr, dwAddressStates);
  }
}

void CTSPILineConnection::UpdateAddressFeatures() {
  const TSPILineSeams& seams = GetTSPILineSeams();
  if (seams.pfnUpdateAddressFeatures == nullptr) return;
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) seams.pfnUpdateAddressFeatures(pAddr);
}

void CTSPILineConnection::SetAddressTerminalModes(int nTerminal, DWORD dwModes, BOOL bOn) {
  const TSPILineSeams& seams = GetTSPILineSeams();
  if (seams.pfnSetAddressTerminalModes == nullptr) return;
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    seams.pfnSetAddressTerminalModes(pAddr, nTerminal, dwModes, bOn);
  }
}

void CTSPILineConnection::DropAllCalls() {
  const TSPILineSeams& seams = GetTSPILineSeams();
  if (seams.pfnDropAddressCalls == nullptr) return;
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) seams.pfnDropAddressCalls(pAddr);
}

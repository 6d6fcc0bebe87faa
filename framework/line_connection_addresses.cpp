// CTSPILineConnection: what the line asks of its addresses and calls. The addresses are called
// without the line's lock (their lock comes before the line's); the pointers stay valid because
// only the line's destructor deletes addresses.
#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/feature_locks.h"
#include "framework/line_connection.h"
#include "platform/afxmt.h"

CTSPIAddressInfo* CTSPILineConnection::AsAddress(CObject* pObject) {
  return static_cast<CTSPIAddressInfo*>(pObject);
}

std::vector<CTSPIAddressInfo*> CTSPILineConnection::SnapshotAddresses() const {
  // Inside a call's state change the line's lock is only tried: a busy line gives no addresses
  // and the change computes the call's features again later.
  CSingleLock lock(GetSyncObject());
  if (!CFeatureLockScope::Lock(lock)) return {};
  std::vector<CTSPIAddressInfo*> addresses;
  for (INT_PTR i = 0; i < m_arrAddresses.GetSize(); ++i) {
    addresses.push_back(AsAddress(m_arrAddresses[i]));
  }
  return addresses;
}

DWORD CTSPILineConnection::CollectAvailableMediaModes() {
  DWORD dwModes = 0;
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    dwModes |= pAddr->GetAvailableMediaModesForCall();
  }
  return dwModes;
}

void CTSPILineConnection::SetAddressStatusMessages(DWORD dwAddressStates) {
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) pAddr->SetStatusMessages(dwAddressStates);
}

void CTSPILineConnection::UpdateAddressFeatures() {
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) pAddr->UpdateAddressFeatures();
}

void CTSPILineConnection::SetAddressTerminalModes(int nTerminal, DWORD dwModes, BOOL bOn) {
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    pAddr->SetTerminalModes(nTerminal, dwModes, bOn);
  }
}

void CTSPILineConnection::DropAllCalls() {
  for (CTSPIAddressInfo* pAddr : SnapshotAddresses()) {
    for (CTSPICallAppearance* pCall : pAddr->SnapshotCalls()) {
      pCall->Drop(0, nullptr, 0);
      pCall->Release();
    }
  }
}

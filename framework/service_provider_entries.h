// Helpers the line request entries share (service_provider_*entries*.cpp); not a public header.
//
// Contract: every helper either hands back what it built or frees it before it answers an error;
// TAPI's buffers are only read. Allocation failures answer LINEERR_NOMEM.
#pragma once

#include <memory>
#include <new>

#include "framework/ado_array.h"
#include "platform/tapi.h"

class CServiceProvider;
class CTSPIAddressInfo;
class CTSPICallAppearance;
class CTSPILineConnection;

namespace entries {

// A record made without raising; NULL when memory ran out.
template <class T>
T* NewRecord() {
  return new (std::nothrow) T;
}

// Deletes a record that the target refused (a negative result) and passes the result on.
template <class T>
LONG HandOver(LONG lResult, T* pRecord) {
  if (lResult < 0) delete pRecord;
  return lResult;
}

// TAPI's call parameters copied whole and given the provider's defaults for pLine. NULL in gives
// NULL out and 0: a request without parameters goes on without them.
LONG CopyCallParamsWithDefaults(CServiceProvider* pSP, CTSPILineConnection* pLine,
                                const LINECALLPARAMS* lpSource, LPLINECALLPARAMS* lppCopy);

// User-user information against a line's limit (0: no limit, the information is dropped).
// Answers 0 and, in *plpsPass/*pdwPass, what the call operation receives.
LONG CheckUserUserInfo(DWORD dwLimit, LPCSTR lpsInfo, DWORD dwSize, LPCSTR* plpsPass,
                       DWORD* pdwPass);

// A new address array holding the parsed address; NULL address or "" answers
// LINEERR_INVALADDRESS. On error *ppList is NULL and nothing is left behind.
LONG ParseRequiredAddress(CServiceProvider* pSP, CTSPILineConnection* pLine,
                          CTSPIAddressInfo* pAddr, LPCSTR pszAddress, DWORD dwCountryCode,
                          CADObArray** ppList);

// The line a call is on (through its address), NULL when it has none.
CTSPILineConnection* LineOfCall(CTSPICallAppearance* pCall);

// Writes a driver call handle for TAPI when it gave somewhere to write it.
void StoreCallHandle(LPHDRVCALL lphdCall, CTSPICallAppearance* pCall);

}  // namespace entries

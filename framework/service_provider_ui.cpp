// CServiceProvider: the UI half of the provider-ID exchange on TAPI's generic dialog data
// channel. The provider half answers it in TSPI_providerGenericDialogData.
#include "framework/service_provider.h"
#include "framework/tspi_exports.h"

LONG CServiceProvider::QueryProviderIDThroughUI(TUISPIDLLCALLBACK lpfnDLLCallback, DWORD dwDeviceID,
                                                BOOL fIsLine, LPDWORD lpdwProviderID) {
  if (lpdwProviderID != nullptr) *lpdwProviderID = 0;
  if (lpfnDLLCallback == nullptr) return LINEERR_OPERATIONFAILED;
  DWORD message[2] = {TSPI_DLGDATA_PROVIDERID_QUERY, dwDeviceID};
  const LONG lResult =
      lpfnDLLCallback(dwDeviceID, fIsLine ? TUISPIDLL_OBJECT_LINEID : TUISPIDLL_OBJECT_PHONEID,
                      message, sizeof(message));
  if (lResult == 0 && message[0] == TSPI_DLGDATA_PROVIDERID_ANSWER && lpdwProviderID != nullptr) {
    *lpdwProviderID = message[1];
  }
  return lResult;
}

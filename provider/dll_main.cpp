// The provider library's start-up: its one provider object, and right after it the module
// object that runs the provider's InitInstance when the library is loaded and its ExitInstance
// when it is unloaded. Loading does nothing else: no thread, no registry access, no socket.
#include "framework/service_provider.h"
#include "platform/afxwin.h"

namespace {

CServiceProvider theProvider("OMBIX.TSP", "VOIP Service Provider (Z9410)", 0x00020001);
CWinAppModule theModule(theProvider);

}  // namespace

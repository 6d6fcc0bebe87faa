// The provider library's start-up: its one provider object, the switch provider, and right after
// it the module object that runs the provider's InitInstance when the library is loaded and its
// ExitInstance when it is unloaded. Loading does nothing else: no thread, no registry access, no
// socket.
#include "platform/afxwin.h"
#include "provider/ombix_provider.h"

namespace {

COmbixProvider theProvider;
CWinAppModule theModule(theProvider);

}  // namespace

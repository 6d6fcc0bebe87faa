// tsp-host's dialog commands: the provider's user-interface half run as TAPI's UI process runs
// it. Its UI callback reaches the provider half (TSPI_providerGenericDialogData) of the same
// library; the dialogs are played by the presenter that --dialogs chose.
#include "platform/tapi.h"
#include "tools/tsp-host/callbacks.h"
#include "tools/tsp-host/commands.h"
#include "tools/tsp-host/names.h"
#include "tools/tsp-host/output.h"
#include "tools/tsp-host/var_struct_text.h"

namespace tsphost {

CommandStatus HostSession::Config(const Args& args) {
  const DWORD dwProviderID = args.numbers.empty() ? m_dwProviderID : args.numbers[0];
  const LONG lResult =
      m_library.Exports().uiProviderConfig(&TapiSide::UICallback, nullptr, dwProviderID);
  FlushQueuedLines();
  PrintLine("providerConfig(" + Dec(dwProviderID) + ") = " + FormatResult(lResult));
  return CommandStatus::kDone;
}

CommandStatus HostSession::LineConfig(const Args& args) {
  const DWORD dwDeviceID = args.numbers[0];
  const LONG lResult = m_library.Exports().uiLineConfigDialog(&TapiSide::UICallback, dwDeviceID,
                                                              nullptr, u"tapi/line");
  FlushQueuedLines();
  PrintLine("lineConfigDialog(" + Dec(dwDeviceID) + ", \"tapi/line\") = " + FormatResult(lResult));
  return CommandStatus::kDone;
}

}  // namespace tsphost

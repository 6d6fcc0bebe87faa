// tsp-host's commands: each line of a script or of the prompt is one command that calls the
// provider's exports the way the telephony service does and prints every result.
//
//   negotiate [DEVICE] [LOW HIGH]   TSPI_lineNegotiateTSPIVersion (no DEVICE: the
//                                   initial negotiation); the agreed version is used after
//   enum [PROVIDERID]               TSPI_providerEnumDevices
//   init [PROVIDERID [LINEBASE [PHONEBASE]]]
//                                   TSPI_providerInit with the counts enum reported
//   shutdown [PROVIDERID]           TSPI_providerShutdown
//   caps DEVICE                     TSPI_lineGetDevCaps, then TSPI_lineGetAddressCaps per address
//   open DEVICE                     TSPI_lineOpen
//   close DEVICE                    TSPI_lineClose
//   wait [MSECS]                    until no request awaits its completion
//   help, quit
// Numbers are decimal or 0x-prefixed hexadecimal; '#' starts a comment.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/tsp-host/provider_library.h"

namespace tsphost {

enum class CommandStatus { kDone, kQuit, kError };

class HostSession {
 public:
  HostSession(ProviderLibrary& library, DWORD dwWaitMsecs)
      : m_library(library), m_dwWaitMsecs(dwWaitMsecs) {}

  // Runs one line; kError for a line that is no valid command (the reason is printed).
  CommandStatus Execute(const std::string& line);

 private:
  using Args = std::vector<DWORD>;
  CommandStatus Negotiate(const Args& args);
  CommandStatus Enum(const Args& args);
  CommandStatus Init(const Args& args);
  CommandStatus Shutdown(const Args& args);
  CommandStatus Caps(const Args& args);
  CommandStatus Open(const Args& args);
  CommandStatus Close(const Args& args);
  CommandStatus Wait(const Args& args);
  void PrintAddressCaps(DWORD dwDeviceID, DWORD dwAddressID);

  ProviderLibrary& m_library;
  DWORD m_dwWaitMsecs;
  DWORD m_dwVersion = 0x00020001;  // TAPI's own until negotiated
  DWORD m_dwProviderID = 1;
  DWORD m_dwNumLines = 0;
  DWORD m_dwNumPhones = 0;
  std::map<DWORD, HDRVLINE> m_openLines;  // device ID -> the provider's handle
};

// The command summary printed by help and --help.
const char* CommandHelp();

}  // namespace tsphost

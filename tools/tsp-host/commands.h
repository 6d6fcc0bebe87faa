// tsp-host's commands: each line of a script or of the prompt is one command that calls the
// provider's exports the way the telephony service does and prints every result.
//
//   negotiate [DEVICE] [LOW HIGH]   TSPI_lineNegotiateTSPIVersion (no DEVICE: the
//                                   initial negotiation); the agreed version is used after
//   install                         TUISPI_providerInstall under the next free provider ID,
//                                   then the library joins the installed-provider list
//   remove ID                       TUISPI_providerRemove of the listed provider, then the
//                                   entry leaves the list
//   config [PROVIDERID]             TUISPI_providerConfig: the provider's configuration dialog
//   lineconfig LINE                 TUISPI_lineConfigDialog of a line device (its UI half
//                                   asks the provider half through the UI callback)
//   enum [PROVIDERID]               TSPI_providerEnumDevices
//   init [PROVIDERID [LINEBASE [PHONEBASE]]] [lines=N]
//                                   TSPI_providerInit with the counts enum reported, after an
//                                   enum of its own when none was made for the provider ID
//                                   (lines=N: with N lines instead, no enum)
//   shutdown [PROVIDERID]           TSPI_providerShutdown
//   caps LINE [VERSION]             TSPI_lineGetDevCaps, then TSPI_lineGetAddressCaps per address
//   open LINE                       TSPI_lineOpen
//   status LINE                     TSPI_lineGetLineDevStatus (with the handle open gave)
//   statusmsgs LINE LINESTATES [ADDRESSSTATES]
//                                   TSPI_lineSetStatusMessages: the LINE_LINEDEVSTATE and
//                                   LINE_ADDRESSSTATE events the line may send
//   getid LINE CLASS                TSPI_lineGetID of the line for a device class
//   close LINE                      TSPI_lineClose
//   call commands                   make, answer, drop, hold, unhold, swaphold, transfer,
//                                   conference, park, unpark, pickup, redirect, forward, dial,
//                                   callinfo, callstatus, addrcaps, addrstatus, closecall
//                                   (commands_call.cpp; CALL is the number the host printed)
//   wait [MSECS]                    until no request awaits its completion (or a signal
//                                   asks tsp-host to end); says which requests completed
//   sleep MSECS                     a pause, printing what the provider sends meanwhile
//   help, quit
// Numbers are decimal or 0x-prefixed hexadecimal; '#' starts a comment. The provider ID that
// install gave, or the last one enum or init used, is the default PROVIDERID.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/tsp-host/provider_library.h"

namespace tsphost {

enum class CommandStatus { kDone, kQuit, kError };

// A command's arguments: its numbers in order, its text argument, its name=number options.
struct CommandArgs {
  std::vector<DWORD> numbers;
  std::string text;
  std::map<std::string, DWORD> options;
};

class HostSession {
 public:
  // registrySource: how the registry file's path was given ("given by --registry", "from
  // OMBIX_REGISTRY" or "the default"), for the note on a file that does not exist.
  HostSession(ProviderLibrary& library, DWORD dwWaitMsecs, std::string registrySource = {})
      : m_library(library),
        m_dwWaitMsecs(dwWaitMsecs),
        m_registrySource(std::move(registrySource)) {}

  // Runs one line; kError for a line that is no valid command (the reason is printed). echo,
  // unless empty, is printed first, after what the callbacks queued before it; a wait then
  // awaits exactly the requests whose completions come after the echo.
  CommandStatus Execute(const std::string& line, const std::string& echo = {});
  // TSPI_providerShutdown of every provider ID this session started and did not shut down,
  // with the results printed (when tsp-host is told to end).
  void ShutdownStarted();

 private:
  using Args = CommandArgs;
  struct OpenLine {
    HDRVLINE hdLine;
    DWORD dwVersion;  // the version it was opened at
  };

  CommandStatus Negotiate(const Args& args);
  CommandStatus Install(const Args& args);
  CommandStatus Remove(const Args& args);
  CommandStatus Config(const Args& args);
  CommandStatus LineConfig(const Args& args);
  CommandStatus Enum(const Args& args);
  // TSPI_providerEnumDevices with the result printed; false when it failed.
  bool EnumDevices(DWORD dwProviderID);
  CommandStatus Init(const Args& args);
  // Says which registry file the provider reads when it does not exist: beside the results of
  // enum and init, whose answers it explains.
  void NoteMissingRegistry() const;
  CommandStatus Shutdown(const Args& args);
  CommandStatus Caps(const Args& args);
  CommandStatus Open(const Args& args);
  CommandStatus Status(const Args& args);
  CommandStatus StatusMessages(const Args& args);
  CommandStatus GetID(const Args& args);
  CommandStatus Close(const Args& args);
  CommandStatus Wait(const Args& args);
  CommandStatus Sleep(const Args& args);
  // The call commands (commands_call.cpp): false when name is none of them.
  bool ExecuteCall(const std::string& name, const std::vector<std::string>& words,
                   CommandStatus& status);
  void PrintAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD dwVersion);
  // The handle open gave for the line, NULL when it is not open here.
  HDRVLINE OpenHandle(DWORD dwDeviceID) const;

  ProviderLibrary& m_library;
  DWORD m_dwWaitMsecs;
  std::string m_registrySource;
  DWORD m_dwVersion = 0x00020001;  // TAPI's own until negotiated
  DWORD m_dwProviderID = 1;
  DWORD m_dwNumLines = 0;
  DWORD m_dwNumPhones = 0;
  std::optional<DWORD> m_enumerated;      // the provider ID the counts above are of
  std::map<DWORD, OpenLine> m_openLines;  // by device ID
  std::set<DWORD> m_started;              // provider IDs providerInit started
  std::vector<DRV_REQUESTID> m_awaited;   // pending when the running command began
};

// The command summary printed by help and --help.
const char* CommandHelp();

}  // namespace tsphost

// tsp-host's commands: the parser and the provider's start and stop.
#include "tools/tsp-host/commands.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <sstream>
#include <thread>

#include "platform/registry.h"
#include "tools/tsp-host/callbacks.h"
#include "tools/tsp-host/interrupt.h"
#include "tools/tsp-host/names.h"
#include "tools/tsp-host/output.h"
#include "tools/tsp-host/var_struct_text.h"

namespace tsphost {
namespace {

constexpr DWORD kLowVersion = 0x00010003;   // the oldest version a TAPI 2.1 service accepts
constexpr DWORD kHighVersion = 0x00020001;  // TAPI 2.1 itself
constexpr DWORD kMaxLines = 0x10000;        // as many as the host has line handles for
constexpr DWORD kWaitSliceMsecs = 50;       // how soon a wait notices a signal

bool ParseNumber(const std::string& text, DWORD& dwValue) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* pEnd = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &pEnd, 0);
  if (errno != 0 || *pEnd != '\0' || value > 0xFFFFFFFFull) return false;
  dwValue = static_cast<DWORD>(value);
  return true;
}

std::string Lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

// A text argument may be quoted, so that it can be told apart from a number ("tapi/line").
std::string Unquote(const std::string& word) {
  if (word.size() >= 2 && word.front() == '"' && word.back() == '"') {
    return word.substr(1, word.size() - 2);
  }
  return word;
}

// "request 3" or "requests 3 4".
std::string RequestsText(const std::vector<DRV_REQUESTID>& requests) {
  std::string text = requests.size() == 1 ? "request" : "requests";
  for (DRV_REQUESTID dwRequestID : requests) text.append(1, ' ').append(Dec(dwRequestID));
  return text;
}

struct Command {
  const char* pszName;
  size_t nMinArgs;  // positional arguments, the text one included
  size_t nMaxArgs;
  int nTextArg;           // the position of the text argument, -1: none
  const char* pszOption;  // the name of its name=number option, NULL: none
  const char* pszExport;  // the export it calls, NULL: none
  CommandStatus (HostSession::*pfn)(const CommandArgs&);
};

// Splits the words after the command's name into its arguments; false with the reason printed.
bool ParseArgs(const Command& command, std::istringstream& stream, CommandArgs& args) {
  const std::string name = command.pszName;
  std::string word;
  size_t nPositional = 0;
  while (stream >> word) {
    const size_t equals = word.find('=');
    if (command.pszOption != nullptr && equals != std::string::npos) {
      const std::string option = Lower(word.substr(0, equals));
      DWORD dwValue = 0;
      if (option != command.pszOption) {
        PrintLine("error: " + name + ": unknown option: " + word);
        return false;
      }
      if (!ParseNumber(word.substr(equals + 1), dwValue)) {
        PrintLine("error: " + name + ": not a number: " + word);
        return false;
      }
      args.options[option] = dwValue;
      continue;
    }
    if (static_cast<int>(nPositional++) == command.nTextArg) {
      args.text = Unquote(word);
      continue;
    }
    DWORD dwValue = 0;
    if (!ParseNumber(word, dwValue)) {
      PrintLine("error: " + name + ": not a number: " + word);
      return false;
    }
    args.numbers.push_back(dwValue);
  }
  if (nPositional < command.nMinArgs || nPositional > command.nMaxArgs) {
    PrintLine("error: " + name + ": wrong number of arguments (see help)");
    return false;
  }
  return true;
}

}  // namespace

const char* CommandHelp() {
  return "commands:\n"
         "  negotiate [DEVICE] [LOW HIGH]   negotiate the TSPI version (no DEVICE: initially)\n"
         "  install                         TUISPI_providerInstall, then add the library to the\n"
         "                                  registry's installed-provider list\n"
         "  remove ID                       TUISPI_providerRemove of the listed provider ID,\n"
         "                                  then take it off the list\n"
         "  config [PROVIDERID]             TUISPI_providerConfig: the provider's dialog\n"
         "  lineconfig LINE                 TUISPI_lineConfigDialog of a line device\n"
         "  enum [PROVIDERID]               TSPI_providerEnumDevices\n"
         "  init [PROVIDERID [LINEBASE [PHONEBASE]]] [lines=N]\n"
         "                                  TSPI_providerInit with the counts enum reported\n"
         "                                  (enumerating first when enum was not run for\n"
         "                                  PROVIDERID), or with N lines and no enum\n"
         "  shutdown [PROVIDERID]           TSPI_providerShutdown\n"
         "  caps LINE [VERSION]             line and address capabilities (default: the\n"
         "                                  negotiated version)\n"
         "  open LINE                       TSPI_lineOpen\n"
         "  status LINE                     TSPI_lineGetLineDevStatus of a line opened here\n"
         "  statusmsgs LINE LINESTATES [ADDRESSSTATES]\n"
         "                                  TSPI_lineSetStatusMessages of a line opened here\n"
         "  getid LINE CLASS                TSPI_lineGetID of an open line for a device class\n"
         "                                  such as tapi/line\n"
         "  close LINE                      TSPI_lineClose\n"
         "  make LINE [NUMBER]              TSPI_lineMakeCall; the call gets a number (CALL)\n"
         "  answer|drop|hold|unhold|closecall CALL\n"
         "  swaphold ACTIVE HELD            TSPI_lineSwapHold\n"
         "  transfer blind CALL NUMBER | transfer setup CALL |\n"
         "  transfer complete CALL CONSULT [conference]\n"
         "  conference add CONF CALL | conference remove CALL\n"
         "  park CALL [NUMBER]              directed with a NUMBER, else non-directed\n"
         "  unpark LINE ADDRESS NUMBER      pickup LINE ADDRESS [NUMBER [GROUP]]\n"
         "  redirect CALL NUMBER            dial CALL NUMBER\n"
         "  forward LINE ADDRESS|all [NUMBER]  forward unconditionally (no NUMBER: cancel)\n"
         "  callinfo CALL, callstatus CALL  the call's information and status\n"
         "  addrcaps LINE ADDRESS, addrstatus LINE ADDRESS\n"
         "  wait [MSECS]                    wait until no request awaits its completion and\n"
         "                                  say which requests completed (default: the\n"
         "                                  --wait time; Ctrl-C ends the wait and tsp-host)\n"
         "  sleep MSECS                     pause, printing events and completions as they\n"
         "                                  come\n"
         "  help                            this list\n"
         "  quit                            end\n"
         "numbers are decimal or 0x-prefixed hexadecimal; '#' starts a comment, and a\n"
         "script's comment lines are printed as they come;\n"
         "PROVIDERID defaults to the ID install gave or enum or init last used\n";
}

CommandStatus HostSession::Execute(const std::string& line, const std::string& echo) {
  m_awaited = TapiSide::Get().FlushAndTakePending();
  if (!echo.empty()) PrintLine(echo);
  std::istringstream stream(line.substr(0, line.find('#')));
  std::string name;
  if (!(stream >> name)) return CommandStatus::kDone;
  name = Lower(name);

  static const Command kCommands[] = {
      {"negotiate", 0, 3, -1, nullptr, "TSPI_lineNegotiateTSPIVersion", &HostSession::Negotiate},
      {"install", 0, 0, -1, nullptr, "TUISPI_providerInstall", &HostSession::Install},
      {"remove", 1, 1, -1, nullptr, nullptr, &HostSession::Remove},
      {"config", 0, 1, -1, nullptr, "TUISPI_providerConfig", &HostSession::Config},
      {"lineconfig", 1, 1, -1, nullptr, "TUISPI_lineConfigDialog", &HostSession::LineConfig},
      {"enum", 0, 1, -1, nullptr, "TSPI_providerEnumDevices", &HostSession::Enum},
      {"init", 0, 3, -1, "lines", "TSPI_providerInit", &HostSession::Init},
      {"shutdown", 0, 1, -1, nullptr, "TSPI_providerShutdown", &HostSession::Shutdown},
      {"caps", 1, 2, -1, nullptr, "TSPI_lineGetDevCaps", &HostSession::Caps},
      {"open", 1, 1, -1, nullptr, "TSPI_lineOpen", &HostSession::Open},
      {"status", 1, 1, -1, nullptr, "TSPI_lineGetLineDevStatus", &HostSession::Status},
      {"statusmsgs", 2, 3, -1, nullptr, "TSPI_lineSetStatusMessages", &HostSession::StatusMessages},
      {"getid", 2, 2, 1, nullptr, "TSPI_lineGetID", &HostSession::GetID},
      {"close", 1, 1, -1, nullptr, "TSPI_lineClose", &HostSession::Close},
      {"wait", 0, 1, -1, nullptr, nullptr, &HostSession::Wait},
      {"sleep", 1, 1, -1, nullptr, nullptr, &HostSession::Sleep},
  };
  if (name == "quit" || name == "exit") return CommandStatus::kQuit;
  if (name == "help") {
    PrintLine(std::string(CommandHelp()).substr(0, std::strlen(CommandHelp()) - 1));
    return CommandStatus::kDone;
  }
  for (const Command& command : kCommands) {
    if (name != command.pszName) continue;
    Args args;
    if (!ParseArgs(command, stream, args)) return CommandStatus::kError;
    if (command.pszExport != nullptr && !m_library.Has(command.pszExport)) {
      PrintLine("error: " + name + ": the library has no " + command.pszExport);
      return CommandStatus::kError;
    }
    const CommandStatus status = (this->*command.pfn)(args);
    FlushQueuedLines();
    TapiSide::Get().ServeDialogs();
    return status;
  }
  std::vector<std::string> words;
  for (std::string word; stream >> word;) words.push_back(Unquote(word));
  CommandStatus status = CommandStatus::kDone;
  if (ExecuteCall(name, words, status)) {
    FlushQueuedLines();
    TapiSide::Get().ServeDialogs();
    return status;
  }
  PrintLine("error: unknown command: " + name);
  return CommandStatus::kError;
}

CommandStatus HostSession::Negotiate(const Args& args) {
  DWORD dwDeviceID = INITIALIZE_NEGOTIATION;
  DWORD dwLow = kLowVersion;
  DWORD dwHigh = kHighVersion;
  if (args.numbers.size() % 2 == 1) dwDeviceID = args.numbers[0];
  if (args.numbers.size() >= 2) {
    dwLow = args.numbers[args.numbers.size() - 2];
    dwHigh = args.numbers[args.numbers.size() - 1];
  }
  DWORD dwVersion = 0;
  const LONG lResult =
      m_library.Exports().lineNegotiateTSPIVersion(dwDeviceID, dwLow, dwHigh, &dwVersion);
  const std::string device =
      dwDeviceID == INITIALIZE_NEGOTIATION ? "INITIALIZE_NEGOTIATION" : Dec(dwDeviceID);
  PrintLine("lineNegotiateTSPIVersion(" + device + ", " + Hex(dwLow) + ", " + Hex(dwHigh) +
            ") = " + FormatResult(lResult) + ", version " + Hex(dwVersion));
  if (lResult == 0 && dwDeviceID == INITIALIZE_NEGOTIATION) m_dwVersion = dwVersion;
  return CommandStatus::kDone;
}

CommandStatus HostSession::Enum(const Args& args) {
  EnumDevices(args.numbers.empty() ? m_dwProviderID : args.numbers[0]);
  NoteMissingRegistry();
  return CommandStatus::kDone;
}

void HostSession::NoteMissingRegistry() const {
  const std::string path = OmbixRegFilePath();
  if (path.empty()) {
    PrintLine("  no registry file: neither OMBIX_REGISTRY nor HOME is set");
    return;
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) return;
  PrintLine("  the registry file " + path +
            (m_registrySource.empty() ? "" : " (" + m_registrySource + ")") + " does not exist");
}

bool HostSession::EnumDevices(DWORD dwProviderID) {
  DWORD dwNumLines = 0;
  DWORD dwNumPhones = 0;
  // TAPI's handle for this provider; the provider only hands it back.
  auto hProvider = reinterpret_cast<HPROVIDER>(static_cast<DWORD_PTR>(0x30000) + dwProviderID);
  const LONG lResult =
      m_library.Exports().providerEnumDevices(dwProviderID, &dwNumLines, &dwNumPhones, hProvider,
                                              &TapiSide::LineEvent, &TapiSide::PhoneEvent);
  PrintLine("providerEnumDevices(" + Dec(dwProviderID) + ") = " + FormatResult(lResult) +
            ", lines " + Dec(dwNumLines) + ", phones " + Dec(dwNumPhones));
  if (lResult != 0) return false;
  m_dwProviderID = dwProviderID;
  m_dwNumLines = dwNumLines;
  m_dwNumPhones = dwNumPhones;
  m_enumerated = dwProviderID;
  return true;
}

CommandStatus HostSession::Init(const Args& args) {
  const DWORD dwProviderID = args.numbers.empty() ? m_dwProviderID : args.numbers[0];
  const DWORD dwLineBase = args.numbers.size() > 1 ? args.numbers[1] : 0;
  const DWORD dwPhoneBase = args.numbers.size() > 2 ? args.numbers[2] : 0;
  // The service starts a provider with the counts it enumerated, and so does init unless
  // lines=N is given: that stands in for a provider that reports no lines yet, so that its
  // lines exist and can be looked at. Counts that no enumeration reported would start the
  // provider with no lines, and its start-up rewrite of its settings would drop theirs.
  const auto lines = args.options.find("lines");
  if (lines == args.options.end() && m_enumerated != dwProviderID) {
    if (!m_library.Has("TSPI_providerEnumDevices")) {
      PrintLine("error: init: the library has no TSPI_providerEnumDevices; give lines=N");
      return CommandStatus::kError;
    }
    if (!EnumDevices(dwProviderID)) {
      PrintLine("init: providerEnumDevices failed, so the provider is not started");
      NoteMissingRegistry();
      return CommandStatus::kDone;
    }
  }
  const DWORD dwNumLines = lines != args.options.end() ? lines->second : m_dwNumLines;
  if (dwNumLines > kMaxLines) {
    PrintLine("error: init: lines=N takes at most " + Dec(kMaxLines) + " lines");
    return CommandStatus::kError;
  }
  DWORD dwOptions = 0;
  const LONG lResult = m_library.Exports().providerInit(m_dwVersion, dwProviderID, dwLineBase,
                                                        dwPhoneBase, dwNumLines, m_dwNumPhones,
                                                        &TapiSide::Completion, &dwOptions);
  // The likely cause of a refusal that the code alone does not tell.
  const std::string note = lResult != 0 && m_started.count(dwProviderID) != 0
                               ? "; provider ID " + Dec(dwProviderID) + " is started already"
                               : "";
  PrintLine("providerInit(" + Hex(m_dwVersion) + ", " + Dec(dwProviderID) + ", line base " +
            Dec(dwLineBase) + ", phone base " + Dec(dwPhoneBase) + ", " + Dec(dwNumLines) +
            " lines, " + Dec(m_dwNumPhones) + " phones) = " + FormatResult(lResult) + ", options " +
            Hex(dwOptions) + note);
  NoteMissingRegistry();
  if (lResult == 0) {
    m_dwProviderID = dwProviderID;
    m_started.insert(dwProviderID);
  }
  return CommandStatus::kDone;
}

CommandStatus HostSession::Shutdown(const Args& args) {
  const DWORD dwProviderID = args.numbers.empty() ? m_dwProviderID : args.numbers[0];
  const LONG lResult = m_library.Exports().providerShutdown(m_dwVersion, dwProviderID);
  PrintLine("providerShutdown(" + Hex(m_dwVersion) + ", " + Dec(dwProviderID) +
            ") = " + FormatResult(lResult));
  // The provider's lines are gone with the instance.
  if (lResult == 0) {
    m_openLines.clear();
    m_started.erase(dwProviderID);
    // A later start enumerates anew, as the settings may have changed meanwhile.
    if (m_enumerated == dwProviderID) m_enumerated.reset();
  }
  return CommandStatus::kDone;
}

void HostSession::ShutdownStarted() {
  const std::set<DWORD> started = m_started;
  for (DWORD dwProviderID : started) {
    Shutdown(Args{{dwProviderID}, {}, {}});
    FlushQueuedLines();
  }
}

CommandStatus HostSession::Wait(const Args& args) {
  DWORD dwLeft = args.numbers.empty() ? m_dwWaitMsecs : args.numbers[0];
  // What completed after the command was printed was awaited by it, though it may have
  // completed before this line.
  const std::vector<DRV_REQUESTID> awaited = m_awaited;
  std::vector<DRV_REQUESTID> pending = awaited;
  while (!pending.empty() && dwLeft > 0 && InterruptSignal() == 0) {
    const DWORD dwSlice = std::min(dwLeft, kWaitSliceMsecs);
    pending = TapiSide::Get().WaitForRequests(dwSlice);
    dwLeft -= dwSlice;
    FlushQueuedLines();
  }
  FlushQueuedLines();
  if (awaited.empty()) {
    PrintLine("wait: no request pending");
    return CommandStatus::kDone;
  }
  std::vector<DRV_REQUESTID> completed;
  std::set_difference(awaited.begin(), awaited.end(), pending.begin(), pending.end(),
                      std::back_inserter(completed));
  if (pending.empty()) {
    PrintLine("wait: " + RequestsText(completed) + " completed");
    return CommandStatus::kDone;
  }
  std::string text = InterruptSignal() != 0 ? "wait: ended by " + InterruptName(InterruptSignal())
                                            : std::string("wait: timed out");
  text += "; pending:";
  for (DRV_REQUESTID dwRequestID : pending) text.append(1, ' ').append(Dec(dwRequestID));
  if (!completed.empty()) text += "; " + RequestsText(completed) + " completed";
  PrintLine(text);
  return CommandStatus::kDone;
}

CommandStatus HostSession::Sleep(const Args& args) {
  DWORD dwLeft = args.numbers[0];
  while (dwLeft > 0 && InterruptSignal() == 0) {
    const DWORD dwSlice = std::min(dwLeft, kWaitSliceMsecs);
    std::this_thread::sleep_for(std::chrono::milliseconds(dwSlice));
    dwLeft -= dwSlice;
    FlushQueuedLines();
  }
  if (dwLeft > 0) PrintLine("sleep: ended by " + InterruptName(InterruptSignal()));
  return CommandStatus::kDone;
}

}  // namespace tsphost

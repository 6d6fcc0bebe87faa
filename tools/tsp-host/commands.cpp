// tsp-host's commands.
#include "tools/tsp-host/commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "tools/tsp-host/callbacks.h"
#include "tools/tsp-host/names.h"
#include "tools/tsp-host/output.h"

namespace tsphost {
namespace {

constexpr DWORD kLowVersion = 0x00010003;   // the oldest version a TAPI 2.1 service accepts
constexpr DWORD kHighVersion = 0x00020001;  // TAPI 2.1 itself
constexpr DWORD kFirstCapsSize = 4096;

bool ParseNumber(const std::string& text, DWORD& dwValue) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  char* pEnd = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &pEnd, 0);
  if (errno != 0 || *pEnd != '\0' || value > 0xFFFFFFFFull) return false;
  dwValue = static_cast<DWORD>(value);
  return true;
}

std::string Dec(DWORD dwValue) {
  return std::to_string(dwValue);
}

// A string part of a variable-size TAPI structure, in the structure's string format; "" when
// the part is empty or lies outside what the provider filled.
std::string VarText(const void* pStruct, DWORD dwUsedSize, DWORD dwOffset, DWORD dwSize,
                    DWORD dwFormat) {
  if (dwSize == 0 || dwOffset > dwUsedSize || dwSize > dwUsedSize - dwOffset) return "";
  const char* pBytes = static_cast<const char*>(pStruct) + dwOffset;
  if (dwFormat == STRINGFORMAT_UNICODE) {
    return FromWide(reinterpret_cast<const WCHAR*>(pBytes), dwSize / sizeof(WCHAR));
  }
  return std::string(pBytes, strnlen(pBytes, dwSize));
}

// A device-class list: UTF-16 names, each ended by a NUL, the list by one more.
std::string DeviceClasses(const void* pStruct, DWORD dwUsedSize, DWORD dwOffset, DWORD dwSize) {
  if (dwSize == 0 || dwOffset > dwUsedSize || dwSize > dwUsedSize - dwOffset) return "";
  const auto* pText = reinterpret_cast<const WCHAR*>(static_cast<const char*>(pStruct) + dwOffset);
  const size_t cchList = dwSize / sizeof(WCHAR);
  std::string text;
  for (size_t i = 0; i < cchList && pText[i] != 0;) {
    const std::string name = FromWide(pText + i, cchList - i);
    text += (text.empty() ? "" : " ") + name;
    while (i < cchList && pText[i] != 0) ++i;
    ++i;
  }
  return text;
}

// A buffer for a variable-size structure, DWORD-aligned, its dwTotalSize set.
std::vector<DWORD> StructBuffer(DWORD dwSize) {
  std::vector<DWORD> buffer((dwSize + 3) / 4, 0);
  buffer[0] = dwSize;
  return buffer;
}

// Calls fn(buffer) and calls again with a larger buffer when the provider needs more.
template <typename Fn>
LONG FillStruct(std::vector<DWORD>& buffer, Fn fn) {
  buffer = StructBuffer(kFirstCapsSize);
  LONG lResult = fn(buffer.data());
  const DWORD dwNeeded = buffer[1];
  if (lResult == 0 && dwNeeded > buffer[0]) {
    buffer = StructBuffer(dwNeeded);
    lResult = fn(buffer.data());
  }
  return lResult;
}

}  // namespace

const char* CommandHelp() {
  return "commands:\n"
         "  negotiate [DEVICE] [LOW HIGH]   negotiate the TSPI version (no DEVICE: initially)\n"
         "  enum [PROVIDERID]               TSPI_providerEnumDevices\n"
         "  init [PROVIDERID [LINEBASE [PHONEBASE]]]\n"
         "                                  TSPI_providerInit with the counts enum reported\n"
         "  shutdown [PROVIDERID]           TSPI_providerShutdown\n"
         "  caps DEVICE                     line and address capabilities\n"
         "  open DEVICE                     TSPI_lineOpen\n"
         "  close DEVICE                    TSPI_lineClose\n"
         "  wait [MSECS]                    wait until no request awaits its completion\n"
         "  help                            this list\n"
         "  quit                            end\n"
         "numbers are decimal or 0x-prefixed hexadecimal; '#' starts a comment\n";
}

CommandStatus HostSession::Execute(const std::string& line) {
  std::istringstream stream(line.substr(0, line.find('#')));
  std::string name;
  if (!(stream >> name)) return CommandStatus::kDone;
  for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  Args args;
  std::string word;
  while (stream >> word) {
    DWORD dwValue = 0;
    if (!ParseNumber(word, dwValue)) {
      PrintLine("error: " + name + ": not a number: " + word);
      return CommandStatus::kError;
    }
    args.push_back(dwValue);
  }

  struct Command {
    const char* pszName;
    size_t nMinArgs;
    size_t nMaxArgs;
    const char* pszExport;  // the export it calls, NULL: none
    CommandStatus (HostSession::*pfn)(const Args&);
  };
  static const Command kCommands[] = {
      {"negotiate", 0, 3, "TSPI_lineNegotiateTSPIVersion", &HostSession::Negotiate},
      {"enum", 0, 1, "TSPI_providerEnumDevices", &HostSession::Enum},
      {"init", 0, 3, "TSPI_providerInit", &HostSession::Init},
      {"shutdown", 0, 1, "TSPI_providerShutdown", &HostSession::Shutdown},
      {"caps", 1, 1, "TSPI_lineGetDevCaps", &HostSession::Caps},
      {"open", 1, 1, "TSPI_lineOpen", &HostSession::Open},
      {"close", 1, 1, "TSPI_lineClose", &HostSession::Close},
      {"wait", 0, 1, nullptr, &HostSession::Wait},
  };
  if (name == "quit" || name == "exit") return CommandStatus::kQuit;
  if (name == "help") {
    PrintLine(std::string(CommandHelp()).substr(0, std::strlen(CommandHelp()) - 1));
    return CommandStatus::kDone;
  }
  for (const Command& command : kCommands) {
    if (name != command.pszName) continue;
    if (args.size() < command.nMinArgs || args.size() > command.nMaxArgs) {
      PrintLine("error: " + name + ": wrong number of arguments (see help)");
      return CommandStatus::kError;
    }
    if (command.pszExport != nullptr && !m_library.Has(command.pszExport)) {
      PrintLine("error: " + name + ": the library has no " + command.pszExport);
      return CommandStatus::kError;
    }
    const CommandStatus status = (this->*command.pfn)(args);
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
  if (args.size() % 2 == 1) dwDeviceID = args[0];
  if (args.size() >= 2) {
    dwLow = args[args.size() - 2];
    dwHigh = args[args.size() - 1];
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
  const DWORD dwProviderID = args.empty() ? m_dwProviderID : args[0];
  DWORD dwNumLines = 0;
  DWORD dwNumPhones = 0;
  // TAPI's handle for this provider; the provider only hands it back.
  auto hProvider = reinterpret_cast<HPROVIDER>(static_cast<DWORD_PTR>(0x30000) + dwProviderID);
  const LONG lResult =
      m_library.Exports().providerEnumDevices(dwProviderID, &dwNumLines, &dwNumPhones, hProvider,
                                              &TapiSide::LineEvent, &TapiSide::PhoneEvent);
  PrintLine("providerEnumDevices(" + Dec(dwProviderID) + ") = " + FormatResult(lResult) +
            ", lines " + Dec(dwNumLines) + ", phones " + Dec(dwNumPhones));
  if (lResult == 0) {
    m_dwProviderID = dwProviderID;
    m_dwNumLines = dwNumLines;
    m_dwNumPhones = dwNumPhones;
  }
  return CommandStatus::kDone;
}

CommandStatus HostSession::Init(const Args& args) {
  const DWORD dwProviderID = args.empty() ? m_dwProviderID : args[0];
  const DWORD dwLineBase = args.size() > 1 ? args[1] : 0;
  const DWORD dwPhoneBase = args.size() > 2 ? args[2] : 0;
  DWORD dwOptions = 0;
  const LONG lResult = m_library.Exports().providerInit(m_dwVersion, dwProviderID, dwLineBase,
                                                        dwPhoneBase, m_dwNumLines, m_dwNumPhones,
                                                        &TapiSide::Completion, &dwOptions);
  PrintLine("providerInit(" + Hex(m_dwVersion) + ", " + Dec(dwProviderID) + ", line base " +
            Dec(dwLineBase) + ", phone base " + Dec(dwPhoneBase) + ", " + Dec(m_dwNumLines) +
            " lines, " + Dec(m_dwNumPhones) + " phones) = " + FormatResult(lResult) + ", options " +
            Hex(dwOptions));
  if (lResult == 0) m_dwProviderID = dwProviderID;
  return CommandStatus::kDone;
}

CommandStatus HostSession::Shutdown(const Args& args) {
  const DWORD dwProviderID = args.empty() ? m_dwProviderID : args[0];
  const LONG lResult = m_library.Exports().providerShutdown(m_dwVersion, dwProviderID);
  PrintLine("providerShutdown(" + Hex(m_dwVersion) + ", " + Dec(dwProviderID) +
            ") = " + FormatResult(lResult));
  // The provider's lines are gone with the instance.
  if (lResult == 0) m_openLines.clear();
  return CommandStatus::kDone;
}

CommandStatus HostSession::Caps(const Args& args) {
  const DWORD dwDeviceID = args[0];
  std::vector<DWORD> buffer;
  const LONG lResult = FillStruct(buffer, [&](DWORD* pBuffer) {
    return m_library.Exports().lineGetDevCaps(dwDeviceID, m_dwVersion, 0,
                                              reinterpret_cast<LINEDEVCAPS*>(pBuffer));
  });
  PrintLine("lineGetDevCaps(" + Dec(dwDeviceID) + ", " + Hex(m_dwVersion) +
            ") = " + FormatResult(lResult));
  if (lResult != 0) return CommandStatus::kDone;
  const auto* pCaps = reinterpret_cast<const LINEDEVCAPS*>(buffer.data());
  const DWORD dwUsed = std::min<DWORD>(pCaps->dwUsedSize, pCaps->dwTotalSize);
  const DWORD dwFormat = pCaps->dwStringFormat;
  PrintLine(
      "  name \"" +
      VarText(pCaps, dwUsed, pCaps->dwLineNameOffset, pCaps->dwLineNameSize, dwFormat) +
      "\", provider info \"" +
      VarText(pCaps, dwUsed, pCaps->dwProviderInfoOffset, pCaps->dwProviderInfoSize, dwFormat) +
      "\", switch info \"" +
      VarText(pCaps, dwUsed, pCaps->dwSwitchInfoOffset, pCaps->dwSwitchInfoSize, dwFormat) + "\"");
  PrintLine("  permanent line ID " + Hex(pCaps->dwPermanentLineID) + ", addresses " +
            Dec(pCaps->dwNumAddresses) + ", max active calls " + Dec(pCaps->dwMaxNumActiveCalls));
  PrintLine("  bearer modes " + Hex(pCaps->dwBearerModes) + ", media modes " +
            Hex(pCaps->dwMediaModes) + ", address modes " + Hex(pCaps->dwAddressModes));
  PrintLine("  line features " + Hex(pCaps->dwLineFeatures) + ", dev cap flags " +
            Hex(pCaps->dwDevCapFlags) + ", line states " +
            FlagsOf(LineDevStateNames(), pCaps->dwLineStates));
  PrintLine("  device classes: " +
            DeviceClasses(pCaps, dwUsed, pCaps->dwDeviceClassesOffset, pCaps->dwDeviceClassesSize));
  for (DWORD dwAddressID = 0; dwAddressID < pCaps->dwNumAddresses; ++dwAddressID) {
    PrintAddressCaps(dwDeviceID, dwAddressID);
  }
  return CommandStatus::kDone;
}

void HostSession::PrintAddressCaps(DWORD dwDeviceID, DWORD dwAddressID) {
  if (!m_library.Has("TSPI_lineGetAddressCaps")) {
    PrintLine("error: caps: the library has no TSPI_lineGetAddressCaps");
    return;
  }
  std::vector<DWORD> buffer;
  const LONG lResult = FillStruct(buffer, [&](DWORD* pBuffer) {
    return m_library.Exports().lineGetAddressCaps(dwDeviceID, dwAddressID, m_dwVersion, 0,
                                                  reinterpret_cast<LINEADDRESSCAPS*>(pBuffer));
  });
  PrintLine("lineGetAddressCaps(" + Dec(dwDeviceID) + ", " + Dec(dwAddressID) +
            ") = " + FormatResult(lResult));
  if (lResult != 0) return;
  const auto* pCaps = reinterpret_cast<const LINEADDRESSCAPS*>(buffer.data());
  const DWORD dwUsed = std::min<DWORD>(pCaps->dwUsedSize, pCaps->dwTotalSize);
  PrintLine(
      "  address \"" +
      VarText(pCaps, dwUsed, pCaps->dwAddressOffset, pCaps->dwAddressSize, STRINGFORMAT_UNICODE) +
      "\", sharing " + Hex(pCaps->dwAddressSharing) + ", max active calls " +
      Dec(pCaps->dwMaxNumActiveCalls) + ", max on hold " + Dec(pCaps->dwMaxNumOnHoldCalls));
  PrintLine("  call states " + FlagsOf(CallStateNames(), pCaps->dwCallStates) +
            ", address states " + FlagsOf(AddressStateNames(), pCaps->dwAddressStates));
  PrintLine("  call features " + Hex(pCaps->dwCallFeatures) + ", address features " +
            Hex(pCaps->dwAddressFeatures) + ", cap flags " + Hex(pCaps->dwAddrCapFlags));
}

CommandStatus HostSession::Open(const Args& args) {
  const DWORD dwDeviceID = args[0];
  HDRVLINE hdLine = nullptr;
  const LONG lResult = m_library.Exports().lineOpen(dwDeviceID, TapiSide::LineHandle(dwDeviceID),
                                                    &hdLine, m_dwVersion, &TapiSide::LineEvent);
  PrintLine("lineOpen(" + Dec(dwDeviceID) + ", " + Hex(m_dwVersion) +
            ") = " + FormatResult(lResult) + (hdLine != nullptr ? ", handle set" : ""));
  if (lResult == 0 && hdLine != nullptr) m_openLines[dwDeviceID] = hdLine;
  return CommandStatus::kDone;
}

CommandStatus HostSession::Close(const Args& args) {
  const DWORD dwDeviceID = args[0];
  const auto it = m_openLines.find(dwDeviceID);
  // A line the host did not open is closed with no handle, which the provider must refuse.
  const HDRVLINE hdLine = it != m_openLines.end() ? it->second : nullptr;
  const LONG lResult = m_library.Exports().lineClose(hdLine);
  PrintLine("lineClose(" + Dec(dwDeviceID) + (hdLine == nullptr ? ", no handle" : "") +
            ") = " + FormatResult(lResult));
  if (lResult == 0 && it != m_openLines.end()) m_openLines.erase(it);
  return CommandStatus::kDone;
}

CommandStatus HostSession::Wait(const Args& args) {
  const DWORD dwMsecs = args.empty() ? m_dwWaitMsecs : args[0];
  const std::vector<DRV_REQUESTID> pending = TapiSide::Get().WaitForRequests(dwMsecs);
  FlushQueuedLines();
  if (pending.empty()) {
    PrintLine("wait: no request pending");
    return CommandStatus::kDone;
  }
  std::string text = "wait: timed out; pending:";
  for (DRV_REQUESTID dwRequestID : pending) text += " " + Dec(dwRequestID);
  PrintLine(text);
  return CommandStatus::kDone;
}

}  // namespace tsphost

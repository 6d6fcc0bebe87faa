// tsp-host's line commands: capabilities, open and close, status and device identifiers.
#include <algorithm>
#include <cstring>

#include "platform/tapi.h"
#include "tools/tsp-host/callbacks.h"
#include "tools/tsp-host/commands.h"
#include "tools/tsp-host/names.h"
#include "tools/tsp-host/output.h"
#include "tools/tsp-host/var_struct_text.h"

namespace tsphost {
namespace {

// The versions that changed the fixed parts: 1.4 added LINEDEVCAPS.dwLineFeatures, 2.0 the
// device classes and LINEDEVSTATUS.dwAvailableMediaModes. A field the answering version lacks
// may hold variable data, so it is not printed.
constexpr DWORD kVersion14 = 0x00010004;
constexpr DWORD kVersion20 = 0x00020000;

// Explains a refusal of a request that names the line by handle when the host has none.
void ExplainNoHandle(const std::string& command, DWORD dwDeviceID) {
  PrintLine("  " + command + " needs the handle that open gives; line " + Dec(dwDeviceID) +
            " is not open here");
}

std::string NoHandleNote(HDRVLINE hdLine) {
  return hdLine == nullptr ? ", no handle" : "";
}

// A VARSTRING's string: a DWORD for 4 binary bytes, bytes for other binary data, else text.
std::string VarStringValue(const VARSTRING* pString) {
  const DWORD dwOffset = pString->dwStringOffset;
  const DWORD dwSize = pString->dwStringSize;
  if (dwSize == 0) return "empty";
  if (!PartInside(pString, dwOffset, dwSize)) return "outside the structure";
  if (pString->dwStringFormat == STRINGFORMAT_BINARY) {
    if (dwSize != sizeof(DWORD)) return VarBytes(pString, dwOffset, dwSize);
    DWORD dwValue = 0;
    std::memcpy(&dwValue, reinterpret_cast<const char*>(pString) + dwOffset, sizeof(dwValue));
    return Hex(dwValue) + " (" + Dec(dwValue) + ")";
  }
  std::string text(1, '"');
  return text.append(VarText(pString, dwOffset, dwSize, pString->dwStringFormat, false))
      .append(1, '"');
}

}  // namespace

HDRVLINE HostSession::OpenHandle(DWORD dwDeviceID) const {
  const auto it = m_openLines.find(dwDeviceID);
  return it != m_openLines.end() ? it->second.hdLine : nullptr;
}

CommandStatus HostSession::Caps(const Args& args) {
  const DWORD dwDeviceID = args.numbers[0];
  const DWORD dwVersion = args.numbers.size() > 1 ? args.numbers[1] : m_dwVersion;
  std::vector<DWORD> buffer;
  const LONG lResult = FillStruct(buffer, [&](DWORD* pBuffer) {
    return m_library.Exports().lineGetDevCaps(dwDeviceID, dwVersion, 0,
                                              reinterpret_cast<LINEDEVCAPS*>(pBuffer));
  });
  PrintLine("lineGetDevCaps(" + Dec(dwDeviceID) + ", " + Hex(dwVersion) +
            ") = " + FormatResult(lResult));
  if (lResult != 0) return CommandStatus::kDone;
  // An open line answers at most at the version it was opened at.
  DWORD dwLayout = dwVersion;
  if (const auto it = m_openLines.find(dwDeviceID); it != m_openLines.end()) {
    dwLayout = std::min(dwLayout, it->second.dwVersion);
  }
  const auto* pCaps = reinterpret_cast<const LINEDEVCAPS*>(buffer.data());
  const DWORD dwFormat = pCaps->dwStringFormat;
  PrintWrapped("  sizes: " + SizesText(pCaps) + "; string format " +
               NameOf(StringFormatNames(), dwFormat));
  PrintWrapped("  name \"" +
               VarText(pCaps, pCaps->dwLineNameOffset, pCaps->dwLineNameSize, dwFormat) +
               "\", provider info \"" +
               VarText(pCaps, pCaps->dwProviderInfoOffset, pCaps->dwProviderInfoSize, dwFormat) +
               "\", switch info \"" +
               VarText(pCaps, pCaps->dwSwitchInfoOffset, pCaps->dwSwitchInfoSize, dwFormat) + "\"");
  PrintWrapped("  permanent line ID " + Hex(pCaps->dwPermanentLineID) + ", addresses " +
               Dec(pCaps->dwNumAddresses) + ", max active calls " +
               Dec(pCaps->dwMaxNumActiveCalls) + ", ring modes " + Dec(pCaps->dwRingModes) +
               ", terminals " + Dec(pCaps->dwNumTerminals));
  PrintWrapped("  address modes " + FlagsOf(AddressModeNames(), pCaps->dwAddressModes) +
               ", bearer modes " + FlagsOf(BearerModeNames(), pCaps->dwBearerModes) +
               ", media modes " + FlagsOf(MediaModeNames(), pCaps->dwMediaModes));
  PrintWrapped("  dev cap flags " + FlagsOf(DevCapFlagNames(), pCaps->dwDevCapFlags) +
               (dwLayout >= kVersion14
                    ? ", line features " + FlagsOf(LineFeatureNames(), pCaps->dwLineFeatures)
                    : std::string()));
  PrintWrapped("  line states " + FlagsOf(LineDevStateNames(), pCaps->dwLineStates));
  if (dwLayout >= kVersion20) {
    PrintWrapped("  device classes: " +
                 DeviceClasses(pCaps, pCaps->dwDeviceClassesOffset, pCaps->dwDeviceClassesSize));
  }
  for (DWORD dwAddressID = 0; dwAddressID < pCaps->dwNumAddresses; ++dwAddressID) {
    PrintAddressCaps(dwDeviceID, dwAddressID, dwVersion);
  }
  return CommandStatus::kDone;
}

void HostSession::PrintAddressCaps(DWORD dwDeviceID, DWORD dwAddressID, DWORD dwVersion) {
  if (!m_library.Has("TSPI_lineGetAddressCaps")) {
    PrintLine("error: caps: the library has no TSPI_lineGetAddressCaps");
    return;
  }
  std::vector<DWORD> buffer;
  const LONG lResult = FillStruct(buffer, [&](DWORD* pBuffer) {
    return m_library.Exports().lineGetAddressCaps(dwDeviceID, dwAddressID, dwVersion, 0,
                                                  reinterpret_cast<LINEADDRESSCAPS*>(pBuffer));
  });
  PrintLine("lineGetAddressCaps(" + Dec(dwDeviceID) + ", " + Dec(dwAddressID) +
            ") = " + FormatResult(lResult));
  if (lResult != 0) return;
  const auto* pCaps = reinterpret_cast<const LINEADDRESSCAPS*>(buffer.data());
  PrintWrapped("  address \"" +
               VarText(pCaps, pCaps->dwAddressOffset, pCaps->dwAddressSize, STRINGFORMAT_UNICODE) +
               "\", sharing " + Hex(pCaps->dwAddressSharing) + ", max active calls " +
               Dec(pCaps->dwMaxNumActiveCalls) + ", max on hold " +
               Dec(pCaps->dwMaxNumOnHoldCalls));
  PrintWrapped("  call states " + FlagsOf(CallStateNames(), pCaps->dwCallStates) +
               ", address states " + FlagsOf(AddressStateNames(), pCaps->dwAddressStates));
  PrintWrapped("  call features " + Hex(pCaps->dwCallFeatures) + ", address features " +
               Hex(pCaps->dwAddressFeatures) + ", cap flags " + Hex(pCaps->dwAddrCapFlags));
}

CommandStatus HostSession::Open(const Args& args) {
  const DWORD dwDeviceID = args.numbers[0];
  HDRVLINE hdLine = nullptr;
  const LONG lResult = m_library.Exports().lineOpen(dwDeviceID, TapiSide::LineHandle(dwDeviceID),
                                                    &hdLine, m_dwVersion, &TapiSide::LineEvent);
  PrintLine("lineOpen(" + Dec(dwDeviceID) + ", " + Hex(m_dwVersion) +
            ") = " + FormatResult(lResult) + (hdLine != nullptr ? ", handle set" : ""));
  if (lResult == 0 && hdLine != nullptr) m_openLines[dwDeviceID] = OpenLine{hdLine, m_dwVersion};
  return CommandStatus::kDone;
}

CommandStatus HostSession::Status(const Args& args) {
  const DWORD dwDeviceID = args.numbers[0];
  // A line the host did not open is asked with no handle, which the provider must refuse.
  const HDRVLINE hdLine = OpenHandle(dwDeviceID);
  std::vector<DWORD> buffer;
  const LONG lResult = FillStruct(buffer, [&](DWORD* pBuffer) {
    return m_library.Exports().lineGetLineDevStatus(hdLine,
                                                    reinterpret_cast<LINEDEVSTATUS*>(pBuffer));
  });
  PrintLine("lineGetLineDevStatus(" + Dec(dwDeviceID) + NoHandleNote(hdLine) +
            ") = " + FormatResult(lResult));
  if (lResult != 0) {
    if (hdLine == nullptr) ExplainNoHandle("status", dwDeviceID);
    return CommandStatus::kDone;
  }
  const auto* pStatus = reinterpret_cast<const LINEDEVSTATUS*>(buffer.data());
  PrintWrapped("  sizes: " + SizesText(pStatus));
  PrintWrapped("  opens " + Dec(pStatus->dwNumOpens) + ", open media modes " +
               FlagsOf(MediaModeNames(), pStatus->dwOpenMediaModes) + ", active calls " +
               Dec(pStatus->dwNumActiveCalls) + ", on hold " + Dec(pStatus->dwNumOnHoldCalls) +
               ", on hold pending " + Dec(pStatus->dwNumOnHoldPendCalls) + ", call completions " +
               Dec(pStatus->dwNumCallCompletions));
  PrintWrapped("  line features " + FlagsOf(LineFeatureNames(), pStatus->dwLineFeatures) +
               ", ring mode " + Dec(pStatus->dwRingMode) + ", signal level " +
               Hex(pStatus->dwSignalLevel) + ", battery level " + Hex(pStatus->dwBatteryLevel) +
               ", roam mode " + FlagsOf(RoamModeNames(), pStatus->dwRoamMode));
  // The line answers at the version it was opened at (a provider that answers without a
  // handle is taken at the negotiated one).
  const auto open = m_openLines.find(dwDeviceID);
  const DWORD dwLayout = open != m_openLines.end() ? open->second.dwVersion : m_dwVersion;
  const bool bHasAvailable = dwLayout >= kVersion20;
  PrintWrapped("  status flags " + FlagsOf(DevStatusFlagNames(), pStatus->dwDevStatusFlags) +
               (bHasAvailable ? ", available media modes " +
                                    FlagsOf(MediaModeNames(), pStatus->dwAvailableMediaModes)
                              : std::string()));
  if (pStatus->dwTerminalModesSize != 0) {
    PrintWrapped("  terminal modes: " +
                 VarDwords(pStatus, pStatus->dwTerminalModesOffset, pStatus->dwTerminalModesSize));
  }
  return CommandStatus::kDone;
}

CommandStatus HostSession::GetID(const Args& args) {
  const DWORD dwDeviceID = args.numbers[0];
  const HDRVLINE hdLine = OpenHandle(dwDeviceID);
  const std::u16string deviceClass = ToWide(args.text);
  std::vector<DWORD> buffer;
  const LONG lResult = FillStruct(buffer, [&](DWORD* pBuffer) {
    return m_library.Exports().lineGetID(hdLine, 0, nullptr, LINECALLSELECT_LINE,
                                         reinterpret_cast<VARSTRING*>(pBuffer), deviceClass.c_str(),
                                         nullptr);
  });
  PrintLine("lineGetID(" + Dec(dwDeviceID) + NoHandleNote(hdLine) + ", LINECALLSELECT_LINE, \"" +
            args.text + "\") = " + FormatResult(lResult));
  if (lResult != 0) {
    if (hdLine == nullptr) ExplainNoHandle("getid", dwDeviceID);
    return CommandStatus::kDone;
  }
  const auto* pString = reinterpret_cast<const VARSTRING*>(buffer.data());
  PrintLine("  sizes: " + SizesText(pString) + "; format " +
            NameOf(StringFormatNames(), pString->dwStringFormat) + ", " +
            Dec(pString->dwStringSize) + " bytes at " + Dec(pString->dwStringOffset) + ": " +
            VarStringValue(pString));
  return CommandStatus::kDone;
}

CommandStatus HostSession::StatusMessages(const Args& args) {
  const DWORD dwDeviceID = args.numbers[0];
  const DWORD dwLineStates = args.numbers[1];
  const DWORD dwAddressStates = args.numbers.size() > 2 ? args.numbers[2] : 0;
  const HDRVLINE hdLine = OpenHandle(dwDeviceID);
  const LONG lResult =
      m_library.Exports().lineSetStatusMessages(hdLine, dwLineStates, dwAddressStates);
  PrintWrapped("lineSetStatusMessages(" + Dec(dwDeviceID) + NoHandleNote(hdLine) + ", " +
               FlagsOf(LineDevStateNames(), dwLineStates) + ", " + Hex(dwAddressStates) +
               ") = " + FormatResult(lResult));
  if (lResult != 0 && hdLine == nullptr) ExplainNoHandle("statusmsgs", dwDeviceID);
  return CommandStatus::kDone;
}

CommandStatus HostSession::Close(const Args& args) {
  const DWORD dwDeviceID = args.numbers[0];
  // A line the host did not open is closed with no handle, which the provider must refuse.
  const HDRVLINE hdLine = OpenHandle(dwDeviceID);
  const LONG lResult = m_library.Exports().lineClose(hdLine);
  PrintLine("lineClose(" + Dec(dwDeviceID) + NoHandleNote(hdLine) + ") = " + FormatResult(lResult));
  if (lResult == 0) m_openLines.erase(dwDeviceID);
  return CommandStatus::kDone;
}

}  // namespace tsphost

// tsp-host's call commands: every TSPI call operation the service asks of a provider, with the
// calls named by the number the host printed when it got them. Each asynchronous request is
// recorded before the export is called (its completion may come first) and its result printed
// through FormatResult, so --strict counts the refusals.
#include <cstring>
#include <functional>

#include "platform/tapi.h"
#include "tools/tsp-host/callbacks.h"
#include "tools/tsp-host/commands.h"
#include "tools/tsp-host/names.h"
#include "tools/tsp-host/output.h"
#include "tools/tsp-host/var_struct_text.h"

namespace tsphost {
namespace {

bool ToNumber(const std::string& text, DWORD& dwValue) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long long value = std::stoull(text);
  if (value > 0xFFFFFFFFull) return false;
  dwValue = static_cast<DWORD>(value);
  return true;
}

// The words of one call command: numbers where the command takes numbers, texts elsewhere.
class Words {
 public:
  Words(std::string name, const std::vector<std::string>& words)
      : m_name(std::move(name)), m_words(words) {}
  size_t Count() const { return m_words.size(); }
  const std::string& Text(size_t i) const { return m_words[i]; }
  // False, with the reason printed, when word i is missing or not a number.
  bool Number(size_t i, DWORD& dwValue) const {
    if (i < m_words.size() && ToNumber(m_words[i], dwValue)) return true;
    PrintLine("error: " + m_name + ": " +
              (i < m_words.size() ? "not a number: " + m_words[i] : "missing argument") +
              " (see help)");
    return false;
  }
  bool CountIn(size_t nMin, size_t nMax) const {
    if (m_words.size() >= nMin && m_words.size() <= nMax) return true;
    PrintLine("error: " + m_name + ": wrong number of arguments (see help)");
    return false;
  }

 private:
  std::string m_name;
  const std::vector<std::string>& m_words;
};

// The provider's handle of call number dwCall; an unknown number is still asked with NULL, so
// the provider's refusal is seen.
HDRVCALL CallHandle(DWORD dwCall) {
  return TapiSide::Get().DriverCall(dwCall);
}

std::string CallText(DWORD dwCall) {
  return "call " + Dec(dwCall) + (CallHandle(dwCall) == nullptr ? " (unknown)" : "");
}

// Runs one asynchronous request: its ID is recorded first, then the result printed, with
// suffix() after an accepted one.
void Request(const std::string& what, const std::function<LONG(DRV_REQUESTID)>& invoke,
             const std::function<std::string()>& suffix = nullptr) {
  const DRV_REQUESTID dwRequestID = TapiSide::Get().BeginRequest();
  const LONG lResult = invoke(dwRequestID);
  TapiSide::Get().EndRequest(dwRequestID, lResult);
  PrintLine(what + " = " + FormatResult(lResult) +
            (lResult >= 0 ? " (request " + Dec(dwRequestID) + ")" + (suffix ? suffix() : "") : ""));
}

// Runs a request that may make a call: the host's number and handle for it are chosen first.
// The provider sets its handle before it returns, or leaves it NULL when it makes no call (a
// forward without a consultation call); only a call it made is kept and printed.
void MakingRequest(const std::string& what,
                   const std::function<LONG(DRV_REQUESTID, HTAPICALL, LPHDRVCALL)>& invoke) {
  DWORD dwCall = 0;
  const HTAPICALL htCall = TapiSide::Get().NewCall(&dwCall);
  HDRVCALL hdCall = nullptr;
  Request(
      what,
      [&](DRV_REQUESTID dwRequestID) {
        const LONG lResult = invoke(dwRequestID, htCall, &hdCall);
        if (lResult >= 0 && hdCall != nullptr) TapiSide::Get().SetDriverCall(dwCall, hdCall);
        return lResult;
      },
      [&] { return hdCall != nullptr ? ", call " + Dec(dwCall) : std::string(); });
}

std::string Party(const LINECALLINFO* pInfo, DWORD dwSize, DWORD dwOffset, DWORD dwNameSize,
                  DWORD dwNameOffset) {
  // Appended piece by piece: GCC 12 at -O3 misreads the inlined concatenation (-Wrestrict).
  std::string text = "\"";
  text += VarText(pInfo, dwOffset, dwSize, STRINGFORMAT_UNICODE);
  text += "\"/\"";
  text += VarText(pInfo, dwNameOffset, dwNameSize, STRINGFORMAT_UNICODE);
  text += '"';
  return text;
}

}  // namespace

bool HostSession::ExecuteCall(const std::string& name, const std::vector<std::string>& list,
                              CommandStatus& status) {
  const ProviderExports& x = m_library.Exports();
  const Words words(name, list);
  status = CommandStatus::kError;
  // The export each command needs, checked before anything is called.
  auto needs = [&](const void* pfn, const char* pszExport) {
    if (pfn != nullptr) return true;
    PrintLine("error: " + name + ": the library has no " + pszExport);
    return false;
  };
  DWORD a = 0, b = 0;
  // Commands on one call: answer, drop, hold, unhold, closecall.
  if (name == "answer" || name == "drop" || name == "hold" || name == "unhold" ||
      name == "closecall") {
    if (!words.CountIn(1, 1) || !words.Number(0, a)) return true;
    const HDRVCALL hdCall = CallHandle(a);
    const std::string what = "line" + std::string(1, static_cast<char>(name[0] - 32)) +
                             name.substr(1) + "(" + CallText(a) + ")";
    if (name == "answer") {
      if (!needs(reinterpret_cast<void*>(x.lineAnswer), "TSPI_lineAnswer")) return true;
      Request(what, [&](DRV_REQUESTID id) { return x.lineAnswer(id, hdCall, nullptr, 0); });
    } else if (name == "drop") {
      if (!needs(reinterpret_cast<void*>(x.lineDrop), "TSPI_lineDrop")) return true;
      Request(what, [&](DRV_REQUESTID id) { return x.lineDrop(id, hdCall, nullptr, 0); });
    } else if (name == "hold") {
      if (!needs(reinterpret_cast<void*>(x.lineHold), "TSPI_lineHold")) return true;
      Request(what, [&](DRV_REQUESTID id) { return x.lineHold(id, hdCall); });
    } else if (name == "unhold") {
      if (!needs(reinterpret_cast<void*>(x.lineUnhold), "TSPI_lineUnhold")) return true;
      Request(what, [&](DRV_REQUESTID id) { return x.lineUnhold(id, hdCall); });
    } else {
      if (!needs(reinterpret_cast<void*>(x.lineCloseCall), "TSPI_lineCloseCall")) return true;
      PrintLine("lineCloseCall(" + CallText(a) + ") = " + FormatResult(x.lineCloseCall(hdCall)));
    }
    status = CommandStatus::kDone;
    return true;
  }
  if (name == "make") {
    if (!words.CountIn(1, 2) || !words.Number(0, a)) return true;
    if (!needs(reinterpret_cast<void*>(x.lineMakeCall), "TSPI_lineMakeCall")) return true;
    const HDRVLINE hdLine = OpenHandle(a);
    const std::string number = words.Count() > 1 ? words.Text(1) : "";
    const std::u16string wide = ToWide(number);
    MakingRequest("lineMakeCall(" + Dec(a) + ", \"" + number + "\")",
                  [&](DRV_REQUESTID id, HTAPICALL ht, LPHDRVCALL lphd) {
                    return x.lineMakeCall(id, hdLine, ht, lphd,
                                          words.Count() > 1 ? wide.c_str() : nullptr, 0, nullptr);
                  });
  } else if (name == "swaphold") {
    if (!words.CountIn(2, 2) || !words.Number(0, a) || !words.Number(1, b)) return true;
    if (!needs(reinterpret_cast<void*>(x.lineSwapHold), "TSPI_lineSwapHold")) return true;
    Request("lineSwapHold(" + CallText(a) + ", " + CallText(b) + ")",
            [&](DRV_REQUESTID id) { return x.lineSwapHold(id, CallHandle(a), CallHandle(b)); });
  } else if (name == "dial" || name == "redirect") {
    if (!words.CountIn(2, 2) || !words.Number(0, a)) return true;
    const std::u16string wide = ToWide(words.Text(1));
    const std::string what = "line" + std::string(name == "dial" ? "Dial" : "Redirect") + "(" +
                             CallText(a) + ", \"" + words.Text(1) + "\")";
    if (name == "dial") {
      if (!needs(reinterpret_cast<void*>(x.lineDial), "TSPI_lineDial")) return true;
      Request(what,
              [&](DRV_REQUESTID id) { return x.lineDial(id, CallHandle(a), wide.c_str(), 0); });
    } else {
      if (!needs(reinterpret_cast<void*>(x.lineRedirect), "TSPI_lineRedirect")) return true;
      Request(what,
              [&](DRV_REQUESTID id) { return x.lineRedirect(id, CallHandle(a), wide.c_str(), 0); });
    }
  } else if (name == "transfer") {
    const std::string mode = words.Count() > 0 ? words.Text(0) : "";
    if (mode == "blind") {
      if (!words.CountIn(3, 3) || !words.Number(1, a)) return true;
      if (!needs(reinterpret_cast<void*>(x.lineBlindTransfer), "TSPI_lineBlindTransfer")) {
        return true;
      }
      const std::u16string wide = ToWide(words.Text(2));
      Request("lineBlindTransfer(" + CallText(a) + ", \"" + words.Text(2) + "\")",
              [&](DRV_REQUESTID id) {
                return x.lineBlindTransfer(id, CallHandle(a), wide.c_str(), 0);
              });
    } else if (mode == "setup") {
      if (!words.CountIn(2, 2) || !words.Number(1, a)) return true;
      if (!needs(reinterpret_cast<void*>(x.lineSetupTransfer), "TSPI_lineSetupTransfer")) {
        return true;
      }
      MakingRequest("lineSetupTransfer(" + CallText(a) + ")",
                    [&](DRV_REQUESTID id, HTAPICALL ht, LPHDRVCALL lphd) {
                      return x.lineSetupTransfer(id, CallHandle(a), ht, lphd, nullptr);
                    });
    } else if (mode == "complete") {
      if (!words.CountIn(3, 4) || !words.Number(1, a) || !words.Number(2, b)) return true;
      if (!needs(reinterpret_cast<void*>(x.lineCompleteTransfer), "TSPI_lineCompleteTransfer")) {
        return true;
      }
      const bool bConference = words.Count() == 4 && words.Text(3) == "conference";
      if (words.Count() == 4 && !bConference) {
        PrintLine("error: transfer: unknown mode: " + words.Text(3));
        return true;
      }
      const std::string what = "lineCompleteTransfer(" + CallText(a) + ", " + CallText(b);
      if (!bConference) {
        // Only a conference transfer makes a call.
        Request(what + ")", [&](DRV_REQUESTID id) {
          return x.lineCompleteTransfer(id, CallHandle(a), CallHandle(b), nullptr, nullptr,
                                        LINETRANSFERMODE_TRANSFER);
        });
        status = CommandStatus::kDone;
        return true;
      }
      MakingRequest(what + ", conference)", [&](DRV_REQUESTID id, HTAPICALL ht, LPHDRVCALL lphd) {
        return x.lineCompleteTransfer(id, CallHandle(a), CallHandle(b), ht, lphd,
                                      LINETRANSFERMODE_CONFERENCE);
      });
    } else {
      PrintLine("error: transfer: blind, setup or complete (see help)");
      return true;
    }
  } else if (name == "conference") {
    const std::string mode = words.Count() > 0 ? words.Text(0) : "";
    if (mode == "add") {
      if (!words.CountIn(3, 3) || !words.Number(1, a) || !words.Number(2, b)) return true;
      if (!needs(reinterpret_cast<void*>(x.lineAddToConference), "TSPI_lineAddToConference")) {
        return true;
      }
      Request("lineAddToConference(" + CallText(a) + ", " + CallText(b) + ")",
              [&](DRV_REQUESTID id) {
                return x.lineAddToConference(id, CallHandle(a), CallHandle(b));
              });
    } else if (mode == "remove") {
      if (!words.CountIn(2, 2) || !words.Number(1, a)) return true;
      if (!needs(reinterpret_cast<void*>(x.lineRemoveFromConference),
                 "TSPI_lineRemoveFromConference")) {
        return true;
      }
      Request("lineRemoveFromConference(" + CallText(a) + ")",
              [&](DRV_REQUESTID id) { return x.lineRemoveFromConference(id, CallHandle(a)); });
    } else {
      PrintLine("error: conference: add or remove (see help)");
      return true;
    }
  } else if (name == "park") {
    if (!words.CountIn(1, 2) || !words.Number(0, a)) return true;
    if (!needs(reinterpret_cast<void*>(x.linePark), "TSPI_linePark")) return true;
    const bool bDirected = words.Count() == 2;
    const std::u16string wide = bDirected ? ToWide(words.Text(1)) : std::u16string();
    std::vector<DWORD> buffer(64, 0);
    auto* pNonDir = reinterpret_cast<VARSTRING*>(buffer.data());
    pNonDir->dwTotalSize = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
    Request("linePark(" + CallText(a) + (bDirected ? ", \"" + words.Text(1) + "\")" : ")"),
            [&](DRV_REQUESTID id) {
              return x.linePark(id, CallHandle(a),
                                bDirected ? LINEPARKMODE_DIRECTED : LINEPARKMODE_NONDIRECTED,
                                bDirected ? wide.c_str() : nullptr, pNonDir);
            });
  } else if (name == "unpark" || name == "pickup") {
    const bool bUnpark = name == "unpark";
    if (!words.CountIn(bUnpark ? 3 : 2, bUnpark ? 3 : 4) || !words.Number(0, a) ||
        !words.Number(1, b)) {
      return true;
    }
    const HDRVLINE hdLine = OpenHandle(a);
    const std::string number = words.Count() > 2 ? words.Text(2) : "";
    const std::u16string wide = ToWide(number);
    const std::u16string group = ToWide(words.Count() > 3 ? words.Text(3) : "");
    if (bUnpark) {
      if (!needs(reinterpret_cast<void*>(x.lineUnpark), "TSPI_lineUnpark")) return true;
      MakingRequest("lineUnpark(" + Dec(a) + ", " + Dec(b) + ", \"" + number + "\")",
                    [&](DRV_REQUESTID id, HTAPICALL ht, LPHDRVCALL lphd) {
                      return x.lineUnpark(id, hdLine, b, ht, lphd, wide.c_str());
                    });
    } else {
      if (!needs(reinterpret_cast<void*>(x.linePickup), "TSPI_linePickup")) return true;
      MakingRequest("linePickup(" + Dec(a) + ", " + Dec(b) + ", \"" + number + "\")",
                    [&](DRV_REQUESTID id, HTAPICALL ht, LPHDRVCALL lphd) {
                      return x.linePickup(id, hdLine, b, ht, lphd,
                                          number.empty() ? nullptr : wide.c_str(), group.c_str());
                    });
    }
  } else if (name == "forward") {
    if (!words.CountIn(2, 3) || !words.Number(0, a)) return true;
    if (!needs(reinterpret_cast<void*>(x.lineForward), "TSPI_lineForward")) return true;
    const bool bAll = words.Text(1) == "all";
    if (!bAll && !words.Number(1, b)) return true;
    // One unconditional entry whose destination follows it, as UTF-16.
    const std::u16string dest = words.Count() > 2 ? ToWide(words.Text(2)) : std::u16string();
    std::vector<DWORD> buffer(16 + dest.size(), 0);
    auto* pList = reinterpret_cast<LINEFORWARDLIST*>(buffer.data());
    pList->dwTotalSize = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
    pList->dwNumEntries = dest.empty() ? 0 : 1;
    pList->ForwardList[0].dwForwardMode = LINEFORWARDMODE_UNCOND;
    pList->ForwardList[0].dwDestAddressSize = static_cast<DWORD>((dest.size() + 1) * 2);
    pList->ForwardList[0].dwDestAddressOffset = sizeof(LINEFORWARDLIST);
    std::memcpy(reinterpret_cast<BYTE*>(pList) + sizeof(LINEFORWARDLIST), dest.c_str(),
                dest.size() * 2);
    MakingRequest("lineForward(" + Dec(a) + ", " + (bAll ? std::string("all") : Dec(b)) +
                      (dest.empty() ? ", cancel)" : ", \"" + words.Text(2) + "\")"),
                  [&](DRV_REQUESTID id, HTAPICALL ht, LPHDRVCALL lphd) {
                    return x.lineForward(id, OpenHandle(a), bAll ? TRUE : FALSE, b, pList, 0, ht,
                                         lphd, nullptr);
                  });
  } else if (name == "callinfo") {
    if (!words.CountIn(1, 1) || !words.Number(0, a)) return true;
    if (!needs(reinterpret_cast<void*>(x.lineGetCallInfo), "TSPI_lineGetCallInfo")) return true;
    std::vector<DWORD> buffer;
    const LONG lResult = FillStruct(buffer, [&](DWORD* p) {
      return x.lineGetCallInfo(CallHandle(a), reinterpret_cast<LINECALLINFO*>(p));
    });
    PrintLine("lineGetCallInfo(" + CallText(a) + ") = " + FormatResult(lResult));
    if (lResult == 0) {
      const auto* p = reinterpret_cast<const LINECALLINFO*>(buffer.data());
      PrintWrapped("  line " + Dec(p->dwLineDeviceID) + ", address " + Dec(p->dwAddressID) +
                   ", bearer " + FlagsOf(BearerModeNames(), p->dwBearerMode) + ", media " +
                   FlagsOf(MediaModeNames(), p->dwMediaMode) + ", origin " +
                   FlagsOf(CallOriginNames(), p->dwOrigin) + ", reason " +
                   FlagsOf(CallReasonNames(), p->dwReason));
      PrintWrapped("  caller " +
                   Party(p, p->dwCallerIDSize, p->dwCallerIDOffset, p->dwCallerIDNameSize,
                         p->dwCallerIDNameOffset) +
                   ", called " +
                   Party(p, p->dwCalledIDSize, p->dwCalledIDOffset, p->dwCalledIDNameSize,
                         p->dwCalledIDNameOffset) +
                   ", call states " + FlagsOf(CallStateNames(), p->dwCallStates));
    }
  } else if (name == "callstatus") {
    if (!words.CountIn(1, 1) || !words.Number(0, a)) return true;
    if (!needs(reinterpret_cast<void*>(x.lineGetCallStatus), "TSPI_lineGetCallStatus")) {
      return true;
    }
    std::vector<DWORD> buffer;
    const LONG lResult = FillStruct(buffer, [&](DWORD* p) {
      return x.lineGetCallStatus(CallHandle(a), reinterpret_cast<LINECALLSTATUS*>(p));
    });
    PrintLine("lineGetCallStatus(" + CallText(a) + ") = " + FormatResult(lResult));
    if (lResult == 0) {
      const auto* p = reinterpret_cast<const LINECALLSTATUS*>(buffer.data());
      PrintWrapped("  state " + CallStateText(p->dwCallState, p->dwCallStateMode) + ", privilege " +
                   Hex(p->dwCallPrivilege) + ", features " + Hex(p->dwCallFeatures) +
                   ", features2 " + Hex(p->dwCallFeatures2));
    }
  } else if (name == "addrcaps") {
    if (!words.CountIn(2, 2) || !words.Number(0, a) || !words.Number(1, b)) return true;
    PrintAddressCaps(a, b, m_dwVersion);
  } else if (name == "addrstatus") {
    if (!words.CountIn(2, 2) || !words.Number(0, a) || !words.Number(1, b)) return true;
    if (!needs(reinterpret_cast<void*>(x.lineGetAddressStatus), "TSPI_lineGetAddressStatus")) {
      return true;
    }
    std::vector<DWORD> buffer;
    const LONG lResult = FillStruct(buffer, [&](DWORD* p) {
      return x.lineGetAddressStatus(OpenHandle(a), b, reinterpret_cast<LINEADDRESSSTATUS*>(p));
    });
    PrintLine("lineGetAddressStatus(" + Dec(a) + ", " + Dec(b) + ") = " + FormatResult(lResult));
    if (lResult == 0) {
      const auto* p = reinterpret_cast<const LINEADDRESSSTATUS*>(buffer.data());
      PrintLine("  in use " + Dec(p->dwNumInUse) + ", active " + Dec(p->dwNumActiveCalls) +
                ", on hold " + Dec(p->dwNumOnHoldCalls) + ", on hold pending " +
                Dec(p->dwNumOnHoldPendCalls) + ", features " + Hex(p->dwAddressFeatures));
    }
  } else {
    return false;
  }
  status = CommandStatus::kDone;
  return true;
}

}  // namespace tsphost

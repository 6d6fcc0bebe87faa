// Doubles shared by the framework's tests: TAPI's callbacks, a provider that exports the product's
// functions (or a chosen set) and accepts or refuses opens, a device that can refuse or move
// requests, a line that starts requests as the switch line does and whose parts the tests fill,
// call and address classes the provider's factories make (they count what the tests look for),
// and a caller's structure with guard bytes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/device.h"
#include "framework/function_table.h"
#include "framework/line_connection.h"
#include "framework/request.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

namespace fw_test {

constexpr DWORD kProviderID = 7;
constexpr DWORD kDeviceID = 100;
constexpr DWORD kLineIndex = 2;
constexpr char kProviderName[] = "VOIP Service Provider (Z9410)";
const HTAPILINE kTapiLine = reinterpret_cast<HTAPILINE>(0x1234);
const HPROVIDER kProviderHandle = reinterpret_cast<HPROVIDER>(0x5150);

// The names the product library exports, from the list the product's export check uses.
inline const std::set<std::string>& ProductExports() {
  static const std::set<std::string> names = [] {
    std::set<std::string> read;
    std::ifstream file(OMBIX_EXPECTED_EXPORTS);
    for (std::string name; std::getline(file, name);) {
      if (!name.empty()) read.insert(name);
    }
    return read;
  }();
  return names;
}

// Waits (polling) until the condition holds; the limit only keeps a broken test from hanging.
template <typename Pred>
bool WaitUntil(Pred pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

struct LineEvent {
  HTAPILINE htLine;
  HTAPICALL htCall;
  DWORD dwMsg;
  DWORD_PTR dwParam1, dwParam2, dwParam3;
  bool operator==(const LineEvent&) const = default;
};

// TAPI's LINEEVENT and ASYNC_COMPLETION callbacks: everything they receive.
class TapiLog {
 public:
  static TapiLog& Get() {
    static TapiLog log;
    return log;
  }
  static void LineCallback(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR p1,
                           DWORD_PTR p2, DWORD_PTR p3) {
    std::lock_guard<std::mutex> guard(Get().m_mx);
    Get().m_events.push_back({htLine, htCall, dwMsg, p1, p2, p3});
  }
  static void Completion(DRV_REQUESTID dwRequestID, LONG lResult) {
    std::lock_guard<std::mutex> guard(Get().m_mx);
    Get().m_results[dwRequestID].push_back(lResult);
  }
  void Reset() {
    std::lock_guard<std::mutex> guard(m_mx);
    m_events.clear();
    m_results.clear();
  }
  std::vector<LineEvent> Events() {
    std::lock_guard<std::mutex> guard(m_mx);
    return m_events;
  }
  // The param1 of every LINE_LINEDEVSTATE, in order.
  std::vector<DWORD_PTR> DevStates() {
    std::vector<DWORD_PTR> states;
    for (const LineEvent& event : Events()) {
      if (event.dwMsg == LINE_LINEDEVSTATE) states.push_back(event.dwParam1);
    }
    return states;
  }
  // Every completion reported, by request ID.
  std::map<DWORD, std::vector<LONG>> Results() {
    std::lock_guard<std::mutex> guard(m_mx);
    return m_results;
  }
  std::vector<LONG> ResultsFor(DWORD dwRequestID) { return Results()[dwRequestID]; }

 private:
  std::mutex m_mx;
  std::vector<LineEvent> m_events;
  std::map<DWORD, std::vector<LONG>> m_results;
};

class TestProvider : public CServiceProvider {
 public:
  explicit TestProvider(DWORD dwVersion = 0x00020001,
                        const std::set<std::string>& exports = ProductExports())
      : CServiceProvider("OMBIX.TSP", kProviderName, dwVersion) {
    DetectExportedFunctions([&exports](LPCSTR pszName) -> FARPROC {
      return exports.count(pszName) ? reinterpret_cast<FARPROC>(&TapiLog::Completion) : nullptr;
    });
  }
  BOOL OpenConnection(CTSPIConnection*) override {
    ++opens;
    return acceptOpen;
  }
  BOOL CloseConnection(CTSPIConnection*) override {
    ++closes;
    return TRUE;
  }
  BOOL AcceptNewRequest(CTSPIConnection* pConn, CTSPIRequest* pReq, int& nPos) override {
    if (throwOnRequest) throw std::runtime_error("request");
    return refuseRequests ? FALSE : CServiceProvider::AcceptNewRequest(pConn, pReq, nPos);
  }
  std::atomic<bool> refuseRequests{false};
  std::atomic<bool> throwOnRequest{false};
  BOOL acceptOpen = TRUE;
  int opens = 0;
  int closes = 0;
};

class TestDevice : public CTSPIDevice {
 public:
  BOOL AcceptNewRequest(CTSPIConnection* pConn, CTSPIRequest* pReq, int& nPos) override {
    if (refuse) return FALSE;
    if (moveToHead) nPos = 0;
    return CTSPIDevice::AcceptNewRequest(pConn, pReq, nPos);
  }
  void OnRequestCancelled(CTSPIRequest* pReq) override {
    ++cancelled;
    CTSPIDevice::OnRequestCancelled(pReq);
  }
  std::atomic<bool> refuse{false};
  std::atomic<bool> moveToHead{false};
  std::atomic<int> cancelled{0};
};

// The call class of the tests' provider: counts its follow-ups and the times it went IDLE, and
// leaves a mark when it is destroyed (so that a test can ask without reading freed memory).
class TestCall : public CTSPICallAppearance {
  DECLARE_DYNCREATE(TestCall)
 public:
  TestCall();  // a new call at a reused address is not destroyed
  ~TestCall() override;
  void OnRequestComplete(CTSPIRequest* pReq, LONG lResult) override {
    ++followUps;
    CTSPICallAppearance::OnRequestComplete(pReq, lResult);
  }
  void ComputeCallFeatures(DWORD dwState, DWORD dwMode, DWORD dwMediaMode) override {
    if (dwState == LINECALLSTATE_IDLE && (GetFlags() & CALLFLAG_INSTATECHANGE) != 0) {
      ++idles;
      if (s_onIdle != nullptr) s_onIdle(this);
    }
    CTSPICallAppearance::ComputeCallFeatures(dwState, dwMode, dwMediaMode);
  }
  void OnRelatedCallStateChange(CTSPICallAppearance* pCall, DWORD dwNewState,
                                DWORD dwOldState) override {
    if (s_onPartnerChange != nullptr) s_onPartnerChange(this);
    CTSPICallAppearance::OnRelatedCallStateChange(pCall, dwNewState, dwOldState);
  }
  void DetachForDelete() override {
    if (s_onDetach != nullptr) s_onDetach(this);
    CTSPICallAppearance::DetachForDelete();
  }
  LONG GetCallStatus(LPLINECALLSTATUS lpCallStatus) override {
    if (s_onGetStatus != nullptr) s_onGetStatus(this);
    return CTSPICallAppearance::GetCallStatus(lpCallStatus);
  }
  CTSPICallAppearance* Ptr() { return this; }
  static bool WasDestroyed(const void* p);
  static void ForgetDestroyed();

  std::atomic<int> followUps{0};
  std::atomic<int> idles{0};
  static inline void (*s_onIdle)(CTSPICallAppearance*) = nullptr;
  static inline void (*s_onGetStatus)(CTSPICallAppearance*) = nullptr;
  static inline void (*s_onPartnerChange)(CTSPICallAppearance*) = nullptr;
  static inline void (*s_onDetach)(CTSPICallAppearance*) = nullptr;
  static inline void (*s_onDestroy)(CTSPICallAppearance*) = nullptr;
};

// The address class of the tests' provider: records what the line hands it.
class TestAddress : public CTSPIAddressInfo {
  DECLARE_DYNCREATE(TestAddress)
 public:
  TestAddress() { ++s_live; }
  ~TestAddress() override { --s_live; }
  void SetStatusMessages(DWORD dwStates) override {
    statusMessages.push_back(dwStates);
    CTSPIAddressInfo::SetStatusMessages(dwStates);
  }
  DWORD UpdateAddressFeatures() override {
    ++featureUpdates;
    return CTSPIAddressInfo::UpdateAddressFeatures();
  }
  std::vector<DWORD> statusMessages;
  std::atomic<int> featureUpdates{0};
  static inline std::atomic<int> s_live{0};
};

// Makes the provider create TestCall and TestAddress objects.
inline void UseTestClasses(CServiceProvider& sp) {
  sp.SetObjectClasses(nullptr, nullptr, nullptr, RUNTIME_CLASS(TestAddress),
                      RUNTIME_CLASS(TestCall), nullptr, nullptr);
}

// A record whose lifetime the tests can see.
class CountedRecord : public CObject {
 public:
  CountedRecord() { ++s_live; }
  ~CountedRecord() override { --s_live; }
  static inline std::atomic<int> s_live{0};
};

// A line that starts requests as the switch line does (FetchRequestToStart) and records each
// start, checking that no two ordinary requests (drops aside) are ever started at once; onStart,
// when set, runs for each start outside every lock, as a start that waits for the switch does.
// The tests fill its terminals, addresses, dialog instances and capabilities.
class TestLine : public CTSPILineConnection {
 public:
  struct Start {
    DWORD dwRequestID;
    WORD wType;
    std::thread::id thread;
  };

  BOOL ProcessData(DWORD dwData, LPCVOID lpBuff, DWORD dwSize) override {
    if (dwData != 0 || lpBuff != nullptr || dwSize != 0) return FALSE;
    CSingleLock lock(GetSyncObject(), TRUE);
    CTSPIRequestPtr pNext = FetchRequestToStart();
    if (!pNext) return FALSE;
    if (pNext->GetType() != REQUEST_LINEDROP) {
      for (int i = 0; CTSPIRequestPtr pReq = GetRequest(i); ++i) {
        if (pReq.Get() != pNext.Get() && pReq->GetType() != REQUEST_LINEDROP &&
            pReq->GetState() >= STATE_STARTED) {
          ++overlaps;
        }
      }
    }
    lock.Unlock();
    {
      std::lock_guard<std::mutex> guard(m_mx);
      m_starts.push_back({pNext->GetRequestID(), pNext->GetType(), std::this_thread::get_id()});
    }
    if (onStart) onStart(pNext.Get());
    return TRUE;
  }
  void OnRequestComplete(CTSPIRequest* pReq, LONG lResult) override {
    ++followUps;
    CTSPILineConnection::OnRequestComplete(pReq, lResult);
  }

  std::vector<Start> Starts() {
    std::lock_guard<std::mutex> guard(m_mx);
    return m_starts;
  }

  void AddTerminal(LPCSTR pszName, DWORD dwTermDev, DWORD dwModes) {
    CSingleLock lock(GetSyncObject(), TRUE);
    auto* pTerminal = new TERMINALINFO;
    pTerminal->strName = pszName;
    pTerminal->Capabilities.dwTermDev = dwTermDev;
    pTerminal->Capabilities.dwTermModes = dwModes;
    pTerminal->dwMode = dwModes;
    m_arrTerminals.Add(pTerminal);
  }
  // An outgoing and incoming voice address with the given available media modes.
  TestAddress* AddAddress(DWORD dwMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE) {
    const DWORD dwID = CreateAddress(nullptr, nullptr, TRUE, TRUE, dwMediaModes,
                                     LINEBEARERMODE_VOICE, 0, 0, nullptr, 4, 2, 1, 3, 3);
    return static_cast<TestAddress*>(GetAddress(dwID));
  }
  void AddDialogInstance(HTAPIDIALOGINSTANCE htDlgInst) {
    CSingleLock lock(GetSyncObject(), TRUE);
    auto* pEntry = new TSPIDIALOGINSTANCE;
    pEntry->htDlgInst = htDlgInst;
    pEntry->pLine = this;
    m_arrDialogInstances.Add(pEntry);
  }
  template <typename Change>
  void ChangeCaps(Change change) {
    CSingleLock lock(GetSyncObject(), TRUE);
    change(m_LineCaps);
  }

  std::atomic<int> followUps{0};
  std::atomic<int> overlaps{0};
  std::function<void(CTSPIRequest*)> onStart;

 private:
  std::mutex m_mx;
  std::vector<Start> m_starts;
};

// A provider exporting the product's functions, a device (provider ID 7, TAPI's callbacks
// recorded) and one line (device ID 100, index 2, named "2001") outside the device's arrays.
// The queue tests add an address with four calls.
class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TapiLog::Get().Reset();
    UseTestClasses(provider);
    ASSERT_TRUE(device.Init(kProviderID, 0, 0, 0, 0, kProviderHandle, &TapiLog::Completion));
    line.Init(&device, kDeviceID, kLineIndex);
    line.SetName("2001");
  }
  void TearDown() override { TestCall::s_onIdle = nullptr; }
  // One address with four calls on it (TAPI handles 0x101 to 0x104).
  void MakeCalls() {
    pAddress = line.AddAddress();
    TestCall** calls[] = {&callA, &callB, &callC, &callD};
    for (size_t i = 0; i < 4; ++i) {
      *calls[i] = static_cast<TestCall*>(pAddress->FindOrCreateCall(
          reinterpret_cast<HTAPICALL>(0x101 + i), 0, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT,
          0xFFFFFFFF, 0));
    }
  }
  LONG Open(DWORD dwVersion = 0x00020001, DWORD dwMask = 0) {
    const LONG lResult = line.OpenLine(kTapiLine, &TapiLog::LineCallback, dwVersion);
    if (lResult == 0) line.SetStatusMessages(dwMask, 0);
    return lResult;
  }
  CTSPIRequestPtr Queue(WORD wType, DWORD dwID, TestCall* pCall = nullptr) {
    return line.QueueRequest(nullptr, pCall, wType, dwID, nullptr, 0);
  }

  TestProvider provider;
  TestDevice device;
  TestLine line;
  TestAddress* pAddress = nullptr;
  TestCall *callA = nullptr, *callB = nullptr, *callC = nullptr, *callD = nullptr;
};
using LineTest = ConnectionTest;
class QueueTest : public ConnectionTest {
 protected:
  void SetUp() override {
    ConnectionTest::SetUp();
    MakeCalls();
  }
};

// A caller's structure of dwTotalSize bytes followed by guard bytes; every byte starts as kFill.
// Also the expected bytes of one, built with Put and PutText. Without guard bytes, the address
// sanitizer sees any access past dwTotalSize.
class CallerBuffer {
 public:
  static constexpr uint8_t kFill = 0xCD;
  static constexpr size_t kGuard = 64;
  explicit CallerBuffer(DWORD dwTotalSize, size_t nGuard = kGuard)
      : m_bytes(dwTotalSize + nGuard, kFill) {
    Put(0, dwTotalSize);
  }
  template <typename T>
  T* As() {
    return reinterpret_cast<T*>(m_bytes.data());
  }
  const std::vector<uint8_t>& Bytes() const { return m_bytes; }
  DWORD Dword(size_t nOffset) const {
    DWORD dw;
    std::memcpy(&dw, m_bytes.data() + nOffset, sizeof(dw));
    return dw;
  }
  // The last kGuard bytes.
  bool GuardIntact() const {
    return std::all_of(m_bytes.end() - kGuard, m_bytes.end(), [](uint8_t b) { return b == kFill; });
  }
  template <typename T>
  void Put(size_t nOffset, const T& value, size_t nSize = sizeof(T)) {
    std::memcpy(m_bytes.data() + nOffset, &value, nSize);
  }
  // UTF-16 of ASCII text; '|' stands for a NUL.
  void PutText(size_t nOffset, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
      const uint16_t ch = text[i] == '|' ? 0 : static_cast<uint8_t>(text[i]);
      Put(nOffset + 2 * i, ch);
    }
  }

 private:
  std::vector<uint8_t> m_bytes;
};

}  // namespace fw_test

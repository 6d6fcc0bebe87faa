// Test doubles for the line connection: TAPI's line event and completion callbacks, a provider
// that exports a chosen set of functions and accepts or refuses connections, a line whose
// terminals, addresses and dialog instances the tests fill, and addresses that exist only behind
// the line seams.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "framework/device.h"
#include "framework/function_table.h"
#include "framework/line_connection.h"
#include "framework/line_seams.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

namespace line_test {

constexpr DWORD kProviderID = 7;
constexpr DWORD kDeviceID = 100;
constexpr DWORD kLineIndex = 2;
constexpr char kProviderName[] = "VOIP Service Provider (Z9410)";
const HTAPILINE kTapiLine = reinterpret_cast<HTAPILINE>(0x1234);
const HPROVIDER kProviderHandle = reinterpret_cast<HPROVIDER>(0x5150);

// The optional functions the product exports.
const std::set<WORD> kProductExports = {1,  2,  3,  5,  9,  10, 11, 12, 13, 14, 15,
                                        17, 18, 19, 20, 21, 22, 23, 25, 26, 28, 29,
                                        30, 31, 38, 43, 44, 45, 46, 47, 70, 71};

struct LineEvent {
  HTAPILINE htLine;
  HTAPICALL htCall;
  DWORD dwMsg;
  DWORD_PTR dwParam1, dwParam2, dwParam3;
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
  std::vector<LONG> ResultsFor(DWORD dwRequestID) {
    std::lock_guard<std::mutex> guard(m_mx);
    auto it = m_results.find(dwRequestID);
    return it == m_results.end() ? std::vector<LONG>{} : it->second;
  }

 private:
  std::mutex m_mx;
  std::vector<LineEvent> m_events;
  std::map<DWORD, std::vector<LONG>> m_results;
};

class LineTestProvider : public CServiceProvider {
 public:
  explicit LineTestProvider(const std::set<WORD>& exports = kProductExports)
      : CServiceProvider("OMBIX.TSP", kProviderName, 0x00020001) {
    DetectExportedFunctions([exports](LPCSTR pszName) -> FARPROC {
      for (WORD w : exports) {
        if (std::strcmp(TSPIFunctionNameTable[w], pszName) == 0) {
          return reinterpret_cast<FARPROC>(&TapiLog::LineCallback);
        }
      }
      return nullptr;
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
  BOOL acceptOpen = TRUE;
  int opens = 0;
  int closes = 0;
};

// Stands in for an address: the line only holds it and hands it to the seams.
class FakeAddress : public CObject {
 public:
  static FakeAddress* From(CTSPIAddressInfo* p) { return reinterpret_cast<FakeAddress*>(p); }
  DWORD dwAvailableMediaModes = 0;
  std::vector<DWORD> statusMessages;
  int featureUpdates = 0;
  int drops = 0;
  std::vector<DWORD> terminalModes;
};

// Installs the line seams over FakeAddress for one test and removes them again.
class LineSeamGuard {
 public:
  LineSeamGuard() {
    TSPILineSeams& seams = GetTSPILineSeams();
    seams.pfnGetCallHandle = [](CTSPICallAppearance* p) {
      return reinterpret_cast<HTAPICALL>(reinterpret_cast<DWORD_PTR>(p) + 1);
    };
    seams.pfnGetAvailableMediaModes = [](CTSPIAddressInfo* p) {
      return FakeAddress::From(p)->dwAvailableMediaModes;
    };
    seams.pfnSetAddressStatusMessages = [](CTSPIAddressInfo* p, DWORD dwStates) {
      FakeAddress::From(p)->statusMessages.push_back(dwStates);
    };
    seams.pfnUpdateAddressFeatures = [](CTSPIAddressInfo* p) {
      ++FakeAddress::From(p)->featureUpdates;
    };
    seams.pfnSetAddressTerminalModes = [](CTSPIAddressInfo* p, int, DWORD dwModes, BOOL) {
      FakeAddress::From(p)->terminalModes.push_back(dwModes);
    };
    seams.pfnDropAddressCalls = [](CTSPIAddressInfo* p) { ++FakeAddress::From(p)->drops; };
  }
  ~LineSeamGuard() { GetTSPILineSeams() = TSPILineSeams{}; }
};

// A line whose protected parts the tests fill. Requests stay queued until a test completes them.
class TestLine : public CTSPILineConnection {
 public:
  void AddTerminal(LPCSTR pszName, DWORD dwTermDev, DWORD dwModes) {
    CSingleLock lock(GetSyncObject(), TRUE);
    auto* pTerminal = new TERMINALINFO;
    pTerminal->strName = pszName;
    pTerminal->Capabilities.dwTermDev = dwTermDev;
    pTerminal->Capabilities.dwTermModes = dwModes;
    pTerminal->dwMode = dwModes;
    m_arrTerminals.Add(pTerminal);
  }
  FakeAddress* AddAddress() {
    CSingleLock lock(GetSyncObject(), TRUE);
    auto* pAddr = new FakeAddress;
    m_arrAddresses.Add(pAddr);
    return pAddr;
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
};

// A provider exporting the product's functions, a device (provider ID 7, TAPI's callbacks
// recorded) and one line (device ID 100, index 2) outside the device's arrays.
class LineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TapiLog::Get().Reset();
    ASSERT_TRUE(device.Init(kProviderID, 0, 0, 0, 0, kProviderHandle, &TapiLog::Completion));
    line.Init(&device, kDeviceID, kLineIndex);
    line.SetName("2001");
  }
  LONG Open(DWORD dwVersion = 0x00020001, DWORD dwMask = 0) {
    const LONG lResult = line.OpenLine(kTapiLine, &TapiLog::LineCallback, dwVersion);
    if (lResult == 0) line.SetStatusMessages(dwMask, 0);
    return lResult;
  }

  LineSeamGuard seams;
  LineTestProvider provider;
  CTSPIDevice device;
  TestLine line;
};

// A caller's structure of dwTotalSize bytes followed by guard bytes; every byte starts as kFill.
class CallerBuffer {
 public:
  static constexpr uint8_t kFill = 0xCD;
  static constexpr size_t kGuard = 64;
  explicit CallerBuffer(DWORD dwTotalSize) : m_bytes(dwTotalSize + kGuard, kFill) {
    std::memcpy(m_bytes.data(), &dwTotalSize, sizeof(DWORD));
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
  bool GuardIntact() const {
    for (size_t i = m_bytes.size() - kGuard; i < m_bytes.size(); ++i) {
      if (m_bytes[i] != kFill) return false;
    }
    return true;
  }

 private:
  std::vector<uint8_t> m_bytes;
};

// The expected bytes of a caller's structure: kFill everywhere, then what the test writes.
class ExpectedBytes {
 public:
  explicit ExpectedBytes(size_t nSize)
      : m_bytes(nSize + CallerBuffer::kGuard, CallerBuffer::kFill) {}
  template <typename T>
  void Put(size_t nOffset, const T& value, size_t nSize = sizeof(T)) {
    std::memcpy(m_bytes.data() + nOffset, &value, nSize);
  }
  // UTF-16 of ASCII text; '|' stands for a NUL.
  void PutText(size_t nOffset, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
      const uint16_t ch = text[i] == '|' ? 0 : static_cast<uint8_t>(text[i]);
      std::memcpy(m_bytes.data() + nOffset + 2 * i, &ch, 2);
    }
  }
  const std::vector<uint8_t>& Bytes() const { return m_bytes; }

 private:
  std::vector<uint8_t> m_bytes;
};

}  // namespace line_test

// Test doubles for the request queue: a line that starts requests the way the switch line does,
// a device that can refuse requests, TAPI's completion callback, and calls that exist only as
// reference counts behind the request seams.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/connection.h"
#include "framework/device.h"
#include "framework/line_connection.h"
#include "framework/request.h"
#include "framework/request_seams.h"
#include "framework/service_provider.h"
#include "platform/afxmt.h"

namespace queue_test {

// TAPI's completion callback: every (request ID, result) it receives.
class CompletionLog {
 public:
  static CompletionLog& Get() {
    static CompletionLog log;
    return log;
  }
  static void Callback(DRV_REQUESTID dwRequestID, LONG lResult) {
    Get().Record(dwRequestID, lResult);
  }
  void Reset() {
    std::lock_guard<std::mutex> guard(m_mx);
    m_results.clear();
  }
  void Record(DWORD dwID, LONG lResult) {
    std::lock_guard<std::mutex> guard(m_mx);
    m_results[dwID].push_back(lResult);
  }
  std::vector<LONG> ResultsFor(DWORD dwID) {
    std::lock_guard<std::mutex> guard(m_mx);
    auto it = m_results.find(dwID);
    return it == m_results.end() ? std::vector<LONG>{} : it->second;
  }
  std::map<DWORD, std::vector<LONG>> All() {
    std::lock_guard<std::mutex> guard(m_mx);
    return m_results;
  }

 private:
  std::mutex m_mx;
  std::map<DWORD, std::vector<LONG>> m_results;
};

// A call is only ever handed through the seams, so a counter stands in for it.
struct FakeCall {
  std::atomic<int> refs{1};  // the address's reference
  std::atomic<int> idles{0};
  std::atomic<int> followUps{0};
  CTSPICallAppearance* Ptr() { return reinterpret_cast<CTSPICallAppearance*>(this); }
  static FakeCall* From(CTSPICallAppearance* p) { return reinterpret_cast<FakeCall*>(p); }
};

// Installs the call seams for one test and removes them again.
class SeamGuard {
 public:
  SeamGuard() {
    TSPIRequestSeams& seams = GetTSPIRequestSeams();
    seams.pfnCallAddRef = [](CTSPICallAppearance* p) { ++FakeCall::From(p)->refs; };
    seams.pfnCallRelease = [](CTSPICallAppearance* p) { --FakeCall::From(p)->refs; };
    seams.pfnCallOnRequestComplete = [](CTSPICallAppearance* p, CTSPIRequest*, LONG) {
      ++FakeCall::From(p)->followUps;
    };
    seams.pfnCallSetIdle = [](CTSPICallAppearance* p) {
      ++FakeCall::From(p)->idles;
      if (s_onIdle != nullptr) s_onIdle(p);
    };
  }
  ~SeamGuard() {
    GetTSPIRequestSeams() = TSPIRequestSeams{};
    s_onIdle = nullptr;
  }
  static inline void (*s_onIdle)(CTSPICallAppearance*) = nullptr;
};

// A record whose lifetime the tests can see.
class CountedRecord : public CObject {
 public:
  CountedRecord() { ++s_live; }
  ~CountedRecord() override { --s_live; }
  static inline std::atomic<int> s_live{0};
};

class TestProvider : public CServiceProvider {
 public:
  TestProvider() : CServiceProvider("OMBIX.TSP", "Queue Test Provider", 0x00020001) {}
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

// Starts requests as the switch line does (FetchRequestToStart) and records each start. Also
// checks that no two ordinary requests (drops aside) are ever started at once.
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
    CTSPIRequest* pNext = FetchRequestToStart();
    if (pNext == nullptr) return FALSE;
    if (pNext->GetType() != REQUEST_LINEDROP) {
      for (int i = 0; CTSPIRequest* pReq = GetRequest(i); ++i) {
        if (pReq != pNext && pReq->GetType() != REQUEST_LINEDROP &&
            pReq->GetState() >= STATE_STARTED) {
          ++overlaps;
        }
      }
    }
    std::lock_guard<std::mutex> guard(m_mx);
    m_starts.push_back({pNext->GetRequestID(), pNext->GetType(), std::this_thread::get_id()});
    return TRUE;
  }
  void OnRequestComplete(CTSPIRequest*, LONG) override { ++followUps; }

  std::vector<Start> Starts() {
    std::lock_guard<std::mutex> guard(m_mx);
    return m_starts;
  }
  // A reference to the head request (or NULL), taken under the lock as a completer would.
  CTSPIRequest* HoldHead() {
    CSingleLock lock(GetSyncObject(), TRUE);
    CTSPIRequest* pReq = GetCurrentRequest();
    if (pReq != nullptr) pReq->AddRef();
    return pReq;
  }

  std::atomic<int> followUps{0};
  std::atomic<int> overlaps{0};

 private:
  std::mutex m_mx;
  std::vector<Start> m_starts;
};

// A provider, a device (provider ID 7, TAPI's callback recorded) and one line (device ID 100,
// index 2) outside the device's arrays, with the call seams installed.
class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CompletionLog::Get().Reset();
    ASSERT_TRUE(device.Init(7, 0, 0, 0, 0, nullptr, &CompletionLog::Callback));
    line.Init(&device, 100, 2);
  }

  CTSPIRequest* Queue(WORD wType, DWORD dwID, FakeCall* pCall = nullptr, BOOL bHold = FALSE) {
    return line.QueueRequest(nullptr, pCall != nullptr ? pCall->Ptr() : nullptr, wType, dwID,
                             nullptr, 0, bHold);
  }

  SeamGuard seams;
  TestProvider provider;
  TestDevice device;
  // Calls outlive the line, whose destructor releases the requests still queued.
  FakeCall callA, callB, callC, callD;
  TestLine line;
};

}  // namespace queue_test

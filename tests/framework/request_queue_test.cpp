// The asynchronous request queue of a connection: start order, drops at the head, completion
// and its report to TAPI, failing requests together, ownership of records, and the waits.
#include <gtest/gtest.h>

#include <future>

#include "framework/media_records.h"
#include "framework/phone_connection.h"
#include "framework/request_records.h"
#include "tests/framework/framework_doubles.h"

namespace fw_test {
namespace {

// The first request starts before QueueRequest returns; one behind a pending request does not,
// but a drop goes to the head and starts at once. Its completion starts nothing behind the
// pending request.
TEST_F(QueueTest, DropGoesToHeadAndStartsWhileEarlierRequestStillPending) {
  CTSPIRequestPtr pMake = Queue(REQUEST_LINEMAKECALL, 21);
  ASSERT_EQ(line.Starts().size(), 1u);
  ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 22));
  EXPECT_EQ(line.Starts().size(), 1u);
  CTSPIRequestPtr pDrop = Queue(REQUEST_LINEDROP, 23);
  const auto starts = line.Starts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].dwRequestID, 23u);
  EXPECT_EQ(line.GetRequest(0).Get(), pDrop.Get());
  EXPECT_EQ(pMake->GetResult(), -1);  // still waiting for its answer
  EXPECT_TRUE(TapiLog::Get().Results().empty());

  line.CompleteRequest(pDrop.Get(), 0);
  EXPECT_EQ(line.Starts().size(), 2u);  // the hold waits for the make-call's answer
  line.CompleteRequest(pMake.Get(), 0);
  ASSERT_EQ(line.Starts().size(), 3u);
  EXPECT_EQ(line.Starts()[2].dwRequestID, 22u);
}

TEST_F(QueueTest, RequestMovedToTheHeadByTheDeviceStartsAtOnce) {
  ASSERT_TRUE(Queue(REQUEST_LINEMAKECALL, 27));
  device.moveToHead = true;
  ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 28));
  ASSERT_EQ(line.Starts().size(), 2u);
  EXPECT_EQ(line.Starts()[1].dwRequestID, 28u);
  EXPECT_EQ(line.GetRequest(0)->GetRequestID(), 28u);
}

TEST_F(QueueTest, NextRequestStartsOnTheCompletingThreadAndLastStartsNothing) {
  CTSPIRequestPtr pFirst = Queue(REQUEST_LINEMAKECALL, 31);
  ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 32));
  std::thread::id completer;
  std::thread worker([&] {
    completer = std::this_thread::get_id();
    line.CompleteRequest(pFirst.Get(), 0);
  });
  worker.join();

  auto starts = line.Starts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].dwRequestID, 32u);
  EXPECT_EQ(starts[1].thread, completer);
  EXPECT_NE(starts[0].thread, completer);
  EXPECT_EQ(TapiLog::Get().ResultsFor(31), std::vector<LONG>{0});

  line.CompleteRequest(line.GetCurrentRequest().Get(), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(line.Starts().size(), 2u);
  EXPECT_EQ(line.GetRequestCount(), 0);
  EXPECT_EQ(TapiLog::Get().ResultsFor(32), std::vector<LONG>{LINEERR_OPERATIONFAILED});
}

TEST_F(QueueTest, RequestIdZeroIsNeverReportedButRunsEveryFollowUp) {
  CTSPIRequestPtr pReq = Queue(REQUEST_LINEGENERATEDIGITS, 0, callA);
  ASSERT_TRUE(pReq);
  EXPECT_EQ(callA->GetRefCount(), 2);  // the request holds one
  line.CompleteRequest(pReq.Get(), 0);
  EXPECT_TRUE(TapiLog::Get().Results().empty());
  EXPECT_EQ(line.followUps, 1);
  EXPECT_EQ(callA->followUps, 1);
  EXPECT_EQ(callA->GetRefCount(), 2);  // our reference keeps the request, and so its call
  pReq.Reset();
  EXPECT_EQ(callA->GetRefCount(), 1);
}

TEST_F(QueueTest, CompletingWithoutRemovalReportsOnceAndTheReportedFlagSticks) {
  CTSPIRequestPtr pReq = Queue(REQUEST_LINEMAKECALL, 41);
  line.CompleteRequest(pReq.Get(), 0, TRUE, FALSE);
  line.CompleteRequest(pReq.Get(), 0, TRUE, FALSE);
  line.CompleteRequest(pReq.Get(), 0, FALSE, FALSE);  // must not clear the flag
  EXPECT_TRUE(pReq->IsReported());
  EXPECT_EQ(line.GetRequestCount(), 1);
  line.CompleteRequest(pReq.Get(), LINEERR_OPERATIONFAILED, TRUE, TRUE);
  EXPECT_EQ(TapiLog::Get().ResultsFor(41), std::vector<LONG>{0});
  EXPECT_EQ(line.GetRequestCount(), 0);
}

TEST_F(QueueTest, LineCloseFailsEveryQueuedRequestOnceAndStartsNothing) {
  ASSERT_TRUE(Queue(REQUEST_LINEMAKECALL, 61, callA));
  ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 62, callB));
  ASSERT_TRUE(Queue(REQUEST_LINEGENERATETONE, 0, callA));
  ASSERT_TRUE(Queue(REQUEST_LINEUNHOLD, 63, callB));

  line.CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED);

  EXPECT_EQ(line.GetRequestCount(), 0);
  EXPECT_EQ(line.Starts().size(), 1u);
  EXPECT_EQ(TapiLog::Get().Results().size(), 3u);
  for (DWORD id : {61u, 62u, 63u}) {
    EXPECT_EQ(TapiLog::Get().ResultsFor(id), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  }
  EXPECT_EQ(callA->GetRefCount(), 1);
  EXPECT_EQ(callB->GetRefCount(), 1);
  // Every request but the fetched ones is announced as cancelled: the started make-call and the
  // three never fetched.
  EXPECT_EQ(device.cancelled, 4);
}

TEST_F(QueueTest, MatchingOneCallSparesOtherCallsAndTheExceptedRequest) {
  CTSPIRequestPtr pDrop = Queue(REQUEST_LINEDROP, 71, callA);
  ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 72, callA));
  ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 73, callB));
  line.CompleteMatchingRequests(callA, REQUEST_ANY, LINEERR_OPERATIONFAILED, FALSE, pDrop.Get());
  EXPECT_EQ(line.GetRequestCount(), 2);
  EXPECT_EQ(line.GetRequest(0).Get(), pDrop.Get());
  EXPECT_EQ(TapiLog::Get().ResultsFor(72), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_TRUE(TapiLog::Get().ResultsFor(73).empty());
}

// The call states that the failure of a conference or transfer request implies are applied only
// after the walk, when the request has left the queue.
CTSPIConnection* g_lineForIdle = nullptr;
int g_queuedAtIdle = -1;

TEST_F(QueueTest, SetUpConferenceWhoseFirstCallGoesAwayIdlesItsCallsAfterLeavingTheQueue) {
  TestCall &first = *callA, &conf = *callB, &consult = *callC, &other = *callD;
  auto* pRec = new TSPICONFERENCE;
  pRec->pCall = first.Ptr();
  pRec->pConfCall = conf.Ptr();
  pRec->pConsult = consult.Ptr();
  ASSERT_TRUE(line.QueueRequest(nullptr, conf.Ptr(), REQUEST_LINESETUPCONFERENCE, 91, pRec, 0));
  ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 92, &other));
  g_lineForIdle = &line;
  TestCall::s_onIdle = [](CTSPICallAppearance*) {
    g_queuedAtIdle = g_lineForIdle->GetRequestCount();
  };

  line.CompleteMatchingRequests(first.Ptr(), REQUEST_ANY, LINEERR_OPERATIONFAILED);

  EXPECT_EQ(conf.idles, 1);
  EXPECT_EQ(consult.idles, 1);
  EXPECT_EQ(first.idles, 0);
  EXPECT_EQ(g_queuedAtIdle, 1);  // only the other call's hold was left
  EXPECT_EQ(TapiLog::Get().ResultsFor(91), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  for (TestCall* p : {&first, &conf, &consult, &other})
    EXPECT_EQ(p->GetRefCount(), p == &other ? 2 : 1);
}

TEST_F(QueueTest, SetUpTransferWhoseConsultationCallGoesAwayOnlyForgetsIt) {
  TestCall &call = *callA, &consult = *callB;
  auto* pRec = new TSPITRANSFER;
  pRec->pCall = call.Ptr();
  pRec->pConsult = consult.Ptr();
  ASSERT_TRUE(line.QueueRequest(nullptr, call.Ptr(), REQUEST_LINESETUPTRANSFER, 95, pRec, 0));
  line.CompleteMatchingRequests(consult.Ptr(), REQUEST_ANY, LINEERR_OPERATIONFAILED);
  EXPECT_EQ(line.GetRequestCount(), 1);
  EXPECT_EQ(pRec->pConsult.Get(), nullptr);
  EXPECT_EQ(consult.GetRefCount(), 1);
  EXPECT_EQ(consult.idles + call.idles, 0);
  EXPECT_TRUE(TapiLog::Get().Results().empty());
}

TEST_F(QueueTest, OnlyNewMatchSparesAStartedTransferWhoseConsultationCallGoesIdle) {
  TestCall &call = *callA, &consult = *callB, &conf = *callC;
  for (const int nState : {STATE_STARTED, STATE_FETCHED, STATE_NOTPROCESSED}) {
    SCOPED_TRACE(nState);
    const bool bStarted = nState == STATE_STARTED;
    TapiLog::Get().Reset();
    auto* pRec = new TSPITRANSFER;
    pRec->pCall = call.Ptr();
    pRec->pConsult = consult.Ptr();
    pRec->pConf = conf.Ptr();
    ASSERT_TRUE(line.QueueRequest(nullptr, call.Ptr(), REQUEST_LINECOMPLETETRANSFER, 97, pRec, 0));
    CTSPIRequestPtr pReq = line.FindRequest(call.Ptr(), REQUEST_LINECOMPLETETRANSFER);
    ASSERT_TRUE(pReq);
    pReq->SetState(nState);
    // A type filter that does not name the transfer leaves it alone.
    line.CompleteMatchingRequests(consult.Ptr(), REQUEST_LINEDROP, LINEERR_INVALCALLSTATE, TRUE);
    EXPECT_EQ(line.GetRequestCount(), 1);
    // What a call going IDLE fails: only the requests not yet under way.
    line.CompleteMatchingRequests(consult.Ptr(), REQUEST_ANY, LINEERR_INVALCALLSTATE, TRUE);
    EXPECT_EQ(line.GetRequestCount(), bStarted ? 1 : 0);
    EXPECT_EQ(conf.GetCallState() == LINECALLSTATE_IDLE, !bStarted);  // made IDLE once
    if (!bStarted) {
      EXPECT_EQ(TapiLog::Get().ResultsFor(97), std::vector<LONG>{LINEERR_INVALCALLSTATE});
      continue;
    }
    // The answer completes it; meanwhile its record keeps every call it names alive.
    EXPECT_EQ(pRec->pConsult.Get(), consult.Ptr());
    EXPECT_EQ(pRec->pConf.Get(), conf.Ptr());
    EXPECT_EQ(consult.GetRefCount(), 2);
    EXPECT_TRUE(TapiLog::Get().Results().empty());
    line.CompleteRequest(pReq.Get(), 0);
    EXPECT_EQ(TapiLog::Get().ResultsFor(97), std::vector<LONG>{0});
  }
}

TEST_F(QueueTest, RefusedRequestLeavesTheRecordWithTheCaller) {
  device.refuse = true;
  auto* pRec = new CountedRecord;
  EXPECT_FALSE(line.QueueRequest(nullptr, callA, REQUEST_LINEMAKECALL, 101, pRec, 0));
  EXPECT_EQ(CountedRecord::s_live, 1);
  EXPECT_EQ(callA->GetRefCount(), 1);
  EXPECT_EQ(line.GetRequestCount(), 0);
  EXPECT_TRUE(line.Starts().empty());
  delete pRec;  // the caller's, as with every failed entry

  device.refuse = false;
  pRec = new CountedRecord;
  ASSERT_TRUE(line.QueueRequest(nullptr, callA, REQUEST_LINEMAKECALL, 102, pRec, 0));
  line.CompleteRequest(line.GetCurrentRequest().Get(), 0);
  EXPECT_EQ(CountedRecord::s_live, 0);  // the request owned it once queued
}

struct RecordCase {
  WORD wType;
  bool bRequestFreesIt;
};

class RecordOwnershipTest : public QueueTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordOwnershipTest, RequestFreesExactlyTheRecordsItOwns) {
  auto* pRec = new CountedRecord;
  ASSERT_TRUE(line.QueueRequest(nullptr, nullptr, GetParam().wType, 1, pRec, 0));
  line.CompleteRequest(line.GetCurrentRequest().Get(), 0);
  EXPECT_EQ(CountedRecord::s_live, GetParam().bRequestFreesIt ? 0 : 1);
  if (!GetParam().bRequestFreesIt) delete pRec;
}

INSTANTIATE_TEST_SUITE_P(
    TypeTable, RecordOwnershipTest,
    ::testing::Values(RecordCase{REQUEST_LINEMAKECALL, true}, RecordCase{REQUEST_LINEDIAL, true},
                      RecordCase{REQUEST_PHONESETBUTTONINFO, true},
                      RecordCase{REQUEST_PHONESETLAMP, true},  // else nobody frees it
                      RecordCase{REQUEST_LINEHOLD, false},
                      RecordCase{REQUEST_LINEUNCOMPLETECALL, false},  // the line's own entry
                      RecordCase{REQUEST_LINESWAPHOLD, false}));      // may be the call itself

TEST_F(QueueTest, MediaControlRecordOutlivesItsRequestWhileAnAddressHoldsIt) {
  auto* pMedia = new TSPIMEDIACONTROL;
  pMedia->AddRef();  // an address applied it
  ASSERT_TRUE(line.QueueRequest(nullptr, nullptr, REQUEST_LINESETMEDIACONTROL, 0, pMedia, 0));
  EXPECT_EQ(pMedia->GetRefCount(), 2);
  line.CompleteRequest(line.GetCurrentRequest().Get(), 0);
  // The request let go; the line gave it to its address, which gave it to its four calls.
  EXPECT_EQ(pMedia->GetRefCount(), 1 + 1 + 4);
  EXPECT_EQ(pAddress->GetMediaControl(), pMedia);
  EXPECT_EQ(callD->GetMediaControl(), pMedia);
  pMedia->Release();
}

TEST_F(QueueTest, WaitForRequestTimesOutThenSeesTheResult) {
  CTSPIRequestPtr pReq = Queue(REQUEST_LINEHOLD, 121);
  ASSERT_TRUE(pReq);
  EXPECT_EQ(line.WaitForRequest(5, pReq.Get()), -1);
  EXPECT_TRUE(line.IsRequestQueued(pReq.Get()));

  std::thread worker([&] { line.CompleteRequest(pReq.Get(), LINEERR_INVALCALLSTATE); });
  EXPECT_EQ(line.WaitForRequest(INFINITE, pReq.Get()), LINEERR_INVALCALLSTATE);
  worker.join();
  // Gone from the queue, still readable through the caller's reference.
  EXPECT_EQ(line.WaitForRequest(5, pReq.Get()), LINEERR_INVALCALLSTATE);

  // A request removed without completion after a wait timed out signals its removal.
  CTSPIRequestPtr pRemoved = Queue(REQUEST_PHONEGETDATA, 0);
  EXPECT_EQ(line.WaitForRequest(5, pRemoved.Get()), -1);
  EXPECT_TRUE(line.RemoveRequest(pRemoved.Get(), TRUE));
  EXPECT_EQ(line.WaitForRequest(INFINITE, pRemoved.Get()), -1);
}

TEST_F(QueueTest, WaitForPendingDropsReturnsOnceTheDropHasLeftTheQueue) {
  CTSPIRequestPtr pMake = Queue(REQUEST_LINEMAKECALL, 131, callA);
  CTSPIRequestPtr pDrop = Queue(REQUEST_LINEDROP, 132, callB);  // a drop fails its own call's rest
  std::thread waiter([&] { line.WaitForPendingRequests(nullptr, REQUEST_LINEDROP); });
  line.CompleteRequest(pDrop.Get(), 0);
  waiter.join();  // never returns if the wait outlasts the drop
  EXPECT_TRUE(line.IsRequestQueued(pMake.Get()));

  // A make-call completed early stays queued: the wait for it lasts until it leaves the queue.
  line.CompleteRequest(pMake.Get(), 0, TRUE, FALSE);
  std::thread waiter2([&] { line.WaitForPendingRequests(callA, REQUEST_ANY); });
  line.CompleteRequest(pMake.Get(), 0);
  waiter2.join();
  EXPECT_EQ(line.GetRequestCount(), 0);
}

struct InsertCase {
  int nQueued;
  int nPos;
  BOOL bStart;
  int nIndexAfter;
};

class InsertRequestTest : public QueueTest, public ::testing::WithParamInterface<InsertCase> {};

TEST_P(InsertRequestTest, PositionDecidesPlaceAndStart) {
  const InsertCase c = GetParam();
  for (int i = 0; i < c.nQueued; ++i) ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 200 + i));
  CTSPIRequestPtr pReq = line.QueueRequest(nullptr, nullptr, REQUEST_LINEUNHOLD, 299, nullptr, 0);
  // QueueRequest placed it at the tail; take it out and insert it as the case says.
  ASSERT_TRUE(line.RemoveRequest(pReq.Get(), FALSE));
  EXPECT_EQ(line.InsertRequest(pReq.Get(), c.nPos), c.bStart);
  EXPECT_EQ(line.GetRequest(c.nIndexAfter).Get(), pReq.Get());
  EXPECT_FALSE(line.GetRequest(line.GetRequestCount()));
}

INSTANTIATE_TEST_SUITE_P(Positions, InsertRequestTest,
                         ::testing::Values(InsertCase{0, -1, TRUE, 0}, InsertCase{0, 0, TRUE, 0},
                                           InsertCase{3, 0, TRUE, 0}, InsertCase{3, -1, FALSE, 3},
                                           InsertCase{3, 7, FALSE, 3}, InsertCase{3, 1, FALSE, 1},
                                           InsertCase{3, 2, FALSE, 2}));

TEST_F(QueueTest, GetRequestMarksFetchedAndStopsAtTheEnd) {
  ASSERT_TRUE(Queue(REQUEST_LINEMAKECALL, 141, callA));
  ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 142, callA));
  CTSPIRequestPtr pHold = line.FindRequest(callA, REQUEST_LINEHOLD);
  ASSERT_TRUE(pHold);
  EXPECT_EQ(pHold->GetState(), STATE_FETCHED);
  EXPECT_EQ(line.GetRequest(0)->GetState(), STATE_STARTED);  // a fetch leaves a start alone
  EXPECT_FALSE(line.GetRequest(-1));                         // past the end: InsertRequestTest
  EXPECT_FALSE(line.FindRequest(callA, REQUEST_LINEDROP));
}

int g_followUpsAtDestroy = -1;

TEST_F(QueueTest, DestroyingALineFailsItsRequestsBeforeItsAddressesGo) {
  {
    TestLine other;
    other.Init(&device, 101, 3);
    TestAddress* pOtherAddr = other.AddAddress();
    CTSPICallAppearance* pCall =
        pOtherAddr->FindOrCreateCall(reinterpret_cast<HTAPICALL>(0x201), 0, LINECALLORIGIN_OUTBOUND,
                                     LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
    auto* pRec = new CountedRecord;
    ASSERT_TRUE(other.QueueRequest(nullptr, pCall, REQUEST_LINEMAKECALL, 151, pRec, 0));
    ASSERT_TRUE(other.QueueRequest(nullptr, pCall, REQUEST_LINEHOLD, 152, nullptr, 0));
    // The call goes with its address; by then its requests have run their follow-ups on it.
    TestCall::s_onDestroy = [](CTSPICallAppearance* p) {
      g_followUpsAtDestroy = static_cast<TestCall*>(p)->followUps;
    };
  }
  TestCall::s_onDestroy = nullptr;
  EXPECT_EQ(g_followUpsAtDestroy, 2);
  EXPECT_EQ(TestAddress::s_live, 1);  // the fixture's own
  EXPECT_EQ(CountedRecord::s_live, 0);
  EXPECT_EQ(TapiLog::Get().ResultsFor(151), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_EQ(TapiLog::Get().ResultsFor(152), std::vector<LONG>{LINEERR_OPERATIONFAILED});
}

// Another thread is inside a start that waits for the switch: a drop queued meanwhile starts at
// once, and a close that fails the waiting request leaves it alive until its start ends.
TEST_F(QueueTest, RequestFailedBesideItsStartLivesUntilTheStartEnds) {
  std::promise<void> inside, open;  // the start waits for the switch until the test opens
  std::shared_future<void> opened = open.get_future().share();
  std::atomic<int> liveAfterClose{-1};
  std::atomic<DWORD> idSeenAfterClose{0};
  line.onStart = [&](CTSPIRequest* pReq) {
    if (pReq->GetType() == REQUEST_LINEDROP) return;
    inside.set_value();
    opened.wait();
    // The close has failed the request meanwhile; the start still reads it.
    liveAfterClose = CountedRecord::s_live.load();
    idSeenAfterClose = pReq->GetRequestID();
  };
  std::thread tapi(
      [&] { line.QueueRequest(nullptr, callA, REQUEST_LINEMAKECALL, 171, new CountedRecord, 0); });
  inside.get_future().wait();
  EXPECT_TRUE(Queue(REQUEST_LINEDROP, 172, callB));
  const auto starts = line.Starts();  // before QueueRequest returned
  line.CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TapiLog::Get().ResultsFor(171), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  open.set_value();
  tapi.join();
  EXPECT_EQ(liveAfterClose, 1);
  EXPECT_EQ(idSeenAfterClose, 171u);
  EXPECT_EQ(CountedRecord::s_live, 0);  // freed once the start let go
  EXPECT_EQ(callA->GetRefCount(), 1);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].dwRequestID, 172u);
  EXPECT_EQ(starts[1].thread, std::this_thread::get_id());
}

TEST_F(QueueTest, LateResponseToAFailedRequestNeverCompletesANewerOne) {
  // The switch line finds the request a response is for, and holds it.
  ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 181, callA));
  CTSPIRequestPtr pAnswered = line.FindRequest(callA, REQUEST_LINEHOLD);
  ASSERT_TRUE(pAnswered);
  // A close fails it, and TAPI queues the next request before the response is handled.
  line.CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED);
  CTSPIRequestPtr pNewer = Queue(REQUEST_LINEHOLD, 182, callA);
  ASSERT_TRUE(pNewer);
  EXPECT_NE(pNewer.Get(), pAnswered.Get());

  // The late response, in either form, changes nothing of the request no longer queued.
  line.CompleteRequest(pAnswered.Get(), 0);
  line.CompleteRequest(pAnswered.Get(), 0, TRUE, FALSE);
  EXPECT_FALSE(line.RemoveRequest(pAnswered.Get()));
  EXPECT_EQ(pAnswered->GetResult(), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(line.followUps, 1);
  EXPECT_TRUE(line.IsRequestQueued(pNewer.Get()));
  EXPECT_EQ(pNewer->GetResult(), -1);
  EXPECT_EQ(TapiLog::Get().ResultsFor(181), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_TRUE(TapiLog::Get().ResultsFor(182).empty());
}

TEST_F(QueueTest, PhonePermanentIDKeepsTheLow15BitsOfItsIndex) {
  CTSPIPhoneConnection phone;
  phone.Init(&device, 9, 0x8001);
  EXPECT_EQ(phone.GetPermanentDeviceID(), kProviderID * 65536 + 0x8000 + 1);
}

}  // namespace
}  // namespace fw_test

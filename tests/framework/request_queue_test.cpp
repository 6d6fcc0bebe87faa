// The asynchronous request queue of a connection: start order, drops at the head, completion
// and its report to TAPI, failing requests together, ownership of records, and the waits.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "framework/media_records.h"
#include "framework/phone_connection.h"
#include "framework/request_records.h"
#include "tests/framework/framework_doubles.h"

namespace fw_test {
namespace {

TEST_F(QueueTest, QueueingIntoEmptyQueueStartsAtOnceAndBehindPendingStartsNothing) {
  ASSERT_NE(Queue(REQUEST_LINEMAKECALL, 11), nullptr);
  ASSERT_EQ(line.Starts().size(), 1u);  // before QueueRequest returned
  EXPECT_EQ(line.Starts()[0].dwRequestID, 11u);

  ASSERT_NE(Queue(REQUEST_LINEHOLD, 12), nullptr);
  ASSERT_NE(Queue(REQUEST_LINEUNHOLD, 13), nullptr);
  EXPECT_EQ(line.Starts().size(), 1u);
  EXPECT_EQ(line.GetRequestCount(), 3);
}

TEST_F(QueueTest, DropGoesToHeadAndStartsWhileEarlierRequestStillPending) {
  TestCall& call = *callA;
  ASSERT_NE(Queue(REQUEST_LINEMAKECALL, 21, &call), nullptr);
  ASSERT_NE(Queue(REQUEST_LINEHOLD, 22, &call), nullptr);
  ASSERT_NE(Queue(REQUEST_LINEDROP, 23, &call), nullptr);

  const auto starts = line.Starts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].dwRequestID, 23u);
  EXPECT_EQ(starts[1].wType, REQUEST_LINEDROP);
  CTSPIRequest* pHead = line.GetRequest(0);
  ASSERT_NE(pHead, nullptr);
  EXPECT_EQ(pHead->GetType(), REQUEST_LINEDROP);
  CTSPIRequest* pMakeCall = line.FindRequest(call.Ptr(), REQUEST_LINEMAKECALL);
  ASSERT_NE(pMakeCall, nullptr);
  EXPECT_EQ(pMakeCall->GetResult(), -1);  // still waiting for its answer
  EXPECT_TRUE(TapiLog::Get().Results().empty());
}

TEST_F(QueueTest, CompletedDropDoesNotStartTheRequestBehindAPendingOne) {
  CTSPIRequest* pMake = Queue(REQUEST_LINEMAKECALL, 24);
  ASSERT_NE(Queue(REQUEST_LINEHOLD, 25), nullptr);
  CTSPIRequest* pDrop = Queue(REQUEST_LINEDROP, 26);
  line.CompleteRequest(pDrop, 0);
  EXPECT_EQ(line.Starts().size(), 2u);  // the hold waits for the make-call's answer
  line.CompleteRequest(pMake, 0);
  ASSERT_EQ(line.Starts().size(), 3u);
  EXPECT_EQ(line.Starts()[2].dwRequestID, 25u);
}

TEST_F(QueueTest, RequestMovedToTheHeadByTheDeviceStartsAtOnce) {
  ASSERT_NE(Queue(REQUEST_LINEMAKECALL, 27), nullptr);
  device.moveToHead = true;
  ASSERT_NE(Queue(REQUEST_LINEHOLD, 28), nullptr);
  ASSERT_EQ(line.Starts().size(), 2u);
  EXPECT_EQ(line.Starts()[1].dwRequestID, 28u);
  EXPECT_EQ(line.GetRequest(0)->GetRequestID(), 28u);
}

TEST_F(QueueTest, NextRequestStartsOnTheCompletingThreadAndLastStartsNothing) {
  CTSPIRequest* pFirst = Queue(REQUEST_LINEMAKECALL, 31);
  ASSERT_NE(Queue(REQUEST_LINEHOLD, 32), nullptr);
  std::thread::id completer;
  std::thread worker([&] {
    completer = std::this_thread::get_id();
    line.CompleteRequest(pFirst, 0);
  });
  worker.join();

  auto starts = line.Starts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].dwRequestID, 32u);
  EXPECT_EQ(starts[1].thread, completer);
  EXPECT_NE(starts[0].thread, completer);
  EXPECT_EQ(TapiLog::Get().ResultsFor(31), std::vector<LONG>{0});

  line.CompleteRequest(line.GetCurrentRequest(), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(line.Starts().size(), 2u);
  EXPECT_EQ(line.GetRequestCount(), 0);
  EXPECT_EQ(TapiLog::Get().ResultsFor(32), std::vector<LONG>{LINEERR_OPERATIONFAILED});
}

TEST_F(QueueTest, RequestIdZeroIsNeverReportedButRunsEveryFollowUp) {
  TestCall& call = *callA;
  CTSPIRequest* pReq = Queue(REQUEST_LINEGENERATEDIGITS, 0, &call);
  ASSERT_NE(pReq, nullptr);
  EXPECT_EQ(call.GetRefCount(), 2);  // the request holds one
  line.CompleteRequest(pReq, 0);
  EXPECT_TRUE(TapiLog::Get().Results().empty());
  EXPECT_EQ(line.followUps, 1);
  EXPECT_EQ(call.followUps, 1);
  EXPECT_EQ(call.GetRefCount(), 1);  // released with the request
}

TEST_F(QueueTest, CompletingWithoutRemovalReportsOnceAndTheReportedFlagSticks) {
  CTSPIRequest* pReq = Queue(REQUEST_LINEMAKECALL, 41);
  line.CompleteRequest(pReq, 0, TRUE, FALSE);
  line.CompleteRequest(pReq, 0, TRUE, FALSE);
  line.CompleteRequest(pReq, 0, FALSE, FALSE);  // must not clear the flag
  EXPECT_TRUE(pReq->IsReported());
  EXPECT_EQ(line.GetRequestCount(), 1);
  line.CompleteRequest(pReq, LINEERR_OPERATIONFAILED, TRUE, TRUE);
  EXPECT_EQ(TapiLog::Get().ResultsFor(41), std::vector<LONG>{0});
  EXPECT_EQ(line.GetRequestCount(), 0);
}

TEST_F(QueueTest, CompletingARequestNoLongerQueuedDoesNothing) {
  CTSPIRequest* pReq = Queue(REQUEST_LINEHOLD, 51, nullptr, TRUE);  // held to look at it after
  line.CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED);
  line.CompleteRequest(pReq, 0);  // a late response
  line.CompleteRequest(pReq, 0, TRUE, FALSE);
  EXPECT_FALSE(line.RemoveRequest(pReq));
  EXPECT_EQ(TapiLog::Get().ResultsFor(51), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_EQ(pReq->GetResult(), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(line.followUps, 1);
  pReq->Release();
}

TEST_F(QueueTest, LineCloseFailsEveryQueuedRequestOnceAndStartsNothing) {
  ASSERT_NE(Queue(REQUEST_LINEMAKECALL, 61, callA), nullptr);
  ASSERT_NE(Queue(REQUEST_LINEHOLD, 62, callB), nullptr);
  ASSERT_NE(Queue(REQUEST_LINEGENERATETONE, 0, callA), nullptr);
  ASSERT_NE(Queue(REQUEST_LINEUNHOLD, 63, callB), nullptr);

  line.CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED);

  EXPECT_EQ(line.GetRequestCount(), 0);
  EXPECT_EQ(line.Starts().size(), 1u);
  const auto all = TapiLog::Get().Results();
  EXPECT_EQ(all.size(), 3u);
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
  CTSPIRequest* pDrop = Queue(REQUEST_LINEDROP, 71, callA);
  ASSERT_NE(Queue(REQUEST_LINEHOLD, 72, callA), nullptr);
  ASSERT_NE(Queue(REQUEST_LINEHOLD, 73, callB), nullptr);
  line.CompleteMatchingRequests(callA, REQUEST_ANY, LINEERR_OPERATIONFAILED, FALSE, pDrop);
  EXPECT_EQ(line.GetRequestCount(), 2);
  EXPECT_EQ(line.GetRequest(0), pDrop);
  EXPECT_EQ(TapiLog::Get().ResultsFor(72), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_TRUE(TapiLog::Get().ResultsFor(73).empty());
}

TEST_F(QueueTest, OnlyNewSparesFetchedRequests) {
  TestCall& call = *callA;
  ASSERT_NE(Queue(REQUEST_LINEMAKECALL, 81, &call), nullptr);  // started
  ASSERT_NE(Queue(REQUEST_LINEHOLD, 82, &call), nullptr);      // never fetched
  line.CompleteMatchingRequests(call.Ptr(), REQUEST_ANY, LINEERR_INVALCALLSTATE, TRUE);
  EXPECT_EQ(line.GetRequestCount(), 1);
  EXPECT_EQ(TapiLog::Get().ResultsFor(82), std::vector<LONG>{LINEERR_INVALCALLSTATE});
  EXPECT_TRUE(TapiLog::Get().ResultsFor(81).empty());
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
  ASSERT_NE(line.QueueRequest(nullptr, conf.Ptr(), REQUEST_LINESETUPCONFERENCE, 91, pRec, 0),
            nullptr);
  ASSERT_NE(Queue(REQUEST_LINEHOLD, 92, &other), nullptr);
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
  ASSERT_NE(line.QueueRequest(nullptr, call.Ptr(), REQUEST_LINESETUPTRANSFER, 95, pRec, 0),
            nullptr);
  line.CompleteMatchingRequests(consult.Ptr(), REQUEST_ANY, LINEERR_OPERATIONFAILED);
  EXPECT_EQ(line.GetRequestCount(), 1);
  EXPECT_EQ(pRec->pConsult.Get(), nullptr);
  EXPECT_EQ(consult.GetRefCount(), 1);
  EXPECT_EQ(consult.idles + call.idles, 0);
  EXPECT_TRUE(TapiLog::Get().Results().empty());
}

TEST_F(QueueTest, CompleteTransferWhoseConsultationCallGoesAwayIdlesItsConference) {
  TestCall &call = *callA, &consult = *callB, &conf = *callC;
  auto* pRec = new TSPITRANSFER;
  pRec->pCall = call.Ptr();
  pRec->pConsult = consult.Ptr();
  pRec->pConf = conf.Ptr();
  ASSERT_NE(line.QueueRequest(nullptr, call.Ptr(), REQUEST_LINECOMPLETETRANSFER, 96, pRec, 0),
            nullptr);
  // A type filter that does not name the transfer leaves it alone.
  line.CompleteMatchingRequests(consult.Ptr(), REQUEST_LINEDROP, LINEERR_OPERATIONFAILED);
  EXPECT_EQ(line.GetRequestCount(), 1);
  line.CompleteMatchingRequests(consult.Ptr(), REQUEST_ANY, LINEERR_OPERATIONFAILED);
  EXPECT_EQ(line.GetRequestCount(), 0);
  EXPECT_EQ(conf.idles, 1);
  EXPECT_EQ(TapiLog::Get().ResultsFor(96), std::vector<LONG>{LINEERR_OPERATIONFAILED});
}

TEST_F(QueueTest, RefusedRequestLeavesTheRecordWithTheCaller) {
  TestCall& call = *callA;
  device.refuse = true;
  auto* pRec = new CountedRecord;
  EXPECT_EQ(line.QueueRequest(nullptr, call.Ptr(), REQUEST_LINEMAKECALL, 101, pRec, 0), nullptr);
  EXPECT_EQ(CountedRecord::s_live, 1);
  EXPECT_EQ(call.GetRefCount(), 1);
  EXPECT_EQ(line.GetRequestCount(), 0);
  EXPECT_TRUE(line.Starts().empty());
  delete pRec;  // the caller's, as with every failed entry

  device.refuse = false;
  pRec = new CountedRecord;
  ASSERT_NE(line.QueueRequest(nullptr, call.Ptr(), REQUEST_LINEMAKECALL, 102, pRec, 0), nullptr);
  line.CompleteRequest(line.GetCurrentRequest(), 0);
  EXPECT_EQ(CountedRecord::s_live, 0);  // the request owned it once queued
}

struct RecordCase {
  WORD wType;
  bool bRequestFreesIt;
};

class RecordOwnershipTest : public QueueTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordOwnershipTest, RequestFreesExactlyTheRecordsItOwns) {
  auto* pRec = new CountedRecord;
  ASSERT_NE(line.QueueRequest(nullptr, nullptr, GetParam().wType, 1, pRec, 0), nullptr);
  line.CompleteRequest(line.GetCurrentRequest(), 0);
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

TEST_F(QueueTest, SwapHoldRecordIsFreedWithItsRequestAndReleasesTheOtherCall) {
  TestCall &active = *callA, &held = *callB;
  auto* pRec = new TSPISWAPHOLD(held.Ptr());
  ASSERT_NE(line.QueueRequest(nullptr, active.Ptr(), REQUEST_LINESWAPHOLD, 111, pRec, 0), nullptr);
  EXPECT_EQ(held.GetRefCount(), 2);
  line.CompleteRequest(line.GetCurrentRequest(), 0);
  EXPECT_EQ(held.GetRefCount(), 1);
  EXPECT_EQ(active.GetRefCount(), 1);
}

TEST_F(QueueTest, MediaControlRecordOutlivesItsRequestWhileAnAddressHoldsIt) {
  auto* pMedia = new TSPIMEDIACONTROL;
  pMedia->AddRef();  // an address applied it
  ASSERT_NE(line.QueueRequest(nullptr, nullptr, REQUEST_LINESETMEDIACONTROL, 0, pMedia, 0),
            nullptr);
  EXPECT_EQ(pMedia->GetRefCount(), 2);
  line.CompleteRequest(line.GetCurrentRequest(), 0);
  // The request let go; the line gave it to its address, which gave it to its four calls.
  EXPECT_EQ(pMedia->GetRefCount(), 1 + 1 + 4);
  EXPECT_EQ(pAddress->GetMediaControl(), pMedia);
  EXPECT_EQ(callD->GetMediaControl(), pMedia);
  pMedia->Release();
}

TEST_F(QueueTest, WaitForRequestTimesOutThenSeesTheResult) {
  CTSPIRequest* pReq = Queue(REQUEST_LINEHOLD, 121, nullptr, TRUE);
  ASSERT_NE(pReq, nullptr);
  EXPECT_EQ(line.WaitForRequest(5, pReq), -1);
  EXPECT_TRUE(line.IsRequestQueued(pReq));

  std::thread worker([&] { line.CompleteRequest(pReq, LINEERR_INVALCALLSTATE); });
  EXPECT_EQ(line.WaitForRequest(INFINITE, pReq), LINEERR_INVALCALLSTATE);
  worker.join();
  // Gone from the queue, still readable through the caller's reference.
  EXPECT_EQ(line.WaitForRequest(5, pReq), LINEERR_INVALCALLSTATE);
  pReq->Release();
}

TEST_F(QueueTest, WaitForRequestOnARequestRemovedAfterTimeOutDoesNotHang) {
  CTSPIRequest* pReq = Queue(REQUEST_PHONEGETDATA, 0, nullptr, TRUE);
  EXPECT_EQ(line.WaitForRequest(5, pReq), -1);
  EXPECT_TRUE(line.RemoveRequest(pReq, TRUE));
  EXPECT_EQ(line.WaitForRequest(INFINITE, pReq), -1);  // signalled on removal, never completed
  pReq->Release();
}

TEST_F(QueueTest, WaitForPendingDropsReturnsOnceTheDropHasLeftTheQueue) {
  TestCall& call = *callA;
  CTSPIRequest* pMake = Queue(REQUEST_LINEMAKECALL, 131, &call);
  CTSPIRequest* pDrop = Queue(REQUEST_LINEDROP, 132, callB);  // a drop fails its own call's rest
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    line.WaitForPendingRequests(nullptr, REQUEST_LINEDROP);
    done = true;
  });
  line.CompleteRequest(pDrop, 0);
  waiter.join();
  EXPECT_TRUE(done);
  EXPECT_TRUE(line.IsRequestQueued(pMake));

  // A make-call completed early stays queued: the wait for it lasts until it leaves the queue.
  line.CompleteRequest(pMake, 0, TRUE, FALSE);
  std::thread waiter2([&] { line.WaitForPendingRequests(call.Ptr(), REQUEST_ANY); });
  line.CompleteRequest(pMake, 0);
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
  for (int i = 0; i < c.nQueued; ++i) ASSERT_NE(Queue(REQUEST_LINEHOLD, 200 + i), nullptr);
  CTSPIRequest* pReq = line.QueueRequest(nullptr, nullptr, REQUEST_LINEUNHOLD, 299, nullptr, 0);
  // QueueRequest placed it at the tail; take it out and insert it as the case says.
  ASSERT_TRUE(line.RemoveRequest(pReq, FALSE));
  EXPECT_EQ(line.InsertRequest(pReq, c.nPos), c.bStart);
  EXPECT_EQ(line.GetRequest(c.nIndexAfter), pReq);
  EXPECT_EQ(line.GetRequest(line.GetRequestCount()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Positions, InsertRequestTest,
                         ::testing::Values(InsertCase{0, -1, TRUE, 0}, InsertCase{0, 0, TRUE, 0},
                                           InsertCase{3, 0, TRUE, 0}, InsertCase{3, -1, FALSE, 3},
                                           InsertCase{3, 7, FALSE, 3}, InsertCase{3, 1, FALSE, 1},
                                           InsertCase{3, 2, FALSE, 2}));

TEST_F(QueueTest, GetRequestMarksFetchedAndStopsAtTheEnd) {
  TestCall& call = *callA;
  ASSERT_NE(Queue(REQUEST_LINEMAKECALL, 141, &call), nullptr);
  ASSERT_NE(Queue(REQUEST_LINEHOLD, 142, &call), nullptr);
  CTSPIRequest* pHold = line.FindRequest(call.Ptr(), REQUEST_LINEHOLD);
  ASSERT_NE(pHold, nullptr);
  EXPECT_EQ(pHold->GetState(), STATE_FETCHED);
  EXPECT_EQ(line.GetRequest(0)->GetState(), STATE_STARTED);  // a fetch leaves a start alone
  EXPECT_EQ(line.GetRequest(2), nullptr);
  EXPECT_EQ(line.GetRequest(-1), nullptr);
  EXPECT_EQ(line.FindRequest(call.Ptr(), REQUEST_LINEDROP), nullptr);
}

TEST_F(QueueTest, DestroyingAConnectionReleasesItsQueuedRequests) {
  TestCall& call = *callA;
  {
    TestLine other;
    other.Init(&device, 101, 3);
    auto* pRec = new CountedRecord;
    ASSERT_NE(other.QueueRequest(nullptr, call.Ptr(), REQUEST_LINEMAKECALL, 151, pRec, 0), nullptr);
    ASSERT_NE(other.QueueRequest(nullptr, call.Ptr(), REQUEST_LINEHOLD, 152, nullptr, 0), nullptr);
  }
  EXPECT_EQ(CountedRecord::s_live, 0);
  EXPECT_EQ(call.GetRefCount(), 1);
  EXPECT_TRUE(TapiLog::Get().Results().empty());
}

TEST_F(QueueTest, PhonePermanentIDKeepsTheLow15BitsOfItsIndex) {
  CTSPIPhoneConnection phone;
  phone.Init(&device, 9, 0x8001);
  EXPECT_EQ(phone.GetPermanentDeviceID(), kProviderID * 65536 + 0x8000 + 1);
  EXPECT_FALSE(phone.IsOpen());
}

}  // namespace
}  // namespace fw_test

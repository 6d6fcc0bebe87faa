// Ownership of the request parameter records. What a record frees is checked by the address
// sanitizer build: a copy it failed to free is a leak, a TAPI buffer it freed is a bad free
// (they live on the stack here) or a use after free when the test touches it afterwards.
#include "framework/request_records.h"

#include "framework/alloc_buffer.h"
#include "framework/call_ref.h"
#include "framework/media_records.h"
#include "framework/record_copies.h"
#include "tests/framework/framework_doubles.h"

namespace {

using fw_test::TestCall;

// A call of the tests' class as the provider's factory makes it: one reference, its creator's.
TestCall* NewCall() {
  return static_cast<TestCall*>(RUNTIME_CLASS(TestCall)->CreateObject());
}

class RecordsTest : public ::testing::Test {
 protected:
  // Call parameters with user-user information, copied as a request entry copies them.
  static LPLINECALLPARAMS CallParamsCopy() {
    alignas(LINECALLPARAMS) BYTE source[sizeof(LINECALLPARAMS) + 8] = {};
    auto* p = reinterpret_cast<LINECALLPARAMS*>(source);
    p->dwTotalSize = sizeof(source);
    p->dwUserUserInfoSize = 8;
    p->dwUserUserInfoOffset = sizeof(LINECALLPARAMS);
    LPLINECALLPARAMS lpCopy = nullptr;
    EXPECT_EQ(CopyCallParams(p, &lpCopy), 0);
    return lpCopy;
  }
};

// (Copies: CompletionCopyKeepsIdAndCall; a reference let go by nulling:
// RecordsHoldEveryCallTheyName.)
TEST_F(RecordsTest, CallRefTakesAndReleasesOneReference) {
  TestCall *a = NewCall(), *b = NewCall();
  {
    CCallRef ref(a);
    ref = a;  // the same call again: still one reference
    EXPECT_EQ(a->GetRefCount(), 2);
    ref = b;
    EXPECT_EQ(a->GetRefCount(), 1);
    EXPECT_EQ(b->GetRefCount(), 2);
    CCallRef last(a);
    a->Release();  // the address let go meanwhile: the last release deletes
  }
  EXPECT_TRUE(TestCall::WasDestroyed(a));
  EXPECT_EQ(b->GetRefCount(), 1);
  b->Release();
}

TEST_F(RecordsTest, RecordsHoldEveryCallTheyName) {
  TestCall *call = NewCall(), *consult = NewCall(), *conf = NewCall();
  auto expectRefs = [&](int n) {
    EXPECT_EQ(call->GetRefCount(), n);
    EXPECT_EQ(consult->GetRefCount(), n);
    EXPECT_EQ(conf->GetRefCount(), n);
  };
  {
    auto* pTransfer = new TSPITRANSFER;
    pTransfer->pCall = call;
    pTransfer->pConsult = consult;
    pTransfer->pConf = conf;
    pTransfer->lpCallParams = CallParamsCopy();
    auto* pConference = new TSPICONFERENCE;
    pConference->pConfCall = conf;
    pConference->pCall = call;
    pConference->pConsult = consult;
    pConference->lpCallParams = CallParamsCopy();
    expectRefs(3);
    pTransfer->pConsult = nullptr;  // the consultation call went away
    EXPECT_EQ(consult->GetRefCount(), 2);
    delete pTransfer;
    EXPECT_EQ(call->GetRefCount(), 2);
    EXPECT_EQ(consult->GetRefCount(), 2);
    delete static_cast<CObject*>(pConference);  // as the request deletes its record
    expectRefs(1);
  }
  {
    TSPISWAPHOLD swap(call);
    TSPILINEFORWARD forward;
    forward.pConsultCall = consult;
    TSPILINESETTERMINAL terminal;
    terminal.pCall = conf;
    expectRefs(2);
    EXPECT_TRUE(swap.pOtherCall == call);
  }
  expectRefs(1);
  for (TestCall* p : {call, consult, conf}) p->Release();
}

TEST_F(RecordsTest, CompletionCopyKeepsIdAndCall) {
  TestCall* call = NewCall();
  auto* pRecord = new TSPICOMPLETECALL;
  TSPICOMPLETECALL other;
  EXPECT_NE(pRecord->dwCompletionID, 0u);
  EXPECT_NE(pRecord->dwCompletionID, other.dwCompletionID);
  pRecord->dwCompletionMode = LINECALLCOMPLMODE_CAMPON;
  pRecord->dwMessageID = 3;
  pRecord->pCall = call;
  pRecord->dwSwitchInfo = 7;
  pRecord->strSwitchInfo = "info";

  auto* pCopy = new TSPICOMPLETECALL(*pRecord);
  EXPECT_EQ(call->GetRefCount(), 3);
  const DWORD dwID = pRecord->dwCompletionID;
  delete pRecord;  // the request goes; the line's copy stays
  EXPECT_EQ(call->GetRefCount(), 2);
  EXPECT_EQ(pCopy->dwCompletionID, dwID);
  EXPECT_EQ(pCopy->dwCompletionMode, LINECALLCOMPLMODE_CAMPON);
  EXPECT_EQ(pCopy->dwMessageID, 3u);
  EXPECT_TRUE(pCopy->pCall == call);
  EXPECT_EQ(pCopy->dwSwitchInfo, 7u);
  EXPECT_EQ(pCopy->strSwitchInfo, CString("info"));
  // A record made after the first one is gone never reuses its ID.
  TSPICOMPLETECALL later;
  EXPECT_NE(later.dwCompletionID, dwID);
  delete pCopy;
  EXPECT_EQ(call->GetRefCount(), 1);
  call->Release();
}

TEST_F(RecordsTest, MediaControlLivesUntilItsLastHolder) {
  auto* pRecord = new TSPIMEDIACONTROL;
  EXPECT_EQ(pRecord->GetRefCount(), 0);
  const LINEMEDIACONTROLDIGIT digits[2] = {{'1', 2, 4}, {'#', 2, 8}};
  const LINEMEDIACONTROLTONE tones[1] = {{1, 100, 440, 0, 0, 2}};
  ASSERT_TRUE(AppendEntryCopies(pRecord->arrDigits, digits, 2));
  ASSERT_TRUE(AppendEntryCopies(pRecord->arrTones, tones, 1));

  pRecord->AddRef();   // the request that carries it
  pRecord->AddRef();   // a call applies it
  pRecord->Release();  // the request is destroyed
  EXPECT_EQ(pRecord->GetRefCount(), 1);
  EXPECT_EQ(static_cast<LINEMEDIACONTROLDIGIT*>(pRecord->arrDigits.GetAt(1))->dwDigit,
            static_cast<DWORD>('#'));
  pRecord->Release();  // deleted with its copies (leak-checked)

  auto* pUnheld = new TSPIMEDIACONTROL;  // a builder that fails discards it
  ASSERT_TRUE(AppendEntryCopies(pUnheld->arrMedia, tones, 0));
  pUnheld->Release();
}

// What the other records hold is freed under the address sanitizer where they are built: the
// entries' records in LineEntryTest.ARefusedRequestLeavesNothingBehind, the gathers, tone
// monitors and phone data in their own tests. These two are built there by no test.
TEST_F(RecordsTest, RecordsFreeTheirCopiesAndNeverTapisBuffers) {
  VARSTRING parkAddress{};  // TAPI's: the record may point at it but must not free it
  parkAddress.dwTotalSize = sizeof(parkAddress);
  parkAddress.dwStringFormat = STRINGFORMAT_ASCII;
  const VARSTRING tapisOwn = parkAddress;
  {
    TSPILINEPARK park;
    park.dwParkMode = LINEPARKMODE_NONDIRECTED;
    park.lpNonDirAddress = &parkAddress;
    const LINEGENERATETONE genTones[2] = {{440, 100, 100, 50}, {480, 100, 100, 50}};
    TSPIGENERATE generate;
    ASSERT_TRUE(AppendEntryCopies(generate.arrTones, genTones, 2));
  }
  EXPECT_EQ(std::memcmp(&parkAddress, &tapisOwn, sizeof(parkAddress)), 0);  // not even written
  parkAddress.dwUsedSize = 1;  // still TAPI's to use
  EXPECT_EQ(parkAddress.dwTotalSize, sizeof(parkAddress));
}

// An older, shorter structure: only its own bytes are read (the sanitizer catches an over-read
// of the heap block), and the copy still has the whole fixed part, zero where TAPI gave nothing.
TEST(RecordCopies, ShortCallParamsArePaddedToTheFixedPart) {
  constexpr DWORD kShort = 64;
  auto* pSource = static_cast<BYTE*>(AllocBuffer(kShort));
  ASSERT_NE(pSource, nullptr);
  std::memset(pSource, 0, kShort);
  auto* p = reinterpret_cast<LINECALLPARAMS*>(pSource);
  p->dwTotalSize = kShort;
  p->dwMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;

  LPLINECALLPARAMS lpCopy = nullptr;
  ASSERT_EQ(CopyCallParams(p, &lpCopy), 0);
  FreeBuffer(pSource);
  ASSERT_NE(lpCopy, nullptr);
  EXPECT_EQ(lpCopy->dwTotalSize, sizeof(LINECALLPARAMS));
  EXPECT_EQ(lpCopy->dwMediaMode, LINEMEDIAMODE_INTERACTIVEVOICE);
  EXPECT_EQ(lpCopy->dwUserUserInfoSize, 0u);
  EXPECT_EQ(lpCopy->dwCallingPartyIDOffset, 0u);
  FreeBuffer(lpCopy);
}

TEST(RecordCopies, CallParamsAreCopiedWholeAndPartsOutsideThemRefused) {
  struct Case {
    const char* label;
    DWORD size;
    DWORD offset;
    LONG result;
  };
  const Case cases[] = {
      {"inside", 8, sizeof(LINECALLPARAMS), 0},
      {"ends at the end", 16, sizeof(LINECALLPARAMS), 0},
      {"one byte past", 17, sizeof(LINECALLPARAMS), LINEERR_INVALCALLPARAMS},
      {"offset past", 1, sizeof(LINECALLPARAMS) + 16, LINEERR_INVALCALLPARAMS},
      {"wraps around", 0x20, 0xFFFFFFF0u, LINEERR_INVALCALLPARAMS},
      {"empty part, any offset", 0, 0xFFFFFFF0u, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    alignas(LINECALLPARAMS) BYTE source[sizeof(LINECALLPARAMS) + 16] = {};
    auto* p = reinterpret_cast<LINECALLPARAMS*>(source);
    p->dwTotalSize = sizeof(source);
    p->dwBearerMode = LINEBEARERMODE_VOICE;
    std::memcpy(source + sizeof(LINECALLPARAMS), "call data 16 ch", 16);
    p->dwCallDataSize = c.size;  // a late part, so every earlier check passes first
    p->dwCallDataOffset = c.offset;
    LPLINECALLPARAMS lpCopy = reinterpret_cast<LPLINECALLPARAMS>(source);
    EXPECT_EQ(CopyCallParams(p, &lpCopy), c.result);
    EXPECT_EQ(lpCopy == nullptr, c.result != 0);
    if (lpCopy != nullptr) {  // a copy of the whole structure, in a block of its own
      EXPECT_NE(static_cast<void*>(lpCopy), static_cast<void*>(source));
      EXPECT_EQ(std::memcmp(lpCopy, source, sizeof(source)), 0);
    }
    FreeBuffer(lpCopy);
  }
  LPLINECALLPARAMS lpCopy = nullptr;
  EXPECT_EQ(CopyCallParams(nullptr, &lpCopy), 0);
  EXPECT_EQ(lpCopy, nullptr);
}

}  // namespace

// The phone connection, driven through the provider's phone entries as a provider with phones
// would be: capabilities and status by version, the display, the index and data-ID limits,
// request completion, GetData's wait, and the events TAPI receives.
#include "framework/phone_connection.h"

#include "framework/phone_records.h"
#include "framework_doubles.h"
#include "platform/tspi.h"

namespace fw_test {
namespace {

constexpr DWORD kLineBase = 10;
constexpr DWORD kPhoneBase = 20;
const HTAPIPHONE kTapiPhone = reinterpret_cast<HTAPIPHONE>(0x4321);
constexpr DWORD kShortWaitMsec = 20;
constexpr BYTE kPattern = 0xA5;

struct PhoneEvent {
  HTAPIPHONE htPhone;
  DWORD dwMsg;
  DWORD_PTR dwParam1, dwParam2, dwParam3;
  bool operator==(const PhoneEvent&) const = default;
};

std::mutex g_mxEvents;
std::vector<PhoneEvent> g_events;

void PhoneCallback(HTAPIPHONE htPhone, DWORD dwMsg, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3) {
  std::lock_guard<std::mutex> guard(g_mxEvents);
  g_events.push_back({htPhone, dwMsg, p1, p2, p3});
}

// The UTF-16 bytes of ASCII text with its NUL.
std::vector<uint8_t> Utf16(const std::string& text) {
  std::vector<uint8_t> bytes;
  for (char ch : text) bytes.insert(bytes.end(), {static_cast<uint8_t>(ch), 0});
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// The bytes at nOffset of the buffer equal the expected ones.
bool BytesAt(const CallerBuffer& buffer, size_t nOffset, const std::vector<uint8_t>& expected) {
  return nOffset + expected.size() <= buffer.Bytes().size() &&
         std::equal(expected.begin(), expected.end(), buffer.Bytes().begin() + nOffset);
}

std::vector<PhoneEvent> TakeEvents() {
  std::lock_guard<std::mutex> guard(g_mxEvents);
  return std::exchange(g_events, {});
}

// A desk phone: a 10 × 2 display, a message-indicator button with a lamp, a dummy button and a
// hold button without a lamp, one get-data and two set-data areas, handset and speaker, three
// ring modes and every feature but the handset volume query. It starts each request and, unless
// told to hold them, answers it at once with `result`, filling get-data buffers and writing the
// display as the device would.
class TestPhone : public CTSPIPhoneConnection {
  DECLARE_DYNCREATE(TestPhone)
 public:
  void Init(CTSPIDevice* pDevice, DWORD dwDeviceID, DWORD dwPos, DWORD_PTR dwItemData) override {
    CTSPIPhoneConnection::Init(pDevice, dwDeviceID, dwPos, dwItemData);
    SetName("Desk");
    SetupDisplay(10, 2);
    AddButton(PHONEBUTTONFUNCTION_MSGINDICATOR, PHONEBUTTONMODE_FEATURE,
              PHONELAMPMODE_OFF | PHONELAMPMODE_STEADY, PHONELAMPMODE_OFF, "Messages");
    AddButton(PHONEBUTTONFUNCTION_NONE, PHONEBUTTONMODE_DUMMY, 1, PHONELAMPMODE_DUMMY, "");
    AddButton(PHONEBUTTONFUNCTION_HOLD, PHONEBUTTONMODE_FEATURE, 1, PHONELAMPMODE_DUMMY, "Hold");
    AddGetDataArea(8);
    AddSetDataArea(8);
    AddSetDataArea(16);
    CSingleLock lock(GetSyncObject(), TRUE);
    m_PhoneCaps.dwHookSwitchDevs = PHONEHOOKSWITCHDEV_HANDSET | PHONEHOOKSWITCHDEV_SPEAKER;
    m_PhoneCaps.dwNumRingModes = 3;
    m_PhoneCaps.dwPhoneFeatures = 0x0FFFFFFF & ~PHONEFEATURE_GETVOLUMEHANDSET;
    m_PhoneStatus.dwPhoneFeatures = m_PhoneCaps.dwPhoneFeatures;
    const DWORD dwLine = kLineBase;
    CServiceProvider::AddDeviceClass(GetDeviceClassArray(), "tapi/line", STRINGFORMAT_BINARY,
                                     &dwLine, sizeof(dwLine), INVALID_HANDLE_VALUE);
  }
  BOOL ProcessData(DWORD, LPCVOID, DWORD) override {
    CTSPIRequestPtr pReq = FetchRequestToStart();
    if (!pReq) return FALSE;
    if ((throwFor != 0 && pReq->GetRequestID() == throwFor) ||
        (throwGetData && pReq->GetType() == REQUEST_PHONEGETDATA)) {
      throw std::runtime_error("start failed");
    }
    if (!hold) Answer(pReq.Get(), result);
    return TRUE;
  }
  void Answer(CTSPIRequest* pReq, LONG lResult) {
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      if (auto* pData = dynamic_cast<TSPIPHONEDATA*>(pReq->GetRecordObject())) {
        if (pReq->GetType() == REQUEST_PHONEGETDATA && pData->lpBuffer != nullptr) {
          std::memset(pData->lpBuffer, kPattern, pData->dwSize);
        }
      }
      if (auto* pDisplay = dynamic_cast<TSPIPHONESETDISPLAY*>(pReq->GetRecordObject())) {
        UpdateDisplay(pDisplay->dwRow, pDisplay->dwColumn,
                      static_cast<LPCSTR>(pDisplay->lpvDisplay), pDisplay->dwSize);
      }
    }
    CompleteRequest(pReq, lResult);
  }
  // The head request, answered as the device would.
  void AnswerHead(LONG lResult) {
    CTSPIRequestPtr pReq = GetCurrentRequest();
    ASSERT_TRUE(pReq);
    Answer(pReq.Get(), lResult);
  }
  LONG WaitForRequest(DWORD, CTSPIRequest* pReq) override {
    return CTSPIConnection::WaitForRequest(waitMsec, pReq);
  }
  LONG GenericDialogData(LPVOID lpParams, DWORD dwSize) override {
    dialogBytes = dwSize;
    return lpParams != nullptr ? 0 : PHONEERR_INVALPARAM;
  }

  std::atomic<bool> hold{false};
  std::atomic<DWORD> throwFor{0};  // the request whose start throws
  std::atomic<bool> throwGetData{false};
  std::atomic<DWORD> waitMsec{kShortWaitMsec};
  std::atomic<LONG> result{0};
  std::atomic<DWORD> dialogBytes{0};
};
IMPLEMENT_DYNCREATE(TestPhone, CTSPIPhoneConnection)

class PhoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TapiLog::Get().Reset();
    TakeEvents();
    provider.SetObjectClasses(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              RUNTIME_CLASS(TestPhone));
    DWORD dwOptions = 0;
    ASSERT_EQ(provider.providerInit(0x00020001, kProviderID, kLineBase, kPhoneBase, 1, 1,
                                    &TapiLog::Completion, &dwOptions),
              0);
    phone = dynamic_cast<TestPhone*>(provider.FindPhoneByDeviceID(kPhoneBase));
    ASSERT_NE(phone, nullptr);
  }
  LONG Open(DWORD dwVersion = 0x00020001, DWORD dwStates = 0) {
    HDRVPHONE hdPhone = nullptr;
    const LONG lResult = provider.phoneOpen(phone, kTapiPhone, &hdPhone, dwVersion, &PhoneCallback);
    if (lResult == 0) {
      EXPECT_EQ(hdPhone, reinterpret_cast<HDRVPHONE>(phone));
      EXPECT_EQ(provider.phoneSetStatusMessages(phone, dwStates, 0, 0), 0);
    }
    return lResult;
  }

  TestProvider provider;
  TestPhone* phone = nullptr;
};

TEST_F(PhoneTest, CapabilitiesAndStatusFollowTheNegotiatedVersion) {
  // Needed: the fixed part, "Desk" (10 bytes, padded to 12), the provider's name (60), three
  // button lists (36), the data sizes (12) and, from 2.0, the device classes (76: three names and
  // the closing NUL).
  struct Case {
    DWORD dwVersion, dwCapsFixed, dwCapsNeeded, dwStatusFixed;
  };
  for (const Case& c : {Case{0x00010004, 144, 264, 100}, Case{0x00020001, 180, 376, 104}}) {
    SCOPED_TRACE(c.dwVersion);
    ASSERT_EQ(Open(c.dwVersion), 0);
    // (Every size from the fixed part up: var_struct_sizes_test.)
    CallerBuffer tooSmall(c.dwCapsFixed - 4);
    EXPECT_EQ(provider.phoneGetDevCaps(phone, 0x00020001, 0, tooSmall.As<PHONECAPS>()),
              PHONEERR_STRUCTURETOOSMALL);
    EXPECT_TRUE(tooSmall.GuardIntact());

    CallerBuffer caps(c.dwCapsNeeded);
    ASSERT_EQ(provider.phoneGetDevCaps(phone, 0x00020001, 0, caps.As<PHONECAPS>()), 0);
    const PHONECAPS* pCaps = caps.As<PHONECAPS>();
    EXPECT_EQ(pCaps->dwUsedSize, c.dwCapsNeeded);
    EXPECT_EQ(pCaps->dwPhoneNameOffset, c.dwCapsFixed);
    EXPECT_EQ(pCaps->dwPermanentPhoneID, (kProviderID << 16) | 0x8000);
    EXPECT_EQ(pCaps->dwPhoneNameSize, 10u);  // "Desk" in UTF-16 with its NUL
    EXPECT_TRUE(BytesAt(caps, pCaps->dwPhoneNameOffset, Utf16("Desk")));
    EXPECT_EQ(caps.Dword(pCaps->dwButtonFunctionsOffset), PHONEBUTTONFUNCTION_MSGINDICATOR);
    EXPECT_EQ(caps.Dword(pCaps->dwButtonModesOffset + 4), PHONEBUTTONMODE_DUMMY);
    EXPECT_EQ(pCaps->dwSetDataSize, 8u);
    EXPECT_EQ(caps.Dword(pCaps->dwSetDataOffset + 4), 16u);
    if (c.dwVersion >= 0x00020000) {
      EXPECT_TRUE(BytesAt(caps, pCaps->dwDeviceClassesOffset, Utf16("tapi/phone")));
      EXPECT_EQ(pCaps->dwDeviceClassesSize, 76u);
    }
    EXPECT_TRUE(caps.GuardIntact());

    CallerBuffer status(c.dwStatusFixed + 64);
    ASSERT_EQ(provider.phoneGetStatus(phone, status.As<PHONESTATUS>()), 0);
    const PHONESTATUS* pStatus = status.As<PHONESTATUS>();
    EXPECT_EQ(pStatus->dwDisplayOffset, c.dwStatusFixed);
    EXPECT_EQ(pStatus->dwDisplaySize, 21u);  // 20 spaces and the NUL
    EXPECT_EQ(pStatus->dwLampModesSize, 12u);
    EXPECT_EQ(status.Dword(pStatus->dwLampModesOffset), PHONELAMPMODE_OFF);
    EXPECT_EQ(pStatus->dwUsedSize, pStatus->dwNeededSize);
    EXPECT_TRUE(status.GuardIntact());
    EXPECT_EQ(provider.phoneClose(phone), 0);
  }
}

TEST_F(PhoneTest, DisplayWritesAndReadsStayWithinTheDisplay) {
  ASSERT_EQ(Open(), 0);
  // Row 1 column 5 of 10 × 2: five characters fit, the rest would run past the display.
  EXPECT_EQ(provider.phoneSetDisplay(phone, 1, 1, 5, "HELLOWORLD", 10), 1);
  // A row equal to the number of rows is accepted and writes nothing.
  EXPECT_EQ(provider.phoneSetDisplay(phone, 2, 2, 0, "XXXXXXXXXX", 10), 2);
  EXPECT_EQ(provider.phoneSetDisplay(phone, 3, 3, 0, "X", 1), PHONEERR_INVALPARAM);
  EXPECT_EQ(provider.phoneSetDisplay(phone, 4, 0, 11, "X", 1), PHONEERR_INVALPARAM);
  EXPECT_EQ(TapiLog::Get().ResultsFor(1), std::vector<LONG>{0});
  EXPECT_EQ(TapiLog::Get().ResultsFor(2), std::vector<LONG>{0});

  const std::string expected = std::string(15, ' ') + "HELLO";
  CallerBuffer small(sizeof(VARSTRING) + 8);
  ASSERT_EQ(provider.phoneGetDisplay(phone, small.As<VARSTRING>()), 0);
  EXPECT_EQ(small.As<VARSTRING>()->dwNeededSize, sizeof(VARSTRING) + expected.size() + 1);
  EXPECT_EQ(small.As<VARSTRING>()->dwStringSize, 0u);
  EXPECT_TRUE(small.GuardIntact());

  CallerBuffer full(sizeof(VARSTRING) + 21);
  ASSERT_EQ(provider.phoneGetDisplay(phone, full.As<VARSTRING>()), 0);
  EXPECT_EQ(full.As<VARSTRING>()->dwStringFormat, STRINGFORMAT_ASCII);
  EXPECT_EQ(
      reinterpret_cast<const char*>(full.Bytes().data()) + full.As<VARSTRING>()->dwStringOffset,
      expected);
  EXPECT_TRUE(full.GuardIntact());
}

TEST_F(PhoneTest, ButtonDataAndRingIndexesAreCheckedAndDialogDataReachesThePhone) {
  ASSERT_EQ(Open(), 0);
  DWORD dwOut = 0;
  BYTE data[16] = {};
  CallerBuffer info(sizeof(PHONEBUTTONINFO) + 32);
  CallerBuffer tiny(sizeof(VARSTRING) - 4);
  struct Case {
    const char* name;
    LONG expected;
    std::function<LONG()> call;
  };
  CServiceProvider& sp = provider;
  const Case cases[] = {
      {"lamp of a button", 0, [&] { return sp.phoneGetLamp(phone, 0, &dwOut); }},
      {"dummy lamp", PHONEERR_INVALBUTTONLAMPID, [&] { return sp.phoneGetLamp(phone, 1, &dwOut); }},
      {"lamp past the buttons", PHONEERR_INVALBUTTONLAMPID,
       [&] { return sp.phoneGetLamp(phone, 3, &dwOut); }},
      {"set a lamp", 11, [&] { return sp.phoneSetLamp(phone, 11, 0, PHONELAMPMODE_STEADY); }},
      {"set a dummy lamp", PHONEERR_INVALBUTTONLAMPID,
       [&] { return sp.phoneSetLamp(phone, 12, 2, 4); }},
      {"button info past the buttons", PHONEERR_INVALBUTTONLAMPID,
       [&] { return sp.phoneGetButtonInfo(phone, 3, info.As<PHONEBUTTONINFO>()); }},
      {"set a dummy button", PHONEERR_INVALBUTTONLAMPID,
       [&] { return sp.phoneSetButtonInfo(phone, 13, 1, info.As<PHONEBUTTONINFO>()); }},
      {"set data, ID equal to the count", 14,
       [&] { return sp.phoneSetData(phone, 14, 2, data, sizeof(data)); }},
      {"set data past the count", PHONEERR_INVALDATAID,
       [&] { return sp.phoneSetData(phone, 15, 3, data, 0); }},
      {"get data, ID equal to the count", 0, [&] { return sp.phoneGetData(phone, 1, data, 8); }},
      {"get data past the count", PHONEERR_INVALDATAID,
       [&] { return sp.phoneGetData(phone, 2, data, 8); }},
      {"last ring mode", 16, [&] { return sp.phoneSetRing(phone, 16, 2, 0x100); }},
      {"ring mode equal to the count", PHONEERR_INVALRINGMODE,
       [&] { return sp.phoneSetRing(phone, 17, 3, 0); }},
      {"gain of a missing device", PHONEERR_INVALHOOKSWITCHDEV,
       [&] { return sp.phoneSetGain(phone, 18, PHONEHOOKSWITCHDEV_HEADSET, 1); }},
      {"speaker volume", 0,
       [&] { return sp.phoneGetVolume(phone, PHONEHOOKSWITCHDEV_SPEAKER, &dwOut); }},
      {"handset volume without its feature", PHONEERR_OPERATIONUNAVAIL,
       [&] { return sp.phoneGetVolume(phone, PHONEHOOKSWITCHDEV_HANDSET, &dwOut); }},
      {"set data from no buffer", PHONEERR_INVALPOINTER,
       [&] { return sp.phoneSetData(phone, 19, 0, nullptr, 4); }},
      {"display from no buffer", PHONEERR_INVALPOINTER,
       [&] { return sp.phoneSetDisplay(phone, 20, 0, 0, nullptr, 4); }},
      {"identifier into less than a VARSTRING", PHONEERR_STRUCTURETOOSMALL,
       [&] { return sp.phoneGetID(phone, tiny.As<VARSTRING>(), "tapi/phone", nullptr); }},
      {"volume of two devices at once", PHONEERR_INVALHOOKSWITCHDEV,
       [&] { return sp.phoneGetVolume(phone, 3, &dwOut); }},
      {"the UI's dialog data, which reaches the phone", 0,
       [&] {
         return TSPI_providerGenericDialogData(kPhoneBase, TUISPIDLL_OBJECT_PHONEID, data, 12);
       }},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call(), c.expected) << c.name;
  EXPECT_EQ(TapiLog::Get().Results().size(), 3u);  // 11, 14 and 16, each once
  EXPECT_EQ(phone->dialogBytes, 12u);
}

TEST_F(PhoneTest, CompletedRequestsChangeThePhoneAndReachTapiOnce) {
  ASSERT_EQ(Open(0x00020001, PHONESTATE_SPEAKERGAIN | PHONESTATE_LAMP), 0);
  phone->hold = true;
  EXPECT_EQ(provider.phoneSetGain(phone, 5, PHONEHOOKSWITCHDEV_SPEAKER, 0x8000), 5);
  EXPECT_EQ(provider.phoneSetVolume(phone, 6, PHONEHOOKSWITCHDEV_SPEAKER, 0x4000), 6);
  EXPECT_EQ(provider.phoneSetVolume(phone, 7, PHONEHOOKSWITCHDEV_SPEAKER, 0x2000), 7);
  phone->AnswerHead(0);
  phone->AnswerHead(PHONEERR_RESOURCEUNAVAIL);  // leaves the volume as it was
  DWORD dwValue = 0;
  EXPECT_EQ(provider.phoneGetGain(phone, PHONEHOOKSWITCHDEV_SPEAKER, &dwValue), 0);
  EXPECT_EQ(dwValue, 0x8000u);
  EXPECT_EQ(provider.phoneGetVolume(phone, PHONEHOOKSWITCHDEV_SPEAKER, &dwValue), 0);
  EXPECT_EQ(dwValue, 0u);
  // Closing fails what is still queued.
  EXPECT_EQ(provider.phoneClose(phone), 0);
  EXPECT_EQ(phone->GetRequestCount(), 0);
  const auto results = TapiLog::Get().Results();
  EXPECT_EQ(results,
            (std::map<DWORD, std::vector<LONG>>{
                {5, {0}}, {6, {PHONEERR_RESOURCEUNAVAIL}}, {7, {PHONEERR_OPERATIONFAILED}}}));
  EXPECT_EQ(TakeEvents(),
            (std::vector<PhoneEvent>{{kTapiPhone, PHONE_STATE, PHONESTATE_SPEAKERGAIN, 0, 0}}));

  // The message indicator's lamp is the line's message-waiting flag.
  ASSERT_EQ(Open(), 0);
  phone->hold = false;
  CTSPILineConnection* pLine = provider.FindLineByDeviceID(kLineBase);
  ASSERT_EQ(phone->GetAssociatedLine(), pLine);
  EXPECT_EQ(provider.phoneSetLamp(phone, 8, 0, PHONELAMPMODE_STEADY), 8);
  EXPECT_NE(pLine->GetLineDevStatus().dwDevStatusFlags & LINEDEVSTATUSFLAGS_MSGWAIT, 0u);
  EXPECT_EQ(provider.phoneSetLamp(phone, 9, 0, PHONELAMPMODE_OFF), 9);
  EXPECT_EQ(pLine->GetLineDevStatus().dwDevStatusFlags & LINEDEVSTATUSFLAGS_MSGWAIT, 0u);

  // Button text is read only within its own size.
  CallerBuffer info(sizeof(PHONEBUTTONINFO) + 8);
  PHONEBUTTONINFO* pInfo = info.As<PHONEBUTTONINFO>();
  pInfo->dwButtonMode = PHONEBUTTONMODE_FEATURE;
  pInfo->dwButtonFunction = PHONEBUTTONFUNCTION_TRANSFER;
  pInfo->dwButtonTextOffset = sizeof(PHONEBUTTONINFO);
  pInfo->dwButtonTextSize = 4;
  info.Put(sizeof(PHONEBUTTONINFO), "Transfer", 8);
  EXPECT_EQ(provider.phoneSetButtonInfo(phone, 10, 2, pInfo), 10);
  CallerBuffer read(sizeof(PHONEBUTTONINFO) + 10);
  ASSERT_EQ(provider.phoneGetButtonInfo(phone, 2, read.As<PHONEBUTTONINFO>()), 0);
  EXPECT_EQ(read.As<PHONEBUTTONINFO>()->dwButtonFunction, PHONEBUTTONFUNCTION_TRANSFER);
  EXPECT_EQ(read.As<PHONEBUTTONINFO>()->dwButtonTextSize, 10u);
  EXPECT_TRUE(BytesAt(read, sizeof(PHONEBUTTONINFO), Utf16("Tran")));
  EXPECT_TRUE(read.GuardIntact());
}

TEST_F(PhoneTest, GetDataAnswersTheRequestsResultAndGivesUpSafely) {
  ASSERT_EQ(Open(), 0);
  BYTE data[8] = {};
  EXPECT_EQ(provider.phoneGetData(phone, 0, data, sizeof(data)), 0);
  EXPECT_EQ(data[7], kPattern);
  phone->result = PHONEERR_RESOURCEUNAVAIL;
  EXPECT_EQ(provider.phoneGetData(phone, 0, data, sizeof(data)), PHONEERR_RESOURCEUNAVAIL);

  // Answered by another thread while the caller waits.
  phone->hold = true;
  phone->waitMsec = 10000;
  BYTE answered[8] = {};
  std::thread device([this] {
    ASSERT_TRUE(WaitUntil([this] { return phone->GetRequestCount() == 1; }));
    phone->AnswerHead(PHONEERR_INVALPARAM);
  });
  EXPECT_EQ(provider.phoneGetData(phone, 0, answered, sizeof(answered)), PHONEERR_INVALPARAM);
  device.join();
  EXPECT_EQ(answered[0], kPattern);
  phone->waitMsec = kShortWaitMsec;

  // Behind a request the phone works on, it never starts: the wait ends and it is gone.
  phone->result = 0;
  EXPECT_EQ(provider.phoneSetRing(phone, 30, 1, 0), 30);
  EXPECT_EQ(provider.phoneGetData(phone, 0, data, sizeof(data)), PHONEERR_OPERATIONFAILED);
  EXPECT_EQ(phone->GetRequestCount(), 1);
  phone->AnswerHead(0);

  // Started and not answered in time: it stays with the phone, which no longer has the buffer.
  BYTE late[8] = {};
  EXPECT_EQ(provider.phoneGetData(phone, 0, late, sizeof(late)), PHONEERR_OPERATIONFAILED);
  ASSERT_EQ(phone->GetRequestCount(), 1);
  phone->AnswerHead(0);
  EXPECT_EQ(late[0], 0);
  EXPECT_EQ(phone->GetRequestCount(), 0);
  EXPECT_EQ(TapiLog::Get().Results(), (std::map<DWORD, std::vector<LONG>>{{30, {0}}}));
}

// The device answers the head on its own thread; the start of the request behind it throws.
TEST_F(PhoneTest, ARequestWhoseStartThrowsFailsInThePhonesCodeAndTheNextStarts) {
  ASSERT_EQ(Open(), 0);
  phone->hold = true;
  phone->throwFor = 41;
  EXPECT_EQ(provider.phoneSetRing(phone, 40, 1, 0), 40);
  EXPECT_EQ(provider.phoneSetRing(phone, 41, 2, 0), 41);
  EXPECT_EQ(provider.phoneSetRing(phone, 42, 0, 0), 42);
  std::thread device([this] { EXPECT_THROW(phone->AnswerHead(0), std::runtime_error); });
  device.join();
  EXPECT_EQ(phone->GetRequestCount(), 1);
  CTSPIRequestPtr pHead = phone->GetCurrentRequest();
  ASSERT_TRUE(pHead);
  EXPECT_EQ(pHead->GetRequestID(), 42u);
  EXPECT_GE(pHead->GetState(), STATE_STARTED);
  phone->AnswerHead(0);
  EXPECT_EQ(TapiLog::Get().Results(), (std::map<DWORD, std::vector<LONG>>{
                                          {40, {0}}, {41, {PHONEERR_OPERATIONFAILED}}, {42, {0}}}));
}

// The start throws inside the entry that queued the request: its record, the request's from the
// moment it was queued, is freed once (the address sanitizer sees a second free).
TEST_F(PhoneTest, ARecordIsFreedOnceWhenTheStartOfItsRequestThrowsInsideTheEntry) {
  ASSERT_EQ(Open(), 0);
  phone->throwFor = 45;
  EXPECT_THROW(provider.phoneSetRing(phone, 45, 1, 0), std::runtime_error);
  phone->throwGetData = true;
  BYTE data[8] = {};
  EXPECT_THROW(provider.phoneGetData(phone, 0, data, sizeof(data)), std::runtime_error);
  phone->throwGetData = false;
  EXPECT_EQ(phone->GetRequestCount(), 0);
  EXPECT_EQ(TapiLog::Get().Results(),
            (std::map<DWORD, std::vector<LONG>>{{45, {PHONEERR_OPERATIONFAILED}}}));
  // The phone goes on.
  EXPECT_EQ(provider.phoneSetRing(phone, 46, 2, 0), 46);
  EXPECT_EQ(TapiLog::Get().ResultsFor(46), std::vector<LONG>{0});
}

TEST_F(PhoneTest, EventsReachTapiOnlyWhileThePhoneIsOpen) {
  phone->UpdateRingMode(1);
  phone->ReportPhoneState(PHONESTATE_REINIT, 0);
  EXPECT_TRUE(TakeEvents().empty());

  ASSERT_EQ(Open(0x00020001, PHONESTATE_RINGMODE), 0);
  HDRVPHONE hdPhone = nullptr;
  EXPECT_EQ(provider.phoneOpen(phone, nullptr, &hdPhone, 0x00020001, &PhoneCallback),
            PHONEERR_ALLOCATED);
  EXPECT_EQ(phone->GetPhoneHandle(), kTapiPhone);
  EXPECT_EQ(provider.phoneSetStatusMessages(phone, PHONESTATE_RINGMODE, PHONEBUTTONMODE_FEATURE, 0),
            PHONEERR_INVALBUTTONSTATE);
  EXPECT_EQ(provider.phoneSetStatusMessages(phone, PHONESTATE_RINGMODE, PHONEBUTTONMODE_FEATURE,
                                            PHONEBUTTONSTATE_DOWN),
            0);
  phone->UpdateRingMode(2);
  phone->UpdateHookSwitch(PHONEHOOKSWITCHDEV_HANDSET, PHONEHOOKSWITCHMODE_MIC);  // not asked for
  phone->ReportPhoneState(PHONESTATE_REINIT, 0);
  phone->ReportButton(0, PHONEBUTTONMODE_FEATURE, PHONEBUTTONSTATE_DOWN);
  phone->ReportButton(0, PHONEBUTTONMODE_FEATURE, PHONEBUTTONSTATE_UP);  // not asked for
  EXPECT_EQ(TakeEvents(),
            (std::vector<PhoneEvent>{
                {kTapiPhone, PHONE_STATE, PHONESTATE_RINGMODE, 2, 0},
                {kTapiPhone, PHONE_STATE, PHONESTATE_REINIT, 0, 0},
                {kTapiPhone, PHONE_BUTTON, 0, PHONEBUTTONMODE_FEATURE, PHONEBUTTONSTATE_DOWN}}));
  DWORD dwDevices = 0;
  EXPECT_EQ(provider.phoneGetHookSwitch(phone, &dwDevices), 0);
  EXPECT_EQ(dwDevices, PHONEHOOKSWITCHDEV_HANDSET);

  EXPECT_EQ(provider.phoneClose(phone), 0);
  EXPECT_EQ(provider.phoneClose(phone), PHONEERR_OPERATIONFAILED);
  phone->UpdateRingMode(0);
  phone->ReportButton(0, PHONEBUTTONMODE_FEATURE, PHONEBUTTONSTATE_DOWN);
  EXPECT_TRUE(TakeEvents().empty());
}

}  // namespace
}  // namespace fw_test

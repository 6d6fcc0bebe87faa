// The provider object: version negotiation, exported-function flags, start-up and shutdown of
// devices and the timer thread, device look-ups and the list of calls with timers.
#include "framework/service_provider.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <future>

#include "framework/dial_info.h"
#include "framework/phone_connection.h"
#include "platform/tspi.h"
#include "tests/framework/framework_doubles.h"

namespace {

constexpr DWORD kVersion = 0x00020001;

using fw_test::TestProvider;

// A device whose initialisation fails after it created its lines.
class FailingDevice : public CTSPIDevice {
  DECLARE_DYNCREATE(FailingDevice)
 public:
  BOOL Init(DWORD dwProviderID, DWORD dwLineBase, DWORD dwPhoneBase, DWORD dwNumLines,
            DWORD dwNumPhones, HPROVIDER hProvider, ASYNC_COMPLETION lpfn) override {
    CTSPIDevice::Init(dwProviderID, dwLineBase, dwPhoneBase, dwNumLines, dwNumPhones, hProvider,
                      lpfn);
    return FALSE;
  }
};
IMPLEMENT_DYNCREATE(FailingDevice, CTSPIDevice)

// A line that keeps what its UI side sends it through the dialog data channel.
class DialogLine : public CTSPILineConnection {
  DECLARE_DYNCREATE(DialogLine)
 public:
  static constexpr LONG kAnswer = 0x77;
  LONG GenericDialogData(TSPIDIALOGINSTANCE* pDlgInst, LPVOID lpParams, DWORD dwSize) override {
    EXPECT_EQ(pDlgInst, nullptr);
    const auto* pBytes = static_cast<const BYTE*>(lpParams);
    received.assign(pBytes, pBytes + dwSize);
    return kAnswer;
  }
  std::vector<BYTE> received;
};
IMPLEMENT_DYNCREATE(DialogLine, CTSPILineConnection)

std::ptrdiff_t CountThreads() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
}

class ServiceProviderTest : public ::testing::Test {
 protected:
  LONG Init(DWORD dwProviderID, DWORD dwLineBase, DWORD dwNumLines, DWORD dwPhoneBase = 0,
            DWORD dwNumPhones = 0) {
    DWORD dwOptions = 0xFFFF;
    const LONG rc = sp.providerInit(kVersion, dwProviderID, dwLineBase, dwPhoneBase, dwNumLines,
                                    dwNumPhones, nullptr, &dwOptions);
    if (rc == 0) {
      EXPECT_EQ(dwOptions, 0u);
    }
    return rc;
  }

  void Classes(CRuntimeClass* pDevice, CRuntimeClass* pLine) {
    sp.SetObjectClasses(pDevice, nullptr, pLine, nullptr, nullptr, nullptr, nullptr);
  }

  TestProvider sp;
};

struct NegotiationCase {
  const char* name;
  DWORD dwDeviceID;
  DWORD dwLow;
  DWORD dwHigh;
  LONG lExpected;
  DWORD dwExpectedVersion;
};

TEST_F(ServiceProviderTest, LineNegotiateTSPIVersionFollowsTheTable) {
  const NegotiationCase cases[] = {
      {"any device, wide range", INITIALIZE_NEGOTIATION, 0x00010003, 0x00030000, 0, kVersion},
      {"high exactly ours", INITIALIZE_NEGOTIATION, 0x00010003, kVersion, 0, kVersion},
      {"high below ours", INITIALIZE_NEGOTIATION, 0x00010003, 0x00010004, 0, 0x00010004},
      {"high the oldest", INITIALIZE_NEGOTIATION, 0x00010003, 0x00010003, 0, 0x00010003},
      {"high too old", INITIALIZE_NEGOTIATION, 0x00010000, 0x00010002,
       LINEERR_INCOMPATIBLEAPIVERSION, kVersion},
      {"low above ours", INITIALIZE_NEGOTIATION, 0x00030000, 0x00030000,
       LINEERR_INCOMPATIBLEAPIVERSION, kVersion},
      {"known line", 10, 0x00010003, 0x00030000, 0, kVersion},
      {"unknown line", 12, 0x00010003, 0x00030000, LINEERR_BADDEVICEID, 0xDEAD},
  };
  ASSERT_EQ(Init(1, 10, 2), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DWORD dwVersion = 0xDEAD;
    EXPECT_EQ(sp.lineNegotiateTSPIVersion(c.dwDeviceID, c.dwLow, c.dwHigh, &dwVersion),
              c.lExpected);
    EXPECT_EQ(dwVersion, c.dwExpectedVersion);
  }
  // (A null out pointer: NegotiationsRefuseAnOutVersionThatCannotBeWritten.)
  // A provider built for an older version reports no version below 2.0.
  TestProvider old(0x00010004);
  EXPECT_EQ(old.GetSupportedVersion(), 0x00020000u);
  DWORD dwVersion = 0;
  EXPECT_EQ(
      old.lineNegotiateTSPIVersion(INITIALIZE_NEGOTIATION, 0x00010003, 0x00030000, &dwVersion), 0);
  EXPECT_EQ(dwVersion, 0x00020000u);
}

TEST_F(ServiceProviderTest, PhonesHaveNoAnyDeviceCaseAndNoExtensionVersionIsOffered) {
  ASSERT_EQ(Init(1, 0, 1, 20, 1), 0);
  DWORD dwVersion = 0;
  EXPECT_EQ(
      sp.phoneNegotiateTSPIVersion(INITIALIZE_NEGOTIATION, 0x00010003, 0x00030000, &dwVersion),
      PHONEERR_BADDEVICEID);
  EXPECT_EQ(sp.phoneNegotiateTSPIVersion(20, 0x00010003, 0x00010002, &dwVersion),
            PHONEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_EQ(dwVersion, kVersion);
  EXPECT_EQ(sp.phoneNegotiateTSPIVersion(20, 0x00010003, 0x00010004, &dwVersion), 0);
  EXPECT_EQ(dwVersion, 0x00010004u);

  DWORD dwExt = 0xDEAD;
  EXPECT_EQ(sp.lineNegotiateExtVersion(0, kVersion, 1, 2, &dwExt), LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(dwExt, 0u);
  dwExt = 0xDEAD;
  EXPECT_EQ(sp.lineNegotiateExtVersion(0, 0x00020000, 1, 2, &dwExt),
            LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_EQ(dwExt, 0u);
  EXPECT_EQ(sp.lineNegotiateExtVersion(5, kVersion, 1, 2, &dwExt), LINEERR_BADDEVICEID);
}

// TAPI's out pointer is checked without being written: memory the process may not write is
// refused, never faulted on. Page 0 is read-only, page 1 inaccessible, page 2 not mapped.
TEST_F(ServiceProviderTest, NegotiationsRefuseAnOutVersionThatCannotBeWritten) {
  ASSERT_EQ(Init(1, 10, 1, 20, 1), 0);
  const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void* pMap = mmap(nullptr, 3 * kPage, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pMap, MAP_FAILED);
  auto* pBytes = static_cast<BYTE*>(pMap);
  ASSERT_EQ(mprotect(pBytes + kPage, kPage, PROT_NONE), 0);
  ASSERT_EQ(munmap(pBytes + 2 * kPage, kPage), 0);

  struct Row {
    const char* name;
    LONG lRefused;
    std::function<LONG(LPDWORD)> negotiate;
  };
  const Row rows[] = {
      {"TSPI_lineNegotiateTSPIVersion", LINEERR_INVALPARAM,
       [](LPDWORD p) {
         return TSPI_lineNegotiateTSPIVersion(INITIALIZE_NEGOTIATION, 0x00010003, 0x00030000, p);
       }},
      {"lineNegotiateTSPIVersion", LINEERR_INVALPARAM,
       [this](LPDWORD p) { return sp.lineNegotiateTSPIVersion(10, 0x00010003, 0x00030000, p); }},
      {"lineNegotiateExtVersion", LINEERR_INVALPARAM,
       [this](LPDWORD p) { return sp.lineNegotiateExtVersion(10, kVersion, 1, 2, p); }},
      {"phoneNegotiateTSPIVersion", PHONEERR_INVALPARAM,
       [this](LPDWORD p) { return sp.phoneNegotiateTSPIVersion(20, 0x00010003, 0x00030000, p); }},
      {"phoneNegotiateExtVersion", PHONEERR_INVALPARAM,
       [this](LPDWORD p) { return sp.phoneNegotiateExtVersion(20, kVersion, 1, 2, p); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (size_t nPage = 0; nPage < 3; ++nPage) {
      EXPECT_EQ(row.negotiate(reinterpret_cast<LPDWORD>(pBytes + nPage * kPage)), row.lRefused)
          << "page " << nPage;
    }
    EXPECT_EQ(row.negotiate(nullptr), row.lRefused);
    DWORD dwVersion = 0xDEAD;
    EXPECT_NE(row.negotiate(&dwVersion), row.lRefused);
    EXPECT_NE(dwVersion, 0xDEADu);
  }
  EXPECT_EQ(pBytes[0], 0);
  munmap(pBytes, 2 * kPage);
}

// TAPI's threads set the location while the provider's own threads read it.
TEST_F(ServiceProviderTest, CurrentLocationIsSetAndReadFromManyThreads) {
  std::thread setter([] {
    for (DWORD i = 1; i <= 2000; ++i) EXPECT_EQ(TSPI_lineSetCurrentLocation(i), 0);
  });
  for (int i = 0; i < 2000; ++i) EXPECT_LE(sp.GetCurrentLocation(), 2000u);
  setter.join();
  EXPECT_EQ(sp.GetCurrentLocation(), 2000u);
}

// Which functions the built library exports, and so which the provider finds: e2e's
// exported_functions_test. The fixture's provider finds those of the product's export list.
TEST_F(ServiceProviderTest, AllowedFunctionsAreTheExportedOnesButForPassThroughCalls) {
  EXPECT_TRUE(sp.IsFunctionAllowed(nullptr, nullptr, nullptr, TSPI_LINEMAKECALL));
  EXPECT_FALSE(sp.IsFunctionAllowed(nullptr, nullptr, nullptr, TSPI_LINEACCEPT));
  EXPECT_FALSE(sp.IsFunctionExported(TSPI_FUNCTION_COUNT));
  EXPECT_FALSE(sp.IsFunctionAllowed(nullptr, nullptr, nullptr, 0xFFFF));
  auto* call = new fw_test::TestCall;
  call->SetBearerMode(LINEBEARERMODE_PASSTHROUGH);
  EXPECT_FALSE(sp.IsFunctionAllowed(nullptr, nullptr, call, TSPI_LINEMAKECALL));
  EXPECT_TRUE(sp.IsFunctionAllowed(nullptr, nullptr, call, TSPI_LINEGETLINEDEVSTATUS));
  call->SetBearerMode(LINEBEARERMODE_VOICE);
  EXPECT_TRUE(sp.IsFunctionAllowed(nullptr, nullptr, call, TSPI_LINEMAKECALL));
  call->Release();
}

TEST(ServiceProviderLoadTest, LoadStartsNoThreadAndTouchesNoRegistry) {
  const std::string path = ::testing::TempDir() + "ombix_provider_load_test.reg";
  std::remove(path.c_str());
  setenv("OMBIX_REGISTRY", path.c_str(), 1);

  const auto threadsBefore = CountThreads();
  {
    TestProvider sp;
    EXPECT_TRUE(sp.InitInstance());
    EXPECT_EQ(CountThreads(), threadsBefore);
    EXPECT_FALSE(sp.IsTimerThreadRunning());
    EXPECT_EQ(sp.ExitInstance(), 0);
  }
  struct stat st {};
  EXPECT_NE(stat(path.c_str(), &st), 0) << "the registry file was created at load";
  unsetenv("OMBIX_REGISTRY");
}

TEST_F(ServiceProviderTest, TimerThreadAndTimedCallsLastWhileDevicesExist) {
  sp.SetTimerTick(24 * 3600 * 1000);
  ASSERT_EQ(Init(1, 0, 1), 0);
  EXPECT_TRUE(sp.IsTimerThreadRunning());
  ASSERT_EQ(Init(2, 1, 1), 0);
  auto* call = new fw_test::TestCall;
  sp.RegisterTimedCall(call);
  sp.providerShutdown(kVersion, sp.FindDeviceByProviderID(1));
  EXPECT_TRUE(sp.IsTimerThreadRunning());
  EXPECT_EQ(sp.GetTimedCallCount(), 1);
  // The last device's shutdown ends the thread without waiting for its tick, or never returns.
  auto done = std::async(std::launch::async, [&] {
    return sp.providerShutdown(kVersion, sp.FindDeviceByProviderID(2));
  });
  ASSERT_EQ(done.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(done.get(), 0);
  EXPECT_FALSE(sp.IsTimerThreadRunning());
  EXPECT_EQ(sp.GetTimedCallCount(), 0);
  EXPECT_EQ(sp.GetDeviceCount(), 0);
  // A new first device starts it again; unloading shuts down what is left.
  ASSERT_EQ(Init(1, 0, 1), 0);
  ASSERT_EQ(Init(2, 1, 1), 0);
  EXPECT_TRUE(sp.IsTimerThreadRunning());
  EXPECT_EQ(sp.ExitInstance(), 0);
  EXPECT_EQ(sp.GetDeviceCount(), 0);
  EXPECT_FALSE(sp.IsTimerThreadRunning());
  call->Release();
}

// A line's permanent ID keeps 15 bits of its index, and 0xFFFFFFFF is no line's device ID.
TEST_F(ServiceProviderTest, InitRefusesCountsWhoseIDsWouldRepeatOrWrap) {
  struct Case {
    const char* name;
    DWORD dwLineBase;
    DWORD_PTR dwNumLines;
    DWORD dwPhoneBase;
    DWORD_PTR dwNumPhones;
    LONG lExpected;
  };
  const Case cases[] = {
      {"one line too many for 15 bits", 0, 0x8001, 0, 0, LINEERR_OPERATIONFAILED},
      {"one phone too many for 15 bits", 0, 1, 100, 0x8001, LINEERR_OPERATIONFAILED},
      {"a count that a DWORD cannot hold", 0, 0x100000001, 0, 0, LINEERR_OPERATIONFAILED},
      {"last line on INITIALIZE_NEGOTIATION", 0xFFFFFFFE, 2, 0, 0, LINEERR_OPERATIONFAILED},
      {"lines wrapping round to 0", 0xFFFFFFF0, 0x20, 0, 0, LINEERR_OPERATIONFAILED},
      {"phones wrapping round to 0", 0, 1, 0xFFFFFFFF, 1, LINEERR_OPERATIONFAILED},
      {"last line just below INITIALIZE_NEGOTIATION", 0xFFFFFFFD, 2, 0, 0, 0},
      {"no lines at the very top", 0xFFFFFFFF, 0, 0xFFFFFFFF, 0, 0},
  };
  DWORD dwProviderID = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DWORD dwOptions = 0;
    EXPECT_EQ(sp.providerInit(kVersion, dwProviderID, c.dwLineBase, c.dwPhoneBase, c.dwNumLines,
                              c.dwNumPhones, nullptr, &dwOptions),
              c.lExpected);
    EXPECT_EQ(sp.FindDeviceByProviderID(dwProviderID) != nullptr, c.lExpected == 0);
    ++dwProviderID;
  }
  EXPECT_NE(sp.FindLineByDeviceID(0xFFFFFFFE), nullptr);
  EXPECT_EQ(sp.FindLineByDeviceID(INITIALIZE_NEGOTIATION), nullptr);
}

TEST_F(ServiceProviderTest, FailedInitLeavesNothingBehindAndCanBeRetried) {
  // The line class cannot make objects: the device cannot be completed.
  Classes(nullptr, RUNTIME_CLASS(CTSPIConnection));
  EXPECT_EQ(Init(3, 0, 2), LINEERR_NOMEM);
  EXPECT_EQ(sp.GetDeviceCount(), 0);
  EXPECT_FALSE(sp.IsTimerThreadRunning());

  // The device class makes something that is no device.
  Classes(RUNTIME_CLASS(CObArray), RUNTIME_CLASS(CTSPILineConnection));
  EXPECT_EQ(Init(3, 0, 2), LINEERR_NOMEM);
  EXPECT_EQ(sp.GetDeviceCount(), 0);

  // The device's own initialisation fails.
  Classes(RUNTIME_CLASS(FailingDevice), nullptr);
  EXPECT_NE(Init(3, 0, 2), 0);
  EXPECT_EQ(sp.GetDeviceCount(), 0);
  EXPECT_FALSE(sp.IsTimerThreadRunning());

  Classes(RUNTIME_CLASS(CTSPIDevice), nullptr);
  ASSERT_EQ(Init(3, 0, 2), 0);
  EXPECT_NE(sp.FindLineByDeviceID(1), nullptr);
  EXPECT_TRUE(sp.IsTimerThreadRunning());

  // A failure beside that device keeps it and the timer.
  Classes(RUNTIME_CLASS(FailingDevice), nullptr);
  EXPECT_NE(Init(4, 2, 1), 0);
  EXPECT_EQ(sp.GetDeviceCount(), 1);
  EXPECT_TRUE(sp.IsTimerThreadRunning());
}

TEST_F(ServiceProviderTest, ASecondInitOrAShutdownOfAnUnknownDeviceChangesNothing) {
  ASSERT_EQ(Init(7, 0, 2), 0);
  CTSPIDevice* pDevice = sp.FindDeviceByProviderID(7);
  EXPECT_EQ(Init(7, 10, 3), TSPIERR_DUPLICATEPROVIDER);
  EXPECT_EQ(sp.GetDeviceCount(), 1);
  EXPECT_EQ(sp.FindDeviceByProviderID(7), pDevice);
  EXPECT_EQ(sp.FindLineByDeviceID(10), nullptr);
  EXPECT_EQ(sp.providerShutdown(kVersion, nullptr), 0);
  EXPECT_EQ(sp.GetDeviceCount(), 1);
  EXPECT_TRUE(sp.IsTimerThreadRunning());
  EXPECT_EQ(sp.providerShutdown(kVersion, pDevice), 0);
  // The same pointer again (TAPI shutting down twice): no second delete.
  EXPECT_EQ(sp.providerShutdown(kVersion, pDevice), 0);
  EXPECT_EQ(sp.GetDeviceCount(), 0);
}

TEST_F(ServiceProviderTest, EnumDevicesOfTheBaseReportsNothing) {
  DWORD dwLines = 9;
  DWORD dwPhones = 9;
  auto* hProvider = reinterpret_cast<HPROVIDER>(0x1234);
  EXPECT_EQ(sp.providerEnumDevices(1, &dwLines, &dwPhones, hProvider, nullptr, nullptr), 0);
  EXPECT_EQ(dwLines, 0u);
  EXPECT_EQ(dwPhones, 0u);
  EXPECT_EQ(sp.GetProviderHandle(), hProvider);
  // The devices made afterwards carry TAPI's handle.
  ASSERT_EQ(Init(1, 0, 1), 0);
  EXPECT_EQ(sp.FindDeviceByProviderID(1)->GetProviderHandle(), hProvider);
}

TEST_F(ServiceProviderTest, UIIdentifyNamesThisLibrary) {
  WCHAR name[MAX_PATH];
  std::fill(std::begin(name), std::end(name), u'x');
  EXPECT_EQ(sp.providerUIIdentify(name), 0);
  EXPECT_EQ(std::u16string(name), u"OMBIX.TSP");
}

class DigitsOnlyProvider : public TestProvider {
 public:
  CString FilterDialChars(LPCSTR, LPCSTR) override { return CString("2125551234"); }
};

TEST_F(ServiceProviderTest, DialableAddressesAreCheckedAgainstTheLine) {
  ASSERT_EQ(Init(1, 0, 1), 0);
  CTSPILineConnection* pLine = sp.FindLineByDeviceID(0);
  ASSERT_EQ(pLine->GetLineDevCaps().dwDevCapFlags & LINEDEVCAPFLAGS_DIALDIALTONE, 0u);
  CADObArray entries;
  EXPECT_EQ(sp.ParseDialableAddressList(pLine, nullptr, "w555 1234", entries, 0),
            LINEERR_DIALDIALTONE);
  EXPECT_EQ(entries.GetSize(), 0);
  EXPECT_EQ(sp.ParseDialableAddressList(nullptr, nullptr, "w555 1234", entries, 0), 0);
  ASSERT_EQ(entries.GetSize(), 1);
  EXPECT_STREQ(static_cast<DIALINFO*>(entries[0])->strNumber, "W5551234");
}

TEST(ServiceProviderDialTest, TenDigitFormattingUsesTheProvidersFilter) {
  DigitsOnlyProvider sp;
  EXPECT_STREQ(sp.FormatTenDigitNumber("anything"), "+1 (212) 5551234");
}

TEST_F(ServiceProviderTest, CallParameterDefaultsComeFromTheLine) {
  ASSERT_EQ(Init(1, 0, 1), 0);
  CTSPILineConnection* pLine = sp.FindLineByDeviceID(0);
  pLine->CreateAddress("100", nullptr, TRUE, TRUE, LINEMEDIAMODE_INTERACTIVEVOICE,
                       LINEBEARERMODE_VOICE, 0, 0, nullptr, 1, 1, 1, 0, 0);
  LINECALLPARAMS params{};
  params.dwTotalSize = sizeof(params);
  params.dwMinRate = 0;
  params.DialParams.dwDialSpeed = 77;
  EXPECT_EQ(sp.ApplyCallParamDefaults(pLine, &params), 0);
  const LINEDEVCAPS caps = pLine->GetLineDevCaps();
  EXPECT_EQ(params.dwBearerMode, LINEBEARERMODE_VOICE);
  EXPECT_EQ(params.dwMediaMode, LINEMEDIAMODE_INTERACTIVEVOICE);
  EXPECT_EQ(params.dwAddressMode, LINEADDRESSMODE_ADDRESSID);
  EXPECT_EQ(params.dwMaxRate, caps.dwMaxRate);
  EXPECT_EQ(params.DialParams.dwDialSpeed, 77u);  // a value given is kept
  EXPECT_EQ(params.dwMinRate, 0u);
  EXPECT_EQ(sp.ApplyCallParamDefaults(pLine, nullptr), LINEERR_INVALCALLPARAMS);
  // The defaulted parameters must then suit the line and one of its addresses.
  params.dwMediaMode = LINEMEDIAMODE_DATAMODEM;
  EXPECT_EQ(sp.ApplyCallParamDefaults(pLine, &params), LINEERR_INVALMEDIAMODE);
  params.dwMediaMode = 0;
  params.dwCallParamFlags = LINECALLPARAMFLAGS_SECURE;  // the address cannot
  EXPECT_EQ(sp.ApplyCallParamDefaults(pLine, &params), LINEERR_INVALCALLPARAMS);
}

TEST_F(ServiceProviderTest, LookupsSearchEveryDeviceInOrder) {
  ASSERT_EQ(Init(1, 0, 2, 100, 1), 0);
  ASSERT_EQ(Init(2, 10, 3, 200, 2), 0);
  CTSPIDevice* pFirst = sp.FindDeviceByProviderID(1);
  CTSPIDevice* pSecond = sp.FindDeviceByProviderID(2);
  ASSERT_TRUE(pFirst != nullptr && pSecond != nullptr);
  EXPECT_EQ(sp.FindDeviceByProviderID(3), nullptr);

  EXPECT_EQ(sp.FindLineByDeviceID(1), pFirst->GetLineByIndex(1));
  EXPECT_EQ(sp.FindLineByDeviceID(11), pSecond->GetLineByIndex(1));
  EXPECT_EQ(sp.FindLineByDeviceID(2), nullptr);
  EXPECT_EQ(sp.FindPhoneByDeviceID(201), pSecond->GetPhoneByIndex(1));
  EXPECT_EQ(sp.FindPhoneByDeviceID(11), nullptr);  // a line's ID is no phone's
  EXPECT_EQ(sp.FindConnectionByDeviceID(100, 1), pFirst->GetPhoneByIndex(0));
  EXPECT_EQ(sp.FindConnectionByDeviceID(100, 0), nullptr);
  // (After a device's shutdown: DeviceLookupTest and TspiExportsStressTest.)
}

TEST_F(ServiceProviderTest, DialogDataForALineReachesThatLine) {
  Classes(nullptr, RUNTIME_CLASS(DialogLine));
  ASSERT_EQ(Init(1, 10, 2), 0);
  auto* pFirst = static_cast<DialogLine*>(sp.FindLineByDeviceID(10));
  // What the switch line's dialog asks on the channel: not the framework's own exchange. (From
  // the export to this entry: TspiExportsTest.DialogDataRoutesEverythingElseToTheProvider.)
  DWORD query[2] = {0xFFFF0001, 10};
  // A line given goes before the device; the device alone gets the device's (0 in the library).
  CTSPIDevice* pDevice = sp.FindDeviceByProviderID(1);
  EXPECT_EQ(sp.providerGenericDialogData(pDevice, pFirst, nullptr, nullptr, query, 4),
            DialogLine::kAnswer);
  EXPECT_EQ(pFirst->received.size(), 4u);
  EXPECT_EQ(sp.providerGenericDialogData(pDevice, nullptr, nullptr, nullptr, query, 8), 0);
}

// Lines: device_lookup_test's LinesNumberedAfterTheFactAreFoundByTheirNewIDsOnly.
TEST_F(ServiceProviderTest, CreatePhoneDeviceGivesThePhoneItsNewID) {
  ASSERT_EQ(Init(1, 0, 2, 50, 1), 0);
  EXPECT_EQ(sp.providerCreatePhoneDevice(5, 78), PHONEERR_BADDEVICEID);
  EXPECT_EQ(sp.providerCreatePhoneDevice(50, 51), 0);
  EXPECT_NE(sp.FindPhoneByDeviceID(51), nullptr);
}

}  // namespace

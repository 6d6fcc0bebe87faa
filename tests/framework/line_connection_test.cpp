// The line's capability and status structures, byte for byte, for TAPI 1.3, 1.4 and 2.x, into
// structures that hold everything, that are short, and that are too small for the fixed part.
// Nothing may be written at or past the caller's dwTotalSize (guard bytes; the exact-size runs
// are checked by the address sanitizer).
#include <gtest/gtest.h>

#include "tests/framework/framework_doubles.h"

namespace fw_test {
namespace {

constexpr DWORD kPermanentLineID = (kProviderID << 16) + kLineIndex;
constexpr DWORD kAllLineStates = 0x01F9F9FF;
constexpr DWORD kLineStates13 = 0x0009F9FF;  // without CAPSCHANGE .. REMOVED
// "VOIP Service Provider (Z9410)" and "2001" in UTF-16 with their NULs.
constexpr DWORD kProviderInfoSize = 60;
constexpr DWORD kLineNameSize = 10;
// "tapi/line", NUL, "tapi/providerid", NUL, NUL.
constexpr DWORD kDeviceClassesSize = 54;
const std::string kDeviceClasses = "tapi/line|tapi/providerid||";

struct CapsCase {
  DWORD dwVersion;
  DWORD dwFixedSize;
  DWORD dwLineStates;
};

const CapsCase kCapsCases[] = {
    {0x00010003, 236, kLineStates13},
    {0x00010004, 240, kAllLineStates},
    {0x00020001, 252, kAllLineStates},
};

DWORD Align4(DWORD dw) {
  return (dw + 3) & ~DWORD{3};
}

// What the line of the fixture reports in a structure of dwTotalSize bytes.
CallerBuffer ExpectedCaps(const CapsCase& c, DWORD dwTotalSize, size_t nGuard) {
  const DWORD dwNameOffset = c.dwFixedSize + kProviderInfoSize;
  const DWORD dwClassesOffset = Align4(dwNameOffset + kLineNameSize);
  const bool bClasses = c.dwVersion >= 0x00020000;
  const DWORD dwNeeded =
      bClasses ? dwClassesOffset + kDeviceClassesSize : dwNameOffset + kLineNameSize;
  const bool bNameFits = dwTotalSize >= dwNameOffset + kLineNameSize;
  const bool bClassesFit = bClasses && dwTotalSize >= dwNeeded;

  CallerBuffer bytes(dwTotalSize, nGuard);
  const LINEDEVCAPS zero{};
  bytes.Put(0, zero, c.dwFixedSize);
  bytes.Put(offsetof(LINEDEVCAPS, dwTotalSize), dwTotalSize);
  bytes.Put(offsetof(LINEDEVCAPS, dwNeededSize), dwNeeded);
  DWORD dwUsed = dwNameOffset;
  if (bNameFits) dwUsed = dwNameOffset + kLineNameSize;
  if (bClassesFit) dwUsed = dwNeeded;
  bytes.Put(offsetof(LINEDEVCAPS, dwUsedSize), dwUsed);
  bytes.Put(offsetof(LINEDEVCAPS, dwProviderInfoSize), kProviderInfoSize);
  bytes.Put(offsetof(LINEDEVCAPS, dwProviderInfoOffset), c.dwFixedSize);
  bytes.Put(offsetof(LINEDEVCAPS, dwPermanentLineID), kPermanentLineID);
  if (bNameFits) {
    bytes.Put(offsetof(LINEDEVCAPS, dwLineNameSize), kLineNameSize);
    bytes.Put(offsetof(LINEDEVCAPS, dwLineNameOffset), dwNameOffset);
  }
  bytes.Put(offsetof(LINEDEVCAPS, dwStringFormat), STRINGFORMAT_ASCII);
  bytes.Put(offsetof(LINEDEVCAPS, dwAddressModes), LINEADDRESSMODE_ADDRESSID);
  bytes.Put(offsetof(LINEDEVCAPS, dwBearerModes), LINEBEARERMODE_VOICE);
  bytes.Put(offsetof(LINEDEVCAPS, dwMaxNumActiveCalls), DWORD{2});
  bytes.Put(offsetof(LINEDEVCAPS, dwRingModes), DWORD{1});
  bytes.Put(offsetof(LINEDEVCAPS, dwLineStates), c.dwLineStates);
  if (c.dwFixedSize > offsetof(LINEDEVCAPS, dwLineFeatures)) {
    // The product exports lineMakeCall and lineForward, none of the other feature functions.
    bytes.Put(offsetof(LINEDEVCAPS, dwLineFeatures), LINEFEATURE_MAKECALL | LINEFEATURE_FORWARD);
  }
  if (bClassesFit) {
    bytes.Put(offsetof(LINEDEVCAPS, dwDeviceClassesSize), kDeviceClassesSize);
    bytes.Put(offsetof(LINEDEVCAPS, dwDeviceClassesOffset), dwClassesOffset);
    bytes.PutText(dwClassesOffset, kDeviceClasses);
  }
  bytes.PutText(c.dwFixedSize, std::string(kProviderName) + "|");
  if (bNameFits) bytes.PutText(dwNameOffset, "2001|");
  return bytes;
}

class LineCapsTest : public LineTest, public ::testing::WithParamInterface<CapsCase> {};

// A structure that holds everything, one that is short (room for the provider information and
// 8 bytes more: the line name (10) does not fit), and one smaller than the fixed part.
TEST_P(LineCapsTest, FullStructureHoldsEveryPartAndNeedsWhatItUses) {
  const CapsCase& c = GetParam();
  const DWORD dwTotal = c.dwFixedSize + 200;
  CallerBuffer buffer(dwTotal);
  ASSERT_EQ(line.GetDevCaps(c.dwVersion, 0, buffer.As<LINEDEVCAPS>()), 0);
  EXPECT_EQ(buffer.Bytes(), ExpectedCaps(c, dwTotal, CallerBuffer::kGuard).Bytes());

  const DWORD dwShort = c.dwFixedSize + kProviderInfoSize + 8;
  for (size_t nGuard : {CallerBuffer::kGuard, size_t{0}}) {
    CallerBuffer shortBuffer(dwShort, nGuard);
    ASSERT_EQ(line.GetDevCaps(c.dwVersion, 0, shortBuffer.As<LINEDEVCAPS>()), 0);
    EXPECT_EQ(shortBuffer.Bytes(), ExpectedCaps(c, dwShort, nGuard).Bytes());
  }

  CallerBuffer tooSmall(c.dwFixedSize - 1);
  const std::vector<uint8_t> before = tooSmall.Bytes();
  EXPECT_EQ(line.GetDevCaps(c.dwVersion, 0, tooSmall.As<LINEDEVCAPS>()), LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(tooSmall.Bytes(), before);
}

INSTANTIATE_TEST_SUITE_P(Versions, LineCapsTest, ::testing::ValuesIn(kCapsCases));

TEST_F(LineTest, OlderVersionsDoNotSeeNewerBitsAndTheStoredCapsKeepThem) {
  const DWORD dwBearer =
      LINEBEARERMODE_VOICE | LINEBEARERMODE_PASSTHROUGH | LINEBEARERMODE_RESTRICTEDDATA;
  const DWORD dwMedia = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_VOICEVIEW;
  const DWORD dwFeatures = LINEFEATURE_MAKECALL | LINEFEATURE_SETDEVSTATUS |
                           LINEFEATURE_FORWARDFWD | LINEFEATURE_FORWARDDND;
  line.ChangeCaps([&](LINEDEVCAPS& caps) {
    caps.dwBearerModes = dwBearer;
    caps.dwMediaModes = dwMedia;
    caps.dwLineFeatures = dwFeatures;
  });
  struct {
    DWORD dwVersion, dwBearer, dwMedia, dwFeatures;  // (the line states: LineCapsTest)
  } const cases[] = {
      {0x00020001, dwBearer, dwMedia, dwFeatures},
      {0x00010004, dwBearer & ~LINEBEARERMODE_RESTRICTEDDATA, dwMedia, LINEFEATURE_MAKECALL},
      {0x00010003, LINEBEARERMODE_VOICE, LINEMEDIAMODE_INTERACTIVEVOICE, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dwVersion);
    CallerBuffer buffer(sizeof(LINEDEVCAPS));
    ASSERT_EQ(line.GetDevCaps(c.dwVersion, 0, buffer.As<LINEDEVCAPS>()), 0);
    const LINEDEVCAPS* pCaps = buffer.As<LINEDEVCAPS>();
    EXPECT_EQ(pCaps->dwBearerModes, c.dwBearer);
    EXPECT_EQ(pCaps->dwMediaModes, c.dwMedia);
    if (c.dwVersion >= 0x00010004) {
      EXPECT_EQ(pCaps->dwLineFeatures, c.dwFeatures);
    }
  }
  const LINEDEVCAPS stored = line.GetLineDevCaps();
  EXPECT_EQ(stored.dwBearerModes, dwBearer);
  EXPECT_EQ(stored.dwLineFeatures, dwFeatures);
  EXPECT_EQ(stored.dwLineStates, kAllLineStates);
}

TEST_F(LineTest, TerminalsAreReportedAsOneBlockEachWithFixedSizeTexts) {
  line.AddTerminal("Handset", LINETERMDEV_PHONE, LINETERMMODE_BUTTONS);
  line.AddTerminal("Loudspeaker", LINETERMDEV_SPEAKER, LINETERMMODE_RINGER);
  line.ChangeCaps([](LINEDEVCAPS& caps) {
    caps.dwNumTerminals = 2;
    caps.dwTerminalTextEntrySize = 10;
  });
  CallerBuffer buffer(600);
  ASSERT_EQ(line.GetDevCaps(0x00020001, 0, buffer.As<LINEDEVCAPS>()), 0);
  const LINEDEVCAPS* pCaps = buffer.As<LINEDEVCAPS>();
  const DWORD dwTermCaps = Align4(252 + kProviderInfoSize + kLineNameSize);
  EXPECT_EQ(pCaps->dwTerminalCapsOffset, dwTermCaps);
  EXPECT_EQ(pCaps->dwTerminalCapsSize, 24u);
  EXPECT_EQ(buffer.Dword(dwTermCaps), LINETERMDEV_PHONE);
  EXPECT_EQ(buffer.Dword(dwTermCaps + 12 + 4), LINETERMMODE_RINGER);
  // Nine characters and a NUL each: longer names are cut, shorter ones padded with blanks.
  EXPECT_EQ(pCaps->dwTerminalTextOffset, dwTermCaps + 24);
  EXPECT_EQ(pCaps->dwTerminalTextSize, 40u);
  CallerBuffer text(0);
  text.PutText(0, "Handset  |Loudspeak|");
  const uint8_t* pText = buffer.Bytes().data() + pCaps->dwTerminalTextOffset;
  EXPECT_EQ(std::vector<uint8_t>(pText, pText + 40),
            std::vector<uint8_t>(text.Bytes().begin(), text.Bytes().begin() + 40));
  EXPECT_EQ(pCaps->dwDeviceClassesOffset, dwTermCaps + 64);
  EXPECT_EQ(pCaps->dwNeededSize, dwTermCaps + 64 + kDeviceClassesSize);
  EXPECT_EQ(pCaps->dwUsedSize, pCaps->dwNeededSize);
}

struct StatusCase {
  DWORD dwVersion;
  DWORD dwFixedSize;
};

const StatusCase kStatusCases[] = {{0x00010003, 76}, {0x00010004, 76}, {0x00020001, 88}};

class LineStatusTest : public LineTest, public ::testing::WithParamInterface<StatusCase> {
 protected:
  void SetUp() override {
    LineTest::SetUp();
    line.AddTerminal("Handset", LINETERMDEV_PHONE, 0x1);
    line.AddTerminal("Speaker", LINETERMDEV_SPEAKER, 0x2);
    ASSERT_EQ(Open(GetParam().dwVersion), 0);
  }
  // TAPI's own fields, as TAPI hands the structure in.
  static void FillTapiFields(CallerBuffer& buffer) {
    LINEDEVSTATUS* pStatus = buffer.As<LINEDEVSTATUS>();
    pStatus->dwNumOpens = 3;
    pStatus->dwOpenMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    if (pStatus->dwTotalSize >= sizeof(LINEDEVSTATUS)) {
      pStatus->dwAppInfoSize = 0x20;
      pStatus->dwAppInfoOffset = 0x60;
    }
  }
  CallerBuffer Expected(DWORD dwTotalSize, size_t nGuard = CallerBuffer::kGuard) {
    const StatusCase& c = GetParam();
    const bool bModesFit = dwTotalSize >= c.dwFixedSize + 8;
    CallerBuffer bytes(dwTotalSize, nGuard);
    LINEDEVSTATUS status{};
    status.dwTotalSize = dwTotalSize;
    status.dwNeededSize = c.dwFixedSize + 8;
    status.dwUsedSize = bModesFit ? c.dwFixedSize + 8 : c.dwFixedSize;
    status.dwNumOpens = 3;
    status.dwOpenMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE;
    status.dwLineFeatures = LINEFEATURE_FORWARD;
    status.dwSignalLevel = 0xFFFF;
    status.dwBatteryLevel = 0xFFFF;
    status.dwRoamMode = LINEROAMMODE_UNAVAIL;
    status.dwDevStatusFlags = LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE;
    if (bModesFit) {
      status.dwTerminalModesSize = 8;
      status.dwTerminalModesOffset = c.dwFixedSize;
      bytes.Put(c.dwFixedSize, DWORD{0x1});
      bytes.Put(c.dwFixedSize + 4, DWORD{0x2});
    }
    status.dwAppInfoSize = 0x20;
    status.dwAppInfoOffset = 0x60;
    bytes.Put(0, status, c.dwFixedSize);
    return bytes;
  }
};

// A structure that holds the terminal modes, one with the fixed part only, one too small.
TEST_P(LineStatusTest, FullStructureCarriesTheTerminalModes) {
  for (DWORD dwExtra : {8u, 4u}) {
    const DWORD dwTotal = GetParam().dwFixedSize + dwExtra;
    for (size_t nGuard : {CallerBuffer::kGuard, size_t{0}}) {
      SCOPED_TRACE(dwTotal);
      CallerBuffer buffer(dwTotal, nGuard);
      FillTapiFields(buffer);
      ASSERT_EQ(line.GetLineDevStatus(buffer.As<LINEDEVSTATUS>()), 0);
      EXPECT_EQ(buffer.Bytes(), Expected(dwTotal, nGuard).Bytes());
    }
  }
  CallerBuffer buffer(GetParam().dwFixedSize - 1);
  const std::vector<uint8_t> before = buffer.Bytes();
  EXPECT_EQ(line.GetLineDevStatus(buffer.As<LINEDEVSTATUS>()), LINEERR_STRUCTURETOOSMALL);
  EXPECT_EQ(buffer.Bytes(), before);
}

INSTANTIATE_TEST_SUITE_P(Versions, LineStatusTest, ::testing::ValuesIn(kStatusCases));

TEST_F(LineTest, StatusSumsTheAvailableMediaModesOfTheAddresses) {
  line.AddAddress(LINEMEDIAMODE_INTERACTIVEVOICE);
  line.AddAddress(LINEMEDIAMODE_DATAMODEM);
  ASSERT_EQ(Open(), 0);
  CallerBuffer buffer(sizeof(LINEDEVSTATUS));
  ASSERT_EQ(line.GetLineDevStatus(buffer.As<LINEDEVSTATUS>()), 0);
  EXPECT_EQ(buffer.As<LINEDEVSTATUS>()->dwAvailableMediaModes,
            LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM | LINEMEDIAMODE_UNKNOWN);
}

// (The VARSTRING's layout: device_class_test's FillVarStringTest.)
TEST_F(LineTest, GetIDAnswersTheLinesDeviceClasses) {
  for (const auto& [pszClass, dwValue] :
       {std::pair<LPCSTR, DWORD>{"tapi/line", kDeviceID}, {"TAPI/ProviderID", kProviderID}}) {
    SCOPED_TRACE(pszClass);
    CallerBuffer buffer(28);
    ASSERT_EQ(line.GetID(pszClass, buffer.As<VARSTRING>(), nullptr), 0);
    EXPECT_EQ(buffer.As<VARSTRING>()->dwStringSize, 4u);
    EXPECT_EQ(buffer.Dword(buffer.As<VARSTRING>()->dwStringOffset), dwValue);
  }
  CallerBuffer buffer(28);
  EXPECT_EQ(line.GetID("tapi/phone", buffer.As<VARSTRING>(), nullptr), LINEERR_INVALDEVICECLASS);
}

}  // namespace
}  // namespace fw_test

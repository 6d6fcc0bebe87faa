// Every variable structure the framework fills, with every part it can hold, asked at every size
// from its fixed part to past what it needs: dwNeededSize does not depend on the size given,
// nothing is written past dwTotalSize, the parts that went in lie 4-aligned inside dwUsedSize
// without overlapping, and a structure of exactly dwNeededSize bytes takes every part with
// dwUsedSize == dwNeededSize.
#include <gtest/gtest.h>

#include <cstddef>

#include "framework/device_class.h"
#include "framework/phone_connection.h"
#include "framework/var_struct.h"
#include "tests/framework/framework_doubles.h"

namespace fw_test {
namespace {

// A part: the offsets of its size and offset fields in the structure.
struct Part {
  const char* name;
  size_t nSizeField;
  size_t nOffsetField;
};
#define PART(type, field)                                                      \
  Part {                                                                       \
#field, offsetof(type, dw##field##Size), offsetof(type, dw##field##Offset) \
  }

struct StructRow {
  const char* name;
  DWORD dwFixedSize;
  std::vector<Part> parts;  // every one of them is there at dwNeededSize
  std::function<LONG(CallerBuffer&)> get;
};

// UTF-16 of ASCII text at an offset of the buffer; '|' stands for a NUL.
std::string TextAt(const CallerBuffer& buffer, DWORD dwOffset, DWORD dwSize) {
  std::string text;
  for (DWORD i = 0; i + 1 < dwSize; i += 2) {
    const uint8_t low = buffer.Bytes()[dwOffset + i];
    text += low == 0 ? '|' : static_cast<char>(low);
  }
  return text;
}

// A phone with a display, two buttons, data areas, switch information and a device class.
class TablePhone : public CTSPIPhoneConnection {
 public:
  void Init(CTSPIDevice* pDevice, DWORD dwDeviceID, DWORD dwPos, DWORD_PTR dwItemData) override {
    CTSPIPhoneConnection::Init(pDevice, dwDeviceID, dwPos, dwItemData);
    SetName("Desk");
    SetSwitchInfo("Exchange 7");
    SetupDisplay(10, 2);
    AddButton(PHONEBUTTONFUNCTION_MSGINDICATOR, PHONEBUTTONMODE_FEATURE,
              PHONELAMPMODE_OFF | PHONELAMPMODE_STEADY, PHONELAMPMODE_OFF, "Messages");
    AddButton(PHONEBUTTONFUNCTION_HOLD, PHONEBUTTONMODE_FEATURE, 1, PHONELAMPMODE_DUMMY, "Hold");
    AddGetDataArea(8);
    AddSetDataArea(16);
    SetNegotiatedVersion(0x00020001);
  }
};

class VarStructSizesTest : public ConnectionTest {
 protected:
  void SetUp() override {
    ConnectionTest::SetUp();
    line.AddTerminal("Handset", LINETERMDEV_PHONE, LINETERMMODE_BUTTONS | LINETERMMODE_RINGER);
    line.AddTerminal("Headset", LINETERMDEV_HEADSET, LINETERMMODE_MEDIATOLINE);
    line.ChangeCaps([](LINEDEVCAPS& caps) { caps.dwTerminalTextEntrySize = 9; });
    ASSERT_EQ(Open(), 0);
    pAddress = line.AddAddress();
    ASSERT_NE(pAddress, nullptr);
    {
      CSingleLock lock(pAddress->GetSyncObject(), TRUE);
      const DWORD dwData = 0x55;
      CServiceProvider::AddDeviceClass(pAddress->GetDeviceClassArray(), "comm/datamodem",
                                       STRINGFORMAT_BINARY, &dwData, sizeof(dwData),
                                       INVALID_HANDLE_VALUE);
      pAddress->GetCompletionMessages().Add("Busy");
      pAddress->GetCompletionMessages().Add("Call later");
      pAddress->GetCallTreatments().SetAt(1, "Music");
      pAddress->GetCallTreatments().SetAt(2, "Silence");
    }
    pAddress->ChangeAddressCaps([](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
      caps.dwNumCompletionMessages = 2;
      caps.dwCompletionMsgTextEntrySize = 22;  // ten characters and the NUL
      caps.dwCompletionMsgTextSize = 44;
      caps.dwNumCallTreatments = 2;
      caps.dwCallTreatmentListSize = 2 * sizeof(LINECALLTREATMENTENTRY);
    });
    pAddress->AddForwardEntry(LINEFORWARDMODE_UNCOND, "100", "5551234", 0);
    pAddress->AddForwardEntry(LINEFORWARDMODE_BUSY, nullptr, "200", 0);

    pCall =
        pAddress->FindOrCreateCall(reinterpret_cast<HTAPICALL>(0x301), 0, LINECALLORIGIN_INBOUND,
                                   LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
    ASSERT_NE(pCall, nullptr);
    constexpr DWORD kParty = LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME;
    pCall->SetCallerID(kParty, "5550100", "Ann");
    pCall->SetCalledID(kParty, "2001", "Bob Jones");
    pCall->SetRedirectingID(kParty, "300", "Front desk");
    pCall->AddUserUserInfo("hello", 5);
    pCall->StoreCallData("1234567", 7);
    pCall->StoreQualityOfService("abcdef", 6, "xyz", 3);
    phone.Init(&device, 200, 0, 0);
  }

  // A row for a structure of type T, filled by get.
  template <class T>
  static StructRow Row(const char* name, std::vector<Part> parts, std::function<LONG(T*)> get) {
    return {name, sizeof(T), std::move(parts), [get](CallerBuffer& b) { return get(b.As<T>()); }};
  }

  std::vector<StructRow> Rows() {
    using CI = LINECALLINFO;
    using PC = PHONECAPS;
    return {
        Row<LINEDEVCAPS>("LINEDEVCAPS",
                         {PART(LINEDEVCAPS, ProviderInfo), PART(LINEDEVCAPS, LineName),
                          PART(LINEDEVCAPS, TerminalCaps), PART(LINEDEVCAPS, TerminalText),
                          PART(LINEDEVCAPS, DeviceClasses)},
                         [&](LINEDEVCAPS* p) { return line.GetDevCaps(0x00020001, 0, p); }),
        Row<LINEDEVSTATUS>("LINEDEVSTATUS", {PART(LINEDEVSTATUS, TerminalModes)},
                           [&](LINEDEVSTATUS* p) { return line.GetLineDevStatus(p); }),
        Row<LINEADDRESSCAPS>(
            "LINEADDRESSCAPS",
            {PART(LINEADDRESSCAPS, Address), PART(LINEADDRESSCAPS, CompletionMsgText),
             PART(LINEADDRESSCAPS, CallTreatmentList), PART(LINEADDRESSCAPS, DeviceClasses)},
            [&](LINEADDRESSCAPS* p) { return pAddress->GetAddressCaps(0x00020001, 0, p); }),
        Row<LINEADDRESSSTATUS>(
            "LINEADDRESSSTATUS with forward entries",
            {PART(LINEADDRESSSTATUS, Forward), PART(LINEADDRESSSTATUS, TerminalModes)},
            [&](LINEADDRESSSTATUS* p) { return pAddress->GetAddressStatus(p); }),
        Row<CI>("LINECALLINFO with terminal modes",
                {PART(CI, CallerID), PART(CI, CallerIDName), PART(CI, CalledID),
                 PART(CI, CalledIDName), PART(CI, RedirectingID), PART(CI, RedirectingIDName),
                 PART(CI, TerminalModes), PART(CI, UserUserInfo), PART(CI, CallData),
                 PART(CI, SendingFlowspec), PART(CI, ReceivingFlowspec)},
                [&](CI* p) { return pCall->GetCallInfo(p); }),
        Row<LINECALLSTATUS>("LINECALLSTATUS", {},
                            [&](LINECALLSTATUS* p) { return pCall->GetCallStatus(p); }),
        Row<PC>("PHONECAPS",
                {PART(PC, ProviderInfo), PART(PC, PhoneInfo), PART(PC, PhoneName),
                 PART(PC, ButtonModes), PART(PC, ButtonFunctions), PART(PC, LampModes),
                 PART(PC, SetData), PART(PC, GetData), PART(PC, DeviceClasses)},
                [&](PC* p) { return phone.GetDevCaps(0x00020001, 0, p); }),
        Row<PHONESTATUS>("PHONESTATUS", {PART(PHONESTATUS, Display), PART(PHONESTATUS, LampModes)},
                         [&](PHONESTATUS* p) { return phone.GetStatus(p); }),
        Row<VARSTRING>("VARSTRING of lineGetID", {PART(VARSTRING, String)},
                       [&](VARSTRING* p) { return line.GetID("tapi/line", p, nullptr); }),
    };
  }

  // The structure as it comes back in a buffer of dwTotalSize bytes, with the checks that hold
  // at every size.
  CallerBuffer Ask(const StructRow& row, DWORD dwTotalSize, DWORD dwNeeded) {
    CallerBuffer buffer(dwTotalSize);
    EXPECT_EQ(row.get(buffer), 0) << dwTotalSize;
    const DWORD dwUsed = buffer.Dword(offsetof(VARSTRING, dwUsedSize));
    EXPECT_EQ(buffer.Dword(offsetof(VARSTRING, dwNeededSize)), dwNeeded) << dwTotalSize;
    EXPECT_LE(dwUsed, dwTotalSize);
    EXPECT_TRUE(buffer.GuardIntact()) << dwTotalSize;
    std::vector<std::pair<DWORD, DWORD>> placed;
    for (const Part& part : row.parts) {
      const DWORD dwSize = buffer.Dword(part.nSizeField);
      const DWORD dwOffset = buffer.Dword(part.nOffsetField);
      if (dwSize == 0) continue;
      EXPECT_EQ(dwOffset % 4, 0u) << part.name << " at " << dwTotalSize;
      EXPECT_GE(dwOffset, row.dwFixedSize) << part.name << " at " << dwTotalSize;
      EXPECT_LE(static_cast<uint64_t>(dwOffset) + dwSize, dwUsed)
          << part.name << " at " << dwTotalSize;
      placed.emplace_back(dwOffset, dwSize);
    }
    std::sort(placed.begin(), placed.end());
    for (size_t i = 1; i < placed.size(); ++i) {
      EXPECT_LE(placed[i - 1].first + placed[i - 1].second, placed[i].first)
          << "overlapping parts at " << dwTotalSize;
    }
    return buffer;
  }

  static int Failures() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
  }

  CTSPICallAppearance* pCall = nullptr;
  TablePhone phone;
};

TEST_F(VarStructSizesTest, ExactlyTheNeededSizeTakesEveryPart) {
  for (const StructRow& row : Rows()) {
    SCOPED_TRACE(row.name);
    CallerBuffer fixed(row.dwFixedSize);
    ASSERT_EQ(row.get(fixed), 0);
    const DWORD dwNeeded = fixed.Dword(offsetof(VARSTRING, dwNeededSize));
    ASSERT_GE(dwNeeded, row.dwFixedSize);
    const int nFailuresBefore = Failures();
    // The first size that goes wrong is enough to read; the other rows still run.
    for (DWORD dwTotal = row.dwFixedSize; dwTotal <= dwNeeded + 8 && Failures() == nFailuresBefore;
         ++dwTotal) {
      const CallerBuffer buffer = Ask(row, dwTotal, dwNeeded);
      if (dwTotal < dwNeeded) continue;
      EXPECT_EQ(buffer.Dword(offsetof(VARSTRING, dwUsedSize)), dwNeeded) << dwTotal;
      for (const Part& part : row.parts) {
        EXPECT_NE(buffer.Dword(part.nSizeField), 0u) << part.name << " missing at " << dwTotal;
      }
    }
  }
}

// The contents that point into the structure itself come out where they point.
TEST_F(VarStructSizesTest, PartsThatPointIntoTheStructureHoldWhatTheyName) {
  CallerBuffer probe(sizeof(LINEADDRESSSTATUS));
  ASSERT_EQ(pAddress->GetAddressStatus(probe.As<LINEADDRESSSTATUS>()), 0);
  CallerBuffer status(probe.As<LINEADDRESSSTATUS>()->dwNeededSize);
  ASSERT_EQ(pAddress->GetAddressStatus(status.As<LINEADDRESSSTATUS>()), 0);
  const LINEADDRESSSTATUS* pStatus = status.As<LINEADDRESSSTATUS>();
  ASSERT_EQ(pStatus->dwForwardNumEntries, 2u);
  ASSERT_GE(pStatus->dwForwardSize, 2 * sizeof(LINEFORWARD));
  LINEFORWARD entries[2];
  std::memcpy(entries, status.Bytes().data() + pStatus->dwForwardOffset, sizeof(entries));
  EXPECT_EQ(entries[0].dwForwardMode, static_cast<DWORD>(LINEFORWARDMODE_UNCOND));
  EXPECT_EQ(TextAt(status, entries[0].dwCallerAddressOffset, entries[0].dwCallerAddressSize),
            "100|");
  EXPECT_EQ(TextAt(status, entries[0].dwDestAddressOffset, entries[0].dwDestAddressSize),
            "5551234|");
  EXPECT_EQ(entries[1].dwForwardMode, static_cast<DWORD>(LINEFORWARDMODE_BUSY));
  EXPECT_EQ(entries[1].dwCallerAddressSize, 0u);
  EXPECT_EQ(entries[1].dwCallerAddressOffset, 0u);  // an entry's parts start cleared
  EXPECT_EQ(TextAt(status, entries[1].dwDestAddressOffset, entries[1].dwDestAddressSize), "200|");
  for (const LINEFORWARD& entry : entries) {
    EXPECT_LE(entry.dwDestAddressOffset + entry.dwDestAddressSize,
              pStatus->dwForwardOffset + pStatus->dwForwardSize);
  }

  CallerBuffer capsProbe(sizeof(LINEADDRESSCAPS));
  ASSERT_EQ(pAddress->GetAddressCaps(0x00020001, 0, capsProbe.As<LINEADDRESSCAPS>()), 0);
  CallerBuffer caps(capsProbe.As<LINEADDRESSCAPS>()->dwNeededSize);
  ASSERT_EQ(pAddress->GetAddressCaps(0x00020001, 0, caps.As<LINEADDRESSCAPS>()), 0);
  const LINEADDRESSCAPS* pCaps = caps.As<LINEADDRESSCAPS>();
  EXPECT_EQ(TextAt(caps, pCaps->dwCompletionMsgTextOffset, pCaps->dwCompletionMsgTextSize),
            "Busy      |Call later|");
  ASSERT_EQ(pCaps->dwCallTreatmentListSize, 2 * sizeof(LINECALLTREATMENTENTRY));
  for (DWORD i = 0; i < 2; ++i) {
    LINECALLTREATMENTENTRY entry;
    std::memcpy(&entry, caps.Bytes().data() + pCaps->dwCallTreatmentListOffset + i * sizeof(entry),
                sizeof(entry));
    ASSERT_LE(entry.dwCallTreatmentNameOffset + entry.dwCallTreatmentNameSize, pCaps->dwUsedSize);
    const std::string name(reinterpret_cast<const char*>(caps.Bytes().data()) +
                           entry.dwCallTreatmentNameOffset);
    EXPECT_EQ(name, entry.dwCallTreatmentID == 1 ? "Music" : "Silence");
    EXPECT_EQ(entry.dwCallTreatmentNameSize, name.size() + 1);
  }
  // The address's classes, then the line's, each with its NUL, and the list's NUL and the
  // text's, in UTF-16.
  EXPECT_EQ(TextAt(caps, pCaps->dwDeviceClassesOffset, pCaps->dwDeviceClassesSize),
            "comm/datamodem|tapi/line|tapi/providerid|||");

  // Forwarding cleared: no entry is left to report.
  EXPECT_EQ(pAddress->AddForwardEntry(0, nullptr, nullptr, 0), -1);
  ASSERT_EQ(pAddress->GetAddressStatus(probe.As<LINEADDRESSSTATUS>()), 0);
  EXPECT_EQ(probe.As<LINEADDRESSSTATUS>()->dwForwardNumEntries, 0u);
}

// A part placed after an odd end starts at the next multiple of 4, the padding counted; an
// address with two terminals asked with its fixed part alone needs 8 more bytes for the modes.
TEST_F(VarStructSizesTest, PaddingAndLeftOutPartsAreCountedOnce) {
  CallerBuffer var(40);
  VARSTRING* pVar = var.As<VARSTRING>();
  pVar->dwUsedSize = pVar->dwNeededSize = 26;
  pVar->dwStringOffset = pVar->dwStringSize = 0;
  const DWORD dwData = 0x01020304;
  ASSERT_TRUE(CopyIntoVarStruct(pVar, pVar->dwStringOffset, pVar->dwStringSize, &dwData, 4));
  EXPECT_EQ(pVar->dwStringOffset, 28u);
  EXPECT_EQ(pVar->dwUsedSize, 32u);
  EXPECT_EQ(pVar->dwNeededSize, 32u);

  TestAddress* pPlain = line.AddAddress();  // no forwarding
  ASSERT_NE(pPlain, nullptr);
  CallerBuffer status(sizeof(LINEADDRESSSTATUS));
  ASSERT_EQ(pPlain->GetAddressStatus(status.As<LINEADDRESSSTATUS>()), 0);
  EXPECT_EQ(status.As<LINEADDRESSSTATUS>()->dwNeededSize, 72u);
  EXPECT_EQ(status.As<LINEADDRESSSTATUS>()->dwUsedSize, 64u);
  EXPECT_EQ(status.As<LINEADDRESSSTATUS>()->dwTerminalModesSize, 0u);
  EXPECT_TRUE(status.GuardIntact());
}

}  // namespace
}  // namespace fw_test

// Device classes, the VARSTRING answer of lineGetID, and appending to TAPI's variable-size
// structures without writing past the caller's dwTotalSize.
#include "framework/device_class.h"

#include <memory>

#include "framework/ado_array.h"
#include "framework/var_struct.h"
#include "platform/win32.h"
#include "tests/framework/framework_doubles.h"

namespace {

// A caller's structure followed by guard bytes: a write past dwTotalSize shows.
using GuardedStruct = fw_test::CallerBuffer;

struct VarStringCase {
  const char* what;
  bool withHandle;
  DWORD dwTotalSize;
  DWORD needed, used, stringSize, stringOffset;
};

TEST(FillVarStringTest, AnswersAsLineGetIDDoes) {
  const VarStringCase cases[] = {
      {"device ID 5, room for it", false, 28, 28, 28, 4, 24},
      {"device ID 5, fixed part only", false, 24, 28, 24, 0, 0},
      {"one byte short", false, 27, 28, 24, 0, 0},
      {"handle and data", true, 36, 36, 36, 12, 24},
      {"handle and data, more room", true, 64, 36, 36, 12, 24},
      {"handle and data, one byte short", true, 35, 36, 24, 0, 0},
  };
  CEvent event;
  for (const VarStringCase& c : cases) {
    SCOPED_TRACE(c.what);
    const DWORD dwDeviceID = 5;
    DEVICECLASSINFO entry("tapi/line", STRINGFORMAT_BINARY, &dwDeviceID, sizeof(dwDeviceID),
                          c.withHandle ? static_cast<HANDLE>(event) : INVALID_HANDLE_VALUE);
    GuardedStruct vs(c.dwTotalSize);
    ASSERT_EQ(CServiceProvider::FillVarStringFromDeviceClass(&entry, vs.As<VARSTRING>(),
                                                             GetCurrentProcess()),
              0);
    EXPECT_TRUE(vs.GuardIntact());
    EXPECT_EQ(vs.As<VARSTRING>()->dwTotalSize, c.dwTotalSize);
    EXPECT_EQ(vs.As<VARSTRING>()->dwNeededSize, c.needed);
    EXPECT_EQ(vs.As<VARSTRING>()->dwUsedSize, c.used);
    EXPECT_EQ(vs.As<VARSTRING>()->dwStringFormat, STRINGFORMAT_BINARY);
    EXPECT_EQ(vs.As<VARSTRING>()->dwStringSize, c.stringSize);
    EXPECT_EQ(vs.As<VARSTRING>()->dwStringOffset, c.stringOffset);
    if (c.stringSize == 0) continue;
    const size_t nDataAt = c.withHandle ? 32 : 24;
    EXPECT_EQ(vs.Dword(nDataAt), 5u);
    if (c.withHandle) {
      // The duplicate is a handle of its own to the same event.
      HANDLE hDuplicate = nullptr;
      std::memcpy(&hDuplicate, vs.Bytes().data() + 24, sizeof(hDuplicate));
      EXPECT_NE(hDuplicate, static_cast<HANDLE>(event));
      event.SetEvent();
      EXPECT_EQ(WaitForSingleObject(hDuplicate, 0), WAIT_OBJECT_0);
      event.ResetEvent();
      EXPECT_TRUE(CloseHandle(hDuplicate));
    }
  }
}

TEST(FillVarStringTest, FailsForAHandleThatCannotBeDuplicatedOrATooSmallStructure) {
  CEvent event;
  const DWORD dwData = 1;
  DEVICECLASSINFO entry("comm/datamodem", STRINGFORMAT_BINARY, &dwData, sizeof(dwData), event);
  GuardedStruct vs(64);
  // This platform duplicates only into the own process.
  EXPECT_EQ(CServiceProvider::FillVarStringFromDeviceClass(&entry, vs.As<VARSTRING>(), nullptr),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(vs.As<VARSTRING>()->dwStringSize, 0u);
  EXPECT_TRUE(vs.GuardIntact());

  GuardedStruct tiny(12);  // not even the fixed part
  EXPECT_EQ(CServiceProvider::FillVarStringFromDeviceClass(&entry, tiny.As<VARSTRING>(),
                                                           GetCurrentProcess()),
            LINEERR_STRUCTURETOOSMALL);
  EXPECT_TRUE(tiny.GuardIntact());
}

// Parts of 6, 4, 4 and 3 bytes after a 24-byte fixed part. With every part in they lie at 24, 32,
// 36 and 40, ending at 43: the size TAPI must be told, however many of them fitted.
TEST(VarStructTest, EveryPartCountsOnceWithItsAlignmentWhetherOrNotItFits) {
  constexpr DWORD kLengths[] = {6, 4, 4, 3};
  constexpr DWORD kNeeded = 43;
  struct Case {
    const char* what;
    DWORD total;
    DWORD offsets[4];  // 0: left out
    DWORD used;
  };
  const Case cases[] = {
      {"exactly the needed size", 43, {24, 32, 36, 40}, 43},
      {"more room", 64, {24, 32, 36, 40}, 43},
      {"fixed part only", 24, {0, 0, 0, 0}, 24},
      {"padding of the rest would pass the end", 31, {24, 0, 0, 0}, 30},
      {"two left out, a later one fits", 35, {24, 0, 0, 32}, 35},
      {"one byte short of all", 42, {24, 32, 36, 0}, 40},
  };
  const BYTE data[6] = {1, 2, 3, 4, 5, 6};
  // (Asked again with the size it was told: the first case.)
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GuardedStruct vs(c.total);
    LPVARSTRING p = vs.As<VARSTRING>();
    p->dwUsedSize = p->dwNeededSize = 24;
    for (int i = 0; i < 4; ++i) {
      DWORD dwOffset = 0, dwSize = 0;
      const BOOL bFitted = CopyIntoVarStruct(p, dwOffset, dwSize, data, kLengths[i]);
      EXPECT_EQ(bFitted, c.offsets[i] != 0 ? TRUE : FALSE) << "part " << i;
      EXPECT_EQ(dwOffset, c.offsets[i]) << "part " << i;
      EXPECT_EQ(dwSize, c.offsets[i] != 0 ? kLengths[i] : 0u) << "part " << i;
      if (c.offsets[i] != 0) {
        EXPECT_EQ(std::memcmp(vs.Bytes().data() + c.offsets[i], data, kLengths[i]), 0);
      }
    }
    EXPECT_EQ(p->dwNeededSize, kNeeded);
    EXPECT_EQ(p->dwUsedSize, c.used);
    EXPECT_TRUE(vs.GuardIntact());
  }
}

TEST(DeviceClassInfoTest, KeepsACopyShapedByTheFormat) {
  // An ASCII text of exactly its size, without NUL: nothing past it is read.
  auto text = std::make_unique<char[]>(4);
  std::memcpy(text.get(), "COM1", 4);
  DEVICECLASSINFO ascii("comm", STRINGFORMAT_ASCII, text.get(), 4, INVALID_HANDLE_VALUE);
  ASSERT_EQ(ascii.dwSize, 5u);
  EXPECT_STREQ(static_cast<const char*>(ascii.lpvData), "COM1");

  DEVICECLASSINFO asciiNul("comm", STRINGFORMAT_ASCII, "ab\0cd", 5, INVALID_HANDLE_VALUE);
  ASSERT_EQ(asciiNul.dwSize, 3u);
  EXPECT_STREQ(static_cast<const char*>(asciiNul.lpvData), "ab");

  DEVICECLASSINFO wide("w", STRINGFORMAT_UNICODE, "ab", 2, INVALID_HANDLE_VALUE);
  ASSERT_EQ(wide.dwSize, 4u);
  const WCHAR ab[] = {u'a', u'b'};
  EXPECT_EQ(std::memcmp(wide.lpvData, ab, sizeof(ab)), 0);
  DEVICECLASSINFO wideNul("w", STRINGFORMAT_UNICODE, "ab", 3, INVALID_HANDLE_VALUE);
  EXPECT_EQ(wideNul.dwSize, 6u);

  const BYTE raw[3] = {0, 7, 0};
  DEVICECLASSINFO binary("b", STRINGFORMAT_BINARY, raw, 3, INVALID_HANDLE_VALUE);
  ASSERT_EQ(binary.dwSize, 3u);
  EXPECT_EQ(std::memcmp(binary.lpvData, raw, 3), 0);

  DEVICECLASSINFO none("n", STRINGFORMAT_ASCII, "x", 0, INVALID_HANDLE_VALUE);
  EXPECT_EQ(none.lpvData, nullptr);
  EXPECT_EQ(none.dwSize, 0u);
  EXPECT_FALSE(none.HasHandle());
}

TEST(DeviceClassArrayTest, AddReplacesFindIgnoresCaseRemoveDeletes) {
  CADObArray classes;
  const DWORD first = 1, second = 2, provider = 9;
  EXPECT_EQ(CServiceProvider::AddDeviceClass(classes, "tapi/line", STRINGFORMAT_BINARY, &first, 4,
                                             INVALID_HANDLE_VALUE),
            0);
  EXPECT_EQ(CServiceProvider::AddDeviceClass(classes, "tapi/providerid", STRINGFORMAT_BINARY,
                                             &provider, 4, INVALID_HANDLE_VALUE),
            1);
  // The same name again: the old entry goes, the new one is appended.
  EXPECT_EQ(CServiceProvider::AddDeviceClass(classes, "tapi/line", STRINGFORMAT_BINARY, &second, 4,
                                             INVALID_HANDLE_VALUE),
            1);
  ASSERT_EQ(classes.GetSize(), 2);

  DEVICECLASSINFO* pLine = CServiceProvider::FindDeviceClass(classes, "TAPI/LINE");
  ASSERT_NE(pLine, nullptr);
  EXPECT_STREQ(pLine->strName, "tapi/line");
  EXPECT_EQ(*static_cast<const DWORD*>(pLine->lpvData), 2u);
  EXPECT_EQ(CServiceProvider::FindDeviceClass(classes, "tapi/phone"), nullptr);

  EXPECT_TRUE(CServiceProvider::RemoveDeviceClass(classes, "Tapi/ProviderID"));
  EXPECT_FALSE(CServiceProvider::RemoveDeviceClass(classes, "tapi/providerid"));
  EXPECT_EQ(classes.GetSize(), 1);
}

}  // namespace

#include "platform/win32.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

std::u16string ToWide(const std::string& in, int count) {
  const int needed = MultiByteToWideChar(CP_UTF8, 0, in.data(), count, nullptr, 0);
  EXPECT_GT(needed, 0);
  std::u16string out(static_cast<size_t>(needed), u'\0');
  EXPECT_EQ(needed, MultiByteToWideChar(CP_UTF8, 0, in.data(), count, out.data(), needed));
  return out;
}

std::string ToNarrow(const std::u16string& in, BOOL* used_default = nullptr) {
  const int count = static_cast<int>(in.size());
  const int needed = WideCharToMultiByte(CP_ACP, 0, in.data(), count, nullptr, 0, nullptr, nullptr);
  EXPECT_GT(needed, 0);
  std::string out(static_cast<size_t>(needed), '\0');
  EXPECT_EQ(needed, WideCharToMultiByte(CP_ACP, 0, in.data(), count, out.data(), needed, nullptr,
                                        used_default));
  return out;
}

struct Utf8Case {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

TEST(Win32Text, MultiByteToWideCharDecodesAndReplaces) {
  const Utf8Case cases[] = {
      {"ascii", "abc", u"abc"},
      {"two-byte", "\xC3\xA9", u"\u00E9"},
      {"three-byte", "\xE2\x82\xAC", u"\u20AC"},
      {"supplementary as surrogate pair", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"highest code point", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {"stray continuation", "a\x80z", u"a\uFFFDz"},
      {"invalid lead", "\xFF", u"\uFFFD"},
      {"truncated sequence is one replacement", "\xE2\x82z", u"\uFFFDz"},
      {"truncated at the end", "x\xF0\x9F\x98", u"x\uFFFD"},
      {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.utf16, ToWide(c.utf8, static_cast<int>(c.utf8.size()))) << c.name;
  }
}

TEST(Win32Text, LengthsCountTheNulOnlyWhenAskedAndFailuresLeaveTheirErrors) {
  EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0));
  EXPECT_EQ(std::u16string(u"ab\0", 3), ToWide("ab", -1));
  EXPECT_EQ(std::u16string(u"a\0b", 3), ToWide(std::string("a\0b", 3), 3));
  EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, u"\u00E9x", -1, nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(3, WideCharToMultiByte(CP_UTF8, 0, u"\u00E9x", 2, nullptr, 0, nullptr, nullptr));

  WCHAR wide[8];
  char narrow[8];
  EXPECT_EQ(5, MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, wide, 5));
  EXPECT_EQ(3, WideCharToMultiByte(CP_UTF8, 0, u"\u20AC", 1, narrow, 3, nullptr, nullptr));
  // Each failure returns 0 and leaves its own error.
  auto errorOf = [](int result) { return result == 0 ? static_cast<LONG>(GetLastError()) : 0; };
  SetLastError(0);
  const struct {
    const char* name;
    LONG error;
    LONG expected;
  } calls[] = {
      {"no room for the NUL", errorOf(MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, wide, 4)),
       ERROR_INSUFFICIENT_BUFFER},
      {"NULL input", errorOf(MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, wide, 4)),
       ERROR_INVALID_PARAMETER},
      {"half a surrogate pair",
       errorOf(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, wide, 1)),
       ERROR_INSUFFICIENT_BUFFER},
      {"zero length", errorOf(MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 4)),
       ERROR_INVALID_PARAMETER},
      {"narrow too small",
       errorOf(WideCharToMultiByte(CP_UTF8, 0, u"\u20AC", 1, narrow, 2, nullptr, nullptr)),
       ERROR_INSUFFICIENT_BUFFER},
      {"other code page", errorOf(MultiByteToWideChar(1252, 0, "a", -1, wide, 4)),
       ERROR_INVALID_PARAMETER},
      {"NULL output with a size", errorOf(MultiByteToWideChar(CP_UTF8, 0, "a", -1, nullptr, 4)),
       ERROR_INVALID_PARAMETER},
      {"wide NULL input",
       errorOf(WideCharToMultiByte(CP_UTF8, 0, nullptr, -1, narrow, 4, nullptr, nullptr)),
       ERROR_INVALID_PARAMETER},
      {"wide length -2",
       errorOf(WideCharToMultiByte(CP_UTF8, 0, u"a", -2, narrow, 4, nullptr, nullptr)),
       ERROR_INVALID_PARAMETER},
  };
  for (const auto& call : calls) EXPECT_EQ(call.error, call.expected) << call.name;
}

TEST(Win32Text, WideCharToMultiByteJoinsPairsAndReplacesLoneSurrogates) {
  BOOL used_default = TRUE;
  EXPECT_EQ("\xF0\x9F\x98\x80", ToNarrow(u"\xD83D\xDE00", &used_default));
  EXPECT_FALSE(used_default);
  const char16_t lone_high[] = {u'a', 0xD83D, u'b', 0};
  EXPECT_EQ("a\357\277\275b", ToNarrow(lone_high, &used_default));  // U+FFFD in octal
  EXPECT_TRUE(used_default);
  EXPECT_EQ("\xEF\xBF\xBD", ToNarrow(u"\xDE00"));
  EXPECT_EQ("x\xEF\xBF\xBD", ToNarrow(u"x\xD83D"));  // high surrogate cut off by the count
  // A real U+FFFD in the input is no replacement.
  EXPECT_EQ("\xEF\xBF\xBD", ToNarrow(u"\uFFFD", &used_default));
  EXPECT_FALSE(used_default);
}

TEST(Win32Text, CaseInsensitiveComparisonFoldsAsciiOnlyWhateverTheLocale) {
  EXPECT_EQ(0, lstrcmpiA("TSPI_lineMakeCall", "tspi_LINEMAKECALL"));
  EXPECT_LT(lstrcmpiA("apple", "Banana"), 0);
  EXPECT_GT(lstrcmpiA("b", "A"), 0);
  EXPECT_LT(lstrcmpiA("abc", "abcd"), 0);
  EXPECT_LT(lstrcmpiA(nullptr, ""), 0);
  EXPECT_EQ(0, lstrcmpiA(nullptr, nullptr));
  EXPECT_EQ(0, _stricmp("Tapi/Line", "tapi/line"));
  EXPECT_NE(0, _stricmp("\xC3\x89", "\xC3\xA9"));  // non-ASCII bytes compare as they are
  EXPECT_GT(_stricmp("\xC3", "a"), 0);             // bytes compare unsigned
  EXPECT_EQ(0, _strnicmp("DEVICE1", "device2", 6));
  EXPECT_NE(0, _strnicmp("DEVICE1", "device2", 7));
  EXPECT_EQ(0, _strnicmp("ab", "AB", 10));
  EXPECT_EQ(0, lstrlenA(nullptr));
  EXPECT_EQ(3, lstrlenA("abc"));

  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"tr_TR.UTF-8", "tr_TR.ISO-8859-9", "C.UTF-8", "C"}) {
    if (std::setlocale(LC_ALL, locale) == nullptr) continue;
    EXPECT_EQ(0, lstrcmpiA("LINE", "line")) << locale;  // the Turkish dotless i must not matter
    EXPECT_EQ(0, _strnicmp("IP1", "ip1", 3)) << locale;
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(Win32Format, WsprintfFollowsThePlatformSizePrefixes) {
  char buf[1024];
  auto format = [&buf](auto... args) {
    const int length = wsprintfA(buf, args...);
    EXPECT_EQ(length, static_cast<int>(std::strlen(buf)));
    return std::string(buf);
  };
  const DWORD all_ones = 0xFFFFFFFF;
  const WCHAR wide[] = u"w\u00E9";
  EXPECT_EQ(format("Device%ld", DWORD{7}), "Device7");
  EXPECT_EQ(format("%ld %lu %08lX %lx", all_ones, all_ones, DWORD{0xBEEF}, all_ones),
            "-1 4294967295 0000BEEF ffffffff");
  EXPECT_EQ(format("[%5d][%-5d][%05d][%.3d][%#x][%#X]", 42, 42, -42, 7, 31, 31),
            "[   42][42   ][-0042][007][0x1f][0X1F]");
  EXPECT_EQ(format("%hd %hu %I64u %I64d", 65535, 65535, 10000000000ULL, -5LL),
            "-1 65535 10000000000 -5");
  EXPECT_EQ(format("[%s][%5s][%-3s][%.2s][%hs]", "abc", "ab", "a", "xyz", "n"),
            "[abc][   ab][a  ][xy][n]");
  EXPECT_EQ(
      format("[%ls][%S][%c][%lc][%%][%s]", wide, wide, 'q', u'\u00E9', static_cast<char*>(nullptr)),
      "[w\xC3\xA9][w\xC3\xA9][q][\xC3\xA9][%][(null)]");
  EXPECT_EQ(format("%p", reinterpret_cast<void*>(0x1234)), "0000000000001234");
}

TEST(Win32Format, WsprintfStopsAt1024BytesWithTheNul) {
  const std::string long_text(3000, 'x');
  std::vector<char> buf(4096, '#');
  EXPECT_EQ(1023, wsprintfA(buf.data(), "%s%s", long_text.c_str(), "tail"));
  EXPECT_EQ('\0', buf[1023]);
  EXPECT_EQ('#', buf[1024]);
  EXPECT_EQ(1023, wsprintfA(buf.data(), "%999999999999d", 1));  // huge widths stay bounded
}

TEST(Win32Time, TicksAdvanceWrapSafelyAndSystemTimeIsUtc) {
  EXPECT_EQ(250u, ElapsedTicks(100, 350));
  EXPECT_EQ(0x200u, ElapsedTicks(0xFFFFFF00, 0x00000100));
  EXPECT_EQ(1u, ElapsedTicks(0xFFFFFFFF, 0));
  EXPECT_TRUE(IsTickDue(1000, 1000));
  EXPECT_FALSE(IsTickDue(1001, 1000));
  EXPECT_FALSE(IsTickDue(0x00000010, 0xFFFFFFF0));  // due just after the wrap, not yet there
  EXPECT_TRUE(IsTickDue(0xFFFFFFF0, 0x00000010));   // due just before the wrap, now after it

  const DWORD start = GetTickCount();
  Sleep(5);
  EXPECT_GE(ElapsedTicks(start, GetTickCount()), 5u);

  const time_t before = time(nullptr);
  SYSTEMTIME st{};
  GetSystemTime(&st);
  const time_t after = time(nullptr);
  bool matches = false;
  for (time_t t : {before, after}) {
    tm utc{};
    gmtime_r(&t, &utc);
    matches = matches ||
              (st.wYear == utc.tm_year + 1900 && st.wMonth == utc.tm_mon + 1 &&
               st.wDay == utc.tm_mday && st.wHour == utc.tm_hour && st.wDayOfWeek == utc.tm_wday);
  }
  EXPECT_TRUE(matches);
  EXPECT_LT(st.wMilliseconds, 1000);
}

TEST(Win32Threads, ThreadIdsAndLastErrorArePerThread) {
  const DWORD mine = GetCurrentThreadId();
  EXPECT_NE(0u, mine);
  EXPECT_EQ(mine, GetCurrentThreadId());
  SetLastError(1234);
  DWORD other_id = 0;
  DWORD other_error = 99;
  std::thread([&] {
    other_id = GetCurrentThreadId();
    other_error = GetLastError();
    SetLastError(5);
  }).join();
  EXPECT_NE(0u, other_id);
  EXPECT_NE(mine, other_id);
  EXPECT_EQ(0u, other_error);
  EXPECT_EQ(1234u, GetLastError());
}

TEST(Win32Threads, InterlockedOperationsAreAtomic) {
  volatile LONG value = 5;
  EXPECT_EQ(6, InterlockedIncrement(&value));
  EXPECT_EQ(5, InterlockedDecrement(&value));
  EXPECT_EQ(5, InterlockedExchange(&value, 9));
  EXPECT_EQ(9, InterlockedCompareExchange(&value, 1, 8));  // no match: unchanged
  EXPECT_EQ(9, value);
  EXPECT_EQ(9, InterlockedCompareExchange(&value, 1, 9));
  EXPECT_EQ(1, value);

  volatile LONG counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) InterlockedIncrement(&counter);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(40000, counter);
}

// The module holding the platform code is this program; its directory is searched first for a
// bare name (where the provider's companion libraries live).
TEST(Win32Modules, SystemDirectoryIsTheModulesAndSearchedFirst) {
  char exe[PATH_MAX];
  ASSERT_NE(nullptr, realpath("/proc/self/exe", exe));
  std::string expected(exe);
  expected.resize(expected.rfind('/'));

  const UINT needed = GetSystemDirectoryA(nullptr, 0);
  EXPECT_EQ(expected.size() + 1, needed);
  std::vector<char> buf(needed);
  EXPECT_EQ(expected.size(), GetSystemDirectoryA(buf.data(), needed));
  EXPECT_EQ(expected, std::string(buf.data()));
  char small[2] = {'#', '#'};
  EXPECT_EQ(needed, GetSystemDirectoryA(small, 2));

  // The test library is built next to this program, outside the loader's own search.
  const std::string path = OMBIX_WINAPP_TESTLIB;
  ASSERT_EQ(path.substr(0, path.rfind('/')), expected);
  HMODULE module = LoadLibraryA(path.substr(path.rfind('/') + 1).c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_NE(GetProcAddress(module, "OmbixTestExported"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(module, "TSPI_lineMakeCall"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(module, reinterpret_cast<LPCSTR>(12)), nullptr);  // ordinal
  EXPECT_EQ(GetProcAddress(nullptr, "OmbixTestExported"), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
  for (const char* name : {"NO-SUCH-LIBRARY.DLL", "/nonexistent/ombix-none.so"}) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(name), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  }
}

TEST(Win32Modules, OutputDebugStringOnlyWhenAskedFor) {
  unsetenv("OMBIX_DEBUG");
  testing::internal::CaptureStderr();
  OutputDebugStringA("hidden\n");
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  setenv("OMBIX_DEBUG", "1", 1);
  testing::internal::CaptureStderr();
  OutputDebugStringA("shown\n");
  OutputDebugStringA(nullptr);
  EXPECT_EQ("shown\n", testing::internal::GetCapturedStderr());
  unsetenv("OMBIX_DEBUG");
}

}  // namespace

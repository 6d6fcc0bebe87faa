#include "switchapi/ombix_trace.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "switchapi/ombix_decoder.h"
#include "switchapi/ombix_message_types.h"
#include "tests/switchapi/datagram_builder.h"

namespace {

// One field line: the label right-aligned in 24 characters.
std::string L(const std::string& label, const std::string& value) {
  return std::string(label.size() < 24 ? 24 - label.size() : 0, ' ') + label + ": " + value + "\n";
}

std::string Head(const char* dir, int bytes, int seq, const std::string& type) {
  char sz[128];
  std::snprintf(sz, sizeof(sz),
                "13:01:02: %s %4d bytes ----------------------------------------------------\n\n",
                dir, bytes);
  return sz + L("dwMsgSeq", std::to_string(seq)) + L("dwMsgType", type);
}

class OmbixTraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    m_out = open_memstream(&m_buffer, &m_size);
    m_trace.SetOutput(m_out);
    m_trace.SetClock([] { return static_cast<std::time_t>(13 * 3600 + 62); });
    m_trace.SetFlags(kOmbixTracePrint);
  }
  void TearDown() override {
    std::fclose(m_out);
    std::free(m_buffer);
  }
  std::string Text() {
    std::fflush(m_out);
    return std::string(m_buffer, m_size);
  }
  std::string Received(const TestDatagram& d) {
    m_trace.TraceReceived(d.data(), d.size());
    return Text();
  }

  COmbixTrace m_trace;
  std::FILE* m_out = nullptr;
  char* m_buffer = nullptr;
  std::size_t m_size = 0;
};

// Switches LC_TIME to a locale whose day and month names are not English, for the life of the
// object; Active() is false when no such locale is installed or was built with the tests.
class OtherTimeLocale {
 public:
  OtherTimeLocale() {
    const char* pszLocPath = std::getenv("LOCPATH");
    if (pszLocPath != nullptr) m_savedLocPath = pszLocPath;
    for (const char* pszName : {"fr_FR.UTF-8", "de_DE.UTF-8", "es_ES.UTF-8", "fr_FR", "de_DE"}) {
      if (std::setlocale(LC_TIME, pszName) != nullptr) break;
    }
#ifdef OMBIX_TEST_LOCPATH
    if (!Active()) {
      setenv("LOCPATH", OMBIX_TEST_LOCPATH, 1);
      std::setlocale(LC_TIME, "fr_FR.UTF-8");
    }
#endif
  }
  ~OtherTimeLocale() {
    std::setlocale(LC_TIME, "C");
    if (m_savedLocPath) {
      setenv("LOCPATH", m_savedLocPath->c_str(), 1);
    } else {
      unsetenv("LOCPATH");
    }
  }
  // The locale in force names Thursday 1 January 1970 otherwise than "Thu Jan".
  bool Active() const {
    const std::time_t t = 0;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char sz[64] = "";
    std::strftime(sz, sizeof(sz), "%a %b", &tm);
    return std::string(sz) != "Thu Jan";
  }

 private:
  std::optional<std::string> m_savedLocPath;
};

TEST_F(OmbixTraceTest, FlagWordSelectsWhatIsDumped) {
  struct Case {
    DWORD flags;
    bool data, ack, ping;
  };
  for (const Case& c : {Case{0, false, false, false}, Case{0x1, true, false, false},
                        Case{0x11, true, true, false}, Case{0x31, true, true, true},
                        Case{0x10, false, false, false}, Case{0x20, false, false, false},
                        Case{0x2, false, false, false}, Case{0x4, false, false, false}}) {
    m_trace.SetFlags(c.flags);
    const std::size_t before = Text().size();
    for (DWORD type : {OMBIX_MAKE_CALL_RSP, OMBIX_ACK, OMBIX_PING}) Received(TestDatagram(1, type));
    const std::string text = Text().substr(before);
    EXPECT_EQ(text.find("OMBIX_MAKE_CALL_RSP") != std::string::npos, c.data) << c.flags;
    EXPECT_EQ(text.find("OMBIX_ACK") != std::string::npos, c.ack) << c.flags;
    EXPECT_EQ(text.find("OMBIX_PING") != std::string::npos, c.ping) << c.flags;
  }
}

// Event 4 (conference data, no call list) is in the switch-decode test's capture.
TEST_F(OmbixTraceTest, MeetMeEventWithCallsPrintsTheCallList) {
  TestDatagram withCalls(1, 20);
  withCalls.U32(5).Oid(0).U32s({1, 0, 1}).Oid(0x20).U32(86400 * 40).Str("id").Str("info").U32(2);
  const std::string calls = Received(withCalls);
  EXPECT_NE(calls.find(L("dwCalls", "1") + "\n" + L("Call 0", "") +
                       L("m_oidCall", "2021.2223.2425.2627.2829.2A2B") +
                       L("tConnect", "Tue Feb 10 00:00:00 1970") + L("strCallerID", "id")),
            std::string::npos);
}

// The host's time locale is not the trace's: day and month names stay English.
TEST_F(OmbixTraceTest, DateNamesDoNotFollowTheHostsTimeLocale) {
  const OtherTimeLocale locale;
  if (!locale.Active()) {
    GTEST_SKIP() << "no locale with other day names is installed, nor could one be built";
  }
  TestDatagram entry(1, 339);
  entry.U32s({1, 0, 1, 0, 0, 0, 0, 1, 42}).Str("301").Str("Bob").U32s({86400 * 40 + 3723, 0, 0});
  EXPECT_NE(Received(entry).find(L("tTime", "Tue Feb 10 01:02:03 1970")), std::string::npos)
      << Text();
}

// The trace knows a received layout for exactly the types the decoder makes a class for, and for
// the three control datagrams.
TEST_F(OmbixTraceTest, ReceivedLayoutsAreTheDecodersTypes) {
  m_trace.SetFlags(kOmbixTracePrint | kOmbixTraceAcks | kOmbixTracePings);
  for (DWORD t = 0; t < 1100; ++t) {
    const TestDatagram d(1, t);
    const std::unique_ptr<COmbixMsg> msg = DecodeMessage(d.data(), d.size());
    const bool bDecoded = typeid(*msg) != typeid(COmbixMsg);
    const std::size_t before = Text().size();
    const std::string text = Received(d).substr(before);
    const bool bKnown = text.find("Unrecognized OmbixAPI message!") == std::string::npos;
    EXPECT_EQ(bKnown, bDecoded || t == OMBIX_DISCONNECT || t == OMBIX_ACK || t == OMBIX_PING)
        << "type " << t;
  }
}

// The response's head, then each entry after an empty line: durations as minutes and seconds,
// flags with their names.
TEST_F(OmbixTraceTest, VoiceMailEntries) {
  TestDatagram entries(1, 339);
  entries.U32s({1, 0, 1, 0, 0, 2, 0, 2, 42}).Str("301").Str("Bob").U32s({0, 125, 0x126, 43});
  entries.Str("").Str("").U32s({0, 6000, 0});
  const std::string time = "Thu Jan  1 00:00:00 1970";
  EXPECT_NE(Received(entries).find(
                L("dwError", "0") + L("dwCommand", "VOICEMAIL_MSG_LIST") +
                L("dwFolderID", "VOICEMAIL_INBOX") + L("dwMsgID", "0") + L("dwTotal", "2") +
                L("dwIndex", "0") + L("dwCount", "2") + L("", "") + L("dwMsgID", "42") +
                L("strNumber", "301") + L("strName", "Bob") + L("tTime", time) +
                L("dwDuration", "02:05") + L("dwFlags", "0x126") +
                L("", "VOICEMAIL_MSG_FLAG_READ") + L("", "VOICEMAIL_MSG_FLAG_FORWARDED") +
                L("", "VOICEMAIL_MSG_FLAG_REPLIED") + L("", "VOICEMAIL_MSG_FLAG_PRIVATE") +
                L("", "") + L("dwMsgID", "43") + L("strNumber", "") + L("strName", "") +
                L("tTime", time) + L("dwDuration", "100:00") + L("dwFlags", "0x00") + "\n\n"),
            std::string::npos)
      << Text();
}

TEST_F(OmbixTraceTest, PhoneFeaturesPrintInTheirListedOrder) {
  TestDatagram config(1, 335);
  config.U32s({1, 0}).Str("T").U32s({0, 0, 0x01800003, 0, 0, 1}).Str("201").Str("").U32(3);
  const std::string text = Received(config.Str("pw").Str("ph"));
  EXPECT_NE(text.find(L("dwFeatures", "0x01800003") + L("", "PHONE_FEATURES_DO_NOT_DISTURB") +
                      L("", "PHONE_FEATURES_CALL_FORWARD_ALL") +
                      L("", "PHONE_FEATURES_CALL_FORWARD_NO_ANSWER") +
                      L("", "PHONE_FEATURES_CALL_FORWARD_BUSY") + L("dwFeaturesEx", "0")),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(L("dwLineAppearances", "1") +
                      L("LineAppearance0", "201/Unknown/DEVICE_TYPE_PHONE") +
                      L("strPhonePassword", "pw")),
            std::string::npos);
}

// A string of the largest capacity, and the longest line of all: a data-interface instance, three
// such strings.
TEST_F(OmbixTraceTest, LongestLinesAreWrittenWhole) {
  const std::string a(1023, 'a'), b(1023, 'b'), c(1023, 'c');
  Received(TestDatagram(1, 519).U32s({1, 0}).Str("x").Str(a + "cut"));
  const std::string text =
      Received(TestDatagram(1, 527).U32s({1, 0}).Str("i").Str("d").U32(1).Str(a).Str(b).Str(c));
  EXPECT_NE(text.find(L("strValue", a)), std::string::npos);
  EXPECT_NE(text.find(L("Instance[0]", a + " / " + b + " / " + c) + "\n\n"), std::string::npos);
}

TEST_F(OmbixTraceTest, HugeCountsStopAtWhatOneDatagramHolds) {
  const std::string text =
      Received(TestDatagram(1, 17).U32(1).Str("").Oid(0).U32s({0, 0, 0, 0xFFFFFFFF}));
  std::size_t lines = 0;
  for (std::size_t pos = text.find("Connection"); pos != std::string::npos;
       pos = text.find("Connection", pos + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 4096u / 20u);
}

// Two threads tracing at once: each dump stays in one piece.
TEST_F(OmbixTraceTest, DumpsOfTwoThreadsDoNotInterleave) {
  const TestDatagram a = TestDatagram(1, 279).U32s({1, 1, 2}).Str("aaa").U32(3);
  const TestDatagram b = TestDatagram(2, 266).U32(1).Str("bbb").Oid(0).U32(4);
  auto run = [this](const TestDatagram& d, bool sent) {
    for (int i = 0; i < 100; ++i) {
      sent ? m_trace.TraceSent(d.data(), d.size()) : m_trace.TraceReceived(d.data(), d.size());
    }
  };
  std::thread ta(run, a, false);
  std::thread tb(run, b, true);
  ta.join();
  tb.join();
  const std::string text = Text();
  const std::string blockA = Head("Recv", a.size(), 1, "OMBIX_MONITOR_START_RSP") +
                             L("dwInvokeID", "1") + L("dwError", "OMBIX_ERROR_INVALID_PASSWORD") +
                             L("dwMonitorID", "2") + L("strDevice", "aaa") +
                             L("dwDeviceType", "DEVICE_TYPE_PHONE") + "\n\n";
  const std::string blockB = Head("Send", b.size(), 2, "OMBIX_DROP_CONNECTION_REQ") +
                             L("dwInvokeID", "1") + L("strDevice", "bbb") +
                             L("oidCall", "0001.0203.0405.0607.0809.0A0B") + L("dwReason", "4") +
                             "\n\n";
  std::size_t pos = 0;
  int blocks = 0;
  while (pos < text.size()) {
    if (text.compare(pos, blockA.size(), blockA) == 0) {
      pos += blockA.size();
    } else if (text.compare(pos, blockB.size(), blockB) == 0) {
      pos += blockB.size();
    } else {
      FAIL() << "interleaved output at " << pos;
    }
    ++blocks;
  }
  EXPECT_EQ(blocks, 200);
}

}  // namespace

// The decoder: the class of every message type, one hand-built datagram per body layout, and the
// edge cases of counts, cut strings and short datagrams. Each layout case checks the fields at the
// start, the list elements and the last field, which is only right when every field before it
// was read with its own size.
#include "switchapi/ombix_decoder.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <typeindex>
#include <vector>

#include "tests/switchapi/datagram_builder.h"

namespace {

std::unique_ptr<COmbixMsg> Decode(const TestDatagram& d) {
  return DecodeMessage(d.data(), d.size());
}

template <class T>
const T& As(const std::unique_ptr<COmbixMsg>& msg) {
  const T* p = dynamic_cast<const T*>(msg.get());
  if (p == nullptr) throw std::runtime_error("wrong class");
  return *p;
}

// The decoded message as its class (kept for the test's life); throws when it is of another.
template <class T>
const T& DecodeAs(const TestDatagram& d) {
  static std::vector<std::unique_ptr<COmbixMsg>> kept;
  kept.push_back(Decode(d));
  return As<T>(kept.back());
}

// The class of every message type, by number.
TEST(OmbixDecoderTest, EveryTypeDecodesIntoItsClass) {
  std::map<DWORD, std::type_index> classes;
  for (DWORD t : {257, 259, 261, 263, 265, 267, 271, 281, 283, 285, 287, 289, 291,
                  293, 295, 297, 299, 303, 305, 311, 313, 315, 321, 323, 325, 327,
                  329, 331, 341, 349, 351, 361, 511, 521, 523, 525, 529}) {
    classes.emplace(t, typeid(COmbixRsp));
  }
  const std::vector<std::pair<std::vector<DWORD>, std::type_index>> groups = {
      {{273}, typeid(COmbixLoginRsp)},
      {{275, 307, 309, 343}, typeid(COmbixMakeCallRsp)},
      {{269, 301}, typeid(COmbixCallDataRsp)},
      {{279}, typeid(COmbixMonitorRsp)},
      {{359}, typeid(COmbixMonitorSecureRsp)},
      {{317}, typeid(COmbixRemoteModeRsp)},
      {{319}, typeid(COmbixCallForwardingRsp)},
      {{333}, typeid(COmbixRTPStatisticsRsp)},
      {{335}, typeid(COmbixPhoneConfigRsp)},
      {{339}, typeid(COmbixVoiceMailRsp)},
      {{345, 363}, typeid(COmbixPlayPromptRsp)},
      {{347}, typeid(COmbixCollectDigitsRsp)},
      {{353}, typeid(COmbixAgentListRsp)},
      {{355, 357}, typeid(COmbixEventFilterRsp)},
      {{367}, typeid(COmbixAgentStatsRsp)},
      {{369}, typeid(COmbixQuerySecondaryPhones)},
      {{513, 517}, typeid(COmbixDirectoryRsp)},
      {{519}, typeid(COmbixApplicationDataRsp)},
      {{527}, typeid(COmbixDataInterfaceQueryRsp)},
      {{769, 771, 773, 779, 785, 787}, typeid(COmbixMeetMeRsp)},
      {{775}, typeid(COmbixMeetMeMonitorRsp)},
      {{783}, typeid(COmbixMeetMeQueryRsp)},
      {{16}, typeid(COmbixAgentEvent)},
      {{17}, typeid(COmbixCallConnectionEvent)},
      {{18}, typeid(COmbixQueueStatsEvent)},
      {{19}, typeid(COmbixPhoneStateEvent)},
      {{20}, typeid(COmbixMeetMeConferenceEvent)},
      {{21}, typeid(COmbixCallMediaEvent)},
      {{22}, typeid(COmbixClientMonitorEvent)},
      {{23}, typeid(COmbixDataInterfaceEvent)},
  };
  for (const auto& [types, cls] : groups) {
    for (DWORD t : types) classes.emplace(t, cls);
  }
  for (DWORD t = 0; t < 1100; ++t) {
    const std::unique_ptr<COmbixMsg> msg = Decode(TestDatagram(1, t));
    ASSERT_NE(msg, nullptr);
    EXPECT_EQ(msg->dwMsgType, t);
    const auto it = classes.find(t);
    const std::type_index expected = it != classes.end() ? it->second : typeid(COmbixMsg);
    EXPECT_EQ(std::type_index(typeid(*msg)), expected) << "type " << t;
    EXPECT_EQ(OmbixAsResponse(msg.get()) != nullptr, t >= 256 && t % 2 == 1 && it != classes.end())
        << "type " << t;
  }
}

struct EdgeCase {
  const char* name;
  TestDatagram datagram;
  std::function<void(const std::unique_ptr<COmbixMsg>&)> check;
};

TEST(OmbixDecoderTest, EdgeCases) {
  // clang-format off
  const std::vector<EdgeCase> cases = {
      {"call event: count 2, datagram ends after the first connection",
       TestDatagram(0, 17).U32(4).Str("201").Oid(0x10).U32s({4, 0, 1000, 2})
           .U32(900).Str("301").Str("Bob").U32s({3, 4}),
       [](const auto& msg) {
         const auto& e = As<COmbixCallConnectionEvent>(msg);
         ASSERT_EQ(e.dwConnectionCount, 2u);
         EXPECT_EQ(e.pConnections[0].tTime, 900);
         EXPECT_STREQ(e.pConnections[0].strName, "Bob");
         EXPECT_EQ(e.pConnections[0].dwState, CS_CONNECTED);
         EXPECT_STREQ(e.pConnections[1].strNumber, "");
         EXPECT_EQ(e.pConnections[1].tTime, 0);
         EXPECT_EQ(e.pConnections[1].dwState, 0);
         EXPECT_EQ(e.oidRelated, ObjectId{});
       }},
      {"call event: count 0 reads oidRelated right after tEventTime",
       TestDatagram(0, 17).U32(4).Str("201").Oid(0x10).U32s({4, 0, 1000, 0}).Oid(0x30).Str("55").Str("ph"),
       [](const auto& msg) {
         const auto& e = As<COmbixCallConnectionEvent>(msg);
         EXPECT_EQ(e.dwConnectionCount, 0u);
         EXPECT_EQ(e.pConnections, nullptr);
         EXPECT_EQ(e.oidRelated, TestOid(0x30));
         EXPECT_STREQ(e.strDialedDigits, "55");
         EXPECT_STREQ(e.strActivePhone, "ph");
       }},
      {"call event: a huge count is bounded and reads as empty connections",
       TestDatagram(0, 17).U32(4).Str("201").Oid(0x10).U32s({4, 0, 1000, 0xFFFFFFFF}),
       [](const auto& msg) {
         const auto& e = As<COmbixCallConnectionEvent>(msg);
         EXPECT_EQ(e.dwConnectionCount, kOmbixMaxDatagram / kOmbixConnectionMinSize);
         EXPECT_EQ(e.pConnections[e.dwConnectionCount - 1].dwState, 0);
       }},
      {"meetme event 4: conference data, no call list",
       TestDatagram(0, 20).U32(5).Oid(0x10).U32s({4, 100, 200, 60, 8, 6}).Str("topic").U32(1),
       [](const auto& msg) {
         const auto& e = As<COmbixMeetMeConferenceEvent>(msg);
         EXPECT_EQ(e.dwCalls, 0u);
         EXPECT_EQ(e.pCalls, nullptr);
         EXPECT_EQ(e.dwStartTime, 200);
         EXPECT_STREQ(e.strTopic, "topic");
         EXPECT_EQ(e.dwLocked, 1u);
       }},
      {"meetme event 1: call list, no topic",
       TestDatagram(0, 20).U32(5).Oid(0x10).U32s({1, 100, 1}).Oid(0x40).U32(300).Str("cid")
           .Str("info").U32(2),
       [](const auto& msg) {
         const auto& e = As<COmbixMeetMeConferenceEvent>(msg);
         ASSERT_EQ(e.dwCalls, 1u);
         EXPECT_EQ(e.pCalls[0].m_oidCall, TestOid(0x40));
         EXPECT_STREQ(e.pCalls[0].strCallerInfo, "info");
         EXPECT_EQ(e.pCalls[0].dwState, 2u);
         EXPECT_STREQ(e.strTopic, "");
       }},
      {"secondary phones: 12 sent, 10 kept",
       [] {
         TestDatagram d(0, 369);
         d.U32s({1, 0, 12});
         for (int i = 0; i < 12; ++i) d.Str(std::string(1, 'p').append(std::to_string(i)));
         return d;
       }(),
       [](const auto& msg) {
         const auto& r = As<COmbixQuerySecondaryPhones>(msg);
         EXPECT_EQ(r.dwPhoneCount, 10u);
         EXPECT_STREQ(r.strPhone[9], "p9");
       }},
      {"data length 100 with 60 bytes present",
       [] {
         TestDatagram d(0, 23);
         d.U32(1).Str("dev").Str("if").U32(5).Str("src").Str("inst").U32s({2, 100});
         for (int i = 0; i < 60; ++i) d.Raw({static_cast<std::uint8_t>(i + 1)});
         return d;
       }(),
       [](const auto& msg) {
         const auto& e = As<COmbixDataInterfaceEvent>(msg);
         ASSERT_EQ(e.dwDataLength, 100u);
         EXPECT_EQ(e.pData[0], 1);
         EXPECT_EQ(e.pData[59], 60);
         EXPECT_EQ(e.pData[60], 0);
         EXPECT_EQ(e.pData[99], 0);
       }},
      {"data length beyond any datagram is bounded",
       TestDatagram(0, 23).U32(1).Str("").Str("").U32(5).Str("").Str("").U32s({2, 0xFFFFFFFF}),
       [](const auto& msg) { EXPECT_EQ(As<COmbixDataInterfaceEvent>(msg).dwDataLength, 4096u); }},
      {"login response stops after the server version",
       TestDatagram(0, 273).U32s({0, 0}).Str("3.0").Str("9.1").Str("1.0").Str("2.0"),
       [](const auto& msg) {
         EXPECT_STREQ(As<COmbixLoginRsp>(msg).strAPIVersion, "3.0");
         EXPECT_STREQ(As<COmbixLoginRsp>(msg).strServerVersion, "9.1");
       }},
  };
  // clang-format on
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(c.name);
    c.check(Decode(c.datagram));
  }
}

// Response head: invoke id 7, error 4.
TestDatagram Rsp(std::uint32_t type) {
  return TestDatagram(3, type).U32s({7, 4});
}

TEST(OmbixDecoderTest, ResponseLayouts) {
  auto& data = DecodeAs<COmbixCallDataRsp>(Rsp(269).Oid(0x10).Str("k").Str("v").U32(1));
  EXPECT_EQ(data.dwInvokeID, 7u);
  EXPECT_EQ(data.dwError, 4u);
  EXPECT_EQ(data.oidCall, TestOid(0x10));
  EXPECT_STREQ(data.strValue, "v");
  EXPECT_EQ(data.dwReadOnly, 1u);

  auto& made = DecodeAs<COmbixMakeCallRsp>(Rsp(275).Oid(0x10));
  EXPECT_EQ(made.oidCall, TestOid(0x10));

  // A device of 100 characters into 32 keeps 31, the next field read behind all of it.
  auto& start = DecodeAs<COmbixMonitorRsp>(Rsp(279).U32(77).Str(std::string(100, 'x')).U32(5));
  EXPECT_EQ(start.dwMonitorID, 77u);
  EXPECT_EQ(std::string(start.strDevice), std::string(31, 'x'));
  EXPECT_EQ(start.dwDeviceType, 5u);

  auto& secure = DecodeAs<COmbixMonitorSecureRsp>(Rsp(359).U32(8).Str("201").U32(3).Str("nonce"));
  EXPECT_EQ(secure.dwDeviceType, 3u);
  EXPECT_STREQ(secure.strNonce, "nonce");

  auto& remote = DecodeAs<COmbixRemoteModeRsp>(Rsp(317).Str("555").U32s({1, 2, 3}));
  EXPECT_STREQ(remote.strNumber, "555");
  EXPECT_EQ(remote.dwAutoEnable, 3u);

  auto& fwd = DecodeAs<COmbixCallForwardingRsp>(Rsp(319).Str("a").Str("b").Str("c").Str("d"));
  EXPECT_STREQ(fwd.strForwardAll, "a");
  EXPECT_STREQ(fwd.strForwardOutOfService, "d");

  TestDatagram rtpData = Rsp(333).U32(1).Oid(0x10).Oid(0x40).Str("n").U32s({10, 20});
  auto& rtp = DecodeAs<COmbixRTPStatisticsRsp>(rtpData.Str("G711").U32s({1, 2, 3, 4, 5}));
  ASSERT_EQ(rtp.dwCount, 1u);
  EXPECT_EQ(rtp.pStatistics[0].oidEnd, TestOid(0x40));
  EXPECT_EQ(rtp.pStatistics[0].tEndTime, 20);
  EXPECT_STREQ(rtp.pStatistics[0].strCodec, "G711");
  EXPECT_EQ(rtp.pStatistics[0].dwAvgLatency, 5u);

  TestDatagram configData = Rsp(335).Str("T46").U32s({4, 3, 0x202, 9, 60, 2});
  configData.Str("201").Str("Ann").U32(3).Str("202").Str("").U32(11).Str("pw").Str("ph");
  auto& config = DecodeAs<COmbixPhoneConfigRsp>(configData);
  EXPECT_EQ(config.dwFeatures, 0x202u);
  ASSERT_EQ(config.dwLineAppearances, 2u);
  EXPECT_STREQ(config.pLineAppearances[0].strName, "Ann");
  EXPECT_EQ(config.pLineAppearances[1].dwDeviceType, 11u);
  EXPECT_STREQ(config.strPhonePassword, "pw");
  EXPECT_STREQ(config.strPhone, "ph");

  TestDatagram vmData = Rsp(339).U32s({1, 1, 2, 3, 4, 1, 42}).Str("301").Str("Bob");
  auto& vm = DecodeAs<COmbixVoiceMailRsp>(vmData.U32s({99, 125, 0x6}));
  EXPECT_EQ(vm.dwIndex, 4u);
  ASSERT_EQ(vm.dwCount, 1u);
  EXPECT_EQ(vm.pEntries[0].dwMsgID, 42u);
  EXPECT_EQ(vm.pEntries[0].tTime, 99);
  EXPECT_EQ(vm.pEntries[0].dwFlags, 0x6u);

  auto& prompt = DecodeAs<COmbixPlayPromptRsp>(Rsp(363).Str("f.wav").Str("pcmu"));
  EXPECT_STREQ(prompt.strPayloadType, "pcmu");

  auto& digits = DecodeAs<COmbixCollectDigitsRsp>(Rsp(347).Str("1234"));
  EXPECT_STREQ(digits.strDigits, "1234");

  auto& agents = DecodeAs<COmbixAgentListRsp>(Rsp(353).U32s({5, 1, 2}).Str("x").Str("y"));
  EXPECT_EQ(agents.dwTotal, 5u);
  ASSERT_EQ(agents.dwCount, 2u);
  EXPECT_STREQ(agents.pStrings[1], "y");

  auto& dir = DecodeAs<COmbixDirectoryRsp>(Rsp(517).U32s({5, 1, 1}).Str(std::string(300, 'z')));
  ASSERT_EQ(dir.dwCount, 1u);
  EXPECT_EQ(std::string(dir.pStrings[0]), std::string(255, 'z'));

  auto& filter = DecodeAs<COmbixEventFilterRsp>(Rsp(355).U32s({2, 17, 19}));
  ASSERT_EQ(filter.dwCount, 2u);
  EXPECT_EQ(filter.pEventTypes[1], 19u);

  TestDatagram stats = Rsp(367).Str("ag").U32s({2, 50}).Str("q").U32(60);
  for (std::uint32_t i = 1; i <= 16; ++i) stats.U32(i);
  auto& agentStats = DecodeAs<COmbixAgentStatsRsp>(stats);
  EXPECT_EQ(agentStats.tLoginTime, 60);
  EXPECT_EQ(agentStats.dwTotalLoginTime, 1u);
  EXPECT_EQ(agentStats.dwCallsOther, 16u);

  auto& app = DecodeAs<COmbixApplicationDataRsp>(Rsp(519).Str("app").Str("value"));
  EXPECT_STREQ(app.strValue, "value");

  auto& query = DecodeAs<COmbixDataInterfaceQueryRsp>(
      Rsp(527).Str("if").Str("dst").U32(1).Str("a").Str("b").Str("c"));
  ASSERT_EQ(query.dwInstances, 1u);
  EXPECT_STREQ(query.pInstances[0].strClient, "c");

  auto& meetme = DecodeAs<COmbixMeetMeRsp>(Rsp(785).U32(12));
  EXPECT_EQ(meetme.dwConferenceID, 12u);

  auto& monitor = DecodeAs<COmbixMeetMeMonitorRsp>(Rsp(775).U32s({12, 1}));
  EXPECT_EQ(monitor.dwModerator, 1u);

  auto& mq = DecodeAs<COmbixMeetMeQueryRsp>(
      Rsp(783).U32s({12, 3, 1000, 60, 8, 5}).Str("topic").Str("800").U32(1));
  EXPECT_EQ(mq.dwStartTime, 1000);
  EXPECT_STREQ(mq.strJoinDID, "800");
  EXPECT_EQ(mq.dwLocked, 1u);
}

TEST(OmbixDecoderTest, EventLayouts) {
  auto& agent = DecodeAs<COmbixAgentEvent>(
      TestDatagram(0, 16).U32(1).Str("ag").U32s({2, 3, 100}).Str("q").Str("d").Oid(0x10));
  EXPECT_EQ(agent.dwAgentNextState, 3u);
  EXPECT_EQ(agent.oidCall, TestOid(0x10));

  TestDatagram queue(0, 18);
  queue.U32(1).Str("q").Str("Queue").U32s({100, 1, 2, 3, 4, 5, 200, 300});
  for (std::uint32_t i = 1; i <= 16; ++i) queue.U32(100 + i);
  auto& stats = DecodeAs<COmbixQueueStatsEvent>(queue);
  EXPECT_EQ(stats.dwAgentsAvailable, 5u);
  EXPECT_EQ(stats.tIntervalEnd, 300);
  EXPECT_EQ(stats.dwServiceLevel, 101u);
  EXPECT_EQ(stats.dwAgentsLoggedIn, 116u);

  TestDatagram phone(0, 19);
  phone.U32(1).Str("201").U32s({5, 100, 1, 2, 3, 4, 5, 6, 7, 8, 1}).Str("ph");
  auto& state = DecodeAs<COmbixPhoneStateEvent>(phone);
  EXPECT_EQ(state.dwEvent, PHONE_STATE_MESSAGE_WAITING);
  EXPECT_EQ(state.dwInService, 1u);
  EXPECT_EQ(state.dwOldMessages, 8u);

  TestDatagram mediaData = TestDatagram(0, 21).U32(1).Str("d").Oid(0x10).U32s({1, 100});
  mediaData.Str("l").Str("r").Str("p").Str("t").Str("m").U32(20);
  auto& media = DecodeAs<COmbixCallMediaEvent>(mediaData);
  EXPECT_STREQ(media.strMediaMode, "m");
  EXPECT_EQ(media.dwPTime, 20u);

  auto& client = DecodeAs<COmbixClientMonitorEvent>(
      TestDatagram(0, 22).U32(1).Str("d").U32s({2, 100}).Str("c").Str("v").Str("u").U32(3));
  EXPECT_STREQ(client.strClientUdp, "u");
  EXPECT_EQ(client.dwMonitorCount, 3u);
}

}  // namespace

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

ObjectId Oid(BYTE first) {
  ObjectId oid;
  for (BYTE i = 0; i < 12; ++i) oid.abId[i] = static_cast<BYTE>(first + i);
  return oid;
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
  const std::vector<EdgeCase> cases = {
      {"call event: count 2, datagram ends after the first connection",
       TestDatagram(0, 17)
           .U32(4)
           .Str("201")
           .Oid(0x10)
           .U32(4)
           .U32(0)
           .U32(1000)
           .U32(2)
           .U32(900)
           .Str("301")
           .Str("Bob")
           .U32(3)
           .U32(4),
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
       TestDatagram(0, 17)
           .U32(4)
           .Str("201")
           .Oid(0x10)
           .U32(4)
           .U32(0)
           .U32(1000)
           .U32(0)
           .Oid(0x30)
           .Str("55")
           .Str("ph"),
       [](const auto& msg) {
         const auto& e = As<COmbixCallConnectionEvent>(msg);
         EXPECT_EQ(e.dwConnectionCount, 0u);
         EXPECT_EQ(e.pConnections, nullptr);
         EXPECT_EQ(e.oidRelated, Oid(0x30));
         EXPECT_STREQ(e.strDialedDigits, "55");
         EXPECT_STREQ(e.strActivePhone, "ph");
       }},
      {"call event: a huge count is bounded and reads as empty connections",
       TestDatagram(0, 17).U32(4).Str("201").Oid(0x10).U32(4).U32(0).U32(1000).U32(0xFFFFFFFF),
       [](const auto& msg) {
         const auto& e = As<COmbixCallConnectionEvent>(msg);
         EXPECT_EQ(e.dwConnectionCount, kOmbixMaxDatagram / kOmbixConnectionMinSize);
         EXPECT_EQ(e.pConnections[e.dwConnectionCount - 1].dwState, 0);
       }},
      {"monitor start: a device of 40 characters keeps 31",
       TestDatagram(0, 279).U32(3).U32(0).U32(77).Str(std::string(40, 'd')).U32(3),
       [](const auto& msg) {
         const auto& r = As<COmbixMonitorRsp>(msg);
         EXPECT_EQ(r.dwInvokeID, 3u);
         EXPECT_EQ(r.dwMonitorID, 77u);
         EXPECT_EQ(std::string(r.strDevice), std::string(31, 'd'));
         EXPECT_EQ(r.dwDeviceType, DEVICE_TYPE_PHONE);
       }},
      {"a string of 100 into 32: cut, and the next field read behind all of it",
       TestDatagram(0, 279).U32(3).U32(0).U32(77).Str(std::string(100, 'x')).U32(5),
       [](const auto& msg) {
         EXPECT_EQ(std::string(As<COmbixMonitorRsp>(msg).strDevice), std::string(31, 'x'));
         EXPECT_EQ(As<COmbixMonitorRsp>(msg).dwDeviceType, 5u);
       }},
      {"a string running past the end: empty, next field right behind its length",
       TestDatagram(0, 279).U32(3).U32(0).U32(77).U32(1000).U32(6),
       [](const auto& msg) {
         EXPECT_STREQ(As<COmbixMonitorRsp>(msg).strDevice, "");
         EXPECT_EQ(As<COmbixMonitorRsp>(msg).dwDeviceType, 6u);
       }},
      {"an ObjectId is kept as its 12 bytes; the last four are the call number",
       TestDatagram(0, 275).U32(3).U32(0).Raw({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x02}),
       [](const auto& msg) {
         const ObjectId expected = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x02}};
         EXPECT_EQ(As<COmbixMakeCallRsp>(msg).oidCall, expected);
         EXPECT_EQ(As<COmbixMakeCallRsp>(msg).oidCall.GetCallNumber(), 258u);
       }},
      {"an ObjectId cut short stays zero", TestDatagram(0, 275).U32(3).U32(0).Raw({1, 2, 3}),
       [](const auto& msg) { EXPECT_EQ(As<COmbixMakeCallRsp>(msg).oidCall, ObjectId{}); }},
      {"response cut after dwInvokeID", TestDatagram(0, 267).U32(9),
       [](const auto& msg) {
         EXPECT_EQ(As<COmbixRsp>(msg).dwInvokeID, 9u);
         EXPECT_EQ(As<COmbixRsp>(msg).dwError, 0u);
       }},
      {"meetme event 4: conference data, no call list",
       TestDatagram(0, 20)
           .U32(5)
           .Oid(0x10)
           .U32(4)
           .U32(100)
           .U32(200)
           .U32(60)
           .U32(8)
           .U32(6)
           .Str("topic")
           .U32(1),
       [](const auto& msg) {
         const auto& e = As<COmbixMeetMeConferenceEvent>(msg);
         EXPECT_EQ(e.dwCalls, 0u);
         EXPECT_EQ(e.pCalls, nullptr);
         EXPECT_EQ(e.dwStartTime, 200);
         EXPECT_STREQ(e.strTopic, "topic");
         EXPECT_EQ(e.dwLocked, 1u);
       }},
      {"meetme event 1: call list, no topic",
       TestDatagram(0, 20)
           .U32(5)
           .Oid(0x10)
           .U32(1)
           .U32(100)
           .U32(1)
           .Oid(0x40)
           .U32(300)
           .Str("cid")
           .Str("info")
           .U32(2),
       [](const auto& msg) {
         const auto& e = As<COmbixMeetMeConferenceEvent>(msg);
         ASSERT_EQ(e.dwCalls, 1u);
         EXPECT_EQ(e.pCalls[0].m_oidCall, Oid(0x40));
         EXPECT_STREQ(e.pCalls[0].strCallerInfo, "info");
         EXPECT_EQ(e.pCalls[0].dwState, 2u);
         EXPECT_STREQ(e.strTopic, "");
       }},
      {"secondary phones: 12 sent, 10 kept",
       [] {
         TestDatagram d(0, 369);
         d.U32(1).U32(0).U32(12);
         for (int i = 0; i < 12; ++i) d.Str("p" + std::to_string(i));
         return d;
       }(),
       [](const auto& msg) {
         const auto& r = As<COmbixQuerySecondaryPhones>(msg);
         EXPECT_EQ(r.dwPhoneCount, 10u);
         EXPECT_STREQ(r.strPhone[9], "p9");
       }},
      {"type 337 is a bare message", TestDatagram(0, 337).U32(1).U32(2),
       [](const auto& msg) { EXPECT_EQ(typeid(*msg), typeid(COmbixMsg)); }},
      {"type 777 is a bare message", TestDatagram(0, 777).U32(1).U32(2),
       [](const auto& msg) { EXPECT_EQ(OmbixAsResponse(msg.get()), nullptr); }},
      {"data length 100 with 60 bytes present",
       [] {
         TestDatagram d(0, 23);
         d.U32(1).Str("dev").Str("if").U32(5).Str("src").Str("inst").U32(2).U32(100);
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
       TestDatagram(0, 23).U32(1).Str("").Str("").U32(5).Str("").Str("").U32(2).U32(0xFFFFFFFF),
       [](const auto& msg) { EXPECT_EQ(As<COmbixDataInterfaceEvent>(msg).dwDataLength, 4096u); }},
      {"datagram shorter than its header", TestDatagram().Raw({0, 0, 0, 1, 0}),
       [](const auto& msg) {
         EXPECT_EQ(msg->dwMsgType, 0u);
         EXPECT_EQ(typeid(*msg), typeid(COmbixMsg));
       }},
      {"login response stops after the server version",
       TestDatagram(0, 273).U32(0).U32(0).Str("3.0").Str("9.1").Str("1.0").Str("2.0"),
       [](const auto& msg) {
         EXPECT_STREQ(As<COmbixLoginRsp>(msg).strAPIVersion, "3.0");
         EXPECT_STREQ(As<COmbixLoginRsp>(msg).strServerVersion, "9.1");
       }},
  };
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(c.name);
    c.check(Decode(c.datagram));
  }
}

}  // namespace

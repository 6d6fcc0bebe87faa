// One hand-built datagram per body layout the decoder reads. Each checks the fields at the start,
// the list elements and the last field, which is only right when every field before it was read
// with its own size.
#include <gtest/gtest.h>

#include <string>

#include "switchapi/ombix_decoder.h"
#include "tests/switchapi/datagram_builder.h"

namespace {

template <class T>
std::unique_ptr<T> DecodeAs(const TestDatagram& d) {
  std::unique_ptr<COmbixMsg> msg = DecodeMessage(d.data(), d.size());
  T* p = dynamic_cast<T*>(msg.get());
  if (p == nullptr) return nullptr;
  msg.release();
  return std::unique_ptr<T>(p);
}

ObjectId Oid(BYTE first) {
  ObjectId oid;
  for (BYTE i = 0; i < 12; ++i) oid.abId[i] = static_cast<BYTE>(first + i);
  return oid;
}

// Response head: invoke id 7, error 4.
TestDatagram Rsp(std::uint32_t type) {
  return TestDatagram(3, type).U32(7).U32(4);
}

TEST(OmbixDecoderLayoutsTest, Responses) {
  auto data = DecodeAs<COmbixCallDataRsp>(Rsp(269).Oid(0x10).Str("k").Str("v").U32(1));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->dwInvokeID, 7u);
  EXPECT_EQ(data->dwError, 4u);
  EXPECT_EQ(data->oidCall, Oid(0x10));
  EXPECT_STREQ(data->strValue, "v");
  EXPECT_EQ(data->dwReadOnly, 1u);

  auto secure = DecodeAs<COmbixMonitorSecureRsp>(Rsp(359).U32(8).Str("201").U32(3).Str("nonce"));
  ASSERT_TRUE(secure);
  EXPECT_EQ(secure->dwDeviceType, 3u);
  EXPECT_STREQ(secure->strNonce, "nonce");

  auto remote = DecodeAs<COmbixRemoteModeRsp>(Rsp(317).Str("555").U32(1).U32(2).U32(3));
  ASSERT_TRUE(remote);
  EXPECT_STREQ(remote->strNumber, "555");
  EXPECT_EQ(remote->dwAutoEnable, 3u);

  auto fwd = DecodeAs<COmbixCallForwardingRsp>(Rsp(319).Str("a").Str("b").Str("c").Str("d"));
  ASSERT_TRUE(fwd);
  EXPECT_STREQ(fwd->strForwardAll, "a");
  EXPECT_STREQ(fwd->strForwardOutOfService, "d");

  auto rtp = DecodeAs<COmbixRTPStatisticsRsp>(Rsp(333)
                                                  .U32(1)
                                                  .Oid(0x10)
                                                  .Oid(0x40)
                                                  .Str("n")
                                                  .U32(10)
                                                  .U32(20)
                                                  .Str("G711")
                                                  .U32(1)
                                                  .U32(2)
                                                  .U32(3)
                                                  .U32(4)
                                                  .U32(5));
  ASSERT_TRUE(rtp);
  ASSERT_EQ(rtp->dwCount, 1u);
  EXPECT_EQ(rtp->pStatistics[0].oidEnd, Oid(0x40));
  EXPECT_EQ(rtp->pStatistics[0].tEndTime, 20);
  EXPECT_STREQ(rtp->pStatistics[0].strCodec, "G711");
  EXPECT_EQ(rtp->pStatistics[0].dwAvgLatency, 5u);

  auto config = DecodeAs<COmbixPhoneConfigRsp>(Rsp(335)
                                                   .Str("T46")
                                                   .U32(4)
                                                   .U32(3)
                                                   .U32(0x202)
                                                   .U32(9)
                                                   .U32(60)
                                                   .U32(2)
                                                   .Str("201")
                                                   .Str("Ann")
                                                   .U32(3)
                                                   .Str("202")
                                                   .Str("")
                                                   .U32(11)
                                                   .Str("pw")
                                                   .Str("ph"));
  ASSERT_TRUE(config);
  EXPECT_EQ(config->dwFeatures, 0x202u);
  ASSERT_EQ(config->dwLineAppearances, 2u);
  EXPECT_STREQ(config->pLineAppearances[0].strName, "Ann");
  EXPECT_EQ(config->pLineAppearances[1].dwDeviceType, 11u);
  EXPECT_STREQ(config->strPhonePassword, "pw");
  EXPECT_STREQ(config->strPhone, "ph");

  auto vm = DecodeAs<COmbixVoiceMailRsp>(Rsp(339)
                                             .U32(1)
                                             .U32(1)
                                             .U32(2)
                                             .U32(3)
                                             .U32(4)
                                             .U32(1)
                                             .U32(42)
                                             .Str("301")
                                             .Str("Bob")
                                             .U32(99)
                                             .U32(125)
                                             .U32(0x6));
  ASSERT_TRUE(vm);
  EXPECT_EQ(vm->dwIndex, 4u);
  ASSERT_EQ(vm->dwCount, 1u);
  EXPECT_EQ(vm->pEntries[0].dwMsgID, 42u);
  EXPECT_EQ(vm->pEntries[0].tTime, 99);
  EXPECT_EQ(vm->pEntries[0].dwFlags, 0x6u);

  auto prompt = DecodeAs<COmbixPlayPromptRsp>(Rsp(363).Str("f.wav").Str("pcmu"));
  ASSERT_TRUE(prompt);
  EXPECT_STREQ(prompt->strPayloadType, "pcmu");

  auto digits = DecodeAs<COmbixCollectDigitsRsp>(Rsp(347).Str("1234"));
  ASSERT_TRUE(digits);
  EXPECT_STREQ(digits->strDigits, "1234");

  auto agents = DecodeAs<COmbixAgentListRsp>(Rsp(353).U32(5).U32(1).U32(2).Str("x").Str("y"));
  ASSERT_TRUE(agents);
  EXPECT_EQ(agents->dwTotal, 5u);
  ASSERT_EQ(agents->dwCount, 2u);
  EXPECT_STREQ(agents->pStrings[1], "y");

  auto dir = DecodeAs<COmbixDirectoryRsp>(Rsp(517).U32(5).U32(1).U32(1).Str(std::string(300, 'z')));
  ASSERT_TRUE(dir);
  ASSERT_EQ(dir->dwCount, 1u);
  EXPECT_EQ(std::string(dir->pStrings[0]), std::string(255, 'z'));

  auto filter = DecodeAs<COmbixEventFilterRsp>(Rsp(355).U32(2).U32(17).U32(19));
  ASSERT_TRUE(filter);
  ASSERT_EQ(filter->dwCount, 2u);
  EXPECT_EQ(filter->pEventTypes[1], 19u);

  TestDatagram stats = Rsp(367).Str("ag").U32(2).U32(50).Str("q").U32(60);
  for (std::uint32_t i = 1; i <= 16; ++i) stats.U32(i);
  auto agentStats = DecodeAs<COmbixAgentStatsRsp>(stats);
  ASSERT_TRUE(agentStats);
  EXPECT_EQ(agentStats->tLoginTime, 60);
  EXPECT_EQ(agentStats->dwTotalLoginTime, 1u);
  EXPECT_EQ(agentStats->dwCallsOther, 16u);

  auto app = DecodeAs<COmbixApplicationDataRsp>(Rsp(519).Str("app").Str("value"));
  ASSERT_TRUE(app);
  EXPECT_STREQ(app->strValue, "value");

  auto query = DecodeAs<COmbixDataInterfaceQueryRsp>(
      Rsp(527).Str("if").Str("dst").U32(1).Str("a").Str("b").Str("c"));
  ASSERT_TRUE(query);
  ASSERT_EQ(query->dwInstances, 1u);
  EXPECT_STREQ(query->pInstances[0].strClient, "c");

  auto meetme = DecodeAs<COmbixMeetMeRsp>(Rsp(785).U32(12));
  ASSERT_TRUE(meetme);
  EXPECT_EQ(meetme->dwConferenceID, 12u);

  auto monitor = DecodeAs<COmbixMeetMeMonitorRsp>(Rsp(775).U32(12).U32(1));
  ASSERT_TRUE(monitor);
  EXPECT_EQ(monitor->dwModerator, 1u);

  auto mq = DecodeAs<COmbixMeetMeQueryRsp>(
      Rsp(783).U32(12).U32(3).U32(1000).U32(60).U32(8).U32(5).Str("topic").Str("800").U32(1));
  ASSERT_TRUE(mq);
  EXPECT_EQ(mq->dwStartTime, 1000);
  EXPECT_STREQ(mq->strJoinDID, "800");
  EXPECT_EQ(mq->dwLocked, 1u);
}

TEST(OmbixDecoderLayoutsTest, Events) {
  auto agent = DecodeAs<COmbixAgentEvent>(
      TestDatagram(0, 16).U32(1).Str("ag").U32(2).U32(3).U32(100).Str("q").Str("d").Oid(0x10));
  ASSERT_TRUE(agent);
  EXPECT_EQ(agent->dwAgentNextState, 3u);
  EXPECT_EQ(agent->oidCall, Oid(0x10));

  TestDatagram queue(0, 18);
  queue.U32(1).Str("q").Str("Queue").U32(100);
  for (std::uint32_t i = 1; i <= 5; ++i) queue.U32(i);
  queue.U32(200).U32(300);
  for (std::uint32_t i = 1; i <= 16; ++i) queue.U32(100 + i);
  auto stats = DecodeAs<COmbixQueueStatsEvent>(queue);
  ASSERT_TRUE(stats);
  EXPECT_EQ(stats->dwAgentsAvailable, 5u);
  EXPECT_EQ(stats->tIntervalEnd, 300);
  EXPECT_EQ(stats->dwServiceLevel, 101u);
  EXPECT_EQ(stats->dwAgentsLoggedIn, 116u);

  TestDatagram phone(0, 19);
  phone.U32(1).Str("201").U32(5).U32(100);
  for (std::uint32_t i = 1; i <= 8; ++i) phone.U32(i);
  phone.U32(1).Str("ph");
  auto state = DecodeAs<COmbixPhoneStateEvent>(phone);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->dwEvent, PHONE_STATE_MESSAGE_WAITING);
  EXPECT_EQ(state->dwInService, 1u);
  EXPECT_EQ(state->dwOldMessages, 8u);

  auto media = DecodeAs<COmbixCallMediaEvent>(TestDatagram(0, 21)
                                                  .U32(1)
                                                  .Str("d")
                                                  .Oid(0x10)
                                                  .U32(1)
                                                  .U32(100)
                                                  .Str("l")
                                                  .Str("r")
                                                  .Str("p")
                                                  .Str("t")
                                                  .Str("m")
                                                  .U32(20));
  ASSERT_TRUE(media);
  EXPECT_STREQ(media->strMediaMode, "m");
  EXPECT_EQ(media->dwPTime, 20u);

  auto client = DecodeAs<COmbixClientMonitorEvent>(
      TestDatagram(0, 22).U32(1).Str("d").U32(2).U32(100).Str("c").Str("v").Str("u").U32(3));
  ASSERT_TRUE(client);
  EXPECT_STREQ(client->strClientUdp, "u");
  EXPECT_EQ(client->dwMonitorCount, 3u);
}

}  // namespace

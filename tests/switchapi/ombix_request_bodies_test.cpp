#include "switchapi/ombix_request_bodies.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "tests/switchapi/datagram_builder.h"

namespace {

// Call ids whose bytes are 0x10.. and 0x40.., matching TestDatagram::Oid(0x10) and Oid(0x40).
ObjectId MakeOid(BYTE first) {
  ObjectId oid;
  for (BYTE i = 0; i < 12; ++i) oid.abId[i] = static_cast<BYTE>(first + i);
  return oid;
}
const ObjectId kCallA = MakeOid(0x10);
const ObjectId kCallB = MakeOid(0x40);

struct BodyCase {
  const char* name;
  std::function<BOOL(COmbixWriter&)> encode;
  TestDatagram expected;  // the body: type, invoke id, fields
};

TestDatagram Body(std::uint32_t type, std::uint32_t invoke) {
  return TestDatagram().U32(type).U32(invoke);
}

TEST(OmbixRequestBodiesTest, EveryRequestEncodesItsTypeAndFieldsInWireOrder) {
  const std::vector<BodyCase> cases = {
      {"alternate",
       [](COmbixWriter& w) { return EncodeAlternateCallReq(w, 5, "d", kCallA, kCallB); },
       Body(256, 5).Str("d").Oid(0x10).Oid(0x40)},
      {"answer", [](COmbixWriter& w) { return EncodeAnswerCallReq(w, 5, "d", kCallA, "p"); },
       Body(258, 5).Str("d").Oid(0x10).Str("p")},
      {"complete transfer",
       [](COmbixWriter& w) { return EncodeCompleteTransferReq(w, 5, "d", kCallA, kCallB); },
       Body(260, 5).Str("d").Oid(0x10).Oid(0x40)},
      {"dial", [](COmbixWriter& w) { return EncodeDialDigitsReq(w, 5, "d", kCallA, "123"); },
       Body(264, 5).Str("d").Oid(0x10).Str("123")},
      {"drop", [](COmbixWriter& w) { return EncodeDropConnectionReq(w, 5, "d", kCallA, 9); },
       Body(266, 5).Str("d").Oid(0x10).U32(9)},
      {"hold", [](COmbixWriter& w) { return EncodeHoldCallReq(w, 5, "d", kCallA, nullptr); },
       Body(270, 5).Str("d").Oid(0x10).Str("")},
      {"monitor start",
       [](COmbixWriter& w) { return EncodeMonitorStartReq(w, 5, "201", "pw", ""); },
       Body(278, 5).Str("201").Str("pw").Str("")},
      {"monitor stop", [](COmbixWriter& w) { return EncodeMonitorStopReq(w, 5, "201"); },
       Body(280, 5).Str("201")},
      {"park", [](COmbixWriter& w) { return EncodeParkCallReq(w, 5, "d", kCallA, 1); },
       Body(282, 5).Str("d").Oid(0x10).U32(1)},
      {"pickup", [](COmbixWriter& w) { return EncodePickupCallReq(w, 5, "d", "from", "p"); },
       Body(284, 5).Str("d").Str("from").Str("p")},
      {"query phone state",
       [](COmbixWriter& w) { return EncodeQueryPhoneStateReq(w, 5, "a", "p"); },
       Body(288, 5).Str("a").Str("p")},
      {"redirect",
       [](COmbixWriter& w) { return EncodeRedirectCallReq(w, 5, "d", kCallA, 2, "77", 8); },
       Body(294, 5).Str("d").Oid(0x10).U32(2).Str("77").U32(8)},
      {"retrieve", [](COmbixWriter& w) { return EncodeRetrieveCallReq(w, 5, "d", kCallA, "p"); },
       Body(296, 5).Str("d").Oid(0x10).Str("p")},
      {"set forwarding",
       [](COmbixWriter& w) { return EncodeSetCallForwardingReq(w, 5, "d", 3, "300"); },
       Body(302, 5).Str("d").U32(3).Str("300")},
      {"do not disturb",
       [](COmbixWriter& w) { return EncodeSetDoNotDisturbReq(w, 5, "d", 1, "p"); },
       Body(304, 5).Str("d").U32(1).Str("p")},
      {"setup transfer",
       [](COmbixWriter& w) { return EncodeSetupTransferReq(w, 5, "d", kCallA, "300", 2); },
       Body(306, 5).Str("d").Oid(0x10).Str("300").U32(2)},
      {"setup conference",
       [](COmbixWriter& w) { return EncodeSetupConferenceReq(w, 5, "d", kCallA, "300", 2); },
       Body(308, 5).Str("d").Oid(0x10).Str("300").U32(2)},
      {"single step transfer",
       [](COmbixWriter& w) { return EncodeSingleStepTransferReq(w, 5, "d", kCallA, "300", 2); },
       Body(310, 5).Str("d").Oid(0x10).Str("300").U32(2)},
      {"get forwarding", [](COmbixWriter& w) { return EncodeGetCallForwardingReq(w, 5, "d"); },
       Body(318, 5).Str("d")},
      {"conference",
       [](COmbixWriter& w) { return EncodeConferenceCallReq(w, 5, "d", kCallA, kCallB); },
       Body(322, 5).Str("d").Oid(0x10).Oid(0x40)},
      {"drop from conference",
       [](COmbixWriter& w) { return EncodeDropConferenceConnectionReq(w, 5, "d", kCallA, "x"); },
       Body(324, 5).Str("d").Oid(0x10).Str("x")},
      {"query phone config",
       [](COmbixWriter& w) { return EncodeQueryPhoneConfigReq(w, 5, "a", "p"); },
       Body(334, 5).Str("a").Str("p")},
  };
  for (const BodyCase& c : cases) {
    std::array<BYTE, kOmbixMaxBody> buffer{};
    COmbixWriter w(buffer.data(), buffer.size());
    EXPECT_TRUE(c.encode(w)) << c.name;
    EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + w.GetLength()), c.expected.bytes)
        << c.name;
  }
}

}  // namespace

// TAPI call control through the switch lines against switch-sim: calls made, answered, held,
// transferred, conferenced, parked, picked up and forwarded (fixture in line_scenario.h).
#include "tests/provider/line_scenario.h"

namespace prov_test {

IMPLEMENT_DYNCREATE(ScenarioLine, COmbixLine)

namespace scenario {
namespace {

// Holding, taking back and dropping one call: LineSwitchFaultsTest.
TEST_F(LineScenarioTest, MakeWhileActiveThenSwap) {
  Run(Then(Connect200To201(),
           {// The active call is held first, then the new call goes out.
            Do("200 calls 202 while 201 is active", [&] { return MakeCall(0, "202"); },
               {{0, 1, LINECALLSTATE_ONHOLD}, {0, 2, LINECALLSTATE_RINGBACK}}),
            SimStep("answer 2 202", {{0, 2, LINECALLSTATE_CONNECTED}}),
            Do("200 swaps", [&] { return provider.lineSwapHold(C(0, 2), Id(), C(0, 1)); },
               {{0, 1, LINECALLSTATE_CONNECTED}, {0, 2, LINECALLSTATE_ONHOLD}})}));
}

TEST_F(LineScenarioTest, IncomingCallAnsweredThenRedirectedAndDialled) {
  Run({SimStep("incoming 200 5550100 Ada", {{0, 1, LINECALLSTATE_OFFERING}}),
       Do("200 answers", [&] { return provider.lineAnswer(C(0, 1), Id(), nullptr, 0); },
          {{0, 1, LINECALLSTATE_CONNECTED}}),
       Do("200 dials digits", [&] { return provider.lineDial(C(0, 1), Id(), "123", 0); }),
       Do("200 calls 201", [&] { return MakeCall(0, "201"); },
          {{0, 1, LINECALLSTATE_ONHOLD}, {1, 2, LINECALLSTATE_OFFERING}}),
       Do("201 sends it on to 202", [&] { return provider.lineRedirect(C(1, 2), Id(), "202", 0); },
          {{1, 2, LINECALLSTATE_IDLE}})});
  const auto dials = sim->ReceivedOfType(OMBIX_DIAL_DIGITS_REQ);
  ASSERT_EQ(dials.size(), 1u);
  EXPECT_EQ(dials[0].Str("strDigits"), "123");
}

TEST_F(LineScenarioTest, BlindAndConsultationTransfer) {
  Run(Then(Consult202ForTransfer(),
           {CompleteTransfer("200 completes the transfer"),
            Do("201 sends 202 on blind to 200",
               [&] { return provider.lineBlindTransfer(C(1, 1), Id(), "200", 0); },
               {{1, 1, LINECALLSTATE_IDLE}, {0, 1, LINECALLSTATE_OFFERING}})}));
}

TEST_F(LineScenarioTest, ConferenceAddAndRemove) {
  Run(Then(Conference200With201And202(),
           {Do("200 removes 202", [&] { return provider.lineRemoveFromConference(C(0, 2), Id()); },
               {{0, 2, LINECALLSTATE_IDLE}})}));
  // Two parties are left: the call with 201 carries the conference's switch id from now on.
  CTSPICallAppearance* pLeft = C(0, 3);
  ASSERT_NE(pLeft, nullptr);
  EXPECT_EQ(pLeft->GetCalledIDInfo().strPartyId, CString("201"));
}

TEST_F(LineScenarioTest, ParkUnparkAndPickup) {
  Run(Then(
      Connect200To201(),
      {Do("200 asks for a directed park, to no address: the line parks only non-directed",
          [&] {
            EXPECT_EQ(provider.linePark(C(0, 1), Id(), LINEPARKMODE_DIRECTED, "", nullptr),
                      LINEERR_INVALPARKMODE);
            return kNone;
          },
          {{0, 1, LINECALLSTATE_CONNECTED}}),
       Do("200 parks",
          [&] {
            return provider.linePark(C(0, 1), Id(), LINEPARKMODE_NONDIRECTED, nullptr, nullptr);
          },
          {{0, 1, LINECALLSTATE_IDLE}}),
       Do("201 hangs up", [&] { return provider.lineDrop(C(1, 1), Id(), nullptr, 0); },
          {{1, 1, LINECALLSTATE_IDLE}}),
       SimStep("incoming 201 5550100", {{1, 2, LINECALLSTATE_OFFERING}}),
       Do("200 picks it up",
          [&] {
            return provider.linePickup(lines[0]->GetAddress(0), Id(), NewHandle(), &hd, "201",
                                       nullptr);
          },
          {{0, 2, LINECALLSTATE_CONNECTED}, {1, 2, LINECALLSTATE_IDLE}}),
       Do("200 parks it",
          [&] {
            return provider.linePark(C(0, 2), Id(), LINEPARKMODE_NONDIRECTED, nullptr, nullptr);
          },
          {{0, 2, LINECALLSTATE_IDLE}}),
       Do("201 unparks it",
          [&] {
            return provider.lineUnpark(lines[1]->GetAddress(0), Id(), NewHandle(), &hd, "PARK");
          },
          {{1, 2, LINECALLSTATE_CONNECTED}})}));
}

TEST_F(LineScenarioTest, ForwardSetAndCancel) {
  Run({Do("forward 200 on no answer", [&] { return Forward(Id(), LINEFORWARDMODE_NOANSW); }),
       Do("cancel it", [&] { return Forward(Id(), 0); }),
       // The cancel's later answers complete nothing that follows.
       SimStep("incoming 200 5550100", {{0, 1, LINECALLSTATE_OFFERING}}),
       Do("200 answers", [&] { return provider.lineAnswer(C(0, 1), Id(), nullptr, 0); },
          {{0, 1, LINECALLSTATE_CONNECTED}})});
  const auto forwards = sim->ReceivedOfType(OMBIX_SET_CALL_FORWARDING_REQ);
  ASSERT_EQ(forwards.size(), 4u);
  EXPECT_EQ(forwards[0].Dword("dwForwardMode"), 2u);
  EXPECT_EQ(forwards[0].Str("strForwardTo"), "300");
  for (DWORD i = 1; i < 4; ++i) {
    EXPECT_EQ(forwards[i].Dword("dwForwardMode"), i - 1);
    EXPECT_EQ(forwards[i].Str("strForwardTo"), "");
  }
  EXPECT_EQ(sim->ReceivedOfType(OMBIX_SET_DO_NOT_DISTURB_REQ).size(), 1u);
}

}  // namespace
}  // namespace scenario
}  // namespace prov_test

// A call in progress before the telephony service starts: the built OMBIX.TSP in tsp-host
// against switch-sim, each in its own process. The login starts the monitor of every line, so
// the line that is still closed learns of the call without TAPI. Whichever line opens first, each
// line's open brings TAPI that line's call, connected, once; and its end reaches both lines.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/tools/tool_process.h"
#include "tests/tools/tool_test_support.h"

namespace {

using tooltest::ToolProcess;
using tooltest::ToolResult;

struct Order {
  const char* pszName;
  std::vector<std::string> lines;  // in the order they are opened
};

void PrintTo(const Order& order, std::ostream* pOut) { *pOut << order.pszName; }

class CallsAtOpenE2E : public tooltest::ScratchDirTest, public ::testing::WithParamInterface<Order> {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    address = tooltest::OwnLoopbackAddress(77);
    tooltest::WriteTwoLines(dir_ + "/registry.reg", address);
  }
  void Step(const std::string& command, const std::string& expected) {
    host->Write(command + "\n");
    ASSERT_NE(host->WaitFor(expected), std::string::npos) << host->Output();
  }
  // tsp-host on pipes prints the events it queued when asked: an empty wait lets them out.
  size_t Event(const std::string& expected) {
    return host->WaitFor(expected, 0, [&] { host->Write("wait 0\n"); });
  }

  std::string address;
  std::unique_ptr<ToolProcess> host;
};

TEST_P(CallsAtOpenE2E, EachLineHearsOfItsCallOnceAndOfItsEnd) {
  const auto sim = tooltest::StartSwitch(address, {"--quiet"});
  sim->Write("call 200 201 connected\n");
  ASSERT_NE(sim->WaitFor("call 1\n"), std::string::npos) << sim->Output();
  host = std::make_unique<ToolProcess>(
      TSP_HOST_PATH,
      std::vector<std::string>{"--provider", OMBIX_TSP_PATH, "--registry", dir_ + "/registry.reg"},
      std::map<std::string, std::string>{{"HOME", dir_ + "/home"}});
  Step("enum", "providerEnumDevices(1) = 0, lines 2");
  Step("init", "providerInit(0x00020001, 1, line base 0, phone base 0, 2 lines, 0 phones) = 0");
  const std::string first = GetParam().lines[0];
  Step("open " + first, "lineOpen(" + first + ", 0x00020001) = 0");
  // The switch tells its datagrams in order: once the open line hears of its phone's messages,
  // the closed line holds the call the switch listed for it at the login.
  Step("statusmsgs " + first + " 0x00100030 0", "lineSetStatusMessages(" + first);
  sim->Write("messages " + std::string(first == "0" ? "200" : "201") + " 1\n");
  ASSERT_NE(Event("LINE_LINEDEVSTATE line " + first + ": LINEDEVSTATE_MSGWAITON"),
            std::string::npos)
      << host->Output();
  const std::string second = GetParam().lines[1];
  Step("open " + second, "lineOpen(" + second + ", 0x00020001) = 0");

  // Each line's call, by tsp-host's number for it.
  std::vector<std::string> calls;
  for (const char* line : {"0", "1"}) {
    const std::string newCall = std::string("LINE_NEWCALL line ") + line + ": new call ";
    const size_t at = Event(newCall);
    ASSERT_NE(at, std::string::npos) << host->Output();
    const std::string output = host->Output();
    const size_t from = at + newCall.size();
    calls.push_back(std::string("LINE_CALLSTATE line ") + line + " call " +
                    output.substr(from, output.find('\n', from) - from) + ": ");
    EXPECT_NE(Event(calls.back() + "LINECALLSTATE_CONNECTED"), std::string::npos)
        << host->Output();
  }
  sim->Write("hangup 1\n");
  for (const std::string& call : calls) {
    EXPECT_NE(Event(call + "LINECALLSTATE_IDLE"), std::string::npos) << host->Output();
  }
  Step("shutdown", "providerShutdown(0x00020001, 1) = 0");
  const ToolResult result = host->Finish();
  EXPECT_EQ(result.exit_code, 0) << result.err;
  for (const char* line : {"0", "1"}) {
    EXPECT_EQ(tooltest::Count(result.out, std::string("LINE_NEWCALL line ") + line + ":"), 1u)
        << result.out;
  }
}

INSTANTIATE_TEST_SUITE_P(Orders, CallsAtOpenE2E,
                         ::testing::Values(Order{"SecondLineFirst", {"1", "0"}},
                                           Order{"FirstLineFirst", {"0", "1"}}),
                         [](const ::testing::TestParamInfo<Order>& info) {
                           return std::string(info.param.pszName);
                         });

}  // namespace

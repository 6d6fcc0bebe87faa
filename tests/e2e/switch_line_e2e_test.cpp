// The built OMBIX.TSP in tsp-host against switch-sim, each in its own process, as the telephony
// service and the switch would run it: start, open both lines (login, monitors, phone state),
// phone events reaching TAPI, a lost link and its recovery, a shutdown right after it, a refused
// login shown to the user on the next request, and the start and stop transcript. Each test has a
// switch of its own, on a loopback address of its own.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/tools/tool_process.h"
#include "tests/tools/tool_test_support.h"

namespace {

using tooltest::ReadFile;
using tooltest::ToolProcess;
using tooltest::ToolResult;

class SwitchLineE2E : public tooltest::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    // The provider always calls the switch's port; an address of its own keeps this run apart
    // from any other switch on this machine.
    address = tooltest::OwnLoopbackAddress(77);
    tooltest::WriteTwoLines(dir_ + "/registry.reg", address);
  }
  // tsp-host with OMBIX.TSP and this test's settings, `options` first.
  void StartHost(std::vector<std::string> options = {}) {
    options.insert(options.end(),
                   {"--provider", OMBIX_TSP_PATH, "--registry", dir_ + "/registry.reg"});
    host = std::make_unique<ToolProcess>(
        TSP_HOST_PATH, options, std::map<std::string, std::string>{{"HOME", dir_ + "/home"}});
  }
  // A command typed at the host, and the text its answer must bring.
  void Step(const std::string& command, const std::string& expected) {
    host->Write(command + "\n");
    ASSERT_NE(host->WaitFor(expected), std::string::npos) << host->Output();
  }

  std::string address;
  std::unique_ptr<ToolProcess> host;
};

TEST_F(SwitchLineE2E, TwoLinesLogInHearTheirPhonesAndRecoverFromALostLink) {
  const auto sim = tooltest::StartSwitch(address, {"--quiet"});
  StartHost();
  // tsp-host on pipes prints the events it queued between commands: an empty wait, whenever
  // nothing comes, lets them out.
  auto event = [&](const std::string& expected, size_t from = 0) {
    ASSERT_NE(host->WaitFor(expected, from, [&] { host->Write("wait 0\n"); }), std::string::npos)
        << host->Output();
  };

  Step("enum", "providerEnumDevices(1) = 0, lines 2");
  Step("init", "providerInit(0x00020001, 1, line base 0, phone base 0, 2 lines, 0 phones) = 0");
  Step("open 0", "lineOpen(0, 0x00020001) = 0");
  Step("open 1", "lineOpen(1, 0x00020001) = 0");
  // Both phones were queried: each line is in service with its phone's state.
  Step("status 1", "status flags LINEDEVSTATUSFLAGS_CONNECTED|LINEDEVSTATUSFLAGS_INSERVICE");
  // Message waiting, forwarding and capability changes reach TAPI from here on.
  for (const char* line : {"0", "1"}) {
    Step(std::string("statusmsgs ") + line + " 0x00100030 0x140",
         std::string("lineSetStatusMessages(") + line + ", LINEDEVSTATE_MSGWAITON|");
  }
  sim->Write("messages 200 2\n");
  event("LINE_LINEDEVSTATE line 0: LINEDEVSTATE_MSGWAITON");
  // Opening the line may have reported forwarding already: only a report after the change counts.
  const size_t forward = host->Output().size();
  sim->Write("forward 201 busy 555\n");
  event("LINE_ADDRESSSTATE line 1: address 0 LINEADDRESSSTATE_FORWARD", forward);

  // The link drops; the provider logs in again and restarts both monitors, whose phone
  // configurations arrive anew.
  const size_t before = host->Output().size();
  sim->Write("disconnect\n");
  for (const char* line : {"0", "1"}) {
    event(std::string("LINE_ADDRESSSTATE line ") + line + ": address 0 LINEADDRESSSTATE_CAPSCHANGE",
          before);
  }
  // The new monitor hears the phone.
  sim->Write("messages 200 0\n");
  event("LINE_LINEDEVSTATE line 0: LINEDEVSTATE_MSGWAITOFF", before);

  // Shut down while the calls are still being checked after the reconnect.
  Step("shutdown", "providerShutdown(0x00020001, 1) = 0");
  const ToolResult result = host->Finish();
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("unloaded OMBIX.TSP"), std::string::npos) << result.out;
}

TEST_F(SwitchLineE2E, ARefusedLoginIsShownToTheUserOnTheNextRequest) {
  const auto sim = tooltest::StartSwitch(address, {"--quiet", "--login", "refuse=13"});
  // The user side runs where nobody can answer: the box goes to standard error.
  StartHost({"--dialogs", "none"});
  Step("enum", "providerEnumDevices(1) = 0, lines 2");
  Step("init", "providerInit(0x00020001, 1, line base 0, phone base 0, 2 lines, 0 phones) = 0");
  Step("open 0", "lineOpen(0, 0x00020001) = 0");
  Step("make 0 201", "lineMakeCall(0, \"201\") = LINEERR_INVALLINESTATE");
  Step("wait 0", "TUISPI_providerGenericDialog = 0");
  // The dialog names its UI library by a path the loader here can open: the provider itself.
  const std::string dialog = host->ReadLineWith("LINE_CREATEDIALOGINSTANCE");
  ASSERT_NE(dialog, "") << host->Output();
  const size_t from = dialog.find("UI library \"");
  ASSERT_NE(from, std::string::npos) << dialog;
  const size_t start = from + std::string("UI library \"").size();
  const std::string library = dialog.substr(start, dialog.find('"', start) - start);
  std::error_code error;
  EXPECT_TRUE(std::filesystem::equivalent(library, OMBIX_TSP_PATH, error)) << dialog;
  Step("shutdown", "providerShutdown(0x00020001, 1) = 0");
  const ToolResult result = host->Finish();
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_NE(result.err.find("The Telephony Server has denied your login attempt.\n\n"
                            "Please contact your System Administrator."),
            std::string::npos)
      << result.err;
}

// The keep-alive time an administrator set before the start survives it, and the open gives it
// to the link: an idle link pings the switch after about 2 s, not after the default minute.
TEST_F(SwitchLineE2E, PingTimerSetBeforeTheStartIsTheIdleLinksKeepAlive) {
  const std::string registry = dir_ + "/registry.reg";
  const std::string key =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\VOIP Service Provider "
      "(Z9410)\\Device1";
  const auto regtool = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--file", registry});
    return tooltest::RunTool(REGTOOL_PATH, args, {}, "");
  };
  ASSERT_EQ(regtool({"set", key, "PingTimer", "2000", "--dword"}).exit_code, 0);
  // The switch pings nobody itself: every ping in its log is the provider's.
  const auto sim = tooltest::StartSwitch(address, {"--verbose", "--ping", "0"});
  StartHost();
  Step("enum", "providerEnumDevices(1) = 0, lines 2");
  Step("init", "providerInit(0x00020001, 1, line base 0, phone base 0, 2 lines, 0 phones) = 0");
  const ToolResult dump = regtool({"dump", key});
  EXPECT_NE(dump.out.find("\"PingTimer\"=dword:000007d0\n"), std::string::npos) << dump.out;
  Step("open 0", "lineOpen(0, 0x00020001) = 0");
  const auto opened = std::chrono::steady_clock::now();
  // The wait gives up after a minute, when the default time would have brought the ping.
  ASSERT_TRUE(sim->ReadErrorUntil(" OMBIX_PING (")) << sim->Output();
  EXPECT_LT(std::chrono::steady_clock::now() - opened, std::chrono::seconds(30));
  Step("shutdown", "providerShutdown(0x00020001, 1) = 0");
  EXPECT_EQ(host->Finish().exit_code, 0);
}

// The telephony service starts the provider, opens a line and stops it again (the script and
// the transcript expected of it are files beside this test), against a switch of its own.
TEST_F(SwitchLineE2E, StartOpenAndStopGiveTheExpectedTranscript) {
  tooltest::WriteTwoLines(dir_ + "/registry.reg", address,
                          {{"2001", "secret0"}, {"2002", "secret1"}});
  const auto sim =
      tooltest::StartSwitch(address, {"--phone", "2001:secret0", "--phone", "2002:secret1"});
  const std::string script = std::string(E2E_SOURCE_DIR) + "/tsp_host_start_stop";
  StartHost({"--script", script + ".txt", "--wait", "5000"});
  const ToolResult result = host->Finish();
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, ReadFile(script + ".expected")) << result.err;
  // The open was this switch's: its log tells of the session.
  sim->Signal(SIGTERM);
  const std::string log = sim->Finish().err;
  const size_t login = log.find("switch-sim: session 1: login from ");
  EXPECT_NE(login, std::string::npos) << log;
  EXPECT_LT(log.find(" accepted\n", login), log.find('\n', login)) << log;
}

}  // namespace

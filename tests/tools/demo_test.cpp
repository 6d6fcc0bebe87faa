// The demo as its users run it: the shipped story ends well, and a story whose steps fail ends
// non-zero, naming them. Each run has a build folder of its own, whose tools and provider are
// links to the built ones, so that runs side by side share no files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/tools/tool_process.h"
#include "tests/tools/tool_test_support.h"

namespace {

namespace fs = std::filesystem;
using tooltest::InOrder;
using tooltest::ToolResult;

class DemoTest : public tooltest::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    fs::create_directory_symlink(fs::path(BUILD_DIR) / "tools", dir_ + "/tools");
    fs::create_symlink(OMBIX_TSP_PATH, dir_ + "/OMBIX.TSP");
  }

  // The demo with this script (empty: the shipped one), its lines `pace` seconds apart. Each run
  // gets a switch address of its own: the last run's switch may not have let go of its own yet.
  ToolResult RunDemo(const std::string& script, const std::string& pace) {
    std::vector<std::string> args{DEMO_SCRIPT_PATH};
    if (!script.empty()) args.push_back(dir_ + "/script.txt");
    std::ofstream(dir_ + "/script.txt") << script;
    return tooltest::RunTool("/bin/bash", args,
                             {{"DEMO_BUILD", dir_},
                              {"DEMO_ADDRESS", tooltest::OwnLoopbackAddress(80 + runs_++)},
                              {"DEMO_PACE", pace},
                              {"HOME", dir_ + "/home"}},
                             "");
  }

  int runs_ = 0;
};

// A pace well above the demo's own: the story's answers must come in time on a loaded machine
// running a sanitizer build too. The run ends zero only when no step failed.
TEST_F(DemoTest, TheShippedStoryEndsWell) {
  const ToolResult result = RunDemo("", "1");
  EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
  EXPECT_TRUE(InOrder(result.out, {"loaded OMBIX.TSP", "> make 0 201\n", "sim> answer 2 202\n",
                                   "> transfer complete 1 3\n", "> remove 1\n",
                                   "unloaded OMBIX.TSP\n", "the switch's protocol trace: "}));
}

// A refused "sim" line is shown, and the story goes on past any failed step to its end; the run
// then ends non-zero and names exactly the failed steps, each with what it got.
TEST_F(DemoTest, FailedStepsAreNamedAndTheRunEndsNonZero) {
  struct Case {
    const char* what;
    std::string script;
    std::vector<std::string> story;   // in the output, in order, through the story's end
    std::vector<std::string> failed;  // the steps named, each with what it got
  };
  const Case cases[] = {
      {"a refused sim line; comments, waits and accepted ones are no failures",
       "init\nsim frobnicate 7\nsim # a note\nsim wait 5\nsim messages 200 1\nshutdown\n",
       {"sim> frobnicate 7\nsim: error: not understood: frobnicate 7\nsim> # a note\n"
        "sim> wait 5\nsim> messages 200 1\n> shutdown\n"},
       {"sim frobnicate 7: error: not understood: frobnicate 7"}},
      {"a line tsp-host refuses and a request the provider refuses",
       "init\nfrobnicate\nopen 7\nshutdown\n",
       {"> frobnicate\nerror: unknown command: frobnicate\n",
        "> open 7\nlineOpen(7, 0x00020001) = LINEERR_BADDEVICEID", "> shutdown\n"},
       {"frobnicate: error: unknown command: frobnicate",
        "open 7: lineOpen(7, 0x00020001) = LINEERR_BADDEVICEID (0x80000002)"}},
      // The switch is told first, well before the line opens and the call is asked for; it
      // answers the call only once a later step has run.
      {"a failed completion names the step that made the request",
       "sim reply make_call fail=3\nsim defer make_call\ninit\nopen 0\nmake 0 201\nstatus 0\n"
       "sim release\nwait\nclose 0\nshutdown\n",
       {"> make 0 201\n", "> status 0\n", "sim> release\n", "completion request 1: LINEERR_",
        "> shutdown\n"},
       {"make 0 201: completion request 1: LINEERR_"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ToolResult result = RunDemo(c.script, "0.5");
    EXPECT_EQ(result.exit_code, 1) << result.out << result.err;
    std::vector<std::string> story = c.story, named{"demo: these steps of the story failed:"};
    story.push_back("unloaded OMBIX.TSP\n");
    EXPECT_TRUE(InOrder(result.out, story));
    for (const std::string& step : c.failed) named.push_back("\n  " + step);
    EXPECT_TRUE(InOrder(result.err, named));
    EXPECT_EQ(tooltest::Count(result.err, "\n  "), c.failed.size()) << result.err;
  }
}

}  // namespace

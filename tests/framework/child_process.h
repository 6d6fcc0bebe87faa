// A test body in a child process of its own that must end within a deadline, so that a deadlock
// fails the test instead of hanging it. Fork before the test starts any thread: the child starts
// its own. The child's failures are its own (printed by it); the parent sees its exit status.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace fw_test {

// Reached only by a hang, also on a loaded machine under the sanitizers.
inline constexpr std::chrono::seconds kChildDeadline{60};

// The failures the running test has recorded so far (a child inherits its parent's).
inline int FailedParts() {
  const ::testing::TestResult* pResult =
      ::testing::UnitTest::GetInstance()->current_test_info()->result();
  int n = 0;
  for (int i = 0; i < pResult->total_part_count(); ++i) {
    n += pResult->GetTestPartResult(i).failed() ? 1 : 0;
  }
  return n;
}

template <typename Body>
void RunInChild(Body body, std::chrono::milliseconds deadline = kChildDeadline) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int nFailedBefore = FailedParts();
    body();
    std::fflush(nullptr);
    _exit(FailedParts() > nFailedBefore ? 1 : 0);
  }
  const auto end = std::chrono::steady_clock::now() + deadline;
  int status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "the child did not end within the deadline: a deadlock";
  }
  ASSERT_EQ(ended, pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the child failed (its findings are above), status " << status;
}

}  // namespace fw_test

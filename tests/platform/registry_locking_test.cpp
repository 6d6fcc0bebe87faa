// Who waits for whom: writers for each other whatever happens to the lock file, readers for no
// other process, and a batch never for itself however its file is named.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/platform/registry_child_support.h"
#include "tests/platform/registry_test_support.h"

namespace ombix::registry_test {
namespace {

namespace fs = std::filesystem;

using RegistryLockingTest = RegistryFileTest;

// A writer holds the lock in its batch; the lock file is deleted; a second writer must still
// wait for the batch, or the batch's end would put back the file without the second change.
TEST_F(RegistryLockingTest, ADeletedLockFileLosesNoUpdate) {
  if (!std::ifstream("/proc/locks")) GTEST_SKIP() << "no /proc/locks to see a writer wait";
  RegCloseKey(Create("K"));
  Pipe to_batch, from_batch, to_writer, from_writer;
  const pid_t batch = Spawn([&] {
    if (OmbixRegBeginBatch() != ERROR_SUCCESS) return 1;
    HKEY key = Create("K");
    if (SetDword(key, "Batch", 1) != ERROR_SUCCESS) return 2;
    from_batch.Send('b');
    if (to_batch.Receive() != 'e') return 3;
    return OmbixRegEndBatch() == ERROR_SUCCESS ? 0 : 4;
  });
  const pid_t writer = Spawn([&] {
    if (to_writer.Receive() != 'w') return 1;
    HKEY key = Create("K");
    const LONG result = SetDword(key, "Writer", 2);
    from_writer.Send('d');
    return result == ERROR_SUCCESS ? 0 : 2;
  });
  ASSERT_EQ(from_batch.Receive(), 'b');
  ASSERT_EQ(unlink((path_ + ".lock").c_str()), 0);
  to_writer.Send('w');
  // Done at once (it did not wait: the fault) or waiting for the batch; then the batch ends.
  EXPECT_TRUE(FinishesOrWaitsForALock(writer, from_writer));
  to_batch.Send('e');
  EXPECT_EQ(WaitWithin(batch), 0);
  EXPECT_EQ(WaitWithin(writer), 0);
  EXPECT_EQ(ReadDword("K", "Batch"), 1u);
  EXPECT_EQ(ReadDword("K", "Writer"), 2u);
  EXPECT_TRUE(fs::exists(path_ + ".lock"));  // made again, for programs that lock only that
}

// A writer stopped inside its batch (a debugger, SIGSTOP) keeps no other process from reading:
// the reader sees the file as it was before the batch.
TEST_F(RegistryLockingTest, AWriterStoppedInItsBatchKeepsNoReaderWaiting) {
  // Written by hand: this process keeps no tree its children could use without reading.
  std::ofstream(path_) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"N\"=dword:00000001\n\n";
  const pid_t stopped = Spawn([] {
    if (OmbixRegBeginBatch() != ERROR_SUCCESS) return 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS ||
        SetDword(key, "N", 2) != ERROR_SUCCESS) {
      return 2;
    }
    raise(SIGSTOP);
    return OmbixRegEndBatch() == ERROR_SUCCESS ? 0 : 3;
  });
  int status = 0;
  ASSERT_EQ(waitpid(stopped, &status, WUNTRACED), stopped);
  ASSERT_TRUE(WIFSTOPPED(status));
  // Not an ASSERT: returning here would leave the writer stopped, holding the run's output open.
  EXPECT_TRUE(fs::exists(path_ + ".lock"));  // the batch holds it

  const int read = WaitWithin(Spawn([] { return ReadDword("K", "N") == 1 ? 0 : 1; }));
  kill(stopped, SIGCONT);
  EXPECT_EQ(read, 0) << "a fresh reader waited for the stopped batch, or read the wrong value";
  EXPECT_EQ(WaitWithin(stopped), 0);
  EXPECT_EQ(ReadDword("K", "N"), 2u);
}

// A key opened under one name of the file, a batch begun under another: the key's writes and
// the reads under either name go to the batch instead of waiting for its lock.
TEST_F(RegistryLockingTest, OneFileNamedTwoWaysIsOneBatch) {
  fs::create_directory(dir_ / "sub");
  fs::create_directory_symlink(dir_, dir_ / "linked");
  const std::string dir = dir_.string();
  struct Case {
    const char* what;
    std::string other;  // the batch's name of the file
    bool exists;        // the file exists when the batch begins
  };
  const Case cases[] = {
      {"a dot", dir + "/./registry.reg", true},
      {"a double slash", dir + "//registry.reg", true},
      {"up and down", dir + "/sub/../registry.reg", true},
      {"a linked folder", dir + "/linked/registry.reg", true},
      {"relative", "registry.reg", true},
      {"a file still to be made", dir + "/./registry.reg", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(path_);
    const int result = WaitWithin(Spawn([&] {
      if (chdir(dir.c_str()) != 0) return 1;
      HKEY key = c.exists ? Create("K") : HKEY_LOCAL_MACHINE;
      setenv("OMBIX_REGISTRY", c.other.c_str(), 1);
      if (OmbixRegBeginBatch() != ERROR_SUCCESS) return 2;
      if (SetDword(key, "ThroughKey", 1) != ERROR_SUCCESS) return 3;
      setenv("OMBIX_REGISTRY", path_.c_str(), 1);
      if (SetDword(HKEY_LOCAL_MACHINE, "First", 2) != ERROR_SUCCESS) return 4;
      if (GetDword(HKEY_LOCAL_MACHINE, "First") != 2 || GetDword(key, "ThroughKey") != 1) {
        return 5;
      }
      if (FileText().find("First") != std::string::npos) return 6;  // not before the end
      if (OmbixRegEndBatch() != ERROR_SUCCESS) return 7;
      return FileText().find("\"First\"=dword:00000002") == std::string::npos ? 8 : 0;
    }));
    EXPECT_EQ(result, 0) << "-1: it waited for its own batch";
  }
}

// A folder where the lock file cannot be made: the cause is why it could not be made.
TEST_F(RegistryLockingTest, ALockFileThatCannotBeMadeSaysWhy) {
  ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);  // root passes this only as another user
  const bool root = geteuid() == 0;
  for (const bool batch : {false, true}) {
    SCOPED_TRACE(batch ? "a batch" : "a write");
    auto attempt = [&] {
      const LONG result = batch ? OmbixRegBeginBatch() : SetDword(HKEY_LOCAL_MACHINE, "V", 1);
      if (result != ERROR_CANTWRITE) return 1;
      return OmbixRegLastFileError() == path_ + ".lock: cannot create: Permission denied" ? 0 : 2;
    };
    EXPECT_EQ(WaitWithin(root ? SpawnAs(54321, 54321, {}, attempt) : Spawn(attempt)), 0);
  }
  ASSERT_EQ(chmod(dir_.c_str(), 0700), 0);
}

// Two batches in two folders, each writing into the other's file through a key opened before it
// began: neither waits for the other for ever. Each write waits a few seconds, then answers
// ERROR_CANTWRITE naming the busy folder; each batch still ends and writes its own change.
TEST_F(RegistryLockingTest, BatchesWritingIntoEachOthersFolderDoNotWaitForEachOther) {
  const std::string a = (dir_ / "a").string(), b = (dir_ / "b").string();
  for (const std::string& folder : {a, b}) {
    fs::create_directory(folder);
    setenv("OMBIX_REGISTRY", (folder + "/registry.reg").c_str(), 1);
    RegCloseKey(Create("K"));
  }
  Pipe to_a, to_b;
  auto batch = [](const std::string& own, const std::string& other, const Pipe& to_peer,
                  const Pipe& from_peer) {
    setenv("OMBIX_REGISTRY", (other + "/registry.reg").c_str(), 1);
    HKEY there = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_ALL_ACCESS, &there) != ERROR_SUCCESS) {
      return 1;
    }
    setenv("OMBIX_REGISTRY", (own + "/registry.reg").c_str(), 1);
    if (OmbixRegBeginBatch() != ERROR_SUCCESS) return 2;
    if (SetDword(HKEY_LOCAL_MACHINE, "Own", 1) != ERROR_SUCCESS) return 3;
    to_peer.Send('b');
    if (from_peer.Receive() != 'b') return 4;  // both batches hold their folders now
    const LONG crossed = SetDword(there, "Crossed", 1);
    const std::string cause = OmbixRegLastFileError();
    to_peer.Send('w');
    if (from_peer.Receive() != 'w') return 5;  // no batch ends before both writes answered
    if (crossed != ERROR_CANTWRITE) return 6;
    if (cause.rfind(other + ": busy: ", 0) != 0) return 7;
    return OmbixRegEndBatch() == ERROR_SUCCESS ? 0 : 8;
  };
  const pid_t first = Spawn([&] { return batch(a, b, to_b, to_a); });
  const pid_t second = Spawn([&] { return batch(b, a, to_a, to_b); });
  EXPECT_EQ(WaitWithin(first), 0) << "-1: it waited for ever";
  EXPECT_EQ(WaitWithin(second), 0) << "-1: it waited for ever";
  for (const std::string& folder : {a, b}) {
    const std::string text = ReadText(folder + "/registry.reg");
    EXPECT_NE(text.find("\"Own\"=dword:00000001"), std::string::npos) << text;
    EXPECT_EQ(text.find("Crossed"), std::string::npos) << text;
  }
}

// A program that locks only another file's lock file keeps a batch's write to that file waiting
// no longer than a few seconds either.
TEST_F(RegistryLockingTest, ABatchWaitsForAnotherFilesLockFileOnlyAWhile) {
  fs::create_directory(dir_ / "other");
  const std::string other = (dir_ / "other/registry.reg").string();
  const int held = open((other + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const int result = WaitWithin(Spawn([&] {
    if (OmbixRegBeginBatch() != ERROR_SUCCESS) return 1;
    setenv("OMBIX_REGISTRY", other.c_str(), 1);
    if (SetDword(HKEY_LOCAL_MACHINE, "V", 1) != ERROR_CANTWRITE) return 2;
    if (OmbixRegLastFileError().rfind(other + ".lock: busy: ", 0) != 0) return 3;
    return OmbixRegEndBatch() == ERROR_SUCCESS ? 0 : 4;
  }));
  close(held);
  EXPECT_EQ(result, 0) << "-1: it waited for ever";
  EXPECT_FALSE(fs::exists(other));
}

// A lock file that is, or links to, a terminal: a writer without a controlling terminal (a
// service) must not acquire that one by locking it.
TEST_F(RegistryLockingTest, ALockFileThatIsATerminalDoesNotBecomeTheControllingOne) {
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[64];
  if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0 ||
      ptsname_r(terminal, name, sizeof name) != 0) {
    GTEST_SKIP() << "no pseudo-terminals here";
  }
  fs::create_symlink(name, path_ + ".lock");
  const int result = WaitWithin(Spawn([] {
    if (setsid() < 0) return 1;  // a session of its own, without a controlling terminal
    if (SetDword(HKEY_LOCAL_MACHINE, "V", 1) != ERROR_SUCCESS) return 2;
    const int controlling = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (controlling < 0) return 0;
    close(controlling);
    return 3;
  }));
  close(terminal);
  EXPECT_EQ(result, 0) << "3: the writer acquired the lock file's terminal";
  EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, "V"), 1u);
}

}  // namespace
}  // namespace ombix::registry_test

// Batches: many changes under one lock, written once.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

#include "tests/platform/registry_child_support.h"
#include "tests/platform/registry_test_support.h"

namespace ombix::registry_test {
namespace {

namespace fs = std::filesystem;

using RegistryBatchTest = RegistryFileTest;

ino_t Inode(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(RegistryBatchTest, ChangesAreSeenAtOnceAndWrittenOnceAtTheOutermostEnd) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "Before", 1), ERROR_SUCCESS);
  const std::string before = FileText();
  const ino_t inode = Inode(path_);

  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);  // nested: counts only
  EXPECT_EQ(SetDword(key, "A", 2), ERROR_SUCCESS);
  HKEY sub = Create("K\\Sub");
  EXPECT_EQ(SetString(sub, "S", "text"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "Before"), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(key, "A"), 2u);  // the batch's own changes are seen
  EXPECT_EQ(ReadDword("K", "Before"), 0xDEADBEEFu);
  EXPECT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);
  EXPECT_EQ(FileText(), before) << "written by an inner end";
  EXPECT_EQ(Inode(path_), inode);
  EXPECT_EQ(SetDword(key, "A", 3), ERROR_SUCCESS);
  EXPECT_EQ(FileText(), before) << "a write inside the batch went to the file";
  EXPECT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);

  EXPECT_EQ(FileText(),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"A\"=dword:00000003\n\n"
            "[HKEY_LOCAL_MACHINE\\K\\Sub]\n\"S\"=\"text\"\n\n");
  EXPECT_EQ(OmbixRegEndBatch(), ERROR_INVALID_FUNCTION);  // none open
  // After the batch, writes go straight to the file again.
  EXPECT_EQ(SetDword(key, "After", 4), ERROR_SUCCESS);
  EXPECT_NE(FileText().find("\"After\"=dword:00000004"), std::string::npos);
  RegCloseKey(sub);
  RegCloseKey(key);
}

TEST_F(RegistryBatchTest, ABatchWithoutChangesLeavesTheFileAlone) {
  RegCloseKey(Create("K"));
  const ino_t inode = Inode(path_);
  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
  HKEY key = Create("K");  // exists: no change
  EXPECT_EQ(ReadDword("K", "Missing"), 0xDEADBEEFu);
  EXPECT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);
  EXPECT_EQ(Inode(path_), inode);
  RegCloseKey(key);
}

// A batch that cannot finish (an exception in its writer) is cancelled: whether the cancel comes
// at the outermost level or an inner one, nothing of it reaches the file or later readers, and
// the lock is given back. An outermost end after an inner cancel says the batch was dropped,
// changes made after the cancel and none at all alike.
TEST_F(RegistryBatchTest, ACancelledBatchLeavesTheFileAndItsReadersAsTheyWere) {
  struct Case {
    const char* what;
    bool inner;   // cancelled by an inner end; the outermost end is OmbixRegEndBatch
    bool before;  // changes before the cancel
    bool after;   // and after it
  };
  const Case cases[] = {{"cancelled by the outermost end", false, true, false},
                        {"cancelled by an inner end", true, true, false},
                        {"changes after an inner cancel", true, false, true},
                        {"no change around an inner cancel", true, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HKEY key = Create("K");
    ASSERT_EQ(SetDword(key, "Kept", 1), ERROR_SUCCESS);
    const std::string before = FileText();
    auto change = [key] {
      EXPECT_EQ(RegDeleteValueA(key, "Kept"), ERROR_SUCCESS);
      EXPECT_EQ(SetDword(key, "Half", 2), ERROR_SUCCESS);
    };
    ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
    if (c.inner) {
      ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
    }
    if (c.before) change();
    EXPECT_EQ(OmbixRegCancelBatch(), ERROR_SUCCESS);
    if (c.after) change();
    if (c.inner) {
      EXPECT_EQ(OmbixRegEndBatch(), ERROR_CANCELLED);
    }
    EXPECT_EQ(OmbixRegCancelBatch(), ERROR_INVALID_FUNCTION);  // none open
    EXPECT_EQ(FileText(), before);
    EXPECT_EQ(ReadDword("K", "Kept"), 1u);
    EXPECT_EQ(ReadDword("K", "Half"), 0xDEADBEEFu);
    // Another process can write at once: the lock went with the batch.
    const pid_t child = Spawn([] {
      return ReadDword("K", "Kept") == 1 && SetDword(HKEY_LOCAL_MACHINE, "Child", 3) == 0 ? 0 : 1;
    });
    EXPECT_EQ(Wait(child), 0);
    RegCloseKey(key);
  }
}

TEST_F(RegistryBatchTest, OtherThreadsWaitForTheBatchToEnd) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "N", 1), ERROR_SUCCESS);
  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "N", 2), ERROR_SUCCESS);
  std::atomic<bool> started{false};
  DWORD seen = 0;
  std::thread reader([&] {
    started = true;
    seen = ReadDword("K", "N");  // neither the file's 1 nor the batch's unfinished 2
  });
  while (!started) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it reach the registry
  ASSERT_EQ(SetDword(key, "N", 3), ERROR_SUCCESS);
  ASSERT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);
  reader.join();
  EXPECT_EQ(seen, 3u);
  RegCloseKey(key);
}

TEST_F(RegistryBatchTest, AnotherThreadHasNoBatchToEnd) {
  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
  LONG other = ERROR_SUCCESS;
  std::thread([&] { other = OmbixRegEndBatch(); }).join();
  EXPECT_EQ(other, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);
}

TEST_F(RegistryBatchTest, ABatchFirstReadsWhatAnotherProcessWrote) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "Mine", 1), ERROR_SUCCESS);
  ASSERT_EQ(GetDword(key, "Mine"), 1u);  // kept in memory now
  ASSERT_EQ(Wait(Spawn([] { return SetDword(Create("K"), "Theirs", 7) == ERROR_SUCCESS ? 0 : 1; })),
            0);
  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(key, "Mine", 2), ERROR_SUCCESS);
  ASSERT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);
  EXPECT_EQ(ReadDword("K", "Theirs"), 7u);
  EXPECT_EQ(ReadDword("K", "Mine"), 2u);
  RegCloseKey(key);
}

TEST_F(RegistryBatchTest, BatchesAndWritersInOtherProcessesLoseNothing) {
  constexpr DWORD kWrites = 100;
  RegCloseKey(Create("Shared"));
  pid_t first = Spawn(CountingWriter("First", kWrites));
  pid_t second = Spawn(CountingWriter("Second", kWrites));
  // Batches of this process's own values meanwhile, until the writers are done and once more:
  // a batch written from a stale copy would put back an older number of theirs.
  HKEY key = Create("Shared");
  DWORD round = 0;
  for (bool writers_done = false;;) {
    ++round;
    ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
    for (int v = 0; v < 10; ++v) {
      ASSERT_EQ(SetDword(key, ("Batch" + std::to_string(v)).c_str(), round), ERROR_SUCCESS);
    }
    ASSERT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);
    if (writers_done) break;
    writers_done = true;
    for (pid_t pid : {first, second}) {
      siginfo_t info{};
      waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
      if (info.si_pid == 0) writers_done = false;  // still running
    }
  }
  EXPECT_EQ(Wait(first), 0);
  EXPECT_EQ(Wait(second), 0);
  EXPECT_EQ(ReadDword("Shared", "First"), kWrites);
  EXPECT_EQ(ReadDword("Shared", "Second"), kWrites);
  for (int v = 0; v < 10; ++v) {
    EXPECT_EQ(ReadDword("Shared", ("Batch" + std::to_string(v)).c_str()), round);
  }
  RegCloseKey(key);
}

TEST_F(RegistryBatchTest, ABatchThatCannotBeWrittenLeavesTheFileByteForByte) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  const std::string before = FileText();
  // A process that may write only a few bytes to any file: the batch's write fails midway.
  EXPECT_EQ(Wait(Spawn([this, key] {
              signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{8, 8};
              setrlimit(RLIMIT_FSIZE, &limit);
              if (OmbixRegBeginBatch() != ERROR_SUCCESS) return 1;
              if (SetDword(key, "D", 2) != ERROR_SUCCESS ||
                  SetDword(key, "E", 3) != ERROR_SUCCESS || GetDword(key, "D") != 2) {
                return 2;
              }
              if (OmbixRegEndBatch() != ERROR_CANTWRITE) return 3;
              if (OmbixRegLastFileError().rfind(path_ + ": ", 0) != 0) return 4;
              // The batch's changes are dropped: this process sees the file again.
              if (GetDword(key, "D") != 1 || GetDword(key, "E") != 0xDEADBEEF) return 5;
              return OmbixRegEndBatch() == ERROR_INVALID_FUNCTION ? 0 : 6;
            })),
            0);
  EXPECT_EQ(FileText(), before);
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
  EXPECT_EQ(GetDword(key, "D"), 1u);
  RegCloseKey(key);
}

TEST_F(RegistryBatchTest, AFileItsOwnerMayNotWriteRefusesTheBatchsFirstChange) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  const std::string before = FileText();
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);  // no change
  EXPECT_EQ(SetDword(key, "D", 2), ERROR_CANTWRITE);
  EXPECT_NE(OmbixRegLastFileError().find("read-only"), std::string::npos);
  EXPECT_EQ(GetDword(key, "D"), 1u);  // not made
  EXPECT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);
  EXPECT_EQ(FileText(), before);
  RegCloseKey(key);
}

TEST_F(RegistryBatchTest, ABatchWhoseFileCannotBeReadAgainAnswersAtOnce) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(key, "D", 2), ERROR_CANTWRITE);  // refused: the file is to be read again
  // ...but it is no longer a file. The batch's own lock must not keep the calls waiting.
  ASSERT_EQ(unlink(path_.c_str()), 0);
  ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
  DWORD size = 4;
  BYTE data[4];
  EXPECT_EQ(RegQueryValueExA(key, "D", nullptr, nullptr, data, &size), ERROR_CANTREAD);
  EXPECT_EQ(SetDword(key, "D", 3), ERROR_CANTREAD);
  EXPECT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);  // nothing was changed
  RegCloseKey(key);
}

TEST_F(RegistryBatchTest, CallsOnOtherFilesDuringABatchGoToThoseFiles) {
  HKEY key = Create("K");
  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "Batched", 1), ERROR_SUCCESS);
  // More files than the registry keeps in memory at once, each written on the spot.
  for (int i = 0; i < 12; ++i) {
    const std::string other = (dir_ / ("other" + std::to_string(i) + ".reg")).string();
    setenv("OMBIX_REGISTRY", other.c_str(), 1);
    HKEY there = Create("K");
    EXPECT_EQ(SetDword(there, "Direct", i), ERROR_SUCCESS);
    RegCloseKey(there);
    EXPECT_NE(ReadText(other).find("\"Direct\"=dword:"), std::string::npos) << other;
  }
  EXPECT_EQ(GetDword(key, "Batched"), 1u);  // the handle still names the batch's file
  ASSERT_EQ(SetDword(key, "Later", 2), ERROR_SUCCESS);
  EXPECT_EQ(FileText().find("Batched"), std::string::npos);
  ASSERT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);
  EXPECT_EQ(FileText(),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"Batched\"=dword:00000001\n"
            "\"Later\"=dword:00000002\n\n");
  RegCloseKey(key);
}

// A relative file name names the file of the folder current when a key is opened or a batch
// begins: a later change of folder moves neither to the new folder's file of that name, while
// the root itself follows the process.
TEST_F(RegistryBatchTest, ARelativeFileStaysTheOneOpenedWhenTheProcessChangesFolder) {
  const std::string one = (dir_ / "one").string(), two = (dir_ / "two").string();
  const std::string two_text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n\"Own\"=dword:00000002\n\n";
  fs::create_directory(one);
  fs::create_directory(two);
  std::ofstream(one + "/r.reg")
      << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"Own\"=dword:00000001\n\n";
  std::ofstream(two + "/r.reg") << two_text;
  const int result = WaitWithin(Spawn([&] {
    setenv("OMBIX_REGISTRY", "r.reg", 1);
    HKEY key = nullptr;
    if (chdir(one.c_str()) != 0 ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_ALL_ACCESS, &key) || OmbixRegBeginBatch() ||
        SetDword(HKEY_LOCAL_MACHINE, "Before", 3) || chdir(two.c_str())) {
      return 1;
    }
    const bool read = GetDword(key, "Own") == 1 && GetDword(HKEY_LOCAL_MACHINE, "Own") == 2;
    // Whether these reach the right file, the file's text says.
    SetDword(key, "Batched", 4);
    OmbixRegEndBatch();
    SetDword(key, "After", 5);
    return read ? 0 : 2;
  }));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadText(two + "/r.reg"), two_text);
  EXPECT_EQ(
      ReadText(one + "/r.reg"),
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n\"Before\"=dword:00000003\n\n[HKEY_LOCAL_MACHINE\\K]\n"
      "\"Own\"=dword:00000001\n\"Batched\"=dword:00000004\n\"After\"=dword:00000005\n\n");
}

TEST_F(RegistryBatchTest, ABatchNeedsAFile) {
  setenv("OMBIX_REGISTRY", (dir_ / "missing-folder/registry.reg").c_str(), 1);
  EXPECT_EQ(OmbixRegBeginBatch(), ERROR_CANTWRITE);
  EXPECT_NE(OmbixRegLastFileError().find("missing-folder"), std::string::npos);
  EXPECT_EQ(OmbixRegEndBatch(), ERROR_INVALID_FUNCTION);  // none was opened
}

}  // namespace
}  // namespace ombix::registry_test

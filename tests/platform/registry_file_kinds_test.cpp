// Registry paths that name something other than a regular file, files too large to read, and
// memory running out: each refused with an answer, never waited on, never replaced.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/platform/registry_test_support.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define OMBIX_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define OMBIX_TEST_SANITIZED 1
#endif
#endif

namespace ombix::registry_test {
namespace {

namespace fs = std::filesystem;

// Only how long a hang that must not happen takes to fail; generous for a loaded machine.
constexpr unsigned kDeadlineSeconds = 60;
constexpr off_t kLimit = off_t{64} << 20;

class RegistryFileKindsTest : public RegistryFileTest {
 protected:
  // Runs `body` in a child process that a hang kills instead of blocking the run: its exit
  // status (100: an exception came through), or -1 when it did not exit.
  static int RunWithDeadline(const std::function<int()>& body) {
    return Wait(Spawn([&body] {
      alarm(kDeadlineSeconds);
      try {
        return body();
      } catch (...) {
        return 100;
      }
    }));
  }
  static bool Noted(const std::string& file, const std::string& cause) {
    return OmbixRegLastFileError() == file + ": " + cause;
  }
  // Every kind of first read, reading and writing; one bit for each call that did not answer
  // ERROR_CANTREAD with `cause` noted for `file`. All are tried: a write that went ahead would
  // show in the file.
  static int RefusedCalls(const std::string& file, const std::string& cause) {
    int failed = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &key) != ERROR_CANTREAD ||
        !Noted(file, cause)) {
      failed |= 1;
    }
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "S", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_CANTREAD ||
        !Noted(file, cause)) {
      failed |= 2;
    }
    if (SetString(HKEY_LOCAL_MACHINE, "A", "v") != ERROR_CANTREAD || !Noted(file, cause)) {
      failed |= 4;
    }
    if (OmbixRegBeginBatch() != ERROR_CANTREAD || !Noted(file, cause)) failed |= 8;
    return failed;
  }
  static mode_t TypeOf(const fs::path& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
  }
};

TEST_F(RegistryFileKindsTest, WhatIsNotARegularFileIsRefusedAtOnceAndLeftAsItIs) {
  struct Kind {
    const char* name;
    const char* target;  // what the registry path names, made beside it
    bool link;           // the registry path is a symbolic link to it
    mode_t type;
  };
  const Kind kinds[] = {
      {"a FIFO", "registry.reg", false, S_IFIFO},
      {"a link to a FIFO", "pipe", true, S_IFIFO},
      {"a folder", "registry.reg", false, S_IFDIR},
      {"a link to a folder", "folder", true, S_IFDIR},
      {"a link to a device like /dev/null", "null", true, S_IFCHR},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    const fs::path target = dir_ / kind.target;
    fs::remove_all(path_);
    fs::remove_all(target);
    if (kind.type == S_IFDIR) {
      ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
    } else if (mknod(target.c_str(), kind.type | 0666, makedev(1, 3)) != 0) {
      std::printf("skipped %s: cannot make it (a device needs root): %s\n", kind.name,
                  std::strerror(errno));
      continue;
    }
    if (kind.link) fs::create_symlink(target, path_);

    EXPECT_EQ(RunWithDeadline([&] { return RefusedCalls(target, "not a regular file"); }), 0);
    struct stat st {};
    ASSERT_EQ(lstat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, kind.type);
    EXPECT_TRUE(kind.type != S_IFCHR || st.st_rdev == makedev(1, 3));
    EXPECT_EQ(TypeOf(path_), kind.link ? S_IFLNK : kind.type);
  }
}

TEST_F(RegistryFileKindsTest, AWriteThroughAKeyAlreadyOpenIsRefusedWithoutWaiting) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  const fs::path pipe = dir_ / "pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_EQ(rename(pipe.c_str(), path_.c_str()), 0);  // in the file's place

  EXPECT_EQ(RunWithDeadline([&] {
              if (SetDword(key, "D", 2) != ERROR_CANTREAD) return 1;
              if (!Noted(path_, "not a regular file")) return 2;
              DWORD size = 4;
              BYTE data[4];
              if (RegQueryValueExA(key, "D", nullptr, nullptr, data, &size) != ERROR_CANTREAD) {
                return 3;
              }
              return 0;
            }),
            0);
  EXPECT_EQ(TypeOf(path_), S_IFIFO);
  RegCloseKey(key);
}

// A batch begun on a missing file finds something else in its place when it ends.
TEST_F(RegistryFileKindsTest, ABatchNeverRenamesOverWhatTookTheFilesPlace) {
  struct Kind {
    const char* name;
    mode_t type;
  };
  for (const Kind& kind : {Kind{"a FIFO", S_IFIFO}, Kind{"a device", S_IFCHR}}) {
    SCOPED_TRACE(kind.name);
    fs::remove_all(path_);
    ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
    HKEY key = Create("K");
    EXPECT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
    if (mknod(path_.c_str(), kind.type | 0600, makedev(1, 3)) != 0) {
      std::printf("skipped %s: cannot make it (a device needs root): %s\n", kind.name,
                  std::strerror(errno));
      OmbixRegCancelBatch();
      RegCloseKey(key);
      continue;
    }
    EXPECT_EQ(OmbixRegEndBatch(), ERROR_CANTWRITE);
    EXPECT_TRUE(Noted(path_, "not a regular file")) << OmbixRegLastFileError();
    RegCloseKey(key);
    EXPECT_EQ(TypeOf(path_), kind.type);
    for (const auto& entry : fs::directory_iterator(dir_)) {
      EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }
  }
}

TEST_F(RegistryFileKindsTest, AFileLargerThanTheLimitIsRefusedBeforeItIsRead) {
  struct Size {
    const char* name;
    off_t size;  // a sparse file of this size
    LONG opening;
  };
  const Size sizes[] = {
      {"one byte too large", kLimit + 1, ERROR_CANTREAD},
      {"a terabyte", off_t{1} << 40, ERROR_CANTREAD},
      {"at the limit", kLimit, ERROR_FILE_NOT_FOUND},  // read: nothing valid in it
  };
  for (const Size& size : sizes) {
    SCOPED_TRACE(size.name);
    fs::remove_all(path_);
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const bool made = ftruncate(fd, size.size) == 0;
    close(fd);
    if (!made) {
      std::printf("skipped %s: this file system holds no such file\n", size.name);
      continue;
    }
    EXPECT_EQ(RunWithDeadline([&] {
                if (size.opening != ERROR_CANTREAD) {
                  std::freopen("/dev/null", "w", stderr);  // the report of the damage read
                }
                HKEY key = nullptr;
                if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_READ, &key) != size.opening) {
                  return 1;
                }
                if (size.opening != ERROR_CANTREAD) return 0;
                if (!Noted(path_, "too large (more than 64 MiB)")) return 2;
                return SetString(HKEY_LOCAL_MACHINE, "A", "v") == ERROR_CANTREAD ? 0 : 3;
              }),
              0);
    EXPECT_EQ(static_cast<off_t>(fs::file_size(path_)), size.size);  // not rewritten
  }
}

// A write that would make the file too large for any reader is refused: the file, still
// readable by a process that has not kept it, must stay mendable through the registry.
TEST_F(RegistryFileKindsTest, AWriteThatWouldMakeTheFileTooLargeIsRefused) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  const std::string before = FileText();
  const std::vector<BYTE> big(static_cast<size_t>(kLimit / 3), 0xab);  // three characters a byte
  EXPECT_EQ(RegSetValueExA(key, "Big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size())),
            ERROR_CANTWRITE);
  EXPECT_TRUE(Noted(path_, "too large (more than 64 MiB)")) << OmbixRegLastFileError();
  EXPECT_TRUE(FileText() == before) << "the file was rewritten";  // not tens of MB of output
  // Another name of the file is read afresh, as another process would read it.
  setenv("OMBIX_REGISTRY", (dir_.string() + "/./registry.reg").c_str(), 1);
  EXPECT_EQ(ReadDword("K", "D"), 1u);
  RegCloseKey(key);
}

// Memory that runs out is an answer, not an exception thrown through the caller.
TEST_F(RegistryFileKindsTest, OutOfMemoryIsAnsweredAndChangesNothing) {
#ifdef OMBIX_TEST_SANITIZED
  GTEST_SKIP() << "the sanitizers' allocators end the process rather than report out of memory";
#else
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  EXPECT_EQ(RunWithDeadline([key] {
              // A gigabyte to store (its pages are never touched) and too little address space
              // left to copy it.
              constexpr DWORD kBig = DWORD{1} << 30;
              void* data = mmap(nullptr, kBig, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
              if (data == MAP_FAILED) return 10;
              long pages = 0;
              FILE* statm = std::fopen("/proc/self/statm", "r");
              if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1) return 11;
              std::fclose(statm);
              rlimit saved{};
              getrlimit(RLIMIT_AS, &saved);
              rlimit limit = saved;
              limit.rlim_cur =
                  static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                  (rlim_t{256} << 20);
              if (setrlimit(RLIMIT_AS, &limit) != 0) return 12;
              const LONG answer =
                  RegSetValueExA(key, "Big", 0, REG_BINARY, static_cast<const BYTE*>(data), kBig);
              setrlimit(RLIMIT_AS, &saved);
              if (answer != ERROR_NOT_ENOUGH_MEMORY) return 1;
              return GetDword(key, "D") == 1 && SetDword(key, "D", 2) == ERROR_SUCCESS ? 0 : 2;
            }),
            0);
  EXPECT_EQ(FileText().find("Big"), std::string::npos);
  EXPECT_NE(FileText().find("\"D\"=dword:00000002"), std::string::npos);
  RegCloseKey(key);
#endif
}

}  // namespace
}  // namespace ombix::registry_test

// A registry file of its own for each test, and short helpers over the registry functions.
#pragma once

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/registry.h"

namespace ombix::registry_test {

class RegistryFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ombix-registry-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "registry.reg").string();
    setenv("OMBIX_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("OMBIX_REGISTRY");
    std::filesystem::remove_all(dir_);
  }

  static std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string FileText() const { return ReadText(path_); }

 public:  // also for code outside the fixture
  static HKEY Create(const char* key) {
    HKEY handle = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS)
        << key;
    return handle;
  }
  static LONG SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  }
  static LONG SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  }
  // The value as a number, or 0xDEADBEEF when it cannot be read.
  static DWORD GetDword(HKEY key, const char* name) {
    DWORD value = 0xDEADBEEF;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS) {
      return 0xDEADBEEF;
    }
    return value;
  }
  // A value of key `key` below the root read through a handle of its own.
  static DWORD ReadDword(const char* key, const char* name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) {
      return 0xDEADBEEF;
    }
    const DWORD value = GetDword(handle, name);
    RegCloseKey(handle);
    return value;
  }
  // Runs `body` in a child process; its return value is the child's exit status.
  static pid_t Spawn(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
  }
  // A child's body: counts the DWORD `name` of key "Shared" from 1 to `writes`, reading each
  // back; 0 when no write was lost (a lost update would put back an older number).
  static std::function<int()> CountingWriter(const char* name, DWORD writes) {
    return [name, writes] {
      HKEY key = Create("Shared");
      for (DWORD i = 1; i <= writes; ++i) {
        if (SetDword(key, name, i) != ERROR_SUCCESS || GetDword(key, name) != i) return 1;
      }
      return 0;
    };
  }
  static int Wait(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

 protected:
  std::filesystem::path dir_;
  std::string path_;
};

// Counts the times a file is replaced: every registry write renames a new file of its own name
// over it (the kernel folds repeated identical events, so the new files' names are counted).
class ReplaceCounter {
 public:
  explicit ReplaceCounter(const std::filesystem::path& file) : m_name(file.filename()) {
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0) inotify_add_watch(m_fd, file.parent_path().c_str(), IN_MOVED_FROM);
  }
  ~ReplaceCounter() {
    if (m_fd >= 0) close(m_fd);
  }
  bool Watching() const { return m_fd >= 0; }
  int Count() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (ssize_t n; (n = read(m_fd, buffer, sizeof(buffer))) > 0;) {
      for (char* p = buffer; p < buffer + n;) {
        const auto* pEvent = reinterpret_cast<const inotify_event*>(p);
        if (pEvent->len > 0 && m_name != pEvent->name) ++m_nCount;
        p += sizeof(inotify_event) + pEvent->len;
      }
    }
    return m_nCount;
  }

 private:
  std::string m_name;
  int m_fd = -1;
  int m_nCount = 0;
};

}  // namespace ombix::registry_test

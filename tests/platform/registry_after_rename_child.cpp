// A process for registry tests in which every allocation fails once the registry file has been
// replaced, until the registry call that replaced it returns: what comes after the rename must
// neither fail the change it completes nor leak the new file's descriptor.
//
// Usage: registry_after_rename_child write|batch, with OMBIX_REGISTRY naming the file. The exit
// status says what went wrong (0: nothing).
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/registry.h"

namespace {

std::atomic<bool> g_armed{false};    // the next rename starts the failing
std::atomic<bool> g_failing{false};  // every allocation fails
std::atomic<int> g_renames{0};

enum Exit {
  kOk = 0,
  kSetUp = 1,
  kAnswer = 2,       // the call answered a failure
  kNotReplaced = 3,  // the call never renamed a file: nothing was tested
  kValue = 4,        // the change is not what is read back
  kDescriptors = 5,  // more than one descriptor of the file is open: one leaked
  kUsage = 6,
};

// Descriptors of this process that name `file`.
int DescriptorsOf(const std::string& file) {
  int count = 0;
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return -1;
  while (const dirent* entry = readdir(fds)) {
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    char target[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    if (length > 0 &&
        file.compare(0, std::string::npos, target, static_cast<size_t>(length)) == 0) {
      ++count;
    }
  }
  closedir(fds);
  return count;
}

DWORD Read(HKEY key) {
  DWORD value = 0;
  DWORD size = sizeof value;
  RegQueryValueExA(key, "D", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  return value;
}

LONG Write(HKEY key, DWORD value) {
  return RegSetValueExA(key, "D", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

}  // namespace

// Stands in for the C library's rename for this whole program, the registry's included.
extern "C" int rename(const char* from, const char* to) noexcept {
  const int result = renameat(AT_FDCWD, from, AT_FDCWD, to);
  if (result == 0) {
    ++g_renames;
    if (g_armed.exchange(false)) g_failing = true;
  }
  return result;
}

void* operator new(std::size_t size) {
  if (!g_failing) {
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  }
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}

int main(int argc, char** argv) {
  if (argc != 2) return kUsage;
  const bool batch = std::strcmp(argv[1], "batch") == 0;
  if (!batch && std::strcmp(argv[1], "write") != 0) return kUsage;
  char resolved[PATH_MAX];
  const char* file = std::getenv("OMBIX_REGISTRY");
  HKEY key = nullptr;
  if (file == nullptr ||
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, "K", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &key, nullptr) != ERROR_SUCCESS ||
      Write(key, 1) != ERROR_SUCCESS || realpath(file, resolved) == nullptr) {
    return kSetUp;
  }
  if (batch && OmbixRegBeginBatch() != ERROR_SUCCESS) return kSetUp;
  if (batch && Write(key, 2) != ERROR_SUCCESS) return kSetUp;
  const int renames = g_renames;
  g_armed = true;
  const LONG answer = batch ? OmbixRegEndBatch() : Write(key, 2);
  g_armed = false;
  g_failing = false;
  if (g_renames == renames) return kNotReplaced;
  if (answer != ERROR_SUCCESS) return kAnswer;
  if (Read(key) != 2) return kValue;  // the kept descriptor serves, or the file is read again
  return DescriptorsOf(resolved) == 1 ? kOk : kDescriptors;
}

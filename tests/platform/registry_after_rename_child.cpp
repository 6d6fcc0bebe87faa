// A process for registry tests in which every allocation fails once the registry file has been
// replaced, until the registry call that replaced it returns: what comes after the rename must
// neither fail the change it completes nor leak the new file's descriptor.
//
// Usage: registry_after_rename_child write|batch, with OMBIX_REGISTRY naming the file. The exit
// status says what went wrong (0: nothing; 1: the set-up failed).
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#include "platform/registry.h"

namespace {

std::atomic<bool> g_armed{false};    // the next rename starts the failing
std::atomic<bool> g_failing{false};  // every allocation fails
std::atomic<int> g_renames{0};

LONG Write(HKEY key, DWORD value) {
  return RegSetValueExA(key, "D", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

}  // namespace

// Stands in for the C library's rename for this whole program, the registry's included.
extern "C" int rename(const char* from, const char* to) noexcept {
  const int result = renameat(AT_FDCWD, from, AT_FDCWD, to);
  if (result == 0 && (++g_renames, g_armed.exchange(false))) g_failing = true;
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
  const bool batch = argc == 2 && std::strcmp(argv[1], "batch") == 0;
  const char* file = std::getenv("OMBIX_REGISTRY");
  char resolved[PATH_MAX];
  HKEY key = nullptr;
  if (file == nullptr ||
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, "K", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &key, nullptr) != ERROR_SUCCESS ||
      Write(key, 1) != ERROR_SUCCESS || realpath(file, resolved) == nullptr ||
      (batch && (OmbixRegBeginBatch() != ERROR_SUCCESS || Write(key, 2) != ERROR_SUCCESS))) {
    return 1;
  }
  const int renames = g_renames;
  g_armed = true;
  const LONG answer = batch ? OmbixRegEndBatch() : Write(key, 2);
  g_armed = g_failing = false;
  if (g_renames == renames) return 3;     // no file replaced: nothing was tested
  if (answer != ERROR_SUCCESS) return 2;  // a made change answered as a failure
  DWORD value = 0, size = sizeof value;
  RegQueryValueExA(key, "D", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  if (value != 2) return 4;  // the kept descriptor serves, or the file is read again
  int open = 0;              // more than one descriptor of the file: one leaked
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    open += std::filesystem::read_symlink(fd.path(), error) == resolved;
  }
  return open == 1 ? 0 : 5;
}

// Modules over the dynamic loader, and the debugger output.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32.h"

namespace {

void* ToDl(HMODULE module) {
  return reinterpret_cast<void*>(module);
}
HMODULE FromDl(void* handle) {
  return reinterpret_cast<HMODULE>(handle);
}

// The loader's record of the object that holds the address, or null.
link_map* ObjectAt(const void* address) {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) return nullptr;
  return map;
}

// Absolute path of the object that holds this code: a shared library, or the program itself
// (which the loader lists without a name).
std::string OwnObjectPath() {
  const link_map* map = ObjectAt(reinterpret_cast<const void*>(&GetSystemDirectoryA));
  const char* name = (map != nullptr && map->l_name[0] != 0) ? map->l_name : "/proc/self/exe";
  char resolved[PATH_MAX];
  return realpath(name, resolved) != nullptr ? std::string(resolved) : std::string();
}

// Directory of that object, without a trailing separator ("/" for the root); empty if unknown.
std::string OwnDirectory() {
  std::string dir = OwnObjectPath();
  const size_t slash = dir.rfind('/');
  if (slash == std::string::npos) return std::string();
  dir.resize(slash == 0 ? 1 : slash);
  return dir;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
  if (lpLibFileName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A bare name is looked for first in the module's own directory (GetSystemDirectoryA), where
  // the companion libraries live, as the original platform looks in its system directory;
  // then the loader's usual search.
  void* handle = nullptr;
  const std::string dir = std::strchr(lpLibFileName, '/') == nullptr ? OwnDirectory() : "";
  if (!dir.empty()) {
    const std::string path = dir + "/" + lpLibFileName;
    if (access(path.c_str(), F_OK) == 0) handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle == nullptr) handle = dlopen(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return FromDl(handle);
}

BOOL FreeLibrary(HMODULE hLibModule) {
  if (hLibModule == nullptr || dlclose(ToDl(hLibModule)) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (hModule == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // Small values are export ordinals on the original platform; no module here exports by number.
  if (reinterpret_cast<std::uintptr_t>(lpProcName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* symbol = dlsym(ToDl(hModule), lpProcName);
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule) {
  if (phModule == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phModule = nullptr;
  const char* name = lpModuleName;
  if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) != 0) {
    const link_map* map = ObjectAt(lpModuleName);
    if (map == nullptr) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return FALSE;
    }
    name = map->l_name[0] != 0 ? map->l_name : nullptr;  // the program has no name in the list
  }
  // Opening an object that is already loaded only counts a reference, which is given back at
  // once when the caller asked for an unchanged count: the handle stays valid while the object
  // stays loaded, and a library that names itself can still be unloaded.
  void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) != 0) dlclose(handle);
  *phModule = FromDl(handle);
  return TRUE;
}

UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  const std::string dir = OwnDirectory();
  if (dir.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  if (lpBuffer == nullptr || uSize < dir.size() + 1) return static_cast<UINT>(dir.size() + 1);
  std::memcpy(lpBuffer, dir.c_str(), dir.size() + 1);
  return static_cast<UINT>(dir.size());
}

void OutputDebugStringA(LPCSTR lpOutputString) {
  const char* enabled = std::getenv("OMBIX_DEBUG");
  if (enabled == nullptr || enabled[0] == 0 || lpOutputString == nullptr) return;
  std::fputs(lpOutputString, stderr);
}

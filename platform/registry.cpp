#include "platform/registry.h"

#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>

#include "platform/registry_disk.h"
#include "platform/registry_file.h"
#include "platform/registry_format.h"
#include "platform/registry_tree.h"

using namespace ombix::registry;

namespace {

// What an open handle names: a key path in one registry file.
struct OpenKey {
  std::string file;
  KeyPath path;
};

std::mutex g_handle_mutex;
// Handle values are never reused, so a closed handle stays invalid.
uintptr_t g_next_handle = 0x10000;

using HandleMap = std::unordered_map<uintptr_t, OpenKey>;

HandleMap& Handles() {
  // Never destroyed: a static destructor elsewhere may still close keys at exit. Built in static
  // storage so that unloading the library leaves nothing on the heap.
  alignas(HandleMap) static unsigned char storage[sizeof(HandleMap)];
  static HandleMap* handles = new (storage) HandleMap;
  return *handles;
}

// When the library is unloaded, keys still open are given back (closing them later answers
// ERROR_INVALID_HANDLE); the table itself stays usable.
struct HandleTableRelease {
  ~HandleTableRelease() {
    std::lock_guard<std::mutex> guard(g_handle_mutex);
    HandleMap().swap(Handles());
  }
} g_handle_table_release;

HKEY AddHandle(OpenKey key) {
  std::lock_guard<std::mutex> guard(g_handle_mutex);
  uintptr_t value = g_next_handle;
  g_next_handle += 4;
  Handles().emplace(value, std::move(key));
  return reinterpret_cast<HKEY>(value);
}

LONG ResolveHandle(HKEY hKey, OpenKey* key) {
  if (hKey == HKEY_LOCAL_MACHINE) {
    key->file = ResolveRegistryPath();
    key->path.clear();
    return ERROR_SUCCESS;
  }
  std::lock_guard<std::mutex> guard(g_handle_mutex);
  auto it = Handles().find(reinterpret_cast<uintptr_t>(hKey));
  if (it == Handles().end()) return ERROR_INVALID_HANDLE;
  *key = it->second;
  return ERROR_SUCCESS;
}

// hKey's key in *base and the key lpSubKey names below it in *relative.
LONG ResolveSubkey(HKEY hKey, LPCSTR lpSubKey, OpenKey* base, KeyPath* relative) {
  LONG result = ResolveHandle(hKey, base);
  if (result != ERROR_SUCCESS) return result;
  return SplitKeyPath(lpSubKey ? lpSubKey : "", relative) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

KeyPath Join(const KeyPath& base, const KeyPath& relative) {
  KeyPath path = base;
  path.insert(path.end(), relative.begin(), relative.end());
  return path;
}

// The key below `base` that `relative` names; ERROR_KEY_DELETED when the base key is gone.
LONG FindBelow(const Key& root, const KeyPath& base, const KeyPath& relative, const Key** key) {
  const Key* base_key = FindKey(root, base);
  if (!base_key) return ERROR_KEY_DELETED;
  *key = FindKey(*base_key, relative);
  return *key ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// ERROR_SUCCESS when the key that `relative` names below `base` exists (FindBelow's answers).
LONG CheckKeyBelow(const OpenKey& base, const KeyPath& relative) {
  return ReadRegistry(base.file, [&](const Key& root) {
    const Key* key = nullptr;
    return FindBelow(root, base.path, relative, &key);
  });
}

// What a registry function answers for the exception that ended it (called in its handler): none
// leaves them, their callers are C-style code. Out of memory: ERROR_NOT_ENOUGH_MEMORY; anything
// else `failure`, with its cause noted.
LONG ExceptionAnswer(LONG failure) noexcept {
  const char* cause = "unexpected failure";
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (const std::exception& error) {
    cause = error.what();
  } catch (...) {
  }
  try {
    NoteFailure("registry", cause);
  } catch (...) {
  }
  return failure;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM /*samDesired*/,
                   PHKEY phkResult) try {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  OpenKey base;
  KeyPath relative;
  LONG result = ResolveSubkey(hKey, lpSubKey, &base, &relative);
  if (result != ERROR_SUCCESS) return result;
  result = CheckKeyBelow(base, relative);
  if (result != ERROR_SUCCESS) return result;
  *phkResult = AddHandle(OpenKey{base.file, Join(base.path, relative)});
  return ERROR_SUCCESS;
} catch (...) {
  return ExceptionAnswer(ERROR_CANTREAD);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR /*lpClass*/,
                     DWORD dwOptions, REGSAM /*samDesired*/,
                     LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult,
                     LPDWORD lpdwDisposition) try {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (!lpSubKey || dwOptions != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
  OpenKey base;
  KeyPath relative;
  LONG result = ResolveSubkey(hKey, lpSubKey, &base, &relative);
  if (result != ERROR_SUCCESS) return result;
  if (base.path.size() + relative.size() > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
  // An existing key is opened without taking the write lock: the file may be read-only.
  result = CheckKeyBelow(base, relative);
  bool created = false;
  if (result == ERROR_FILE_NOT_FOUND) {
    result = ModifyRegistry(base.file, [&](Key& root, bool* changed) -> LONG {
      Key* key = FindKey(root, base.path);
      if (!key) return ERROR_KEY_DELETED;
      for (const std::string& part : relative) {
        bool added = false;
        key = key->FindOrAddSubkey(part, &added);
        created = created || added;
      }
      *changed = created;
      return ERROR_SUCCESS;
    });
  }
  if (result != ERROR_SUCCESS) return result;
  *phkResult = AddHandle(OpenKey{base.file, Join(base.path, relative)});
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
} catch (...) {
  return ExceptionAnswer(ERROR_CANTWRITE);
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) try {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  OpenKey open;
  LONG result = ResolveHandle(hKey, &open);
  if (result != ERROR_SUCCESS) return result;
  const std::string name = lpValueName ? lpValueName : "";
  return ReadRegistry(open.file, [&](const Key& root) -> LONG {
    const Key* key = FindKey(root, open.path);
    if (!key) return ERROR_KEY_DELETED;
    const Value* value = key->FindValue(name);
    if (!value) return ERROR_FILE_NOT_FOUND;
    const auto size = static_cast<DWORD>(value->data.size());
    if (lpType) *lpType = value->type;
    if (!lpcbData) return ERROR_SUCCESS;
    LONG answer = ERROR_SUCCESS;
    if (lpData && *lpcbData < size) {
      answer = ERROR_MORE_DATA;
    } else if (lpData && size) {
      std::memcpy(lpData, value->data.data(), size);
    }
    *lpcbData = size;
    return answer;
  });
} catch (...) {
  return ExceptionAnswer(ERROR_CANTREAD);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) try {
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  const std::string name = lpValueName ? lpValueName : "";
  if (!IsValidValueName(name)) return ERROR_INVALID_PARAMETER;
  OpenKey open;
  LONG result = ResolveHandle(hKey, &open);
  if (result != ERROR_SUCCESS) return result;
  const std::vector<BYTE> data(lpData, lpData + cbData);
  return ModifyRegistry(open.file, [&](Key& root, bool* changed) -> LONG {
    Key* key = FindKey(root, open.path);
    if (!key) return ERROR_KEY_DELETED;
    *changed = key->SetValue(name, dwType, data);
    return ERROR_SUCCESS;
  });
} catch (...) {
  return ExceptionAnswer(ERROR_CANTWRITE);
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) try {
  OpenKey open;
  LONG result = ResolveHandle(hKey, &open);
  if (result != ERROR_SUCCESS) return result;
  const std::string name = lpValueName ? lpValueName : "";
  return ModifyRegistry(open.file, [&](Key& root, bool* changed) -> LONG {
    Key* key = FindKey(root, open.path);
    if (!key) return ERROR_KEY_DELETED;
    *changed = key->RemoveValue(name);
    return *changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
} catch (...) {
  return ExceptionAnswer(ERROR_CANTWRITE);
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) try {
  if (!lpSubKey || !*lpSubKey) return ERROR_INVALID_PARAMETER;
  OpenKey base;
  KeyPath relative;
  LONG result = ResolveSubkey(hKey, lpSubKey, &base, &relative);
  if (result != ERROR_SUCCESS) return result;
  const std::string leaf = relative.back();
  relative.pop_back();
  return ModifyRegistry(base.file, [&](Key& root, bool* changed) -> LONG {
    const Key* found = nullptr;
    LONG answer = FindBelow(root, base.path, relative, &found);
    if (answer != ERROR_SUCCESS) return answer;
    Key* parent = const_cast<Key*>(found);
    const Key* key = parent->FindSubkey(leaf);
    if (!key) return ERROR_FILE_NOT_FOUND;
    if (key->SubkeyCount() != 0) return ERROR_ACCESS_DENIED;
    *changed = parent->RemoveSubkey(leaf);
    return ERROR_SUCCESS;
  });
} catch (...) {
  return ExceptionAnswer(ERROR_CANTWRITE);
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) try {
  if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) {
    return ERROR_INVALID_PARAMETER;
  }
  OpenKey open;
  LONG result = ResolveHandle(hKey, &open);
  if (result != ERROR_SUCCESS) return result;
  return ReadRegistry(open.file, [&](const Key& root) -> LONG {
    const Key* key = FindKey(root, open.path);
    if (!key) return ERROR_KEY_DELETED;
    const Key* subkey = key->SubkeyAt(dwIndex);
    if (!subkey) return ERROR_NO_MORE_ITEMS;
    const std::string& name = subkey->name();
    if (name.size() + 1 > *lpcchName || (lpClass && *lpcchClass < 1)) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass) {
      lpClass[0] = '\0';
      *lpcchClass = 0;
    }
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
} catch (...) {
  return ExceptionAnswer(ERROR_CANTREAD);
}

LONG RegCloseKey(HKEY hKey) try {
  if (hKey == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> guard(g_handle_mutex);
  return Handles().erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
} catch (...) {
  return ExceptionAnswer(ERROR_CANTREAD);
}

LONG OmbixRegExportKey(HKEY hKey, LPCSTR lpSubKey, BOOL bRecursive, std::string* text) try {
  if (!text) return ERROR_INVALID_PARAMETER;
  OpenKey base;
  KeyPath relative;
  LONG result = ResolveSubkey(hKey, lpSubKey, &base, &relative);
  if (result != ERROR_SUCCESS) return result;
  const KeyPath path = Join(base.path, relative);
  return ReadRegistry(base.file, [&](const Key& root) -> LONG {
    const Key* key = nullptr;
    LONG answer = FindBelow(root, base.path, relative, &key);
    if (answer != ERROR_SUCCESS) return answer;
    // The header shows each name as the registry keeps it.
    std::string shown;
    const Key* step = &root;
    for (const std::string& part : path) {
      step = step->FindSubkey(part);
      shown += (shown.empty() ? "" : "\\") + step->name();
    }
    *text = FormatRegistryText(*key, shown, bRecursive != FALSE);
    return ERROR_SUCCESS;
  });
} catch (...) {
  return ExceptionAnswer(ERROR_CANTREAD);
}

std::string OmbixRegLastFileError() try {
  return LastFileFailure();
} catch (...) {
  return {};
}

std::string OmbixRegFilePath() try {
  return ResolveRegistryPath();
} catch (...) {
  return {};
}

LONG OmbixRegBeginBatch() try {
  return BeginBatch(ResolveRegistryPath());
} catch (...) {
  return ExceptionAnswer(ERROR_CANTWRITE);
}

LONG OmbixRegEndBatch() try {
  return EndBatch(true);
} catch (...) {
  return ExceptionAnswer(ERROR_CANTWRITE);
}

LONG OmbixRegCancelBatch() try {
  return EndBatch(false);
} catch (...) {
  return ExceptionAnswer(ERROR_CANTWRITE);
}

// regtool: the registry from the command line, for administrators (e.g. the switch's server
// addresses) and scripts. Works through the platform's registry functions only.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;

constexpr char kUsage[] =
    "usage: regtool [--file PATH] COMMAND ARGUMENTS\n"
    "\n"
    "  get KEY [NAME]        print the value NAME of KEY (\"\" is the default value),\n"
    "                        or all of KEY's values\n"
    "  set KEY NAME VALUE [--sz | --dword | --binary]\n"
    "                        write a value, creating KEY as needed: text (the default),\n"
    "                        a number (decimal or 0x hex) or bytes in hex (01,02,ff)\n"
    "  delete [-r] KEY [NAME]\n"
    "                        delete the value NAME, or KEY itself; a key with subkeys\n"
    "                        only with -r, which deletes them too\n"
    "  dump [KEY]            print KEY and its subkeys (default: everything) as a\n"
    "                        REGEDIT4 file\n"
    "  keys KEY              list KEY's subkeys\n"
    "\n"
    "KEY is below HKEY_LOCAL_MACHINE and may start with \"HKEY_LOCAL_MACHINE\\\"; quote it.\n"
    "Put -- before a VALUE that starts with '-'.\n"
    "The registry file, a regular file of at most 64 MiB, is PATH, else $OMBIX_REGISTRY, else\n"
    "${XDG_CONFIG_HOME:-$HOME/.config}/ombix/registry.reg. set creates the file, and the\n"
    "folder of the last (default) one; the folder of a PATH or $OMBIX_REGISTRY must exist.\n"
    "Beside the file stays FILE.lock: every program that writes the registry locks it and\n"
    "the file's folder, so that no change is lost (writers of files in one folder take\n"
    "turns). FILE.lock holds nothing; deleting it, even while programs run, loses nothing,\n"
    "unless the folder cannot be locked (a folder they may not read, some network file\n"
    "systems): FILE.lock is then the only lock, and is deleted only while no program runs.\n"
    "Exit status: 0 done, 1 key, value or registry file not found, 2 usage error,\n"
    "3 other failure.\n";

int UsageError(const char* message) {
  std::fprintf(stderr, "regtool: %s\n\n%s", message, kUsage);
  return kExitUsage;
}

std::string Describe(LONG error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return "not found";
    case ERROR_ACCESS_DENIED:
      return "access denied";
    case ERROR_INVALID_PARAMETER:
      return "invalid name (key names have at most 255 characters, value names 16383, and keys "
             "lie at most 512 levels deep)";
    case ERROR_KEY_DELETED:
      return "the key was deleted meanwhile";
    case ERROR_CANTREAD:
      return "cannot read the registry file";
    case ERROR_CANTWRITE:
      return "cannot write the registry file";
    default:
      return "error " + std::to_string(error);
  }
}

int Fail(const std::string& what, LONG error) {
  std::string cause = Describe(error);
  if (error == ERROR_CANTREAD || error == ERROR_CANTWRITE) {
    const std::string file_cause = OmbixRegLastFileError();  // names the file and why
    if (!file_cause.empty()) cause += ": " + file_cause;
  }
  std::fprintf(stderr, "regtool: %s: %s\n", what.c_str(), cause.c_str());
  return error == ERROR_FILE_NOT_FOUND ? kExitNotFound : kExitFailed;
}

// For the commands that only read: a registry file that is not there is said to be missing,
// rather than every key in it. Other troubles are left for the registry functions to report.
bool ReportMissingFile() {
  const std::string path = OmbixRegFilePath();
  if (path.empty()) {
    std::fprintf(stderr,
                 "regtool: no registry file: give --file PATH, or set OMBIX_REGISTRY or HOME\n");
    return true;
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) return false;
  std::fprintf(stderr, "regtool: the registry file %s does not exist (%s)\n", path.c_str(),
               std::strerror(errno));
  return true;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// KEY as the registry functions take it: below the root, no trailing backslash.
std::string KeyArgument(std::string key) {
  const std::string root = "HKEY_LOCAL_MACHINE";
  if (key.size() >= root.size() && EqualsNoCase(key.substr(0, root.size()), root) &&
      (key.size() == root.size() || key[root.size()] == '\\')) {
    key.erase(0, root.size());
  }
  while (!key.empty() && key.front() == '\\') key.erase(0, 1);
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

std::string Shown(const std::string& key) {
  return key.empty() ? "HKEY_LOCAL_MACHINE" : "HKEY_LOCAL_MACHINE\\" + key;
}

class OpenedKey {
 public:
  OpenedKey() = default;
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  ~OpenedKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

std::string HexBytes(const std::vector<BYTE>& data) {
  std::string text;
  char byte[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, i ? ",%02x" : "%02x", data[i]);
    text += byte;
  }
  return text;
}

int Get(const std::string& key, const std::string* name) {
  if (!name) {
    std::string text;
    LONG error = OmbixRegExportKey(HKEY_LOCAL_MACHINE, key.c_str(), FALSE, &text);
    if (error != ERROR_SUCCESS) return Fail(Shown(key), error);
    std::fputs(text.c_str(), stdout);
    return kExitOk;
  }
  OpenedKey opened;
  LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, opened.out());
  if (error != ERROR_SUCCESS) return Fail(Shown(key), error);
  DWORD type = 0;
  DWORD size = 0;
  std::vector<BYTE> data;
  do {  // again when another process made the value larger between the two calls
    error = RegQueryValueExA(opened.get(), name->c_str(), nullptr, &type, nullptr, &size);
    if (error != ERROR_SUCCESS) break;
    data.resize(size);
    error = RegQueryValueExA(opened.get(), name->c_str(), nullptr, &type, data.data(), &size);
  } while (error == ERROR_MORE_DATA);
  if (error != ERROR_SUCCESS) return Fail(Shown(key) + " \"" + *name + "\"", error);
  data.resize(size);
  if (type == REG_SZ) {
    std::string text(data.begin(), data.end());
    std::printf("%s\n", text.substr(0, text.find('\0')).c_str());
  } else if (type == REG_DWORD && size == 4) {
    DWORD number = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                   static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
    std::printf("%u\n", static_cast<unsigned>(number));
  } else {
    std::printf("%s\n", HexBytes(data).c_str());
  }
  return kExitOk;
}

bool ParseDword(const std::string& text, std::vector<BYTE>* data) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long number = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || number > 0xFFFFFFFFull) return false;
  *data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
           static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
  return true;
}

bool ParseBinary(const std::string& text, std::vector<BYTE>* data) {
  std::string digits;
  for (char c : text) {
    if (c == ',' || c == ' ') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits.push_back(c);
  }
  if (digits.size() % 2 != 0) return false;
  data->clear();
  for (size_t i = 0; i < digits.size(); i += 2) {
    data->push_back(static_cast<BYTE>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return true;
}

int Set(const std::string& key, const std::string& name, const std::string& value, DWORD type) {
  std::vector<BYTE> data;
  if (type == REG_DWORD && !ParseDword(value, &data)) {
    return UsageError("--dword takes a number from 0 to 4294967295 (decimal or 0x hex)");
  }
  if (type == REG_BINARY && !ParseBinary(value, &data)) {
    return UsageError("--binary takes pairs of hex digits, e.g. 01,02,ff");
  }
  if (type == REG_SZ) {
    data.assign(value.begin(), value.end());
    data.push_back(0);
  }
  OpenedKey opened;
  LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_SET_VALUE, nullptr, opened.out(), nullptr);
  if (error != ERROR_SUCCESS) return Fail(Shown(key), error);
  error = RegSetValueExA(opened.get(), name.c_str(), 0, type, data.data(),
                         static_cast<DWORD>(data.size()));
  if (error != ERROR_SUCCESS) return Fail(Shown(key) + " \"" + name + "\"", error);
  return kExitOk;
}

// Deletes parent's subkey `name` with everything below it.
LONG DeleteTree(HKEY parent, const std::string& name) {
  LONG error = RegDeleteKeyA(parent, name.c_str());
  if (error != ERROR_ACCESS_DENIED) return error;
  OpenedKey opened;
  error = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, opened.out());
  if (error != ERROR_SUCCESS) return error;
  while (true) {
    char child[256];
    DWORD length = sizeof child;
    error = RegEnumKeyExA(opened.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_NO_MORE_ITEMS) break;
    if (error == ERROR_SUCCESS) error = DeleteTree(opened.get(), child);
    if (error != ERROR_SUCCESS) return error;
  }
  return RegDeleteKeyA(parent, name.c_str());
}

int Delete(const std::string& key, const std::string* name, bool recursive) {
  if (name) {
    OpenedKey opened;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, opened.out());
    if (error != ERROR_SUCCESS) return Fail(Shown(key), error);
    error = RegDeleteValueA(opened.get(), name->c_str());
    if (error != ERROR_SUCCESS) return Fail(Shown(key) + " \"" + *name + "\"", error);
    return kExitOk;
  }
  if (key.empty()) return UsageError("HKEY_LOCAL_MACHINE itself cannot be deleted");
  size_t slash = key.rfind('\\');
  std::string parent = slash == std::string::npos ? "" : key.substr(0, slash);
  std::string leaf = slash == std::string::npos ? key : key.substr(slash + 1);
  OpenedKey opened;
  LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_ALL_ACCESS, opened.out());
  if (error == ERROR_SUCCESS) {
    error = recursive ? DeleteTree(opened.get(), leaf) : RegDeleteKeyA(opened.get(), leaf.c_str());
  }
  if (error == ERROR_ACCESS_DENIED && !recursive) {
    std::fprintf(stderr, "regtool: %s has subkeys; use delete -r to delete them too\n",
                 Shown(key).c_str());
    return kExitFailed;
  }
  return error == ERROR_SUCCESS ? kExitOk : Fail(Shown(key), error);
}

int Dump(const std::string& key) {
  std::string text;
  LONG error = OmbixRegExportKey(HKEY_LOCAL_MACHINE, key.c_str(), TRUE, &text);
  if (error != ERROR_SUCCESS) return Fail(Shown(key), error);
  std::fputs(text.c_str(), stdout);
  return kExitOk;
}

int Keys(const std::string& key) {
  OpenedKey opened;
  LONG error =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, opened.out());
  if (error != ERROR_SUCCESS) return Fail(Shown(key), error);
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD length = sizeof name;
    error = RegEnumKeyExA(opened.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (error == ERROR_NO_MORE_ITEMS) return kExitOk;
    if (error != ERROR_SUCCESS) return Fail(Shown(key), error);
    std::printf("%s\n", name);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  size_t next = 0;
  while (next < args.size() && (args[next] == "--file" || args[next].rfind("--file=", 0) == 0)) {
    std::string path;
    if (args[next] == "--file" && next + 1 < args.size()) {
      path = args[++next];
    } else if (args[next] != "--file") {
      path = args[next].substr(7);
    }
    if (path.empty()) return UsageError("--file takes a PATH");
    setenv("OMBIX_REGISTRY", path.c_str(), 1);
    ++next;
  }
  if (next < args.size() && (args[next] == "-h" || args[next] == "--help")) {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (next >= args.size()) return UsageError("no command given");
  if (args[next].size() > 1 && args[next][0] == '-') {
    return UsageError(("unknown option " + args[next]).c_str());
  }
  const std::string command = args[next++];

  // Switches may stand anywhere after the command, up to a "--".
  std::vector<std::string> operands;
  DWORD type = REG_SZ;
  int type_switches = 0;
  bool recursive = false;
  bool options_done = false;
  for (; next < args.size(); ++next) {
    const std::string& arg = args[next];
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && command == "set" &&
               (arg == "--sz" || arg == "--dword" || arg == "--binary")) {
      type = arg == "--sz" ? REG_SZ : arg == "--dword" ? REG_DWORD : REG_BINARY;
      ++type_switches;
    } else if (!options_done && command == "delete" && arg == "-r") {
      recursive = true;
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      return UsageError(("unknown option " + arg).c_str());
    } else {
      operands.push_back(arg);
    }
  }
  if (type_switches > 1) return UsageError("give at most one of --sz, --dword, --binary");
  const size_t count = operands.size();
  const std::string key = count ? KeyArgument(operands[0]) : std::string();
  const std::string* name = count > 1 ? &operands[1] : nullptr;

  if (command == "set" && count == 3) return Set(key, operands[1], operands[2], type);
  const bool reads = (command == "get" && (count == 1 || count == 2)) ||
                     (command == "delete" && (count == 1 || count == 2)) ||
                     (command == "dump" && count <= 1) || (command == "keys" && count == 1);
  if (reads && ReportMissingFile()) return kExitNotFound;
  if (command == "get" && (count == 1 || count == 2)) return Get(key, name);
  if (command == "delete" && (count == 1 || count == 2)) return Delete(key, name, recursive);
  if (command == "dump" && count <= 1) return Dump(key);
  if (command == "keys" && count == 1) return Keys(key);
  if (command == "get" || command == "set" || command == "delete" || command == "dump" ||
      command == "keys") {
    return UsageError(("wrong number of arguments for " + command).c_str());
  }
  return UsageError(("unknown command " + command).c_str());
}

#include "platform/registry_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <new>

#include "platform/registry_format.h"
#include "platform/winerror.h"

namespace ombix::registry {

namespace {

// What this process last read of one registry file.
struct FileState {
  bool valid = false;  // text and parsed describe the file as it was last read
  bool exists = false;
  std::string text;
  ParsedRegistry parsed;
  bool damage_reported = false;
};

std::mutex g_mutex;

using StateMap = std::map<std::string, FileState>;

StateMap& States() {
  // Never destroyed: a static destructor elsewhere may still use the registry at exit. Built in
  // static storage so that unloading the library leaves nothing on the heap.
  alignas(StateMap) static unsigned char storage[sizeof(StateMap)];
  static StateMap* states = new (storage) StateMap;
  return *states;
}

// When the library is unloaded, the cache gives back its memory; the map stays usable, so a
// later use during unload simply reads the file again.
struct StateCacheRelease {
  ~StateCacheRelease() {
    std::lock_guard<std::mutex> guard(g_mutex);
    States().clear();
  }
} g_state_cache_release;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string DirName(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool MakeDirectories(const std::string& dir) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos < dir.size() && dir[pos] != '/') continue;
    std::string prefix = dir.substr(0, pos);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void SyncDirectory(const std::string& dir) {
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A descriptor holding the lock file locked, or -1. Readers go without the lock when there
// is no lock file yet: whole-file renames already give them a consistent file.
int LockRegistry(const std::string& path, bool exclusive) {
  std::string lock_path = path + ".lock";
  // flock needs no write access: a lock file another user created still serves.
  int fd = exclusive ? open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644) : -1;
  if (fd < 0) fd = open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  while (flock(fd, exclusive ? LOCK_EX : LOCK_SH) != 0) {
    if (errno != EINTR) {
      close(fd);
      return -1;
    }
  }
  return fd;
}

bool ReadWholeFile(const std::string& path, std::string* text, bool* exists) {
  text->clear();
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    *exists = false;
    return errno == ENOENT || errno == ENOTDIR;
  }
  *exists = true;
  char buffer[8192];
  while (true) {
    ssize_t n = read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(buffer, static_cast<size_t>(n));
  }
}

bool Load(const std::string& path, FileState* state) {
  std::string text;
  bool exists = false;
  if (!ReadWholeFile(path, &text, &exists)) return false;
  if (state->valid && state->exists == exists && state->text == text) return true;
  state->parsed = ParseRegistryText(text);
  state->text = std::move(text);
  state->exists = exists;
  state->valid = true;
  if (state->parsed.damaged_lines != 0 && !state->damage_reported) {
    state->damage_reported = true;
    std::fprintf(stderr,
                 "ombix registry: %s is damaged (%d unreadable line(s), the first at line %d); "
                 "using what could be read\n",
                 path.c_str(), state->parsed.damaged_lines, state->parsed.first_damaged_line);
  }
  return true;
}

// Keeps the damaged text beside the file before the file is rewritten.
bool CopyAside(const std::string& path, const std::string& text) {
  char stamp[32];
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string copy = path + ".damaged-" + stamp;
    if (attempt) copy.append(1, '-').append(std::to_string(attempt));
    int fd = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok) {
      unlink(copy.c_str());
      break;
    }
    SyncDirectory(DirName(path));
    std::fprintf(stderr, "ombix registry: the damaged %s was copied to %s\n", path.c_str(),
                 copy.c_str());
    return true;
  }
  std::fprintf(stderr, "ombix registry: cannot keep a copy of the damaged %s; not rewriting it\n",
               path.c_str());
  return false;
}

bool WriteAtomically(const std::string& path, const std::string& text) {
  std::string temp = path + ".tmp-XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  // The new file keeps the old one's mode and, where we may, its owner (an administrator's
  // rewrite must not lock the provider out). A new file holds passwords: owner only.
  mode_t mode = 0600;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
    if (fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Not permitted for another owner; the file is then ours, with the same mode.
    }
  }
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  SyncDirectory(DirName(path));
  return true;
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
      *found->pw_dir) {
    return found->pw_dir;
  }
  return {};
}

}  // namespace

std::string ResolveRegistryPath() {
  const char* file = std::getenv("OMBIX_REGISTRY");
  if (file && *file) return file;
  std::string config;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    config = xdg;
  } else {
    std::string home = HomeDirectory();
    if (home.empty()) return {};
    config = home + "/.config";
  }
  return config + "/ombix/registry.reg";
}

LONG ReadRegistry(const std::string& path, const std::function<LONG(const Key& root)>& read) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (path.empty()) return read(Key());
  FileDescriptor lock(LockRegistry(path, false));
  FileState& state = States()[path];
  if (!Load(path, &state)) return ERROR_CANTREAD;
  return read(state.parsed.root);
}

LONG ModifyRegistry(const std::string& path,
                    const std::function<LONG(Key& root, bool* changed)>& modify) {
  if (path.empty()) return ERROR_CANTWRITE;
  std::lock_guard<std::mutex> guard(g_mutex);
  if (!MakeDirectories(DirName(path))) return ERROR_CANTWRITE;
  FileDescriptor lock(LockRegistry(path, true));
  if (lock.get() < 0) return ERROR_CANTWRITE;
  FileState& state = States()[path];
  if (!Load(path, &state)) return ERROR_CANTREAD;
  bool changed = false;
  LONG result = modify(state.parsed.root, &changed);
  if (!changed) return result;
  // The tree now differs from the file; read it afresh next time whatever happens here.
  state.valid = false;
  if (result != ERROR_SUCCESS) return result;
  if (state.parsed.damaged_lines != 0 && !CopyAside(path, state.text)) return ERROR_CANTWRITE;
  if (!WriteAtomically(path, FormatRegistryText(state.parsed.root, "", true))) {
    return ERROR_CANTWRITE;
  }
  return ERROR_SUCCESS;
}

}  // namespace ombix::registry

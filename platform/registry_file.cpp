#include "platform/registry_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <new>

#include "platform/registry_format.h"
#include "platform/win32.h"
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

// What the calling thread's last failed file operation could not do (a plain buffer: a
// thread_local with a destructor would keep the library from being unloaded).
thread_local char t_last_failure[512];

// Records why `path` could not be read or written and passes it to the debugger output.
void NoteFailure(const std::string& path, const char* cause) {
  std::snprintf(t_last_failure, sizeof t_last_failure, "%s: %s", path.c_str(), cause);
  std::string line = "ombix registry: ";
  line += t_last_failure;
  line += '\n';
  OutputDebugStringA(line.c_str());
}

void NoteErrno(const std::string& path, int error) {
  char buffer[128];
  NoteFailure(path, strerror_r(error, buffer, sizeof buffer));  // the GNU form: thread-safe
}

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

// Creates the default registry folder and what is missing above it (a fresh account has no
// ~/.config yet).
bool MakeDirectories(const std::string& dir) {
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos < dir.size() && dir[pos] != '/') continue;
    std::string prefix = dir.substr(0, pos);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
      NoteErrno(prefix, errno);
      return false;
    }
  }
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) {
    NoteErrno(dir, errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    NoteErrno(dir, ENOTDIR);
    return false;
  }
  return true;
}

// The file that `path` names once symbolic links are followed. The lock, the temporary file and
// the rename all go to that file, so a link stays a link and writers through the link and
// through its target share one lock. A loop is left to the file functions to report (ELOOP).
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    char target[PATH_MAX];
    const ssize_t length = readlink(current.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return current;
    std::string next(target, static_cast<size_t>(length));
    if (next[0] != '/') next = DirName(current) + '/' + next;
    current = std::move(next);
  }
  return current;
}

// FALSE (with the cause noted) when the file exists and its owner's intent or its permissions
// forbid writing it. A file without its owner's write bit stays as it is even for a process
// that the system would let replace it.
bool MayWrite(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return true;  // a new file: the directory decides
  if ((st.st_mode & S_IWUSR) == 0) {
    NoteFailure(path, "read-only (its owner may not write it)");
    return false;
  }
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    NoteErrno(path, errno);
    return false;
  }
  return true;
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
  if (!ReadWholeFile(path, &text, &exists)) {
    NoteErrno(path, errno);
    return false;
  }
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
  NoteFailure(path, "damaged, and no copy of it could be kept");
  return false;
}

bool WriteAtomically(const std::string& path, const std::string& text) {
  std::string temp = path + ".tmp-XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    NoteErrno(DirName(path), errno);
    return false;
  }
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
    const int error = errno;
    unlink(temp.c_str());
    NoteErrno(path, error);
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

// ${XDG_CONFIG_HOME:-$HOME/.config}/ombix/registry.reg; empty when no home directory is known.
std::string DefaultRegistryPath() {
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

// The folder of the file that will be written. Only the default folder is created: a path
// someone gave names a place that should exist, and folders made for a mistyped path would
// hide the mistake.
bool PrepareFolder(const std::string& path, const std::string& file) {
  const std::string dir = DirName(file);
  if (path == DefaultRegistryPath()) return MakeDirectories(dir);
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      NoteErrno(dir, errno);
    } else {
      NoteFailure(file, "its folder does not exist (only the default folder is created)");
    }
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    NoteErrno(dir, ENOTDIR);
    return false;
  }
  return true;
}

}  // namespace

std::string ResolveRegistryPath() {
  const char* file = std::getenv("OMBIX_REGISTRY");
  if (file && *file) return file;
  return DefaultRegistryPath();
}

LONG ReadRegistry(const std::string& path, const std::function<LONG(const Key& root)>& read) {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (path.empty()) return read(Key());
  const std::string file = FollowLinks(path);
  FileDescriptor lock(LockRegistry(file, false));
  FileState& state = States()[file];
  if (!Load(file, &state)) return ERROR_CANTREAD;
  return read(state.parsed.root);
}

LONG ModifyRegistry(const std::string& path,
                    const std::function<LONG(Key& root, bool* changed)>& modify) {
  if (path.empty()) {
    NoteFailure("registry", "no file: neither OMBIX_REGISTRY nor a home directory is set");
    return ERROR_CANTWRITE;
  }
  std::lock_guard<std::mutex> guard(g_mutex);
  const std::string file = FollowLinks(path);
  if (!PrepareFolder(path, file)) return ERROR_CANTWRITE;
  FileDescriptor lock(LockRegistry(file, true));
  if (lock.get() < 0) {
    NoteErrno(file + ".lock", errno);
    return ERROR_CANTWRITE;
  }
  FileState& state = States()[file];
  if (!Load(file, &state)) return ERROR_CANTREAD;
  bool changed = false;
  LONG result = modify(state.parsed.root, &changed);
  if (!changed) return result;
  // The tree now differs from the file; read it afresh next time whatever happens here.
  state.valid = false;
  if (result != ERROR_SUCCESS) return result;
  if (!MayWrite(file)) return ERROR_CANTWRITE;
  if (state.parsed.damaged_lines != 0 && !CopyAside(file, state.text)) return ERROR_CANTWRITE;
  if (!WriteAtomically(file, FormatRegistryText(state.parsed.root, "", true))) {
    return ERROR_CANTWRITE;
  }
  return ERROR_SUCCESS;
}

std::string LastFileFailure() {
  return t_last_failure;
}

}  // namespace ombix::registry

#include "platform/registry_disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string_view>

#include "platform/registry_owner.h"
#include "platform/win32.h"
#include "platform/winerror.h"

namespace ombix::registry {

namespace {

// What the calling thread's last failed file operation could not do (a plain buffer: a
// thread_local with a destructor would keep the library from being unloaded).
thread_local char t_last_failure[512];

}  // namespace

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

namespace {

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

void SyncDirectory(const std::string& dir) {  // allocates nothing
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

// A write's temporary file: the file's name, kTempInfix, and kTempRandom letters and digits
// that mkostemp picks.
constexpr std::string_view kTempInfix = ".tmp-";
constexpr size_t kTempRandom = 6;

bool IsTempNameOf(std::string_view name, std::string_view base) {
  if (name.size() != base.size() + kTempInfix.size() + kTempRandom ||
      name.substr(0, base.size()) != base ||
      name.substr(base.size(), kTempInfix.size()) != kTempInfix) {
    return false;
  }
  for (char c : name.substr(base.size() + kTempInfix.size())) {
    if (!(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z')) {
      return false;
    }
  }
  return true;
}

// Removes the temporary files that writers killed between creating and renaming them left
// beside the file (each a full copy, passwords included). Under the exclusive lock no other
// writer has one open. Only regular files go: a link or a folder of such a name is not ours.
void RemoveLeftovers(const std::string& path) {
  const std::string base = path.substr(path.rfind('/') + 1);  // npos + 1: the whole path
  DIR* folder = opendir(DirName(path).c_str());
  if (folder == nullptr) return;
  const int fd = dirfd(folder);
  while (const dirent* entry = readdir(folder)) {
    struct stat st;
    if (IsTempNameOf(entry->d_name, base) &&
        fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
      unlinkat(fd, entry->d_name, 0);
    }
  }
  closedir(folder);
}

// A write replaces a regular file or makes a new one; a device, a FIFO or a folder at the path
// stays what it is (renaming over /dev/null would replace it for the whole system).
bool IsReplaceable(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return true;  // missing, or the rename fails as well
  if (S_ISREG(st.st_mode)) return true;
  NoteFailure(path, "not a regular file");
  return false;
}

// `path` from the current folder when it is relative: what was opened (a key, a batch) keeps
// its file when the process changes folder. Without a current folder to name, `path` as it is.
std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  const std::unique_ptr<char, decltype(&std::free)> folder(getcwd(nullptr, 0), &std::free);
  if (!folder) return path;
  std::string absolute = folder.get();
  if (absolute.back() != '/') absolute += '/';
  return absolute + path;
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

// The file that `path` names once symbolic links are followed. The lock, the temporary file and
// the rename all go to that file, so a link stays a link and writers through the link and
// through its target share one lock. A loop is left to the file functions to report (ELOOP).
std::string FollowLinks(const std::string& path, FileLook* look) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st = {};
    const int error = lstat(current.c_str(), &st) == 0 ? 0 : errno;
    if (error != 0 || !S_ISLNK(st.st_mode)) {
      // Not a link: lstat told what stat would.
      if (look) *look = FileLook{true, error, st};
      return current;
    }
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
  return OwnerKeepsAccess(path, st);
}

int OpenRegistryFile(const std::string& file, struct stat* st, bool* missing) {
  *missing = false;
  // A device is not even opened (opening some has effects of its own), ...
  if (stat(file.c_str(), st) == 0 && !S_ISREG(st->st_mode)) {
    NoteFailure(file, "not a regular file");
    return -1;
  }
  // ...and what may have taken the file's place since is opened without waiting (a FIFO) and
  // without becoming the controlling terminal, then looked at again.
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      *missing = true;
    } else {
      NoteErrno(file, errno);
    }
    return -1;
  }
  if (fstat(fd, st) != 0) {
    NoteErrno(file, errno);
  } else if (!S_ISREG(st->st_mode)) {
    NoteFailure(file, "not a regular file");
  } else if (st->st_size > kMaxFileSize) {
    NoteTooLarge(file);
  } else {
    return fd;
  }
  close(fd);
  return -1;
}

void NoteTooLarge(const std::string& file) {
  char cause[64];
  std::snprintf(cause, sizeof cause, "too large (more than %lld MiB)",
                static_cast<long long>(kMaxFileSize >> 20));
  NoteFailure(file, cause);
}

bool ReadAll(int fd, std::string* text) {
  text->clear();
  char buffer[65536];
  off_t offset = 0;
  while (true) {
    const ssize_t n = pread(fd, buffer, sizeof buffer, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (n > kMaxFileSize - offset) {
      errno = EFBIG;
      return false;
    }
    text->append(buffer, static_cast<size_t>(n));
    offset += n;
  }
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

int WriteAtomically(const std::string& path, const std::string& text) {
  if (!IsReplaceable(path)) return -1;
  RemoveLeftovers(path);
  // Taken before the rename: once the new file is in place the change is made, and nothing after
  // it (running out of memory included) may turn it into a failure.
  const std::string folder = DirName(path);
  std::string temp = path + std::string(kTempInfix) + std::string(kTempRandom, 'X');
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    NoteErrno(folder, errno);
    return -1;
  }
  // Until the rename, every way out (an exception too) gives the temporary file back.
  struct Unrenamed {
    int fd;
    const std::string& temp;
    bool renamed = false;
    ~Unrenamed() {
      if (renamed) return;
      close(fd);
      unlink(temp.c_str());
    }
  } pending{fd, temp};
  // The new file keeps the old one's mode and its owner, or at least its group (another user's
  // rewrite must not lock the owner out). A new file holds passwords: owner only.
  mode_t mode = 0600;
  struct stat st;
  if (stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
    if (!KeepOwner(fd, st, path)) return -1;
  }
  if (fchmod(fd, mode) != 0 || !WriteAll(fd, text) || fsync(fd) != 0 ||
      rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    NoteErrno(path, error);
    return -1;
  }
  pending.renamed = true;
  SyncDirectory(folder);
  return fd;
}

std::string DefaultRegistryPath() {
  std::string config;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    config = xdg;
  } else {
    std::string home = HomeDirectory();
    if (home.empty()) return {};
    config = Absolute(home) + "/.config";
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

std::string ResolveRegistryPath() {
  const char* file = std::getenv("OMBIX_REGISTRY");
  if (file && *file) return Absolute(file);
  return DefaultRegistryPath();
}

std::string LastFileFailure() {
  return t_last_failure;
}

}  // namespace ombix::registry

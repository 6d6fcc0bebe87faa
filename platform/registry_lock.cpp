#include "platform/registry_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "platform/registry_disk.h"

namespace ombix::registry {

namespace {

using Clock = std::chrono::steady_clock;

// The folder part of `file` ("." for a bare name) and its last name.
std::pair<std::string, std::string> SplitPath(const std::string& file) {
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) return {".", file};
  return {slash == 0 ? "/" : file.substr(0, slash), file.substr(slash + 1)};
}

// Takes fd's exclusive lock, waiting as long as it takes, or with a `deadline` only until then.
// FALSE with errno set: EWOULDBLOCK when another still held it at the deadline.
bool LockExclusive(int fd, const std::optional<Clock::time_point>& deadline = std::nullopt) {
  if (!deadline) {
    while (flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) return false;
    }
    return true;
  }
  auto pause = std::chrono::milliseconds(1);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || Clock::now() >= *deadline) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
  return true;
}

void NoteBusy(const std::string& path) {
  char cause[160];
  std::snprintf(cause, sizeof cause,
                "busy: another writer held it for %lld s while this thread's batch holds the "
                "lock of another file (waiting longer could wait for ever)",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::seconds>(kBatchLockWait).count()));
  NoteFailure(path, cause);
}

}  // namespace

bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.folder_device == b.folder_device &&
         a.folder_inode == b.folder_inode && a.name == b.name;
}

FileIdentity IdentifyFile(const std::string& file) {
  auto [folder, name] = SplitPath(file);
  FileIdentity identity;
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) return identity;
  identity.known = true;
  identity.folder_device = st.st_dev;
  identity.folder_inode = st.st_ino;
  identity.name = std::move(name);
  return identity;
}

WriteLock::WriteLock(WriteLock&& other) noexcept {
  *this = std::move(other);
}

WriteLock& WriteLock::operator=(WriteLock&& other) noexcept {
  if (this != &other) {
    Release();
    std::swap(folder_fd_, other.folder_fd_);
    std::swap(lock_fd_, other.lock_fd_);
    folder_device_ = other.folder_device_;
    folder_inode_ = other.folder_inode_;
  }
  return *this;
}

bool WriteLock::Take(const std::string& file, const WriteLock* held) {
  Release();
  // Holding one lock, waiting for another without limit could wait for ever: for a batch in
  // another process that waits for the one held.
  std::optional<Clock::time_point> deadline;
  if (held) deadline = Clock::now() + kBatchLockWait;
  const std::string folder_path = SplitPath(file).first;
  int folder = open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (folder >= 0 && fstat(folder, &st) != 0) {
    close(folder);
    folder = -1;
  }
  const bool covered = folder >= 0 && held && held->folder_fd_ >= 0 &&
                       held->folder_device_ == st.st_dev && held->folder_inode_ == st.st_ino;
  bool locked = false;
  if (folder >= 0 && !covered) {
    locked = LockExclusive(folder, deadline);
    if (!locked && errno == EWOULDBLOCK) {
      close(folder);
      NoteBusy(folder_path);
      return false;
    }
  }
  if (folder >= 0 && !locked) {
    close(folder);  // locked already by `held`, or not lockable here: the lock file alone
    folder = -1;
  }
  if (folder >= 0) {
    folder_fd_ = folder;
    folder_device_ = st.st_dev;
    folder_inode_ = st.st_ino;
  }

  const std::string lock_path = file + ".lock";
  // flock needs no write access: a lock file another user created still serves. Never waits in
  // the open (a FIFO in its place must not hang every writer), and a terminal there (or linked
  // to) must not become the controlling terminal of a service that has none.
  constexpr int kFlags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
  const int create_error = errno;
  if (fd < 0) fd = open(lock_path.c_str(), O_RDONLY | kFlags);
  if (fd < 0) {
    if (errno == ENOENT) {
      // Not there, and not made: why it could not be made is the cause.
      char buffer[128];
      const std::string cause =
          std::string("cannot create: ") + strerror_r(create_error, buffer, sizeof buffer);
      NoteFailure(lock_path, cause.c_str());
    } else {
      NoteErrno(lock_path, errno);
    }
    Release();
    return false;
  }
  if (!LockExclusive(fd, deadline)) {
    const int error = errno;
    close(fd);
    Release();
    if (error == EWOULDBLOCK) {
      NoteBusy(lock_path);
    } else {
      NoteErrno(lock_path, error);
    }
    return false;
  }
  lock_fd_ = fd;
  return true;
}

void WriteLock::Release() {
  if (lock_fd_ >= 0) close(lock_fd_);
  if (folder_fd_ >= 0) close(folder_fd_);
  lock_fd_ = -1;
  folder_fd_ = -1;
}

}  // namespace ombix::registry

#include "platform/registry_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/registry_disk.h"

namespace ombix::registry {

namespace {

// The folder part of `file` ("." for a bare name) and its last name.
std::pair<std::string, std::string> SplitPath(const std::string& file) {
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) return {".", file};
  return {slash == 0 ? "/" : file.substr(0, slash), file.substr(slash + 1)};
}

bool LockExclusive(int fd) {
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
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
  int folder = open(SplitPath(file).first.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (folder >= 0 && fstat(folder, &st) != 0) {
    close(folder);
    folder = -1;
  }
  const bool covered = folder >= 0 && held && held->folder_fd_ >= 0 &&
                       held->folder_device_ == st.st_dev && held->folder_inode_ == st.st_ino;
  if (folder >= 0 && (covered || !LockExclusive(folder))) {
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
  if (!LockExclusive(fd)) {
    NoteErrno(lock_path, errno);
    close(fd);
    Release();
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

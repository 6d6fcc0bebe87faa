// Which registry file a path names, and the lock its writers hold (private to the registry
// implementation).
//
// One file may be named many ways (DIR/reg.reg, DIR/./reg.reg, a linked folder). It is the same
// file when its folder (device and inode) and its last name, once links are followed, are the
// same: the file itself may not exist yet, and every write gives it a new inode.
//
// Writers lock the file's folder (a deletion cannot replace it, as it can replace a lock file)
// and "<file>.lock" too, for programs that lock only that. Where the folder cannot be locked
// (not readable, or a network file system whose locks need a file open for writing), writers
// lock "<file>.lock" alone. Readers take no lock: files are only ever replaced whole.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

namespace ombix::registry {

// How long a thread that holds a lock (its batch's) waits for another file's: two batches each
// writing into the other's folder would otherwise wait for each other for ever, and every writer
// of either folder with them.
inline constexpr std::chrono::seconds kBatchLockWait{5};

struct FileIdentity {
  bool known = false;  // FALSE: the folder could not be looked at; equal to nothing
  dev_t folder_device = 0;
  ino_t folder_inode = 0;
  std::string name;
};
bool operator==(const FileIdentity& a, const FileIdentity& b);

// The identity of `file`, a path whose links FollowLinks has followed.
FileIdentity IdentifyFile(const std::string& file);

// The exclusive lock of one registry file's writers, held from Take until Release or the end of
// the object.
class WriteLock {
 public:
  WriteLock() = default;
  WriteLock(WriteLock&& other) noexcept;
  WriteLock& operator=(WriteLock&& other) noexcept;
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  ~WriteLock() { Release(); }

  // Waits for the lock of `file` (links followed). `held` is a lock the calling thread holds
  // already (its batch's on another file): a folder it locked is not locked again, which would
  // wait for ever, and the other locks are waited for at most kBatchLockWait. FALSE with the
  // cause noted ("busy: ..." when the wait ran out).
  bool Take(const std::string& file, const WriteLock* held = nullptr);
  void Release();

 private:
  int folder_fd_ = -1;  // the folder, locked (-1: not locked by this object)
  int lock_fd_ = -1;    // "<file>.lock", locked
  dev_t folder_device_ = 0;
  ino_t folder_inode_ = 0;
};

}  // namespace ombix::registry

#include "platform/registry_owner.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/registry_disk.h"

namespace ombix::registry {

namespace {

constexpr char kLockOut[] =
    "a write by this user would lock its owner out (the owner could not read and write it "
    "through its group)";

// TRUE when the user database makes `user` a member of `group` (the user's own group, or one of
// its supplementary groups).
bool UserInGroup(uid_t user, gid_t group) {
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
  if (found->pw_gid == group) return true;
  std::vector<gid_t> groups(64);
  for (int attempt = 0; attempt < 4; ++attempt) {
    int count = static_cast<int>(groups.size());
    if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) >= 0) {
      groups.resize(static_cast<size_t>(count));
      return std::find(groups.begin(), groups.end(), group) != groups.end();
    }
    groups.resize(static_cast<size_t>(std::max(count, 2 * static_cast<int>(groups.size()))));
  }
  return false;
}

// TRUE when the calling process may give a file of its own to `group`.
bool ProcessInGroup(gid_t group) {
  if (getegid() == group) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.end();
}

// TRUE when the owner of `old` can read and write a file of its group and mode.
bool OwnerReachesThroughGroup(const struct stat& old) {
  return (old.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) &&
         UserInGroup(old.st_uid, old.st_gid);
}

}  // namespace

bool OwnerKeepsAccess(const std::string& file, const struct stat& old) {
  const uid_t me = geteuid();
  if (me == old.st_uid || me == 0) return true;  // the owner stays
  if (ProcessInGroup(old.st_gid) && OwnerReachesThroughGroup(old)) return true;
  NoteFailure(file, kLockOut);
  return false;
}

bool KeepOwner(int fd, const struct stat& old, const std::string& file) {
  if (fchown(fd, old.st_uid, old.st_gid) == 0) return true;
  // Another user's file stays in its group at least, where this process belongs to it.
  if (fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    // Not a member: the check below decides.
  }
  struct stat now;
  if (fstat(fd, &now) == 0 &&
      (now.st_uid == old.st_uid || (now.st_gid == old.st_gid && OwnerReachesThroughGroup(old)))) {
    return true;
  }
  NoteFailure(file, kLockOut);
  return false;
}

}  // namespace ombix::registry

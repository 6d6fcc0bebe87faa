// A write by another user keeps the file its owner's to read and write, or is refused.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/platform/registry_child_support.h"
#include "tests/platform/registry_test_support.h"

namespace ombix::registry_test {
namespace {

using RegistryOwnerTest = RegistryFileTest;

// Numbers without accounts: the writer, a group, and an owner no database knows.
constexpr uid_t kWriter = 54321;
constexpr gid_t kGroup = 54400;
constexpr uid_t kStranger = 54322;

// An account other than root, with the group it belongs to: the file's owner.
bool FindOwner(uid_t* uid, gid_t* gid) {
  setpwent();
  for (const passwd* entry; (entry = getpwent()) != nullptr;) {
    if (entry->pw_uid != 0 && entry->pw_gid != 0) {
      *uid = entry->pw_uid;
      *gid = entry->pw_gid;
      endpwent();
      return true;
    }
  }
  endpwent();
  return false;
}

TEST_F(RegistryOwnerTest, AnotherUsersWriteLeavesTheOwnerItsFileOrIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to act as other users";
  uid_t owner = 0;
  gid_t owner_group = 0;
  if (!FindOwner(&owner, &owner_group)) GTEST_SKIP() << "no account other than root";
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);  // every user may replace files in it

  struct Case {
    const char* what;
    uid_t owner;
    gid_t group;
    mode_t mode;
    std::vector<gid_t> writer_groups;
    bool batch;
    bool written;  // else refused
  };
  const Case cases[] = {
      {"the owner's group, shared", owner, owner_group, 0660, {owner_group}, false, true},
      {"the same in a batch", owner, owner_group, 0660, {owner_group}, true, true},
      {"a group the owner is not in", owner, kGroup, 0660, {kGroup}, false, false},
      {"the same in a batch", owner, kGroup, 0660, {kGroup}, true, false},
      {"an owner without an account", kStranger, kGroup, 0660, {kGroup}, false, false},
      {"a writer outside the group", owner, owner_group, 0666, {}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HKEY key = Create("K");
    ASSERT_EQ(SetDword(key, "Old", 1), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(chown(path_.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(path_.c_str(), c.mode), 0);
    const std::string before = FileText();
    struct stat old {};
    ASSERT_EQ(stat(path_.c_str(), &old), 0);

    const int status = WaitWithin(SpawnAs(kWriter, kWriter, c.writer_groups, [&] {
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return 1;
      }
      if (c.batch && OmbixRegBeginBatch() != ERROR_SUCCESS) return 2;
      LONG result = SetDword(key, "New", 2);
      if (c.batch && OmbixRegEndBatch() != ERROR_SUCCESS) return 3;
      if (c.written) return result == ERROR_SUCCESS ? 0 : 4;
      if (result != ERROR_CANTWRITE) return 5;
      const std::string lock_out =
          ": a write by this user would lock its owner out (the owner could not read and write "
          "it through its group)";
      return OmbixRegLastFileError() == path_ + lock_out ? 0 : 6;
    }));
    EXPECT_EQ(status, 0);

    struct stat now {};
    ASSERT_EQ(stat(path_.c_str(), &now), 0);
    if (c.written) {
      EXPECT_EQ(now.st_gid, c.group) << "the group was not kept";
      EXPECT_EQ(now.st_mode & 07777, c.mode);
      // The owner still reads its settings.
      EXPECT_EQ(WaitWithin(SpawnAs(c.owner, owner_group, {owner_group},
                                   [] { return ReadDword("K", "New") == 2 ? 0 : 1; })),
                0);
    } else {
      EXPECT_EQ(FileText(), before);
      EXPECT_EQ(now.st_ino, old.st_ino);
      EXPECT_EQ(now.st_uid, c.owner);
    }
    ASSERT_EQ(remove(path_.c_str()), 0);
  }
}

}  // namespace
}  // namespace ombix::registry_test

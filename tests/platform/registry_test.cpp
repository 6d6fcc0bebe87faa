#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/registry_test_support.h"

namespace {

namespace fs = std::filesystem;

const char kServerKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\VOIP Service Provider (Z9410)\\"
    "Device1";

// Each test has a registry file of its own in a fresh directory.
class RegistryTest : public ombix::registry_test::RegistryFileTest {
 protected:
  void WriteFile(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }

  // The value's bytes (its type in *type), or "<error N>".
  static std::string Get(HKEY key, const char* name, DWORD* type = nullptr) {
    char data[512];
    DWORD size = sizeof data;
    LONG error = RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(data), &size);
    return error == ERROR_SUCCESS ? std::string(data, size)
                                  : "<error " + std::to_string(error) + ">";
  }
  // The text of a string value, up to its NUL, or "<error N>".
  static std::string GetString(HKEY key, const char* name) { return Get(key, name).c_str(); }
  static DWORD GetDword(HKEY key, const char* name) {
    DWORD value = 0xDEADBEEF;
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    return value;
  }
};

TEST_F(RegistryTest, ValuesPersistInTheFileAsText) {
  HKEY key = Create(kServerKey);
  ASSERT_EQ(SetString(key, "IP1", "10.0.0.1"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "Path", "C:\\dir \"q\""), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, nullptr, "default"), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "Lines", 31), ERROR_SUCCESS);
  const BYTE bytes[] = {0x01, 0xab, 0x00};
  ASSERT_EQ(RegSetValueExA(key, "Bin", 0, REG_BINARY, bytes, 3), ERROR_SUCCESS);
  const char multi[] = "two\nlines";  // not one line of text: kept byte for byte
  ASSERT_EQ(RegSetValueExA(key, "Multi", 0, REG_SZ, reinterpret_cast<const BYTE*>(multi), 9),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  const std::string text = FileText();
  EXPECT_EQ(text.rfind("REGEDIT4\n\n", 0), 0u);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\" + std::string(kServerKey) +
                      "]\n"
                      "\"IP1\"=\"10.0.0.1\"\n"
                      "\"Path\"=\"C:\\\\dir \\\"q\\\"\"\n"
                      "@=\"default\"\n"
                      "\"Lines\"=dword:0000001f\n"
                      "\"Bin\"=hex:01,ab,00\n"
                      "\"Multi\"=hex(1):74,77,6f,0a,6c,69,6e,65,73\n"),
            std::string::npos)
      << text;

  // After a write the next call reads the file afresh: this comes from the text above.
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServerKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, "Path"), "C:\\dir \"q\"");
  EXPECT_EQ(GetString(key, ""), "default");
  EXPECT_EQ(GetDword(key, "Lines"), 31u);
  DWORD type = 0;
  EXPECT_EQ(Get(key, "Multi", &type), "two\nlines");
  EXPECT_EQ(type, REG_SZ);
  RegCloseKey(key);
}

TEST_F(RegistryTest, OddNamesAndDataReadBackByteForByte) {
  struct Case {
    const char* key;
    std::string name;
    DWORD type;
    std::string data;
  };
  const Case cases[] = {
      {"a]b", "q\"uote", REG_SZ, std::string("tab\there\0", 9)},
      {"x [y]", "back\\slash", REG_SZ, "no terminating NUL"},
      {"x [y]\\\xc3\xbc", "@", REG_SZ, std::string("in\0side\0", 8)},
      {"K", "=eq", REG_DWORD, "abc"},
      {"K", " spaced ", REG_BINARY, ""},
      {"K", "[not a key]", 0x1234, std::string("\xff\0\n", 3)},
  };
  ::testing::internal::CaptureStderr();
  for (const Case& c : cases) {
    HKEY key = Create(c.key);
    ASSERT_EQ(
        RegSetValueExA(key, c.name.c_str(), 0, c.type, reinterpret_cast<const BYTE*>(c.data.data()),
                       static_cast<DWORD>(c.data.size())),
        ERROR_SUCCESS);
    RegCloseKey(key);
  }
  for (const Case& c : cases) {  // read afresh from the file
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.key, 0, KEY_READ, &key), ERROR_SUCCESS) << c.key;
    DWORD type = 0;
    EXPECT_EQ(Get(key, c.name.c_str(), &type), c.data) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    RegCloseKey(key);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_NE(FileText().find("[HKEY_LOCAL_MACHINE\\a]b]\n\"q\\\"uote\"=\"tab\there\"\n"),
            std::string::npos)
      << FileText();
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  HKEY key = Create("Software\\OmbixTest");
  ASSERT_EQ(SetString(key, "IP1", "a"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "ip1", "b"), ERROR_SUCCESS);  // the same value
  RegCloseKey(key);

  HKEY again = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ombixtest", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &again, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(GetString(again, "Ip1"), "b");
  RegCloseKey(again);
  EXPECT_NE(FileText().find("[HKEY_LOCAL_MACHINE\\Software\\OmbixTest]\n\"IP1\"=\"b\"\n"),
            std::string::npos);
  EXPECT_EQ(FileText().find("ip1"), std::string::npos);
}

TEST_F(RegistryTest, QueryReportsSizesWithTheNul) {
  HKEY key = Create("K");
  ASSERT_EQ(SetString(key, "S", "abc"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key, "Empty", ""), ERROR_SUCCESS);

  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "S", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 4u);
  char small[3];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "S", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  char exact[4];
  size = sizeof exact;
  ASSERT_EQ(RegQueryValueExA(key, "S", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::memcmp(exact, "abc", 4), 0);
  ASSERT_EQ(RegQueryValueExA(key, "Empty", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryTest, DeletesOnlyKeysWithoutSubkeysAndValuesThatExist) {
  RegCloseKey(Create("A\\B"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "A"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "a\\b"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "A\\B"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "A"), ERROR_SUCCESS);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);

  key = Create("V");
  ASSERT_EQ(SetDword(key, "X", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "x"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "X"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(RegistryTest, EnumeratesSubkeysInNameOrder) {
  for (const char* name : {"K\\charlie", "K\\Alpha", "K\\bravo\\deeper"}) RegCloseKey(Create(name));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "K", 0, KEY_ENUMERATE_SUB_KEYS, &key), ERROR_SUCCESS);
  std::vector<std::string> names;
  char name[16];
  DWORD length = sizeof name;
  for (DWORD i = 0;
       RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i) {
    EXPECT_EQ(length, std::strlen(name));
    names.push_back(name);
    length = sizeof name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "bravo", "charlie"}));
  length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  length = 5;  // "Alpha" needs 6 with its NUL
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  RegCloseKey(key);
}

TEST_F(RegistryTest, RefusesBadHandlesAndArguments) {
  HKEY key = Create("K");
  HKEY out = nullptr;
  EXPECT_EQ(RegOpenKeyExA(key, "a\\\\b", 0, KEY_READ, &out), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(key, "\\a", 0, KEY_READ, &out), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(key, "", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetString(key, "bad\nname", "x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  BYTE data[4];
  ASSERT_EQ(SetDword(key, "D", 7), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "D", nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(key, "D", 1), ERROR_INVALID_HANDLE);
  const HKEY current_user =
      reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000001)));
  EXPECT_EQ(RegOpenKeyExA(current_user, "K", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, AHandleOnADeletedKeyFailsCleanly) {
  HKEY key = Create("Gone");
  ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  ASSERT_EQ(Wait(Spawn(
                [] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Gone") == ERROR_SUCCESS ? 0 : 1; })),
            0);
  DWORD size = 4;
  BYTE data[4];
  EXPECT_EQ(RegQueryValueExA(key, "D", nullptr, nullptr, data, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(SetDword(key, "D", 2), ERROR_KEY_DELETED);
  char name[8];
  DWORD length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(FileText().find("Gone"), std::string::npos);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr DWORD kWrites = 200;
  pid_t first = Spawn(CountingWriter("First", kWrites));
  pid_t second = Spawn(CountingWriter("Second", kWrites));
  EXPECT_EQ(Wait(first), 0);
  EXPECT_EQ(Wait(second), 0);
  HKEY key = Create("Shared");
  EXPECT_EQ(GetDword(key, "First"), kWrites);
  EXPECT_EQ(GetDword(key, "Second"), kWrites);
  RegCloseKey(key);
}

TEST_F(RegistryTest, ThreadsOfOneProcessWriteAtOnce) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      std::string key_name = "Threads\\T" + std::to_string(t);
      for (DWORD i = 1; i <= 25; ++i) {
        HKEY key = Create(key_name.c_str());
        EXPECT_EQ(SetDword(key, "N", i), ERROR_SUCCESS);
        RegCloseKey(key);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    HKEY key = Create(("Threads\\T" + std::to_string(t)).c_str());
    EXPECT_EQ(GetDword(key, "N"), 25u);
    RegCloseKey(key);
  }
}

TEST_F(RegistryTest, ADamagedFileIsReadAsFarAsValidReportedAndCopiedAsideBeforeRewrite) {
  const std::string damaged =
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\Good]\n"
      "\"A\"=\"kept\"\n"
      "#@!garbage\n"
      "\"B\"=dword:00000002\n"
      "[HKEY_LOCAL_MACHINE\\Broken\n"
      "\"Lost\"=\"under a broken key line\"\n"
      "[HKEY_LOCAL_MACHINE\\Good\\Sub]\n"
      "\"C\"=\"cut sho";  // the file ends in the middle of a line
  WriteFile(damaged);

  ::testing::internal::CaptureStderr();
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Good", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(GetString(key, "A"), "kept");
  EXPECT_EQ(GetDword(key, "B"), 2u);
  EXPECT_EQ(GetString(key, "Lost"), "<error 2>");
  HKEY sub = nullptr;
  ASSERT_EQ(RegOpenKeyExA(key, "Sub", 0, KEY_READ, &sub), ERROR_SUCCESS);
  EXPECT_EQ(GetString(sub, "C"), "<error 2>");
  const std::string report = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find(path_ + " is damaged"), std::string::npos) << report;
  EXPECT_EQ(report.find("damaged", report.find("damaged") + 8), std::string::npos)
      << "reported more than once: " << report;
  EXPECT_EQ(FileText(), damaged);  // reading leaves the file alone

  ::testing::internal::CaptureStderr();
  ASSERT_EQ(SetString(key, "New", "value"), ERROR_SUCCESS);
  ::testing::internal::GetCapturedStderr();
  std::vector<fs::path> copies;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    if (entry.path().filename().string().rfind("registry.reg.damaged-", 0) == 0) {
      copies.push_back(entry.path());
    }
  }
  ASSERT_EQ(copies.size(), 1u);
  std::ifstream copy(copies[0], std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), damaged);
  EXPECT_EQ(
      FileText(),
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\Good]\n\"A\"=\"kept\"\n\"B\"=dword:00000002\n\"New\"=\"value\"\n\n"
      "[HKEY_LOCAL_MACHINE\\Good\\Sub]\n\n");
  RegCloseKey(sub);
  RegCloseKey(key);
}

TEST_F(RegistryTest, ReadsHandWrittenFilesWithCommentsCrlfAndContinuedHex) {
  WriteFile(
      "REGEDIT4\r\n\r\n; set by hand\r\n[hkey_local_machine\\Hand]\r\n"
      "\"Bytes\"=hex:01,02,\\\r\n  03,04\r\n\"Odd\"=hex(7):41,00,00\r\n@=\"d\"\r\n");
  ::testing::internal::CaptureStderr();
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HAND", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Get(key, "Bytes", &type), "\x01\x02\x03\x04");
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(Get(key, "Odd", &type), std::string("A\0\0", 3));
  EXPECT_EQ(type, 7u);
  EXPECT_EQ(GetString(key, nullptr), "d");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  RegCloseKey(key);
}

TEST_F(RegistryTest, AFileThatCannotBeWrittenKeepsItsValues) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  const std::string before = FileText();
  // A process that may write only a few bytes to any file: the rewrite fails midway.
  EXPECT_EQ(Wait(Spawn([key] {
              signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{8, 8};
              setrlimit(RLIMIT_FSIZE, &limit);
              return SetDword(key, "D", 2) == ERROR_CANTWRITE ? 0 : 1;
            })),
            0);
  EXPECT_EQ(GetDword(key, "D"), 1u);
  EXPECT_EQ(FileText(), before);
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
  RegCloseKey(key);
}

// Tests run as root, whom the system would let replace the file: the owner's write bit decides.
TEST_F(RegistryTest, AFileItsOwnerMayNotWriteIsLeftAsItIs) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  const std::string before = FileText();
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  struct stat st_before {};
  ASSERT_EQ(stat(path_.c_str(), &st_before), 0);

  EXPECT_EQ(SetDword(key, "D", 2), ERROR_CANTWRITE);
  const std::string cause = OmbixRegLastFileError();
  EXPECT_EQ(cause.rfind(path_ + ": ", 0), 0u) << cause;
  EXPECT_NE(cause.find("read-only"), std::string::npos) << cause;
  EXPECT_EQ(RegDeleteValueA(key, "D"), ERROR_CANTWRITE);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_CANTWRITE);
  // What needs no write still works: reading, opening, writing what is already there.
  EXPECT_EQ(GetDword(key, "D"), 1u);
  EXPECT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  RegCloseKey(Create("K"));

  struct stat st_after {};
  ASSERT_EQ(stat(path_.c_str(), &st_after), 0);
  EXPECT_EQ(st_after.st_ino, st_before.st_ino);  // not replaced
  EXPECT_EQ(st_after.st_mode & 07777, 0444u);
  EXPECT_EQ(FileText(), before);

  ASSERT_EQ(chmod(path_.c_str(), 0644), 0);
  EXPECT_EQ(SetDword(key, "D", 2), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(key, "D"), 2u);
  RegCloseKey(key);
}

TEST_F(RegistryTest, ASymbolicLinkStaysAndItsWritersShareTheTargetsLock) {
  // registry.reg -> conf/link.reg -> ../real.reg, the way an administrator might share a file.
  fs::create_directory(dir_ / "conf");
  fs::create_symlink("../real.reg", dir_ / "conf/link.reg");
  fs::create_symlink(dir_ / "conf/link.reg", path_);
  const std::string target = (dir_ / "real.reg").string();

  HKEY key = Create("Shared");  // the target does not exist yet: it is made
  ASSERT_EQ(SetDword(key, "Start", 1), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_TRUE(fs::is_symlink(dir_ / "conf/link.reg"));
  ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
  EXPECT_NE(FileText().find("\"Start\"=dword:00000001"), std::string::npos);

  constexpr DWORD kWrites = 50;
  auto writer = [](std::string file, const char* name) {
    return [file, name] {
      setenv("OMBIX_REGISTRY", file.c_str(), 1);
      HKEY key = Create("Shared");
      for (DWORD i = 1; i <= kWrites; ++i) {
        if (SetDword(key, name, i) != ERROR_SUCCESS || GetDword(key, name) != i) return 1;
      }
      return 0;
    };
  };
  pid_t through_link = Spawn(writer(path_, "Link"));
  pid_t through_target = Spawn(writer(target, "Target"));
  EXPECT_EQ(Wait(through_link), 0);
  EXPECT_EQ(Wait(through_target), 0);
  key = Create("Shared");
  EXPECT_EQ(GetDword(key, "Link"), kWrites);
  EXPECT_EQ(GetDword(key, "Target"), kWrites);
  RegCloseKey(key);
  EXPECT_TRUE(fs::is_symlink(path_));
}

TEST_F(RegistryTest, NamesAndDepthStayWithinTheRegistrysLimits) {
  auto deep = [](size_t levels) {
    std::string name = "K";
    for (size_t i = 1; i < levels; ++i) name += "\\K";
    return name;
  };
  HKEY out = nullptr;
  auto create = [&out](HKEY parent, const std::string& name) {
    return RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out,
                           nullptr);
  };
  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, deep(512)), ERROR_SUCCESS);
  HKEY deepest = out;
  EXPECT_EQ(create(HKEY_LOCAL_MACHINE, deep(513)), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(create(deepest, "One"), ERROR_INVALID_PARAMETER);  // 513 levels counted from the root
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, deep(513).c_str(), 0, KEY_READ, &out),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetDword(deepest, "AtTheBottom", 1), ERROR_SUCCESS);
  RegCloseKey(deepest);

  ASSERT_EQ(create(HKEY_LOCAL_MACHINE, "N\\" + std::string(255, 'k')), ERROR_SUCCESS);
  HKEY named = out;
  EXPECT_EQ(create(HKEY_LOCAL_MACHINE, "N\\" + std::string(256, 'k')), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetDword(named, std::string(16383, 'v').c_str(), 1), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(named, std::string(16384, 'v').c_str(), 1), ERROR_INVALID_PARAMETER);
  RegCloseKey(named);

  // A hand-made key beyond the limit is not read, nor its values.
  ::testing::internal::CaptureStderr();
  std::ofstream(path_, std::ios::app)
      << "[HKEY_LOCAL_MACHINE\\" << deep(513) << "]\n\"Lost\"=dword:00000001\n";
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, deep(512).c_str(), 0, KEY_READ, &out), ERROR_SUCCESS);
  EXPECT_EQ(GetDword(out, "AtTheBottom"), 1u);
  char name[8];
  DWORD length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(out, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  RegCloseKey(out);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("damaged"), std::string::npos);
}

TEST_F(RegistryTest, DefaultsToTheUsersConfigDirectory) {
  unsetenv("OMBIX_REGISTRY");
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const bool had_xdg = xdg, had_home = home;
  const std::string saved_xdg = xdg ? xdg : "", saved_home = home ? home : "";

  setenv("XDG_CONFIG_HOME", (dir_ / "xdg").c_str(), 1);
  RegCloseKey(Create("X"));
  EXPECT_TRUE(fs::exists(dir_ / "xdg/ombix/registry.reg"));
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", (dir_ / "home").c_str(), 1);
  RegCloseKey(Create("H"));
  EXPECT_TRUE(fs::exists(dir_ / "home/.config/ombix/registry.reg"));

  had_xdg ? setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
  had_home ? setenv("HOME", saved_home.c_str(), 1) : unsetenv("HOME");
}

}  // namespace

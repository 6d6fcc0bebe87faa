// TAPI32.DLL's lineGetProviderList over the telephony service's list of installed providers,
// the list's upkeep as the host does it, and the provider refusing a second installation.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/service_provider.h"
#include "platform/registry.h"
#include "tests/platform/registry_test_support.h"
#include "tools/tapi32/provider_list.h"

namespace {

// A registry file of its own (the list lives there) and TAPI32.DLL loaded.
class Tapi32Test : public ombix::registry_test::RegistryFileTest {
 protected:
  void SetUp() override {
    RegistryFileTest::SetUp();
    library_ = dlopen(OMBIX_TAPI32, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    getList_ = reinterpret_cast<LINEGETPROVIDERLIST>(dlsym(library_, "lineGetProviderList"));
    ASSERT_NE(getList_, nullptr);
  }
  void TearDown() override {
    if (library_ != nullptr) dlclose(library_);
    RegistryFileTest::TearDown();
  }

  // The list as TAPI32 returns it: {ID, file name} per entry.
  std::vector<std::pair<DWORD, std::string>> GetList() {
    std::vector<BYTE> buffer(4096);
    auto* pList = reinterpret_cast<LPLINEPROVIDERLIST>(buffer.data());
    pList->dwTotalSize = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(getList_(0x00020000, pList), 0);
    EXPECT_EQ(pList->dwUsedSize, pList->dwNeededSize);
    EXPECT_EQ(pList->dwProviderListSize, pList->dwNumProviders * sizeof(LINEPROVIDERENTRY));
    std::vector<std::pair<DWORD, std::string>> result;
    for (DWORD i = 0; i < pList->dwNumProviders; ++i) {
      LINEPROVIDERENTRY entry;
      std::memcpy(&entry, buffer.data() + pList->dwProviderListOffset + i * sizeof(entry),
                  sizeof(entry));
      const char* name =
          reinterpret_cast<const char*>(buffer.data()) + entry.dwProviderFilenameOffset;
      EXPECT_EQ(std::strlen(name) + 1, entry.dwProviderFilenameSize);
      result.emplace_back(entry.dwPermanentProviderID, name);
    }
    return result;
  }

  void* library_ = nullptr;
  LINEGETPROVIDERLIST getList_ = nullptr;
};

using List = std::vector<std::pair<DWORD, std::string>>;

TEST_F(Tapi32Test, ListsTheInstalledProvidersWithBackslashesAndMovesLaterOnesDown) {
  EXPECT_EQ(GetList(), List{});
  DWORD dwNext = 0;
  ASSERT_EQ(PrepareProviderList(&dwNext), ERROR_SUCCESS);
  EXPECT_EQ(dwNext, 1u);
  ASSERT_EQ(AddProviderToList(1, "/usr/lib/ombix/OMBIX.TSP"), ERROR_SUCCESS);
  ASSERT_EQ(AddProviderToList(2, "b.tsp"), ERROR_SUCCESS);
  ASSERT_EQ(AddProviderToList(3, "c.tsp"), ERROR_SUCCESS);
  ASSERT_EQ(PrepareProviderList(&dwNext), ERROR_SUCCESS);
  EXPECT_EQ(dwNext, 4u);
  EXPECT_EQ(GetList(), (List{{1, "\\usr\\lib\\ombix\\OMBIX.TSP"}, {2, "b.tsp"}, {3, "c.tsp"}}));
  ASSERT_EQ(RemoveProviderFromList(2), ERROR_SUCCESS);
  EXPECT_EQ(GetList(), (List{{1, "\\usr\\lib\\ombix\\OMBIX.TSP"}, {3, "c.tsp"}}));
  EXPECT_EQ(RemoveProviderFromList(2), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RemoveProviderFromList(3), ERROR_SUCCESS);
  EXPECT_EQ(GetList(), (List{{1, "\\usr\\lib\\ombix\\OMBIX.TSP"}}));
  // IDs are not given out twice.
  ASSERT_EQ(PrepareProviderList(&dwNext), ERROR_SUCCESS);
  EXPECT_EQ(dwNext, 4u);

  // A structure too small for the entries gets the size needed and none; a bad one nothing.
  LINEPROVIDERLIST list{};
  list.dwTotalSize = sizeof(list);
  ASSERT_EQ(getList_(0x00020000, &list), 0);
  EXPECT_EQ(list.dwNeededSize, sizeof(LINEPROVIDERLIST) + sizeof(LINEPROVIDERENTRY) + 25);
  EXPECT_EQ(list.dwUsedSize, sizeof(LINEPROVIDERLIST));
  EXPECT_EQ(list.dwNumProviders, 0u);
  EXPECT_EQ(list.dwProviderListSize, 0u);
  EXPECT_EQ(getList_(0x00010003, &list), LINEERR_INCOMPATIBLEAPIVERSION);
  EXPECT_EQ(getList_(0x00020000, nullptr), LINEERR_INVALPOINTER);
  list.dwTotalSize = sizeof(list) - 4;
  EXPECT_EQ(getList_(0x00020000, &list), LINEERR_STRUCTURETOOSMALL);
}

// The host's installation: the provider is asked first and listed only when it agreed, so that
// it does not find itself. A second installation of the same file is refused with the ID of
// the first. The provider finds TAPI32.DLL by its bare name.
TEST_F(Tapi32Test, InstallingTwiceIsRefusedWithTheFirstProvidersID) {
  CServiceProvider sp("OMBIX.TSP", "VOIP Service Provider (Z9410)", 0x00020001);
  // A long path: the list no longer fits the provider's first guess and is asked for again.
  const std::string path = "/opt/" + std::string(250, 'p') + "/OMBIX.TSP";

  DWORD dwFirst = 0;
  ASSERT_EQ(PrepareProviderList(&dwFirst), ERROR_SUCCESS);
  DWORD dwFound = 0xEEEE;
  ASSERT_EQ(CServiceProvider::FindInstalledProvider("OMBIX.TSP", &dwFound), 0);
  ASSERT_EQ(sp.providerInstall(dwFirst, nullptr, nullptr), 0);
  ASSERT_EQ(AddProviderToList(dwFirst, path.c_str()), ERROR_SUCCESS);

  DWORD dwSecond = 0;
  ASSERT_EQ(PrepareProviderList(&dwSecond), ERROR_SUCCESS);
  EXPECT_NE(dwSecond, dwFirst);
  EXPECT_EQ(CServiceProvider::FindInstalledProvider("OMBIX.TSP", &dwFound),
            LINEERR_NOMULTIPLEINSTANCE);
  EXPECT_EQ(dwFound, dwFirst);

  // Once removed, it may be installed again.
  ASSERT_EQ(sp.providerRemove(dwFirst, nullptr, nullptr), 0);
  ASSERT_EQ(RemoveProviderFromList(dwFirst), ERROR_SUCCESS);
  EXPECT_EQ(CServiceProvider::FindInstalledProvider("OMBIX.TSP", &dwFound), 0);
}

}  // namespace

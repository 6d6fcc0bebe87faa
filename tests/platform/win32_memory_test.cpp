// IsBadWritePtr: answers from the process's memory map, for memory of every kind, without
// touching it.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/win32.h"

namespace {

const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));

// Pages of anonymous memory, unmapped again at the end.
class Pages {
 public:
  explicit Pages(size_t count, int prot = PROT_READ | PROT_WRITE) : size_(count * kPage) {
    void* p = mmap(nullptr, size_, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
  }
  Pages(const Pages&) = delete;
  Pages& operator=(const Pages&) = delete;
  ~Pages() {
    if (base_ != nullptr) munmap(base_, size_);
  }
  char* page(size_t i) const { return base_ + i * kPage; }
  bool Protect(size_t first, size_t count, int prot) const {
    return mprotect(page(first), count * kPage, prot) == 0;
  }

 private:
  size_t size_;
  char* base_;
};

TEST(Win32Memory, IsBadWritePtrAnswersForEveryKindOfMemory) {
  // Page 0 read-write, 1 read-only, 2 inaccessible, 3 given back, 4 and 5 read-write.
  Pages pages(6);
  ASSERT_NE(pages.page(0), nullptr);
  ASSERT_TRUE(pages.Protect(1, 1, PROT_READ));
  ASSERT_TRUE(pages.Protect(2, 1, PROT_NONE));
  ASSERT_EQ(munmap(pages.page(3), kPage), 0);
  // Page 5 becomes a mapping of its own (a shared file), so 4 and 5 are two lines of the map.
  const int fd = memfd_create("win32-memory-test", MFD_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(kPage)), 0);
  ASSERT_NE(mmap(pages.page(5), kPage, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0),
            MAP_FAILED);
  close(fd);
  int on_stack = 0;
  std::vector<int> on_heap(4);
  static const char kText[] = "read-only data";
  const struct {
    const char* name;
    const void* p;
    UINT_PTR size;
    BOOL bad;
  } cases[] = {
      {"stack", &on_stack, sizeof on_stack, FALSE},
      {"heap", on_heap.data(), 16, FALSE},
      {"whole read-write page", pages.page(0), kPage, FALSE},
      {"last byte of a read-write page", pages.page(1) - 1, 1, FALSE},
      {"two adjacent read-write mappings", pages.page(4), 2 * kPage, FALSE},
      {"nothing at all, even at NULL", nullptr, 0, FALSE},
      {"NULL", nullptr, 4, TRUE},
      {"read-only page", pages.page(1), 4, TRUE},
      {"read-write page running into a read-only one", pages.page(1) - 2, 4, TRUE},
      {"inaccessible page", pages.page(2), 4, TRUE},
      {"unmapped page", pages.page(3), 4, TRUE},
      {"read-write page after an unmapped one", pages.page(3) + kPage - 2, 4, TRUE},
      {"constant data", kText, 4, TRUE},
      {"code", reinterpret_cast<const void*>(&IsBadWritePtr), 4, TRUE},
      {"range that wraps", reinterpret_cast<const void*>(UINTPTR_MAX - 1), 4, TRUE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsBadWritePtr(const_cast<void*>(c.p), c.size), c.bad);
  }
}

TEST(Win32Memory, IsBadWritePtrReadsTheWholeOfALongMap) {
  // Every other page read-only: a map of hundreds of lines, read in many pieces.
  constexpr size_t kCount = 600;
  Pages pages(kCount);
  ASSERT_NE(pages.page(0), nullptr);
  for (size_t i = 1; i < kCount; i += 2) ASSERT_TRUE(pages.Protect(i, 1, PROT_READ));
  for (size_t i = 0; i < kCount; ++i) {
    const BOOL bad = (i % 2) ? TRUE : FALSE;
    ASSERT_EQ(IsBadWritePtr(pages.page(i) + kPage - 4, 4), bad) << "page " << i;
    if (!bad && i + 1 < kCount) {
      ASSERT_EQ(IsBadWritePtr(pages.page(i) + kPage - 4, 8), TRUE) << "page " << i;
    }
  }
  // Made writable again, the pages answer as one range.
  ASSERT_TRUE(pages.Protect(0, kCount, PROT_READ | PROT_WRITE));
  EXPECT_EQ(IsBadWritePtr(pages.page(0), kCount * kPage), FALSE);
}

}  // namespace

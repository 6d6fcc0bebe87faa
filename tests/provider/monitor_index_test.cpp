// Events find their line by monitor ID: the index alone (duplicates, ID 0, changes, a line that
// lets go), the device's look-up as the lines change their IDs, also from many threads, and an
// answered monitor start that takes its ID from another line.
#include <atomic>

#include "provider/ombix_monitor_index.h"
#include "tests/provider/provider_doubles.h"

namespace prov_test {

// A line whose monitor ID the test sets as a monitor-start answer would.
class IdLine : public COmbixLine {
  DECLARE_DYNCREATE(IdLine)
 public:
  using COmbixLine::SetMonitorID;
};
IMPLEMENT_DYNCREATE(IdLine, COmbixLine)

namespace {

COmbixLine* Fake(int n) {
  return reinterpret_cast<COmbixLine*>(static_cast<uintptr_t>(0x1000 + 0x10 * n));
}

TEST(MonitorIndexTest, FirstHolderInIndexOrderWinsAndZeroIsNeverFound) {
  struct Step {
    const char* what;
    int nLine;  // the line whose ID changes; its index is nLine
    DWORD dwOld;
    DWORD dwNew;
    DWORD dwLookUp;
    int nExpected;  // -1: none
  };
  const Step steps[] = {
      {"a line gets an ID", 5, 0, 7, 7, 5},
      {"a higher index with the same ID does not win", 9, 0, 7, 7, 5},
      {"a lower index with the same ID wins", 2, 0, 7, 7, 2},
      {"the winner lets go: the next in index order", 2, 7, 8, 7, 5},
      {"its new ID finds it", 2, 7, 8, 8, 2},
      {"the next lets go as well", 5, 7, 0, 7, 9},
      {"the last holder lets go", 9, 7, 0, 7, -1},
      {"ID 0 is never found", 3, 0, 0, 0, -1},
      {"a change to the same ID changes nothing", 2, 8, 8, 8, 2},
      {"a removed line is not found", 2, 8, 0, 8, -1},
  };
  COmbixMonitorIndex index;
  for (const Step& step : steps) {
    index.Change(Fake(step.nLine), static_cast<DWORD>(step.nLine), step.dwOld, step.dwNew);
    EXPECT_EQ(index.Find(step.dwLookUp), step.nExpected < 0 ? nullptr : Fake(step.nExpected))
        << step.what;
    EXPECT_EQ(index.Find(0), nullptr) << step.what;
  }
  EXPECT_EQ(index.GetCount(), 0u);
}

TEST(MonitorIndexTest, ClearForgetsEveryLine) {
  COmbixMonitorIndex index;
  for (int i = 0; i < 100; ++i) index.Change(Fake(i), i, 0, 1000 + i);
  EXPECT_EQ(index.GetCount(), 100u);
  EXPECT_EQ(index.Find(1042), Fake(42));
  index.Clear();
  EXPECT_EQ(index.Find(1042), nullptr);
  EXPECT_EQ(index.GetCount(), 0u);
}

class MonitorRoutingTest : public ProviderTest {
 protected:
  static constexpr int kLines = 8;
  void SetUp() override {
    ProviderTest::SetUp();
    StartLines(lines, RUNTIME_CLASS(TestDevice), RUNTIME_CLASS(IdLine), false);
  }
  // What a walk of the lines in index order finds.
  COmbixLine* Walk(DWORD dwMonitorID) {
    if (dwMonitorID == 0) return nullptr;
    for (IdLine* pLine : lines) {
      if (pLine->GetMonitorID() == dwMonitorID) return pLine;
    }
    return nullptr;
  }

  IdLine* lines[kLines] = {};
};

TEST_F(MonitorRoutingTest, ConcurrentChangesAndLookUpsAgreeWithAWalk) {
  // Each writer moves its own lines over a few shared IDs, so IDs are held twice all the time.
  std::atomic<bool> bStop{false};
  std::atomic<int> nBadFinds{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < 4; ++w) {
    threads.emplace_back([&, w] {
      for (DWORD n = 0; n < 3000; ++n) {
        for (int i = w; i < kLines; i += 4) lines[i]->SetMonitorID((n + i) % 5);
      }
    });
  }
  for (int r = 0; r < 2; ++r) {
    threads.emplace_back([&] {
      while (!bStop.load()) {
        for (DWORD id = 0; id < 5; ++id) {
          COmbixLine* pFound = device->FindLineByMonitorID(id);
          const bool bKnown = pFound == nullptr || std::find(std::begin(lines), std::end(lines),
                                                             pFound) != std::end(lines);
          if (!bKnown || (id == 0 && pFound != nullptr)) ++nBadFinds;
        }
      }
    });
  }
  for (int w = 0; w < 4; ++w) threads[w].join();
  bStop.store(true);
  for (size_t i = 4; i < threads.size(); ++i) threads[i].join();
  EXPECT_EQ(nBadFinds.load(), 0);
  for (DWORD id = 0; id < 6; ++id) EXPECT_EQ(device->FindLineByMonitorID(id), Walk(id)) << id;
}

// The switch hands out its IDs: a line it gives one that another line still holds takes it, so
// the events go to the line whose phone the switch means, never to both or to the other.
TEST_F(MonitorRoutingTest, AnAnsweredStartTakesItsIdFromTheLineThatHeldIt) {
  lines[2]->SetMonitorID(7);
  COmbixMonitorRsp rsp(OMBIX_MONITOR_START_RSP);
  rsp.dwInvokeID = lines[5]->GetDeviceID();
  rsp.dwMonitorID = 7;
  lines[5]->OnMonitorStartRsp(&rsp);
  EXPECT_EQ(lines[2]->GetMonitorID(), 0u);
  EXPECT_EQ(device->FindLineByMonitorID(7), lines[5]);
}

}  // namespace
}  // namespace prov_test

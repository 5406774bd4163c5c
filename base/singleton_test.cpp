#include "base/singleton.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::atomic<int> g_constructed{0};

struct Counted {
  Counted() {
    ++g_constructed;
    Sleep(20);  // widens the window in which a racing creator could slip in
  }
};

TEST(Singleton, RacingThreadsCreateOneInstance) {
  std::vector<std::thread> threads;
  std::vector<Counted*> seen(8);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([i, &seen] { seen[i] = CSingletonT<Counted>::GetInstance(); });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(g_constructed.load(), 1);
  for (Counted* p : seen) EXPECT_EQ(p, seen[0]);
  CSingletonT<Counted>::Release();
  EXPECT_NE(CSingletonT<Counted>::GetInstance(), nullptr);
  EXPECT_EQ(g_constructed.load(), 2);
}

}  // namespace

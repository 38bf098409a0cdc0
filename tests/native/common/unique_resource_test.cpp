// The owner template closes exactly once, hands ownership over on move, frees before put(),
// and the scope-exit helper runs unless released.
#include "common/core/unique_resource.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> g_closed;

struct FakeTraits {
  using Type = int;
  static int Invalid() { return -1; }
  static void Close(int h) { g_closed.push_back(h); }
};
using FakeOwner = qv::UniqueResource<FakeTraits>;

TEST(UniqueResource, ClosesEachHandleExactlyOnceWhateverPathOwnershipTakes) {
  g_closed.clear();
  {
    FakeOwner a(3);
    FakeOwner b(std::move(a));
    FakeOwner c(5);
    c = std::move(b);  // 5 is closed, 3 moves in
    EXPECT_FALSE(a.valid());
    *c.put() = 8;      // 3 is closed before the new handle arrives
    FakeOwner kept(9);
    EXPECT_EQ(kept.release(), 9);
    FakeOwner().reset();
  }
  EXPECT_EQ(g_closed, std::vector<int>({5, 3, 8}));
}

TEST(ScopeExit, RunsUnlessReleased) {
  int runs = 0;
  { auto undo = qv::MakeScopeExit([&] { ++runs; }); }
  {
    auto undo = qv::MakeScopeExit([&] { ++runs; });
    undo.release();
  }
  EXPECT_EQ(runs, 1);
}

}  // namespace

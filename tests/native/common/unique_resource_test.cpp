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

class UniqueResourceTest : public ::testing::Test {
 protected:
  void SetUp() override { g_closed.clear(); }
};

TEST_F(UniqueResourceTest, ClosesOnceWhateverPathOwnershipTakes) {
  {
    FakeOwner a(3);
    FakeOwner b(std::move(a));
    EXPECT_FALSE(a.valid());
    FakeOwner c(5);
    c = std::move(b);  // 5 is closed, 3 moves in
    EXPECT_EQ(c.get(), 3);
    EXPECT_EQ(g_closed, std::vector<int>({5}));
  }
  EXPECT_EQ(g_closed, std::vector<int>({5, 3}));
}

TEST_F(UniqueResourceTest, PutFreesWhatWasHeldAndReleaseKeepsItOpen) {
  FakeOwner owner(7);
  *owner.put() = 8;
  EXPECT_EQ(g_closed, std::vector<int>({7}));
  EXPECT_EQ(owner.release(), 8);
  owner.reset();
  FakeOwner invalid;
  invalid.reset();
  EXPECT_EQ(g_closed, std::vector<int>({7}));
}

TEST_F(UniqueResourceTest, ScopeExitRunsUnlessReleased) {
  int runs = 0;
  {
    auto undo = qv::MakeScopeExit([&] { ++runs; });
  }
  {
    auto undo = qv::MakeScopeExit([&] { ++runs; });
    undo.release();
  }
  EXPECT_EQ(runs, 1);
}

}  // namespace

// The worker thread's owner under Wine: it frees the body only once the thread has ended.
#include "common/win/ui/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// A body that runs past the ten seconds the owner once granted it before freeing it anyway.
TEST(WorkerThread, OwnerWaitsForABodyThatRunsLongerThanTenSeconds) {
  qv::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(release);
  std::atomic<bool> bodyEnded{false}, ownerGone{false};
  std::unique_ptr<qv::ui::CWorkerThread> owner = qv::ui::CWorkerThread::Create([&] {
    ::WaitForSingleObject(release.get(), 60000);
    bodyEnded = true;
  });
  ASSERT_TRUE(owner);
  owner->Resume();
  std::thread destroyer([&] {
    owner.reset();
    ownerGone = true;
  });
  ::Sleep(10500);
  EXPECT_FALSE(ownerGone) << "the owner let go of a running body";
  ::SetEvent(release.get());
  destroyer.join();
  EXPECT_TRUE(bodyEnded);
}

}  // namespace

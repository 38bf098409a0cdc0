// The worker thread's owner under Wine: it frees the body only once the thread has ended, and
// while it waits it answers what other threads send to its windows.
#include "common/win/ui/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

constexpr UINT kAreYouWaiting = WM_APP + 7;

LRESULT CALLBACK AnswerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kAreYouWaiting) return 1;
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// A message-only window of the calling thread that answers kAreYouWaiting.
HWND MakeAnsweringWindow() {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = AnswerProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"WorkerThreadTestAnswer";
  ::RegisterClassW(&windowClass);  // a second registration fails harmlessly
  return ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
}

// A body that waits for the test: the owner's thread is caught inside its join (it answers a sent
// message there and nowhere else) while the body still runs, and the body, once let go, finds its
// owner still there. An owner with any time limit of its own would be gone by the time the body is
// let go only after that limit, so the body checks it at its very end.
TEST(WorkerThread, TheOwnerJoinsARunningBodyAnsweringSentMessagesAndLetsGoOnlyAfterIt) {
  qv::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  qv::UniqueHandle windowMade(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(release && windowMade);
  std::atomic<bool> bodyEnded{false}, ownerGone{false}, ownerGoneAtBodyEnd{true};
  std::unique_ptr<qv::ui::CWorkerThread> owner = qv::ui::CWorkerThread::Create([&] {
    ::WaitForSingleObject(release.get(), INFINITE);
    ownerGoneAtBodyEnd = ownerGone.load();
    bodyEnded = true;
  });
  ASSERT_TRUE(owner);
  owner->Resume();
  EXPECT_FALSE(owner->JoinPumpingSentMessages(0)) << "a bounded join claimed a running body had ended";

  std::atomic<HWND> window{nullptr};
  std::thread destroyer([&] {
    window = MakeAnsweringWindow();
    ::SetEvent(windowMade.get());
    owner.reset();
    ownerGone = true;
    ::DestroyWindow(window);
  });
  ASSERT_EQ(::WaitForSingleObject(windowMade.get(), 30000), WAIT_OBJECT_0);
  ASSERT_NE(window.load(), nullptr);
  DWORD_PTR answer = 0;
  const LRESULT answered =
      ::SendMessageTimeoutW(window, kAreYouWaiting, 0, 0, SMTO_NORMAL, 30000, &answer);
  EXPECT_NE(answered, 0) << "the joining owner did not answer a sent message";
  EXPECT_EQ(answer, 1u);
  EXPECT_FALSE(ownerGone) << "the owner let go of a running body";
  ::SetEvent(release.get());
  destroyer.join();
  EXPECT_TRUE(bodyEnded);
  EXPECT_FALSE(ownerGoneAtBodyEnd);
}

TEST(WorkerThread, AJoinTellsTheBodyEndedAndANeverResumedThreadIsNotWaitedFor) {
  qv::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(release);
  std::unique_ptr<qv::ui::CWorkerThread> worker =
      qv::ui::CWorkerThread::Create([&] { ::WaitForSingleObject(release.get(), INFINITE); });
  ASSERT_TRUE(worker);
  worker->Resume();
  ::SetEvent(release.get());
  EXPECT_TRUE(worker->JoinPumpingSentMessages(INFINITE));
  EXPECT_TRUE(worker->JoinPumpingSentMessages(0));

  bool ran = false;
  std::unique_ptr<qv::ui::CWorkerThread> idle = qv::ui::CWorkerThread::Create([&] { ran = true; });
  ASSERT_TRUE(idle);
  EXPECT_TRUE(idle->JoinPumpingSentMessages(0));
  idle.reset();
  EXPECT_FALSE(ran);
}

}  // namespace

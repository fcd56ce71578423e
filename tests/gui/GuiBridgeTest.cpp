// The bridge to the window's thread: a worker's question is answered on the
// window's thread, and a window that goes first answers it as closed.

#include <gtest/gtest.h>

#include <QObject>
#include <QThread>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "widgets/GuiThread.h"

namespace zendra::test {
namespace {

TEST(GuiBridge, AWorkersQuestionIsAnsweredOnTheWindowsThread) {
  QObject window;
  auto asked = std::async(std::launch::async, [&] {
    return AskGui(
        &window, [&] { return QThread::currentThread() == window.thread(); }, false);
  });
  ASSERT_TRUE(WaitUntil(
      [&] { return asked.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_TRUE(asked.get());
}

TEST(GuiBridge, CallsPostedByAWorkerRunOnTheWindowsThreadInTheOrderPosted) {
  QObject window;
  constexpr int kCalls = 200;
  // Written on the window's thread alone; read there too.
  std::vector<int> order;
  bool elsewhere = false;
  std::atomic<int> ran{0};
  // The worker is still there while its calls run (it waits for them), so that
  // nothing but the posting orders its writes of a call before the call's run.
  std::thread worker([&] {
    for (int i = 0; i < kCalls; ++i) {
      auto number = std::make_shared<int>(i);
      PostToGui(&window, [&, number] {
        elsewhere = elsewhere || QThread::currentThread() != window.thread();
        order.push_back(*number);
        ++ran;
      });
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ran < kCalls && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  });
  const bool allRan = WaitUntil([&] { return ran == kCalls; });
  worker.join();
  ASSERT_TRUE(allRan);
  ASSERT_EQ(order.size(), static_cast<std::size_t>(kCalls));
  EXPECT_FALSE(elsewhere);
  for (int i = 0; i < kCalls; ++i) ASSERT_EQ(order[i], i);
}

TEST(GuiBridge, AWindowThatGoesBeforeTheCallRanGivesTheAnswerForAClosedWindow) {
  auto window = std::make_unique<QObject>();
  // The way to the window is taken while it lives; whether the worker posts before
  // the window goes (the queued call goes with it) or after (nothing to post to),
  // the call never runs and the worker is not left waiting.
  PostCall toWindow = GuiPoster(window.get());
  std::atomic<bool> ran{false};
  auto asked = std::async(std::launch::async, [&] {
    return AskAcross(
        toWindow,
        [&] {
          ran = true;
          return 1;
        },
        {}, -1);
  });
  window.reset();
  ASSERT_TRUE(WaitUntil(
      [&] { return asked.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(asked.get(), -1);
  EXPECT_FALSE(ran);
}

TEST(GuiBridge, OnTheWindowsOwnThreadTheCallRunsAtOnceUnlessWithdrawn) {
  QObject window;
  EXPECT_EQ(AskGui(
                &window, [] { return 3; }, 0),
            3);
  std::stop_source stop;
  stop.request_stop();
  bool ran = false;
  EXPECT_FALSE(CallOnGui(
      &window, [&] { ran = true; }, stop.get_token()));
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace zendra::test

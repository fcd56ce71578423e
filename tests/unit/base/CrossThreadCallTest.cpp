// The bridge's waiting core: an asker gets the answer of a call that ran, the
// answer for a closed window when the call was dropped or withdrawn, and never
// waits for good.

#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/CrossThreadCall.h"

namespace zendra::test {
namespace {

using namespace std::chrono_literals;

// The other thread's queue: posted calls wait until the test runs or drops them.
class Queue {
 public:
  PostCall Poster() {
    return [this](std::function<void()> call) {
      std::lock_guard lock(mutex_);
      calls_.push_back(std::move(call));
    };
  }
  // Takes the oldest posted call, waiting for it (with a deadline).
  std::function<void()> Take() {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard lock(mutex_);
        if (!calls_.empty()) {
          auto call = std::move(calls_.front());
          calls_.pop_front();
          return call;
        }
      }
      std::this_thread::sleep_for(1ms);
    }
    return {};
  }

  bool Empty() {
    std::lock_guard lock(mutex_);
    return calls_.empty();
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
};

TEST(CrossThreadCall, TheAskerGetsTheAnswerOfTheCallThatRan) {
  Queue queue;
  auto asked = std::async(std::launch::async, [&] {
    return AskAcross(
        queue.Poster(), [] { return 42; }, {}, -1);
  });
  auto call = queue.Take();
  ASSERT_TRUE(call);
  call();
  call = nullptr;
  EXPECT_EQ(asked.get(), 42);
}

TEST(CrossThreadCall, ACallDroppedUnrunGivesTheAnswerForAClosedWindow) {
  Queue queue;
  std::atomic<bool> ran{false};
  auto asked = std::async(std::launch::async,
                          [&] { return CallAcross(queue.Poster(), [&] { ran = true; }, {}); });
  auto call = queue.Take();
  ASSERT_TRUE(call);
  call = nullptr;  // the receiver went: the call is destroyed unrun
  EXPECT_FALSE(asked.get());
  EXPECT_FALSE(ran);
}

TEST(CrossThreadCall, AWithdrawnCallNeverRunsAndTheAskerGoesAtOnce) {
  for (const Withdraw mode : {Withdraw::kBeforeStart, Withdraw::kAnytime}) {
    Queue queue;
    std::stop_source stop;
    std::atomic<bool> ran{false};
    auto asked = std::async(std::launch::async, [&] {
      return CallAcross(
          queue.Poster(), [&] { ran = true; }, stop.get_token(), mode);
    });
    auto call = queue.Take();
    ASSERT_TRUE(call);
    stop.request_stop();
    EXPECT_FALSE(asked.get());  // the call is still queued, not yet run
    call();
    EXPECT_FALSE(ran);
  }
}

TEST(CrossThreadCall, AStopAlreadyRequestedPostsNothing) {
  Queue queue;
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(AskAcross(
                queue.Poster(), [] { return 1; }, stop.get_token(), 0),
            0);
  EXPECT_TRUE(queue.Empty()) << "the ask returned: anything it posted would be queued";
}

// A running call that uses the asker's data is waited for to its end; one that
// owns its data is left to end on its own.
TEST(CrossThreadCall, AStopWhileTheCallRunsEndsTheWaitOnlyWhenTheCallOwnsItsData) {
  for (const Withdraw mode : {Withdraw::kBeforeStart, Withdraw::kAnytime}) {
    SCOPED_TRACE(mode == Withdraw::kAnytime ? "anytime" : "before start");
    Queue queue;
    std::stop_source stop;
    std::promise<void> running;
    std::promise<void> release;
    auto released = release.get_future().share();
    auto asked = std::async(std::launch::async, [&] {
      return AskAcross(
          queue.Poster(),
          [&running, released] {
            running.set_value();
            released.wait();
            return 7;
          },
          stop.get_token(), -1, mode);
    });
    auto call = queue.Take();
    ASSERT_TRUE(call);
    std::thread other([&] {
      call();
      call = nullptr;
    });
    running.get_future().wait();
    stop.request_stop();
    if (mode == Withdraw::kAnytime) {
      ASSERT_EQ(asked.wait_for(10s), std::future_status::ready);
      EXPECT_EQ(asked.get(), -1);
      release.set_value();
    } else {
      EXPECT_EQ(asked.wait_for(50ms), std::future_status::timeout);
      release.set_value();
      EXPECT_EQ(asked.get(), 7);
    }
    other.join();
  }
}

// The window closes while several workers wait for it: each wait ends, in every
// round. A stop wakes the askers from the stopping thread while they leave and
// drop their wake-up at once; a runtime whose stop callbacks lose that hand-off
// (g++ 12's semaphores on Windows did) leaves an asker waiting for good. The
// rounds run on a thread of their own so that a lost wake-up fails the test
// instead of hanging the run.
TEST(CrossThreadCall, EveryAskerWithdrawnByOneStopGoesInEveryRound) {
  constexpr int kRounds = 1000;
  constexpr int kAskers = 3;
  struct Progress {
    std::atomic<int> rounds{0};
    std::atomic<int> wrongAnswers{0};
  };
  auto progress = std::make_shared<Progress>();
  std::thread([progress] {
    for (int round = 0; round < kRounds; ++round) {
      Queue queue;  // never run: every call waits until the stop
      std::stop_source closed;
      std::atomic<int> posted{0};
      std::vector<std::thread> askers;
      for (int i = 0; i < kAskers; ++i) {
        askers.emplace_back([&] {
          const PostCall post = [&](std::function<void()> call) {
            queue.Poster()(std::move(call));
            ++posted;
          };
          const int answer = AskAcross(
              post, [] { return 1; }, closed.get_token(), -1, Withdraw::kAnytime);
          if (answer != -1) ++progress->wrongAnswers;
        });
      }
      while (posted.load() < kAskers) std::this_thread::yield();
      closed.request_stop();
      for (auto& asker : askers) asker.join();
      ++progress->rounds;
    }
  }).detach();

  const auto deadline = std::chrono::steady_clock::now() + 120s;
  while (progress->rounds.load() < kRounds && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_EQ(progress->rounds.load(), kRounds) << "an asker still waits after the stop";
  EXPECT_EQ(progress->wrongAnswers.load(), 0);
}

}  // namespace
}  // namespace zendra::test

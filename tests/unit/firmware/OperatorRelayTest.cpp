// The relay between a firmware worker and its window's operator: the worker's
// boxes are shown on the window's thread, and a window that closes never waits for
// a box it can no longer show.

#include <gmock/gmock.h>

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "base/OperatorRelay.h"
#include "support/FakeOperator.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

// The window's thread is the test's: posted calls wait in a queue until the test
// runs them, as queued calls wait for the event loop.
class WindowThread {
 public:
  OperatorRelay::Post Poster() {
    return [this](std::function<void()> call) {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(call));
    };
  }
  OperatorRelay::OnWindowThread IsWindowThread() {
    return [id = std::this_thread::get_id()] { return std::this_thread::get_id() == id; };
  }
  // Runs what has been posted so far; how many calls ran.
  int RunPosted() {
    std::deque<std::function<void()>> calls;
    {
      std::lock_guard lock(mutex_);
      calls.swap(queue_);
    }
    for (auto& call : calls) call();
    return static_cast<int>(calls.size());
  }
  std::size_t Posted() {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
};

// Waits (with a deadline, not a fixed time) until `count` worker calls are waiting
// and have posted their calls: a worker counts itself as asking just before it posts.
bool WaitForAsking(const OperatorRelay& relay, WindowThread& window, int count) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (relay.Asking() != count || window.Posted() != static_cast<std::size_t>(count)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

class OperatorRelayTest : public ::testing::Test {
 protected:
  FakeOperator op;
  WindowThread window;
  std::unique_ptr<OperatorRelay> relay =
      std::make_unique<OperatorRelay>(op, window.Poster(), window.IsWindowThread());
};

TEST_F(OperatorRelayTest, AWorkersQuestionIsAnsweredOnTheWindowsThreadAndTheWorkerWaitsForIt) {
  op.QueueAnswer(true);
  auto answer =
      std::async(std::launch::async, [&] { return relay->AskYesNo("Reload?", "NOTICE"); });
  ASSERT_TRUE(WaitForAsking(*relay, window, 1));
  // Nothing is shown until the window's thread runs the call.
  EXPECT_THAT(op.Questions(), IsEmpty());
  EXPECT_EQ(answer.wait_for(0s), std::future_status::timeout);

  EXPECT_EQ(window.RunPosted(), 1);
  EXPECT_TRUE(answer.get());
  ASSERT_EQ(op.Events().size(), 1u);
  EXPECT_EQ(op.Events()[0].text, "Reload?");
  EXPECT_EQ(op.Events()[0].caption, "NOTICE");
  EXPECT_EQ(relay->Asking(), 0);
}

TEST_F(OperatorRelayTest, ClosingAnswersAWaitingWorkerAtOnceAndItsBoxIsNeverShown) {
  op.QueueAnswer(true);
  op.QueueFile("/images/a.ebl");
  auto message = std::async(std::launch::async, [&] { relay->ShowMessage("Transmit error."); });
  auto question = std::async(std::launch::async, [&] { return relay->AskYesNo("Reload?"); });
  auto file = std::async(std::launch::async, [&] { return relay->ChooseFileToOpen("*.ebl"); });
  ASSERT_TRUE(WaitForAsking(*relay, window, 3));

  // The window closes and joins its worker without running its event loop again.
  relay->Close();
  message.get();
  EXPECT_FALSE(question.get()) << "closing counts as No";
  EXPECT_EQ(file.get(), std::nullopt) << "closing counts as a cancelled dialog";

  // The queued calls may still come round (a nested loop, say): they show nothing.
  EXPECT_EQ(window.RunPosted(), 3);
  EXPECT_THAT(op.Events(), IsEmpty());

  // Later calls of a worker return at once and post nothing; the window's own
  // calls still reach the operator.
  EXPECT_TRUE(relay->AskYesNo("Reload?")) << "the window's own call, answered by the operator";
  auto late = std::async(std::launch::async, [&] { return relay->AskYesNo("Reload?"); });
  ASSERT_EQ(late.wait_for(10s), std::future_status::ready);
  EXPECT_FALSE(late.get());
  EXPECT_EQ(window.Posted(), 0u);
  EXPECT_THAT(op.Questions(), ElementsAre("Reload?"));
}

TEST_F(OperatorRelayTest, ABoxThatIsUpWhenTheWindowClosesNoLongerHoldsTheWorker) {
  // The window is closed from a nested event loop of the box the worker asked for:
  // the worker goes on while the box is still up.
  struct ClosingOperator : FakeOperator {
    std::function<void()> whileShown;
    void ShowMessage(const std::string& text) override {
      whileShown();
      FakeOperator::ShowMessage(text);
    }
  } closing;
  OperatorRelay nested(closing, window.Poster(), window.IsWindowThread());
  std::future<void> message;
  bool workerWentOn = false;
  closing.whileShown = [&] {
    nested.Close();
    workerWentOn = message.wait_for(10s) == std::future_status::ready;
  };
  message = std::async(std::launch::async, [&] { nested.ShowMessage("Transmit error."); });
  ASSERT_TRUE(WaitForAsking(nested, window, 1));
  window.RunPosted();
  EXPECT_TRUE(workerWentOn);
  EXPECT_THAT(closing.Messages(), ElementsAre("Transmit error."));
}

}  // namespace
}  // namespace zendra::test

#include <platform/Handoff.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

namespace platform {
namespace {

TEST(Handoff, TheConsumerGetsEveryItemInOrderThroughASmallQueue) {
  Handoff<int> handoff(2);
  std::thread producer([&] {
    for (int i = 0; i < 10000; ++i) ASSERT_TRUE(handoff.push(i));
    handoff.close();
  });
  std::vector<int> got;
  while (const std::optional<int> item = handoff.pop()) got.push_back(*item);
  producer.join();
  ASSERT_EQ(got.size(), 10000u);
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(got[size_t(i)], i);
  EXPECT_FALSE(handoff.pop().has_value()) << "the end stays the end";
}

TEST(Handoff, AProducersFailureComesAfterWhatItQueuedAndOnlyOnce) {
  Handoff<int> handoff(4);
  std::thread producer([&] {
    handoff.push(1);
    handoff.push(2);
    try {
      throw std::runtime_error("the sheet is damaged");
    } catch (...) {
      handoff.fail(std::current_exception());
    }
  });
  producer.join();
  EXPECT_EQ(handoff.pop(), 1);
  EXPECT_EQ(handoff.pop(), 2);
  try {
    handoff.pop();
    ADD_FAILURE() << "the failure was not passed on";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "the sheet is damaged");
  }
  EXPECT_FALSE(handoff.pop().has_value());
}

// A consumer that gives up must not leave the producer waiting for room for ever.
TEST(Handoff, StoppingReleasesAProducerWaitingForRoomAndRefusesLaterItems) {
  Handoff<int> handoff(1);
  int accepted = 0;
  std::thread producer([&] {
    while (handoff.push(accepted)) ++accepted;
  });
  EXPECT_EQ(handoff.pop(), 0);  // the producer has been running, and fills the queue again
  handoff.stop();
  producer.join();
  EXPECT_GE(accepted, 1);
  EXPECT_FALSE(handoff.push(99));
}

}  // namespace
}  // namespace platform

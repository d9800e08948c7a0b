#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(NamedMutex, SameNameIsOneMutexAcrossObjects) {
  platform::NamedMutex a("NAMED_MUTEX_TEST_SHARED");
  platform::NamedMutex b("NAMED_MUTEX_TEST_SHARED");
  ASSERT_TRUE(a.Wait(10));
  bool other_thread_got_it = true;
  // Real time: the other thread must time out on a held mutex; 20 ms keeps the test short.
  std::thread([&] { other_thread_got_it = b.Wait(20); }).join();
  EXPECT_FALSE(other_thread_got_it);
  a.Release();
  std::thread([&] {
    other_thread_got_it = b.Wait(20);
    b.Release();
  }).join();
  EXPECT_TRUE(other_thread_got_it);
}

TEST(NamedMutex, ReentrantAndReleaseWithoutHoldIsHarmless) {
  platform::NamedMutex m("NAMED_MUTEX_TEST_REENTRANT");
  m.Release();  // not held: nothing happens
  ASSERT_TRUE(m.Wait(0));
  ASSERT_TRUE(m.Wait(0));
  m.Release();
  bool obtained = true;
  std::thread([&] { obtained = m.Wait(10); }).join();
  EXPECT_FALSE(obtained) << "one release of two holds must keep it held";
  m.Release();
  std::thread([&] {
    obtained = m.Wait(10);
    m.Release();
  }).join();
  EXPECT_TRUE(obtained);
}

TEST(NamedMutex, ReleaseByNonOwnerDoesNotFreeIt) {
  platform::NamedMutex m("NAMED_MUTEX_TEST_OWNER");
  ASSERT_TRUE(m.Wait(0));
  std::thread([&] { m.Release(); }).join();
  bool obtained = true;
  std::thread([&] { obtained = m.Wait(10); }).join();
  EXPECT_FALSE(obtained);
  m.Release();
}

}  // namespace

#pragma once
// For tests of zorvctl's watcher thread, which writes while the test's own thread reads: text
// both may use, and a bounded wait (real time: the watcher waits on its own).

#include <chrono>
#include <functional>
#include <mutex>
#include <streambuf>
#include <string>
#include <thread>

class SharedText : public std::streambuf {
 public:
  std::string Text() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  void Clear() {
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.clear();
  }

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) {
      const std::lock_guard<std::mutex> lock(mutex_);
      text_ += traits_type::to_char_type(c);
    }
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    text_.append(s, static_cast<size_t>(n));
    return n;
  }

 private:
  std::mutex mutex_;
  std::string text_;
};

// Polls until the condition holds, for at most five seconds.
inline bool Eventually(const std::function<bool()>& condition) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

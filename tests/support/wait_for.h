#pragma once
// Waits for a condition that another thread (the audio device's, a notice
// thread) brings about; the deadline is only there so that a fault fails the
// test instead of hanging it.
#include <chrono>
#include <thread>

namespace testsupport {

template <typename F>
bool WaitFor(F condition, std::chrono::seconds deadline = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace testsupport

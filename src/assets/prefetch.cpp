#include "assets/prefetch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

namespace assets {

namespace {

// How far the workers may run ahead of the loader, in pictures: enough to
// keep them busy across a scene load, few enough that the decoded pictures
// waiting in memory stay a small part of the show's textures.
constexpr std::size_t kLookAhead = 24;

enum class SlotState { Waiting, Decoding, Done, Taken };

struct Slot {
  std::string name;
  SlotState state = SlotState::Waiting;
  DecodedPicture picture;
};

struct Queue {
  std::mutex lock;
  std::condition_variable changed;
  // A deque keeps every slot where it is while the queue grows.
  std::deque<Slot> slots;
  std::size_t nextToClaim = 0;  // first slot no worker has claimed
  std::size_t taken = 0;        // slots taken so far, for the look-ahead
  std::size_t firstOpen = 0;    // every slot before it has been taken
  bool stopping = false;
  std::vector<std::thread> workers;
};

// Made once and never destroyed: workers must never outlive what they use.
Queue& TheQueue() {
  static Queue* queue = new Queue;
  return *queue;
}

void FreePicture(DecodedPicture& picture) {
  if (picture.Image) platform::txFree(picture.Image);
  picture = DecodedPicture{};
}

// The next slot a worker may decode, or null to stop. Called under the lock.
Slot* ClaimNext(Queue& q, std::unique_lock<std::mutex>& held) {
  for (;;) {
    if (q.stopping) return nullptr;
    while (q.nextToClaim < q.slots.size() && q.slots[q.nextToClaim].state != SlotState::Waiting) ++q.nextToClaim;
    if (q.nextToClaim < q.slots.size() && q.nextToClaim < q.taken + kLookAhead) {
      Slot& slot = q.slots[q.nextToClaim++];
      slot.state = SlotState::Decoding;
      return &slot;
    }
    q.changed.wait(held);
  }
}

void Work(Queue& q) {
  std::unique_lock<std::mutex> held(q.lock);
  while (Slot* slot = ClaimNext(q, held)) {
    const std::string name = slot->name;
    held.unlock();
    DecodedPicture picture = DecodePicture(name);
    held.lock();
    slot->picture = std::move(picture);
    slot->state = SlotState::Done;
    q.changed.notify_all();
  }
}

void StopAtExit() { EndPrefetch(); }

}  // namespace

bool LoadableFileName(std::string_view fileName) {
  return fileName.size() <= 254 && fileName.find('\0') == std::string_view::npos;
}

DecodedPicture DecodePicture(const std::string& fileName) {
  DecodedPicture picture;
  picture.Image = platform::txLoad(0, fileName.c_str(), 0);
  picture.ErrorCode = platform::txGetErrorCode();
  if (picture.Image && picture.Image->Pixels &&
      HasOwnMipmapSize(picture.Image->Width, picture.Image->Height, kPrefetchLargestSide)) {
    picture.Levels = BuildMipmapLevels(picture.Image->Width, picture.Image->Height, picture.Image->Pixels);
    picture.HasLevels = true;
  }
  return picture;
}

void PrefetchPictures(const std::vector<std::string>& fileNames) {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> guard(q.lock);
  for (const std::string& name : fileNames) {
    if (!LoadableFileName(name)) continue;
    q.slots.push_back(Slot{name, SlotState::Waiting, {}});
  }
  if (q.workers.empty()) {
    q.stopping = false;
    static bool registered = false;
    if (!registered) {
      registered = true;
      std::atexit(StopAtExit);
    }
    const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    for (unsigned i = 0; i < cores; ++i) q.workers.emplace_back(Work, std::ref(q));
  }
  q.changed.notify_all();
}

bool TakePrefetchedPicture(const std::string& fileName, DecodedPicture& out) {
  Queue& q = TheQueue();
  std::unique_lock<std::mutex> held(q.lock);
  if (q.workers.empty()) return false;
  while (q.firstOpen < q.slots.size() && q.slots[q.firstOpen].state == SlotState::Taken) ++q.firstOpen;
  Slot* slot = nullptr;
  for (std::size_t i = q.firstOpen; i < q.slots.size(); ++i) {
    if (q.slots[i].state != SlotState::Taken && q.slots[i].name == fileName) {
      slot = &q.slots[i];
      break;
    }
  }
  if (!slot) return false;
  if (slot->state == SlotState::Waiting) {
    // No worker has begun it: decoding it here is quicker than waiting.
    slot->state = SlotState::Decoding;
    held.unlock();
    DecodedPicture picture = DecodePicture(fileName);
    held.lock();
    slot->picture = std::move(picture);
    slot->state = SlotState::Done;
  }
  q.changed.wait(held, [slot] { return slot->state == SlotState::Done; });
  out = std::move(slot->picture);
  slot->picture = DecodedPicture{};
  slot->state = SlotState::Taken;
  ++q.taken;
  q.changed.notify_all();
  return true;
}

bool PrefetchRunning() {
  Queue& q = TheQueue();
  std::lock_guard<std::mutex> guard(q.lock);
  return !q.workers.empty();
}

void EndPrefetch() {
  Queue& q = TheQueue();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> guard(q.lock);
    q.stopping = true;
    workers.swap(q.workers);
    q.changed.notify_all();
  }
  for (std::thread& worker : workers) worker.join();
  std::lock_guard<std::mutex> guard(q.lock);
  for (Slot& slot : q.slots) FreePicture(slot.picture);
  q.slots.clear();
  q.nextToClaim = 0;
  q.taken = 0;
  q.firstOpen = 0;
}

}  // namespace assets

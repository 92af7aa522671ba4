#include "assets/prefetch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <list>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "platform/process.h"

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

using Slots = std::list<Slot>;

// Nothing is allocated while the lock is held: running out of memory on the
// main thread ends the program where it happens, and the exit handler that
// stops the workers takes this lock.
struct Queue {
  std::mutex lock;
  std::condition_variable changed;
  // A list keeps every slot where it is while the queue grows, and new slots
  // made outside the lock join it without allocating.
  Slots slots;
  Slots::iterator nextToClaim = slots.end();  // first slot no worker has claimed
  std::size_t nextToClaimIndex = 0;           // its place in the queue
  std::size_t taken = 0;                      // slots taken so far, for the look-ahead
  Slots::iterator firstOpen = slots.end();    // every slot before it has been taken
  bool stopping = false;
  std::vector<std::thread> workers;
  // The process that started the workers; a forked copy has none to stop.
  std::uint64_t owningProcess = 0;
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
    while (q.nextToClaim != q.slots.end() && q.nextToClaim->state != SlotState::Waiting) {
      ++q.nextToClaim;
      ++q.nextToClaimIndex;
    }
    if (q.nextToClaim != q.slots.end() && q.nextToClaimIndex < q.taken + kLookAhead) {
      Slot& slot = *q.nextToClaim++;
      ++q.nextToClaimIndex;
      slot.state = SlotState::Decoding;
      return &slot;
    }
    q.changed.wait(held);
  }
}

// A picture that could not be decoded for want of memory: the main thread
// reports it when it takes the picture.
DecodedPicture OutOfMemoryPicture() {
  DecodedPicture picture;
  picture.ErrorCode = platform::kImageOutOfMemory;
  return picture;
}

void Work(Queue& q) {
  std::unique_lock<std::mutex> held(q.lock);
  while (Slot* slot = ClaimNext(q, held)) {
    held.unlock();
    // The name stays as it is while the slot lives, so it is read unlocked.
    DecodedPicture picture = DecodePicture(slot->name);
    held.lock();
    slot->picture = std::move(picture);
    slot->state = SlotState::Done;
    q.changed.notify_all();
  }
}

void StopAtExit() {
  if (platform::CurrentProcessId() != TheQueue().owningProcess) return;
  EndPrefetch();
}

}  // namespace

bool LoadableFileName(std::string_view fileName) {
  return fileName.size() <= 254 && fileName.find('\0') == std::string_view::npos;
}

DecodedPicture DecodePicture(const std::string& fileName) {
  DecodedPicture picture;
  try {
    picture.Image = platform::txLoad(0, fileName.c_str(), 0);
    picture.ErrorCode = platform::txGetErrorCode();
    if (picture.Image && picture.Image->Pixels &&
        HasOwnMipmapSize(picture.Image->Width, picture.Image->Height, kPrefetchLargestSide)) {
      picture.Levels = BuildMipmapLevels(picture.Image->Width, picture.Image->Height, picture.Image->Pixels);
      picture.HasLevels = true;
    }
  } catch (const std::bad_alloc&) {
    FreePicture(picture);
    return OutOfMemoryPicture();
  }
  return picture;
}

void PrefetchPictures(const std::vector<std::string>& fileNames) {
  Queue& q = TheQueue();
  Slots fresh;
  for (const std::string& name : fileNames) {
    if (LoadableFileName(name)) fresh.push_back(Slot{name, SlotState::Waiting, {}});
  }
  bool start = false;
  {
    std::lock_guard<std::mutex> guard(q.lock);
    start = q.workers.empty();
  }
  std::vector<std::thread> started;
  if (start) {
    static bool registered = false;
    if (!registered) {
      registered = true;
      std::atexit(StopAtExit);
    }
    const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    started.reserve(cores);
    {
      std::lock_guard<std::mutex> guard(q.lock);
      q.stopping = false;
      q.owningProcess = platform::CurrentProcessId();
    }
    try {
      for (unsigned i = 0; i < cores; ++i) started.emplace_back(Work, std::ref(q));
    } catch (const std::system_error&) {
      // No more threads to be had: the ones that started do the work, and
      // without any every picture is decoded when the loader asks for it.
    }
    if (started.empty()) return;
  }
  std::lock_guard<std::mutex> guard(q.lock);
  if (!fresh.empty()) {
    const Slots::iterator first = fresh.begin();
    q.slots.splice(q.slots.end(), fresh);
    if (q.nextToClaim == q.slots.end()) q.nextToClaim = first;
    if (q.firstOpen == q.slots.end()) q.firstOpen = first;
  }
  if (start) q.workers.swap(started);
  q.changed.notify_all();
}

bool TakePrefetchedPicture(const std::string& fileName, DecodedPicture& out) {
  Queue& q = TheQueue();
  std::unique_lock<std::mutex> held(q.lock);
  if (q.workers.empty()) return false;
  while (q.firstOpen != q.slots.end() && q.firstOpen->state == SlotState::Taken) ++q.firstOpen;
  Slot* slot = nullptr;
  for (Slots::iterator i = q.firstOpen; i != q.slots.end(); ++i) {
    if (i->state != SlotState::Taken && i->name == fileName) {
      slot = &*i;
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
  q.nextToClaim = q.slots.end();
  q.nextToClaimIndex = 0;
  q.taken = 0;
  q.firstOpen = q.slots.end();
}

}  // namespace assets

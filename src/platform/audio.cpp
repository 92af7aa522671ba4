#include "platform/audio.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "platform/audio_decode.h"
#include "platform/backend.h"
#include "platform/out_of_memory.h"
#include "platform/reverb.h"

namespace platform {
namespace {

using namespace audio_detail;

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

enum class VoiceState { Stopped, Playing, Ended };

struct Sync {
  std::uint32_t handle = 0;
  std::uint32_t type = 0;
  SyncProc proc = nullptr;
  void* user = nullptr;
};

// A stream or one playback of a sample: a decoder, the decoded frames not
// yet mixed, and the accounting behind the position.
struct Voice {
  bool isStream = true;
  std::uint32_t sample = 0;  // the sample a playback belongs to
  SourceSpec spec;           // what a stream is opened from again
  Decoder decoder;
  bool decoderFresh = true;  // nothing read since it was opened or rewound
  int rate = 0;
  int channels = 0;

  std::vector<std::int16_t> pending;  // decoded frames from pendingStart on
  std::uint64_t pendingStart = 0;
  bool endOfData = false;
  std::uint64_t totalFrames = 0;  // known once endOfData

  std::uint64_t readPosition = 0;  // next source frame to mix, 32.32 fixed point
  VoiceState state = VoiceState::Stopped;

  // Source frames handed to the device before and after the last pull, the
  // time of that pull, and the last position reported.
  std::uint64_t handedBefore = 0;
  std::uint64_t handedAfter = 0;
  std::int64_t pullTime = 0;
  std::uint64_t heard = 0;

  std::uint32_t level = 0;
  std::uint32_t generation = 0;  // counts starts, so stale end notices are dropped
  std::vector<Sync> syncs;
};

struct Sample {
  std::shared_ptr<const Pcm> pcm;
  std::uint32_t maxPlaybacks = 0;
};

struct PendingEnd {
  SyncProc proc = nullptr;
  std::uint32_t sync = 0;
  std::uint32_t channel = 0;
  void* user = nullptr;
  std::uint32_t generation = 0;
  bool isStream = true;
};

struct AudioState {
  std::mutex mutex;  // the mixer's lock: every table below
  bool ready = false;
  int rate = 0;
  int channels = 0;
  std::uint32_t nextHandle = 1;
  std::map<std::uint32_t, Voice> voices;
  std::map<std::uint32_t, Sample> samples;
  Reverb reverb;
  ReverbSettings reverbSettings;
  std::vector<float> mix;
  bool mixerFailed = false;  // a pull found no memory: the voices may be half-updated

  // Sized when the device opens (kEndNotices), so that queueing an end on
  // the sound thread does not allocate; only more notices waiting at once
  // than that grow it there.
  std::vector<PendingEnd> ends;
  std::condition_variable endsChanged;
  std::uint32_t notifierGeneration = 0;  // a notifier thread runs while its number is current
  std::thread notifier;
};

// Never destroyed: the device thread and the notifier may still run while
// the program's exit handlers do.
AudioState& State() {
  static AudioState* state = new AudioState;
  return *state;
}

std::atomic<std::uint64_t> gCalls{0};
// Every call into the library is also where the main thread looks for memory
// a sound thread was refused.
void CountCall() {
  gCalls.fetch_add(1, std::memory_order_relaxed);
  EndIfOutOfMemoryNoted();
}

// The most frames one pull asks for: the mixing buffer is sized for it when
// the device opens, so a pull does not allocate it.
constexpr std::size_t kMaxPullFrames = 16384;

std::uint32_t NewHandle(AudioState& s) {
  for (;;) {
    std::uint32_t h = s.nextHandle++;
    if (h == 0) continue;
    if (!s.voices.count(h) && !s.samples.count(h)) return h;
  }
}

constexpr std::size_t kDecodeChunk = 4096;
// The most frames a voice's pending buffer holds: up to two chunks already
// mixed (dropped in bulk), the chunk being mixed, one decoded ahead and the
// decoder's room to write into.
constexpr std::size_t kPendingFrames = 4 * kDecodeChunk + 2;
// End notices that may wait for the notifier at once without the queue growing.
constexpr std::size_t kEndNotices = 64;

// Sized on the thread that starts a voice, so the mixer does not allocate
// for it on the sound thread.
void ReservePending(Voice& v) {
  v.pending.reserve(kPendingFrames * static_cast<std::size_t>(std::max(v.channels, 1)));
}

// Makes frame `frame` available in pending unless the data ends first.
bool EnsureFrame(Voice& v, std::uint64_t frame) {
  const std::size_t ch = static_cast<std::size_t>(v.channels);
  // Frames already mixed are dropped in bulk to keep the buffer small.
  std::uint64_t keepFrom = v.readPosition >> 32;
  if (keepFrom > v.pendingStart + 2 * kDecodeChunk) {
    std::uint64_t drop = std::min<std::uint64_t>(keepFrom - v.pendingStart, v.pending.size() / ch);
    v.pending.erase(v.pending.begin(), v.pending.begin() + static_cast<std::ptrdiff_t>(drop * ch));
    v.pendingStart += drop;
  }
  while (frame >= v.pendingStart + v.pending.size() / ch) {
    if (v.endOfData) return false;
    v.decoderFresh = false;
    if (DecodeFrames(v.decoder, v.pending, kDecodeChunk) == 0) {
      v.endOfData = true;
      v.totalFrames = v.pendingStart + v.pending.size() / ch;
      return false;
    }
  }
  return true;
}

const std::int16_t* FrameAt(const Voice& v, std::uint64_t frame) {
  return v.pending.data() + (frame - v.pendingStart) * static_cast<std::size_t>(v.channels);
}

void QueueEnds(AudioState& s, std::uint32_t handle, const Voice& v) {
  for (const Sync& sync : v.syncs) {
    if (sync.type == kSyncEnd && sync.proc) {
      s.ends.push_back(PendingEnd{sync.proc, sync.handle, handle, sync.user, v.generation, v.isStream});
    }
  }
}

// Mixes one voice into s.mix; false when it has ended and everything it
// handed out has been heard.
bool MixVoice(AudioState& s, std::uint32_t handle, Voice& v, int frames, std::int64_t now) {
  // What the previous pull handed out has been heard by now, so a voice
  // whose data all went out then ends here.
  if (v.endOfData && v.handedAfter >= v.totalFrames) {
    v.state = VoiceState::Ended;
    v.handedBefore = v.handedAfter = v.heard = v.totalFrames;
    v.level = 0;
    QueueEnds(s, handle, v);
    // An ended stream keeps its handle and position but not its decoder.
    CloseDecoder(v.decoder);
    v.pending.clear();
    v.pending.shrink_to_fit();
    return false;
  }
  v.handedBefore = v.handedAfter;
  v.pullTime = now;
  const std::uint64_t step = (static_cast<std::uint64_t>(v.rate) << 32) / static_cast<std::uint64_t>(s.rate);
  const int outChannels = s.channels;
  const int ch = v.channels;
  int peakLeft = 0, peakRight = 0;
  float* out = s.mix.data();
  for (int f = 0; f < frames; ++f, out += outChannels) {
    std::uint64_t index = v.readPosition >> 32;
    if (!EnsureFrame(v, index)) break;
    const std::int16_t* a = FrameAt(v, index);
    std::uint32_t fraction = static_cast<std::uint32_t>(v.readPosition);
    float left = a[0];
    float right = ch > 1 ? a[1] : a[0];
    peakLeft = std::max(peakLeft, std::abs(static_cast<int>(a[0])));
    peakRight = std::max(peakRight, std::abs(static_cast<int>(ch > 1 ? a[1] : a[0])));
    if (fraction != 0 && EnsureFrame(v, index + 1)) {
      a = FrameAt(v, index);  // the buffer may have moved
      const std::int16_t* b = FrameAt(v, index + 1);
      float t = static_cast<float>(fraction) / 4294967296.0f;
      float bl = b[0], br = ch > 1 ? b[1] : b[0];
      left += (bl - left) * t;
      right += (br - right) * t;
    }
    if (outChannels == 1) {
      out[0] += 0.5f * (left + right);
    } else {
      out[0] += left;
      out[1] += right;
    }
    v.readPosition += step;
  }
  std::uint64_t consumed = v.readPosition >> 32;
  if (!v.endOfData) EnsureFrame(v, consumed);  // learn early whether the data ends here
  if (v.endOfData) consumed = std::min(consumed, v.totalFrames);
  v.handedAfter = std::max(v.handedAfter, consumed);
  v.level = static_cast<std::uint32_t>(peakLeft) | (static_cast<std::uint32_t>(peakRight) << 16);
  return true;
}

void MixLocked(AudioState& s, std::int16_t* out, int frames, std::int64_t now) {
  const std::size_t count = static_cast<std::size_t>(frames) * static_cast<std::size_t>(s.channels);
  s.mix.assign(count, 0.0f);
  for (auto it = s.voices.begin(); it != s.voices.end();) {
    Voice& v = it->second;
    if (v.state == VoiceState::Playing && !MixVoice(s, it->first, v, frames, now) && !v.isStream) {
      it = s.voices.erase(it);  // a finished sample playback leaves nothing behind
      continue;
    }
    ++it;
  }
  ProcessReverb(s.reverb, s.mix.data(), frames);
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<std::int16_t>(std::lrint(std::clamp(s.mix[i], -32768.0f, 32767.0f)));
  }
}

void DeliverNextEnd(AudioState& s, std::unique_lock<std::mutex>& lock);

void DevicePull(std::int16_t* out, int frames) {
  AudioState& s = State();
  std::int64_t now = NowNs();
  bool notify = false;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    // The buffer stays silent.
    if (s.channels <= 0 || s.mixerFailed) return;
    try {
      MixLocked(s, out, frames, now);
    } catch (const std::bad_alloc&) {
      // A decoder's buffer or an end notice found no memory: this pull is
      // silent, and the main thread reports it at its next call.
      std::fill(out, out + static_cast<std::size_t>(frames) * static_cast<std::size_t>(s.channels), std::int16_t{0});
      s.mixerFailed = true;
      NoteOutOfMemoryElsewhere();
    }
    notify = !s.ends.empty();
  }
  if (!notify) return;
  if (backend::kPullsOnOwnThread) {
    s.endsChanged.notify_all();
    return;
  }
  // Without threads the pull runs between the program's frames, where the
  // notices can be handed out at once.
  std::unique_lock<std::mutex> lock(s.mutex);
  while (!s.ends.empty()) DeliverNextEnd(s, lock);
}

// Delivers the first end notice waiting, with the mixer's lock released, so
// a handler may call anything in this module.
void DeliverNextEnd(AudioState& s, std::unique_lock<std::mutex>& lock) {
  PendingEnd end = s.ends.front();
  s.ends.erase(s.ends.begin());
  if (end.isStream) {
    // A stream freed or restarted since it ended has no end to report.
    auto it = s.voices.find(end.channel);
    if (it == s.voices.end() || it->second.generation != end.generation ||
        it->second.state != VoiceState::Ended) {
      return;
    }
  }
  lock.unlock();
  end.proc(end.sync, end.channel, 0, end.user);
  lock.lock();
}

// Delivers end notices one at a time on a thread of its own.
void DeliverEnds(std::uint32_t generation) {
  AudioState& s = State();
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    s.endsChanged.wait(lock, [&] { return s.notifierGeneration != generation || !s.ends.empty(); });
    if (s.notifierGeneration != generation) return;
    DeliverNextEnd(s, lock);
  }
}

// A handler refused memory ends the deliveries; the main thread reports it.
void RunNotifier(std::uint32_t generation) {
  try {
    DeliverEnds(generation);
  } catch (const std::bad_alloc&) {
    NoteOutOfMemoryElsewhere();
  }
}

Voice* FindStream(AudioState& s, std::uint32_t handle) {
  auto it = s.voices.find(handle);
  return it != s.voices.end() && it->second.isStream ? &it->second : nullptr;
}

void ResetPlayback(Voice& v, std::int64_t now) {
  v.pending.clear();
  v.pendingStart = 0;
  v.endOfData = false;
  v.totalFrames = 0;
  v.readPosition = 0;
  v.handedBefore = v.handedAfter = v.heard = 0;
  v.pullTime = now;
  v.level = 0;
  ++v.generation;
  ReservePending(v);
}

// Goes on where it stopped; the pause is not counted as heard.
void GoOn(Voice& v, std::int64_t now) {
  v.handedBefore = v.handedAfter;
  v.pullTime = now;
  v.state = VoiceState::Playing;
}

std::uint64_t HeardFrames(Voice& v, std::int64_t now) {
  if (v.state == VoiceState::Playing) {
    double elapsed = std::max<std::int64_t>(0, now - v.pullTime) * 1e-9;
    std::uint64_t estimate = v.handedBefore + static_cast<std::uint64_t>(elapsed * v.rate);
    estimate = std::min(estimate, v.handedAfter);
    v.heard = std::max(v.heard, estimate);
  }
  return v.heard;
}

}  // namespace

std::uint32_t AudioGetVersion() {
  CountCall();
  return kAudioVersion;
}

bool AudioInit(std::uint32_t device, std::uint32_t rate, std::uint32_t flags, void* /*window*/) {
  CountCall();
  AudioState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.ready) return false;
  }
  if (rate < 8000 || rate > 192000) rate = 44100;
  const int channels = (flags & kAudioDeviceMono) ? 1 : 2;
  {
    // The device thread may pull as soon as the device opens.
    std::lock_guard<std::mutex> lock(s.mutex);
    s.rate = static_cast<int>(rate);
    s.channels = channels;
  }
  if (!backend::OpenAudioDevice(device == 0xFFFFFFFFu ? 0 : device, static_cast<int>(rate), channels, DevicePull)) {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.rate = s.channels = 0;
    return false;
  }
  std::lock_guard<std::mutex> lock(s.mutex);
  s.ready = true;
  s.reverbSettings = ReverbSettings{};
  ConfigureReverb(s.reverb, s.rate, s.channels);
  s.mix.reserve(kMaxPullFrames * static_cast<std::size_t>(s.channels));
  SetReverbParameters(s.reverb, s.reverbSettings.environment, 0.0f, s.reverbSettings.decay,
                      s.reverbSettings.damping);
  s.ends.clear();
  s.ends.reserve(kEndNotices);
  std::uint32_t generation = ++s.notifierGeneration;
  if (s.notifier.joinable()) s.notifier.detach();
  if (backend::kPullsOnOwnThread) s.notifier = std::thread(RunNotifier, generation);
  return true;
}

namespace {
// Pausing the device waits for a pull in progress, so no pull follows once
// a stop returns.
bool PauseDevice(bool pause) {
  AudioState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.ready) return false;
  }
  backend::PauseAudioDevice(pause);
  return true;
}
}  // namespace

bool AudioStart() {
  CountCall();
  return PauseDevice(false);
}

bool AudioStop() {
  CountCall();
  return PauseDevice(true);
}

void AudioFree() {
  CountCall();
  AudioState& s = State();
  std::thread notifier;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.ready) return;
    s.ready = false;
    ++s.notifierGeneration;
    notifier = std::move(s.notifier);
  }
  s.endsChanged.notify_all();
  // A handler that frees the library runs on the notifier itself.
  if (notifier.joinable()) {
    if (notifier.get_id() == std::this_thread::get_id()) {
      notifier.detach();
    } else {
      notifier.join();
    }
  }
  backend::CloseAudioDevice();
  std::lock_guard<std::mutex> lock(s.mutex);
  for (auto& [handle, voice] : s.voices) CloseDecoder(voice.decoder);
  s.voices.clear();
  s.samples.clear();
  s.ends.clear();
  s.rate = s.channels = 0;
  s.reverb = Reverb{};
  s.reverbSettings = ReverbSettings{};
}

std::uint32_t StreamCreateFile(bool fromMemory, const void* source, std::uint32_t offset,
                               std::uint32_t length, std::uint32_t /*flags*/) {
  CountCall();
  AudioState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.ready) return 0;
  }
  if (!source) return 0;
  Voice v;
  v.spec.fromMemory = fromMemory;
  if (fromMemory) {
    v.spec.memory = source;
  } else {
    v.spec.fileName = static_cast<const char*>(source);
  }
  v.spec.offset = offset;
  v.spec.length = length;
  // Opening reads the file; the device keeps pulling meanwhile.
  if (!OpenDecoder(v.decoder, v.spec)) return 0;
  v.rate = v.decoder.rate;
  v.channels = v.decoder.channels;
  ReservePending(v);
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.ready) {
    CloseDecoder(v.decoder);
    return 0;
  }
  std::uint32_t handle = NewHandle(s);
  s.voices.emplace(handle, std::move(v));
  return handle;
}

bool StreamPlay(std::uint32_t handle, bool flush, std::uint32_t /*flags*/) {
  CountCall();
  AudioState& s = State();
  std::unique_lock<std::mutex> lock(s.mutex);
  Voice* v = FindStream(s, handle);
  if (!v) return false;
  std::int64_t now = NowNs();
  if (!flush && v->state == VoiceState::Playing) return true;
  if (!flush && v->state == VoiceState::Stopped) {
    GoOn(*v, now);
    return true;
  }
  if (v->decoderFresh && IsOpen(v->decoder)) {
    // Opened and never read: already at its beginning.
  } else if (IsOpen(v->decoder) && RewindDecoder(v->decoder)) {
    v->decoderFresh = true;
  } else {
    // The decoder was released at the end; open the source again without
    // holding up the device.
    SourceSpec spec = v->spec;
    lock.unlock();
    Decoder fresh;
    bool opened = OpenDecoder(fresh, spec);
    lock.lock();
    v = FindStream(s, handle);
    if (!v || !opened) {
      CloseDecoder(fresh);
      return false;
    }
    CloseDecoder(v->decoder);
    v->decoder = std::move(fresh);
    v->decoderFresh = true;
  }
  ResetPlayback(*v, now);
  v->state = VoiceState::Playing;
  return true;
}

bool StreamFree(std::uint32_t handle) {
  CountCall();
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  Voice* v = FindStream(s, handle);
  if (!v) return false;
  CloseDecoder(v->decoder);
  s.voices.erase(handle);
  return true;
}

std::uint32_t ChannelSetSync(std::uint32_t handle, std::uint32_t type, std::uint64_t /*param*/,
                             SyncProc proc, void* user) {
  CountCall();
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.voices.find(handle);
  // Only the end notice exists; the high bits are modifiers of the type.
  if (it == s.voices.end() || (type & 0xFFFFFF) != kSyncEnd || !proc) return 0;
  std::uint32_t syncHandle = NewHandle(s);
  it->second.syncs.push_back(Sync{syncHandle, kSyncEnd, proc, user});
  return syncHandle;
}

std::uint32_t ChannelIsActive(std::uint32_t handle) {
  CountCall();
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.voices.find(handle);
  if (it != s.voices.end()) {
    return it->second.state == VoiceState::Playing ? kChannelPlaying : kChannelStopped;
  }
  if (handle != 0 && s.samples.count(handle)) {
    for (const auto& [h, v] : s.voices) {
      if (!v.isStream && v.sample == handle && v.state == VoiceState::Playing) return kChannelPlaying;
    }
  }
  return kChannelStopped;
}

std::uint32_t ChannelGetPosition(std::uint32_t handle) {
  CountCall();
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.voices.find(handle);
  if (it == s.voices.end()) return 0;
  Voice& v = it->second;
  std::uint64_t bytes = HeardFrames(v, NowNs()) * static_cast<std::uint64_t>(v.channels) * sizeof(std::int16_t);
  return static_cast<std::uint32_t>(bytes);
}

bool ChannelSetPosition(std::uint32_t handle, std::uint32_t position) {
  CountCall();
  AudioState& s = State();
  std::unique_lock<std::mutex> lock(s.mutex);
  Voice* v = FindStream(s, handle);
  if (!v) return false;
  const SourceSpec spec = v->spec;
  const std::uint32_t generation = v->generation;
  const std::uint64_t target = position / (static_cast<std::uint64_t>(v->channels) * sizeof(std::int16_t));
  lock.unlock();
  // A fresh decode from the start reaches the offset exactly, whatever the
  // format's frames and the encoder's delay; only what lies at and after the
  // target is kept.
  Decoder fresh;
  if (!OpenDecoder(fresh, spec)) return false;
  const std::size_t ch = static_cast<std::size_t>(fresh.channels);
  std::vector<std::int16_t> decoded;
  std::uint64_t decodedStart = 0;
  while (decodedStart + decoded.size() / ch <= target) {
    const std::uint64_t have = decoded.size() / ch;
    decodedStart += have;
    decoded.clear();
    if (DecodeFrames(fresh, decoded, kDecodeChunk) == 0) {
      CloseDecoder(fresh);
      return false;  // the position lies at or past the end
    }
  }
  decoded.erase(decoded.begin(), decoded.begin() + static_cast<std::ptrdiff_t>((target - decodedStart) * ch));
  lock.lock();
  v = FindStream(s, handle);
  // A stream freed or started again meanwhile is left as it now is.
  if (!v || v->generation != generation) {
    CloseDecoder(fresh);
    return false;
  }
  const std::int64_t now = NowNs();
  CloseDecoder(v->decoder);
  v->decoder = std::move(fresh);
  v->decoderFresh = false;
  ResetPlayback(*v, now);
  v->pending = std::move(decoded);
  ReservePending(*v);
  v->pendingStart = target;
  v->readPosition = target << 32;
  v->handedBefore = v->handedAfter = v->heard = target;
  if (v->state == VoiceState::Ended) v->state = VoiceState::Stopped;
  return true;
}

bool ChannelPause(std::uint32_t handle) {
  CountCall();
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  Voice* v = FindStream(s, handle);
  if (!v || v->state != VoiceState::Playing) return false;
  // The position holds what had been heard at the moment of the pause.
  HeardFrames(*v, NowNs());
  v->state = VoiceState::Stopped;
  v->level = 0;
  return true;
}

bool ChannelResume(std::uint32_t handle) {
  CountCall();
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  Voice* v = FindStream(s, handle);
  if (!v || v->state != VoiceState::Stopped) return false;
  GoOn(*v, NowNs());
  return true;
}

std::uint32_t ChannelGetLevel(std::uint32_t handle) {
  CountCall();
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.voices.find(handle);
  if (it == s.voices.end() || it->second.state != VoiceState::Playing) return 0;
  return it->second.level;
}

std::uint32_t SampleLoad(bool fromMemory, const void* source, std::uint32_t offset,
                         std::uint32_t length, std::uint32_t maxPlaybacks, std::uint32_t /*flags*/) {
  CountCall();
  AudioState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.ready) return 0;
  }
  if (!source || maxPlaybacks == 0) return 0;
  SourceSpec spec;
  spec.fromMemory = fromMemory;
  if (fromMemory) {
    spec.memory = source;
  } else {
    spec.fileName = static_cast<const char*>(source);
  }
  spec.offset = offset;
  spec.length = length;
  auto pcm = std::make_shared<Pcm>();
  if (!DecodeWhole(spec, *pcm) || pcm->samples.empty()) return 0;
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.ready) return 0;
  std::uint32_t handle = NewHandle(s);
  s.samples.emplace(handle, Sample{std::move(pcm), std::min<std::uint32_t>(maxPlaybacks, 65535)});
  return handle;
}

std::uint32_t SamplePlay(std::uint32_t handle) {
  CountCall();
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.samples.find(handle);
  if (handle == 0 || it == s.samples.end()) return 0;
  std::uint32_t sounding = 0;
  for (const auto& [h, v] : s.voices) {
    if (!v.isStream && v.sample == handle && v.state == VoiceState::Playing) ++sounding;
  }
  if (sounding >= it->second.maxPlaybacks) return 0;
  Voice v;
  v.isStream = false;
  v.sample = handle;
  OpenPcmDecoder(v.decoder, it->second.pcm);
  v.rate = v.decoder.rate;
  v.channels = v.decoder.channels;
  ResetPlayback(v, NowNs());
  v.state = VoiceState::Playing;
  std::uint32_t playback = NewHandle(s);
  s.voices.emplace(playback, std::move(v));
  return playback;
}

bool SampleStop(std::uint32_t handle) {
  CountCall();
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (handle == 0 || !s.samples.count(handle)) return false;
  std::erase_if(s.voices, [&](const auto& entry) {
    return !entry.second.isStream && entry.second.sample == handle;
  });
  return true;
}

bool SetEAXParameters(std::int32_t environment, float volume, float decay, float damping) {
  CountCall();
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  ReverbSettings& r = s.reverbSettings;
  if (environment >= 0) r.environment = std::min(environment, 25);
  if (volume >= 0.0f) r.volume = std::min(volume, 1.0f);
  if (decay >= 0.0f) r.decay = std::clamp(decay, 0.1f, 20.0f);
  if (damping >= 0.0f) r.damping = std::min(damping, 2.0f);
  SetReverbParameters(s.reverb, r.environment, r.volume, r.decay, r.damping);
  return s.ready;
}

ReverbSettings GetEAXParameters() {
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.reverbSettings;
}

bool DecodeAudioFile(std::string_view path, std::vector<std::int16_t>& samples, int& rate, int& channels) {
  SourceSpec spec;
  spec.fileName = std::string(path);
  Pcm pcm;
  if (!DecodeWhole(spec, pcm)) return false;
  samples = std::move(pcm.samples);
  rate = pcm.rate;
  channels = pcm.channels;
  return true;
}

bool MixOffline(std::int16_t* out, int frames) {
  AudioState& s = State();
  bool notify = false;
  bool ok = false;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.ready && s.channels > 0) {
      MixLocked(s, out, frames, NowNs());
      notify = !s.ends.empty();
      ok = true;
    } else if (frames > 0) {
      std::fill(out, out + frames, std::int16_t{0});
    }
  }
  if (notify) s.endsChanged.notify_all();
  return ok;
}

int AudioDeviceRate() {
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.ready ? s.rate : 0;
}

int AudioDeviceChannels() {
  AudioState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.ready ? s.channels : 0;
}

std::uint64_t AudioCallCount() { return gCalls.load(std::memory_order_relaxed); }

}  // namespace platform

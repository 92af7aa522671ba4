// The audio output on waveOut: a few buffers queued on the device, each
// filled from the mixer by a thread of ours as soon as the device hands it
// back.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/backend.h"

namespace platform::backend {

// winmm's buffers are refilled on a thread of our own.
const bool kPullsOnOwnThread = true;

namespace {

// Three buffers of about 20 ms each: one sounding, two waiting, so a late
// wake of the filling thread does not break the sound.
constexpr int kBuffers = 3;

struct Buffer {
  std::vector<std::int16_t> samples;
  WAVEHDR header{};
  bool queued = false;  // written to the device and not yet handed back
};

struct Device {
  HWAVEOUT out = nullptr;
  HANDLE done = nullptr;  // set by the device whenever it hands a buffer back
  std::thread filler;
  Buffer buffers[kBuffers];
  int next = 0;  // the buffer that is written next, so they sound in turn
  int frames = 0;
  DevicePull pull = nullptr;
  // Held around every fill; stopping takes it, so a fill in progress
  // finishes before a stop returns.
  std::mutex fillLock;
  bool paused = true;
  bool closing = false;
  bool writeFailed = false;  // a buffer the device refused waits to be written again
  DWORD bufferMs = 20;       // how long one buffer sounds
};

// Read by whichever thread starts or stops the output.
std::atomic<Device*> device{nullptr};

bool Free(const Buffer& buffer) { return !buffer.queued || (buffer.header.dwFlags & WHDR_DONE) != 0; }

// Fills and queues the buffers the device has handed back, in turn; at most
// one round, so that a device that hands them back at once cannot keep the
// lock from a stop for long (it sets the event again).
void FillFreeBuffers(Device& d) {
  for (int round = 0; round < kBuffers && Free(d.buffers[d.next]); ++round) {
    Buffer& buffer = d.buffers[d.next];
    std::fill(buffer.samples.begin(), buffer.samples.end(), std::int16_t{0});
    d.pull(buffer.samples.data(), d.frames);
    buffer.header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
    if (waveOutWrite(d.out, &buffer.header, sizeof buffer.header) != MMSYSERR_NOERROR) {
      buffer.queued = false;
      d.writeFailed = true;
      return;
    }
    d.writeFailed = false;
    buffer.queued = true;
    d.next = (d.next + 1) % kBuffers;
  }
}

// Names the filling thread, as SDL names its sound thread, for debuggers and
// for tests that aim at it. Windows before 10 has no thread names.
void NameFillingThread() {
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const auto set = reinterpret_cast<SetDescription>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadDescription")));
  if (set) set(GetCurrentThread(), L"Quillon waveOut");
}

void RunFiller(Device* d) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  NameFillingThread();
  for (;;) {
    // The device wakes the thread only when it hands a buffer back: after a
    // refused write it may hold none, so the thread tries again a buffer's
    // time later rather than waiting for ever.
    bool retry = false;
    {
      std::lock_guard<std::mutex> lock(d->fillLock);
      retry = d->writeFailed && !d->paused;
    }
    WaitForSingleObject(d->done, retry ? d->bufferMs : INFINITE);
    std::lock_guard<std::mutex> lock(d->fillLock);
    if (d->closing) return;
    if (!d->paused) FillFreeBuffers(*d);
  }
}

}  // namespace

bool OpenAudioDevice(std::uint32_t number, int rate, int channels, DevicePull pull) {
  if (device.load() || !pull) return false;
  UINT id = WAVE_MAPPER;
  if (number != 0) {
    if (number > waveOutGetNumDevs()) return false;
    id = static_cast<UINT>(number - 1);
  }
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(channels);
  format.nSamplesPerSec = static_cast<DWORD>(rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(channels * 2);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  auto* d = new Device;
  d->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (!d->done || waveOutOpen(&d->out, id, &format, reinterpret_cast<DWORD_PTR>(d->done), 0, CALLBACK_EVENT) !=
                      MMSYSERR_NOERROR) {
    if (d->done) CloseHandle(d->done);
    delete d;
    return false;
  }
  // Opened stopped: nothing sounds until the first start.
  waveOutPause(d->out);
  d->frames = 256;
  while (d->frames < rate / 50) d->frames *= 2;
  d->bufferMs = static_cast<DWORD>(std::max(1, d->frames * 1000 / rate));
  d->pull = pull;
  for (Buffer& buffer : d->buffers) {
    buffer.samples.assign(static_cast<std::size_t>(d->frames) * channels, 0);
    buffer.header.lpData = reinterpret_cast<LPSTR>(buffer.samples.data());
    buffer.header.dwBufferLength = static_cast<DWORD>(buffer.samples.size() * sizeof(std::int16_t));
    waveOutPrepareHeader(d->out, &buffer.header, sizeof buffer.header);
  }
  d->filler = std::thread(RunFiller, d);
  device = d;
  return true;
}

void PauseAudioDevice(bool pause) {
  Device* d = device;
  if (!d) return;
  std::lock_guard<std::mutex> lock(d->fillLock);
  if (pause == d->paused) return;
  d->paused = pause;
  if (pause) {
    waveOutPause(d->out);
  } else {
    waveOutRestart(d->out);
    SetEvent(d->done);  // fill what is free now
  }
}

void CloseAudioDevice() {
  Device* d = device.exchange(nullptr);
  if (!d) return;
  {
    std::lock_guard<std::mutex> lock(d->fillLock);
    d->closing = true;
  }
  SetEvent(d->done);
  d->filler.join();
  waveOutReset(d->out);  // hands every queued buffer back
  for (Buffer& buffer : d->buffers) waveOutUnprepareHeader(d->out, &buffer.header, sizeof buffer.header);
  waveOutClose(d->out);
  CloseHandle(d->done);
  delete d;
}

}  // namespace platform::backend

// The audio output on SDL2: one device whose callback pulls from the mixer.
#include <SDL.h>

#include <atomic>
#include <cstring>

#include "platform/backend.h"

namespace platform::backend {

// SDL calls the pulls on its audio thread.
const bool kPullsOnOwnThread = true;

namespace {

// Read by whichever thread starts or stops the output.
std::atomic<SDL_AudioDeviceID> device{0};
DevicePull devicePull = nullptr;
int frameBytes = 0;

void Pull(void*, Uint8* stream, int bytes) {
  std::memset(stream, 0, static_cast<std::size_t>(bytes));
  devicePull(reinterpret_cast<std::int16_t*>(stream), bytes / frameBytes);
}

}  // namespace

bool OpenAudioDevice(std::uint32_t number, int rate, int channels, DevicePull pull) {
  if (device != 0 || !pull) return false;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  const char* name = nullptr;
  if (number != 0) {
    name = SDL_GetAudioDeviceName(static_cast<int>(number - 1), 0);
    if (!name) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
  }
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = static_cast<Uint8>(channels);
  // About 20 ms per device buffer, a power of two: SDL re-buffers other
  // sizes, and its dummy driver then pulls far slower than real time.
  Uint16 samples = 256;
  while (samples < rate / 50) samples = static_cast<Uint16>(samples * 2);
  want.samples = samples;
  want.callback = Pull;
  devicePull = pull;
  frameBytes = static_cast<int>(sizeof(std::int16_t)) * channels;
  SDL_AudioSpec have{};
  // The device opens stopped; SDL converts to whatever the output takes.
  device = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
  if (device.load() == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  return true;
}

void PauseAudioDevice(bool pause) {
  // SDL takes the device's lock here, so a pull in progress finishes first.
  SDL_AudioDeviceID id = device.load();
  if (id != 0) SDL_PauseAudioDevice(id, pause ? 1 : 0);
}

void CloseAudioDevice() {
  SDL_AudioDeviceID id = device.exchange(0);
  if (id == 0) return;
  SDL_CloseAudioDevice(id);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace platform::backend

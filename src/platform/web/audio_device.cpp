// The audio output of the web build: the page (index.html) pulls the
// program's own mix on its one thread, for an AudioWorklet that it keeps a
// little ahead of what has been heard, or for a ScriptProcessor whenever the
// browser asks where worklets are missing. Its AudioContext is made when the
// page's Play button is clicked (browsers start audio only after a gesture)
// and opened here through Module.quillonOpenAudio.
#include <emscripten.h>

#include <cstdint>

#include "platform/backend.h"

namespace {
platform::backend::DevicePull devicePull = nullptr;
int deviceChannels = 0;
}  // namespace

// Called by the page with a zeroed block of frames x channels.
extern "C" EMSCRIPTEN_KEEPALIVE void quillon_web_pull(std::int16_t* out, int frames) {
  if (devicePull) devicePull(out, frames);
}

namespace platform::backend {

// The page pulls on its one thread.
const bool kPullsOnOwnThread = false;

bool OpenAudioDevice(std::uint32_t device, int rate, int channels, DevicePull pull) {
  if (device != 0 || channels < 1 || channels > 2) return false;
  devicePull = pull;
  deviceChannels = channels;
  const int opened = MAIN_THREAD_EM_ASM_INT(
      { return Module.quillonOpenAudio ? (Module.quillonOpenAudio($0, $1) ? 1 : 0) : 0; }, rate, channels);
  if (!opened) devicePull = nullptr;
  return opened != 0;
}

void PauseAudioDevice(bool pause) {
  MAIN_THREAD_EM_ASM({ if (Module.quillonPauseAudio) Module.quillonPauseAudio($0 != 0); }, pause ? 1 : 0);
}

void CloseAudioDevice() {
  MAIN_THREAD_EM_ASM({ if (Module.quillonCloseAudio) Module.quillonCloseAudio(); });
  devicePull = nullptr;
  deviceChannels = 0;
}

}  // namespace platform::backend

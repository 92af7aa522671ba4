#pragma once
// A Freeverb-style reverb: eight damped feedback combs in parallel, then four
// all-passes in series, one network per output channel (the second offset by
// a few samples for width). Private to src/platform.
#include <array>
#include <vector>

namespace platform::audio_detail {

struct Comb {
  std::vector<float> buffer;
  std::size_t index = 0;
  float feedback = 0.0f;
  float store = 0.0f;
};

struct AllPass {
  std::vector<float> buffer;
  std::size_t index = 0;
};

struct ReverbChannel {
  std::array<Comb, 8> combs;
  std::array<AllPass, 4> allPasses;
};

struct Reverb {
  int rate = 0;
  int channels = 0;
  std::vector<ReverbChannel> networks;
  float wet = 0.0f;     // 0 = off
  float damp = 0.0f;    // one-pole low-pass in every comb loop, 0 = none
};

// Sizes the delay lines for the output format and clears them.
void ConfigureReverb(Reverb& reverb, int rate, int channels);
// volume 0..1 wet level; decay: seconds for a 60 dB fall; damping 0..2 the
// high-frequency decay ratio.
void SetReverbParameters(Reverb& reverb, float volume, float decay, float damping);
void ClearReverb(Reverb& reverb);
// Adds the reverberated signal to interleaved frames in place.
void ProcessReverb(Reverb& reverb, float* frames, int count);

}  // namespace platform::audio_detail

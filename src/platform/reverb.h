#pragma once
// The reverb on the whole output, shared by every audio backend: the
// environment's early reflections from a tapped delay line, then a late
// reverb of eight feedback combs in parallel and four all-passes in series,
// one late network per output channel (the second offset by a few samples
// for width). Private to src/platform.
//
// The settings keep the EAX meanings: the decay time is the time in seconds
// for the late reverb to fall by 60 dB (at low frequencies), the damping is
// the high-frequency decay time over that low-frequency one (1 = equal,
// below 1 the highs die first), and the environment number chooses the
// room: its size (the spacing of the echoes), how diffuse it is, and its
// early reflections (their delay, spread and level) and the delay before
// the late reverb.
#include <array>
#include <cstddef>
#include <vector>

namespace platform::audio_detail {

// The frequencies the decay settings refer to: the decay time holds at
// kReverbLowReference, the damping ratio at kReverbHighReference.
inline constexpr double kReverbLowReference = 250.0;
inline constexpr double kReverbHighReference = 5000.0;
// Damping ratios are held to this range; 0 counts as the shortest.
inline constexpr float kReverbShortestRatio = 0.1f;
inline constexpr float kReverbLongestRatio = 2.0f;

// What an environment number stands for.
struct ReverbRoom {
  float size;              // metres: spacing of the echoes and spread of the reflections
  float diffusion;         // 0..1: how quickly echoes smear into a dense tail
  float reflectionsGain;   // level of the early reflections
  float reflectionsDelay;  // seconds from the sound to its first reflection
  float lateDelay;         // seconds from the first reflection to the late reverb
};
ReverbRoom GetReverbRoom(int environment);  // 0..25; anything else is 0's room

// One second-order section (transposed direct form II).
struct Biquad {
  float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
};
struct BiquadState {
  float s1 = 0.0f, s2 = 0.0f;
};

// A comb whose loop splits into a low and a high band (a Linkwitz-Riley
// crossover, whose two outputs are in phase and add up to one), each band
// with its own loop gain, so that the two die at their own rates.
struct Comb {
  std::vector<float> buffer;  // sized for the largest room
  std::size_t length = 1;     // the delay in use
  std::size_t index = 0;
  float lowGain = 0.0f;
  float highGain = 0.0f;
  std::array<BiquadState, 4> crossover{};  // two low-pass, then two high-pass sections
};

struct AllPass {
  std::vector<float> buffer;
  std::size_t length = 1;
  std::size_t index = 0;
  float gain = 0.0f;
};

struct ReverbChannel {
  std::array<Comb, 8> combs;
  std::array<AllPass, 4> allPasses;
};

struct Reverb {
  int rate = 0;
  int channels = 0;
  int environment = -1;  // the room the delay lengths were set for
  std::vector<ReverbChannel> networks;
  float wet = 0.0f;             // 0 = off
  Biquad lowPass, highPass;     // one section of each half of the combs' crossover
  float diffusion = 1.0f;       // the room's

  // The mono input's recent past: the reflections and the late reverb's
  // input are read from it at their delays.
  std::vector<float> history;
  std::size_t historyIndex = 0;
  std::array<std::size_t, 6> reflectionTaps{};  // samples back
  std::array<float, 6> reflectionGains{};
  std::size_t lateTap = 0;
};

// Sizes the delay lines for the output format and clears them.
void ConfigureReverb(Reverb& reverb, int rate, int channels);
// environment 0..25; volume 0..1 wet level; decay: seconds for a 60 dB fall
// (0.1..20); damping: high-frequency decay time over the low one
// (0.1..2, less is held at 0.1). A change of room starts from silence.
void SetReverbParameters(Reverb& reverb, int environment, float volume, float decay, float damping);
void ClearReverb(Reverb& reverb);
// Adds the reverberated signal to interleaved frames in place.
void ProcessReverb(Reverb& reverb, float* frames, int count);

}  // namespace platform::audio_detail

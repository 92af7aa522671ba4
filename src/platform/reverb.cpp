#include "platform/reverb.h"

#include <algorithm>
#include <cmath>

namespace platform::audio_detail {
namespace {

// Freeverb's delay lengths at 44.1 kHz: mutually prime enough that the
// combs' echoes do not line up into audible repeats.
constexpr int kCombTuning[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllPassTuning[4] = {556, 441, 341, 225};
constexpr int kStereoSpread = 23;
constexpr float kInputGain = 0.015f;
constexpr float kWetScale = 3.0f;
constexpr float kAllPassFeedback = 0.5f;

inline float Flush(float x) { return std::fabs(x) < 1e-20f ? 0.0f : x; }

}  // namespace

void ConfigureReverb(Reverb& reverb, int rate, int channels) {
  reverb.rate = rate;
  reverb.channels = channels;
  reverb.networks.assign(static_cast<std::size_t>(channels), ReverbChannel{});
  double scale = rate / 44100.0;
  for (int c = 0; c < channels; ++c) {
    int spread = c == 0 ? 0 : kStereoSpread;
    ReverbChannel& network = reverb.networks[static_cast<std::size_t>(c)];
    for (int i = 0; i < 8; ++i) {
      std::size_t length = static_cast<std::size_t>(std::max(1.0, (kCombTuning[i] + spread) * scale));
      network.combs[static_cast<std::size_t>(i)].buffer.assign(length, 0.0f);
    }
    for (int i = 0; i < 4; ++i) {
      std::size_t length = static_cast<std::size_t>(std::max(1.0, (kAllPassTuning[i] + spread) * scale));
      network.allPasses[static_cast<std::size_t>(i)].buffer.assign(length, 0.0f);
    }
  }
}

void SetReverbParameters(Reverb& reverb, float volume, float decay, float damping) {
  bool wasOn = reverb.wet > 0.0f;
  reverb.wet = std::clamp(volume, 0.0f, 1.0f) * kWetScale;
  decay = std::clamp(decay, 0.1f, 20.0f);
  damping = std::clamp(damping, 0.0f, 2.0f);
  // A ratio of 2 keeps the highs as long as the lows; 0 takes them out fastest.
  reverb.damp = 0.5f * (1.0f - damping / 2.0f);
  for (ReverbChannel& network : reverb.networks) {
    for (Comb& comb : network.combs) {
      // Each comb loses 60 dB over the decay time, whatever its length.
      double delay = static_cast<double>(comb.buffer.size());
      comb.feedback = static_cast<float>(std::pow(10.0, -3.0 * delay / (decay * reverb.rate)));
    }
  }
  // A reverb switched off and on again starts from silence, not from the
  // tail it held when it was switched off.
  if (!wasOn && reverb.wet > 0.0f) ClearReverb(reverb);
}

void ClearReverb(Reverb& reverb) {
  for (ReverbChannel& network : reverb.networks) {
    for (Comb& comb : network.combs) {
      std::fill(comb.buffer.begin(), comb.buffer.end(), 0.0f);
      comb.store = 0.0f;
      comb.index = 0;
    }
    for (AllPass& pass : network.allPasses) {
      std::fill(pass.buffer.begin(), pass.buffer.end(), 0.0f);
      pass.index = 0;
    }
  }
}

void ProcessReverb(Reverb& reverb, float* frames, int count) {
  if (reverb.wet <= 0.0f || reverb.channels <= 0) return;
  const int channels = reverb.channels;
  const float damp1 = reverb.damp, damp2 = 1.0f - reverb.damp;
  for (int f = 0; f < count; ++f) {
    float* frame = frames + static_cast<std::size_t>(f) * channels;
    float sum = 0.0f;
    for (int c = 0; c < channels; ++c) sum += frame[c];
    float input = sum / static_cast<float>(channels) * kInputGain * 2.0f;
    for (int c = 0; c < channels; ++c) {
      ReverbChannel& network = reverb.networks[static_cast<std::size_t>(c)];
      float out = 0.0f;
      for (Comb& comb : network.combs) {
        float delayed = comb.buffer[comb.index];
        comb.store = Flush(delayed * damp2 + comb.store * damp1);
        comb.buffer[comb.index] = input + comb.store * comb.feedback;
        if (++comb.index == comb.buffer.size()) comb.index = 0;
        out += delayed;
      }
      for (AllPass& pass : network.allPasses) {
        float delayed = pass.buffer[pass.index];
        pass.buffer[pass.index] = Flush(out + delayed * kAllPassFeedback);
        if (++pass.index == pass.buffer.size()) pass.index = 0;
        out = delayed - out;
      }
      frame[c] += out * reverb.wet;
    }
  }
}

}  // namespace platform::audio_detail

#include "platform/reverb.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace platform::audio_detail {
namespace {

// Freeverb's delay lengths at 44.1 kHz, mutually prime enough that the
// combs' echoes do not line up into audible repeats. They suit a room of
// about kTuningRoomSize metres; other rooms scale them.
constexpr int kCombTuning[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kAllPassTuning[4] = {556, 441, 341, 225};
constexpr float kTuningRoomSize = 10.0f;
constexpr float kSmallestRoomScale = 0.25f;
constexpr float kLargestRoomScale = 2.0f;
constexpr int kStereoSpread = 23;
constexpr float kInputGain = 0.015f;
constexpr float kWetScale = 3.0f;
constexpr float kReflectionScale = 0.2f;
constexpr float kSpeedOfSound = 343.0f;
constexpr double kAllPassGain = 0.6;
// The longest an all-pass may ring, as a share of the decay time.
constexpr double kAllPassRing = 0.25;
// Where the combs' loop splits into its low and high band: far enough from
// both reference frequencies that each band holds its own decay there.
constexpr double kCrossover = 1000.0;

// Where within the room's spread the six early reflections fall, and their
// levels; alternate signs keep a small room's close reflections from
// piling up into a boom.
constexpr float kReflectionTimes[6] = {0.0f, 0.137f, 0.293f, 0.448f, 0.651f, 1.0f};
constexpr float kReflectionLevels[6] = {1.0f, -0.8f, 0.65f, -0.5f, 0.4f, -0.3f};

// The rooms of the 26 standard environments (EAX 2.0): size, diffusion,
// reflections level and delay, late reverb delay.
constexpr ReverbRoom kRooms[26] = {
    {7.5f, 1.0f, 0.050f, 0.007f, 0.011f},    // generic
    {1.4f, 1.0f, 0.250f, 0.001f, 0.002f},    // padded cell
    {1.9f, 1.0f, 0.150f, 0.002f, 0.003f},    // room
    {1.4f, 1.0f, 0.653f, 0.007f, 0.011f},    // bathroom
    {2.5f, 1.0f, 0.205f, 0.003f, 0.004f},    // living room
    {11.6f, 1.0f, 0.441f, 0.012f, 0.017f},   // stone room
    {21.6f, 1.0f, 0.403f, 0.020f, 0.030f},   // auditorium
    {19.6f, 1.0f, 0.243f, 0.020f, 0.029f},   // concert hall
    {14.6f, 1.0f, 0.500f, 0.015f, 0.022f},   // cave
    {36.2f, 1.0f, 0.261f, 0.020f, 0.030f},   // arena
    {50.3f, 1.0f, 0.500f, 0.020f, 0.030f},   // hangar
    {1.9f, 1.0f, 0.122f, 0.002f, 0.030f},    // carpeted hallway
    {1.8f, 1.0f, 0.246f, 0.007f, 0.011f},    // hallway
    {13.5f, 1.0f, 0.247f, 0.013f, 0.020f},   // stone corridor
    {7.5f, 0.3f, 0.250f, 0.007f, 0.011f},    // alley
    {38.0f, 0.3f, 0.053f, 0.162f, 0.088f},   // forest
    {7.5f, 0.5f, 0.073f, 0.007f, 0.011f},    // city
    {100.0f, 0.27f, 0.041f, 0.300f, 0.100f}, // mountains
    {17.5f, 1.0f, 0.0f, 0.061f, 0.025f},     // quarry
    {42.5f, 0.21f, 0.059f, 0.179f, 0.100f},  // plain
    {8.3f, 1.0f, 0.208f, 0.008f, 0.012f},    // parking lot
    {1.7f, 0.8f, 1.639f, 0.014f, 0.021f},    // sewer pipe
    {1.8f, 1.0f, 0.596f, 0.007f, 0.011f},    // underwater
    {1.9f, 0.5f, 0.876f, 0.002f, 0.030f},    // drugged
    {1.8f, 0.6f, 0.139f, 0.020f, 0.030f},    // dizzy
    {1.0f, 0.5f, 0.486f, 0.020f, 0.030f},    // psychotic
};

// The longest reflection delay plus the widest spread, and the longest
// delay before the late reverb, with room to spare.
constexpr float kLongestHistory = 0.65f;

inline float Flush(float x) { return std::fabs(x) < 1e-20f ? 0.0f : x; }

float RoomScale(const ReverbRoom& room) {
  return std::clamp(room.size / kTuningRoomSize, kSmallestRoomScale, kLargestRoomScale);
}

std::size_t Samples(double seconds, int rate) {
  return static_cast<std::size_t>(std::max(1.0, std::round(seconds * rate)));
}

// A Butterworth section at `frequency`, low-pass or high-pass (bilinear
// transform, the frequency pre-warped).
Biquad Butterworth(double frequency, int rate, bool high) {
  const double k = std::tan(std::numbers::pi * frequency / rate);
  const double norm = 1.0 / (1.0 + std::numbers::sqrt2 * k + k * k);
  Biquad q;
  q.b0 = static_cast<float>((high ? 1.0 : k * k) * norm);
  q.b1 = static_cast<float>((high ? -2.0 : 2.0 * k * k) * norm);
  q.b2 = q.b0;
  q.a1 = static_cast<float>(2.0 * (k * k - 1.0) * norm);
  q.a2 = static_cast<float>((1.0 - std::numbers::sqrt2 * k + k * k) * norm);
  return q;
}

double Magnitude(const Biquad& q, double w) {
  const std::complex<double> z1 = std::polar(1.0, -w), z2 = z1 * z1;
  const double b0 = q.b0, b1 = q.b1, b2 = q.b2, a1 = q.a1, a2 = q.a2;
  return std::abs((b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2));
}

inline float Run(const Biquad& q, BiquadState& s, float x) {
  const float y = q.b0 * x + s.s1;
  s.s1 = Flush(q.b1 * x - q.a1 * y + s.s2);
  s.s2 = Flush(q.b2 * x - q.a2 * y);
  return y;
}

// Loop gains of the low and high bands for a comb, so that one pass loses
// what the decay times ask: 60 dB over decay seconds at low frequencies,
// over decay * ratio seconds at the high reference. The crossover's two
// halves are in phase and their magnitudes add up to one, so the loop's
// gain at any frequency lies between the two bands' gains.
void SetCombGains(Comb& comb, const Reverb& reverb, double decay, double ratio) {
  const double delay = static_cast<double>(comb.length);
  const double rate = reverb.rate;
  const double lowTarget = std::pow(10.0, -3.0 * delay / (decay * rate));
  const double highTarget = std::pow(10.0, -3.0 * delay / (decay * ratio * rate));
  const double w = 2.0 * std::numbers::pi * std::min(kReverbHighReference, 0.45 * rate) / rate;
  const double lowPart = Magnitude(reverb.lowPass, w) * Magnitude(reverb.lowPass, w);
  const double highPart = Magnitude(reverb.highPass, w) * Magnitude(reverb.highPass, w);
  constexpr double kMostGain = 0.9999;
  comb.lowGain = static_cast<float>(std::min(lowTarget, kMostGain));
  comb.highGain = static_cast<float>(std::clamp((highTarget - lowTarget * lowPart) / highPart, 0.0, kMostGain));
}

void SetRoom(Reverb& reverb, int environment) {
  const ReverbRoom room = GetReverbRoom(environment);
  const float scale = RoomScale(room);
  const double rateScale = reverb.rate / 44100.0;
  for (std::size_t c = 0; c < reverb.networks.size(); ++c) {
    const int spread = c == 0 ? 0 : kStereoSpread;
    ReverbChannel& network = reverb.networks[c];
    for (std::size_t i = 0; i < network.combs.size(); ++i) {
      Comb& comb = network.combs[i];
      comb.length = std::clamp<std::size_t>(
          static_cast<std::size_t>(std::lround((kCombTuning[i] * scale + spread) * rateScale)), 1, comb.buffer.size());
    }
    for (std::size_t i = 0; i < network.allPasses.size(); ++i) {
      AllPass& pass = network.allPasses[i];
      pass.length = std::clamp<std::size_t>(
          static_cast<std::size_t>(std::lround((kAllPassTuning[i] * std::min(scale, 1.0f) + spread) * rateScale)), 1,
          pass.buffer.size());
    }
  }
  reverb.diffusion = room.diffusion;
  const double spreadSeconds = room.size / kSpeedOfSound;
  const std::size_t last = reverb.history.size() - 1;
  for (std::size_t i = 0; i < reverb.reflectionTaps.size(); ++i) {
    reverb.reflectionTaps[i] =
        std::min(last, Samples(room.reflectionsDelay + kReflectionTimes[i] * spreadSeconds, reverb.rate));
    reverb.reflectionGains[i] = room.reflectionsGain * kReflectionLevels[i] * kReflectionScale;
  }
  reverb.lateTap = std::min(last, Samples(room.reflectionsDelay + room.lateDelay, reverb.rate));
  reverb.environment = environment;
}

}  // namespace

ReverbRoom GetReverbRoom(int environment) {
  return kRooms[environment >= 0 && environment < 26 ? environment : 0];
}

void ConfigureReverb(Reverb& reverb, int rate, int channels) {
  reverb.rate = rate;
  reverb.channels = channels;
  reverb.networks.assign(static_cast<std::size_t>(channels), ReverbChannel{});
  const double rateScale = rate / 44100.0;
  for (ReverbChannel& network : reverb.networks) {
    for (std::size_t i = 0; i < network.combs.size(); ++i) {
      network.combs[i].buffer.assign(
          static_cast<std::size_t>(std::ceil((kCombTuning[i] * kLargestRoomScale + kStereoSpread) * rateScale)) + 1,
          0.0f);
    }
    for (std::size_t i = 0; i < network.allPasses.size(); ++i) {
      network.allPasses[i].buffer.assign(
          static_cast<std::size_t>(std::ceil((kAllPassTuning[i] + kStereoSpread) * rateScale)) + 1, 0.0f);
    }
  }
  reverb.history.assign(Samples(kLongestHistory, rate) + 1, 0.0f);
  reverb.historyIndex = 0;
  reverb.lowPass = Butterworth(kCrossover, rate, false);
  reverb.highPass = Butterworth(kCrossover, rate, true);
  reverb.wet = 0.0f;
  SetRoom(reverb, 0);
}

void SetReverbParameters(Reverb& reverb, int environment, float volume, float decay, float damping) {
  if (reverb.rate <= 0) return;
  const bool wasOn = reverb.wet > 0.0f;
  const bool newRoom = environment != reverb.environment;
  if (newRoom) SetRoom(reverb, environment);
  reverb.wet = std::clamp(volume, 0.0f, 1.0f) * kWetScale;
  decay = std::clamp(decay, 0.1f, 20.0f);
  const float ratio = std::clamp(damping, kReverbShortestRatio, kReverbLongestRatio);
  for (ReverbChannel& network : reverb.networks) {
    for (Comb& comb : network.combs) SetCombGains(comb, reverb, decay, ratio);
    // The all-passes smear each echo; their own ringing stays well inside
    // the decay, or a short room would ring on longer than it should.
    for (AllPass& pass : network.allPasses) {
      const double ringLimit = std::pow(
          10.0, -3.0 * static_cast<double>(pass.length) / (kAllPassRing * decay * std::min(1.0f, ratio) * reverb.rate));
      pass.gain = static_cast<float>(std::min(kAllPassGain * reverb.diffusion, ringLimit));
    }
  }
  // A reverb switched on again, or moved to another room, starts from
  // silence, not from the tail it held before.
  if ((!wasOn && reverb.wet > 0.0f) || newRoom) ClearReverb(reverb);
}

void ClearReverb(Reverb& reverb) {
  for (ReverbChannel& network : reverb.networks) {
    for (Comb& comb : network.combs) {
      std::fill(comb.buffer.begin(), comb.buffer.end(), 0.0f);
      comb.crossover = {};
      comb.index = 0;
    }
    for (AllPass& pass : network.allPasses) {
      std::fill(pass.buffer.begin(), pass.buffer.end(), 0.0f);
      pass.index = 0;
    }
  }
  std::fill(reverb.history.begin(), reverb.history.end(), 0.0f);
  reverb.historyIndex = 0;
}

void ProcessReverb(Reverb& reverb, float* frames, int count) {
  if (reverb.wet <= 0.0f || reverb.channels <= 0 || reverb.history.empty()) return;
  const int channels = reverb.channels;
  const Biquad& lowPass = reverb.lowPass;
  const Biquad& highPass = reverb.highPass;
  const std::size_t historySize = reverb.history.size();
  auto past = [&](std::size_t back) {
    std::size_t at = reverb.historyIndex + historySize - back;
    return reverb.history[at >= historySize ? at - historySize : at];
  };
  for (int f = 0; f < count; ++f) {
    float* frame = frames + static_cast<std::size_t>(f) * channels;
    float sum = 0.0f;
    for (int c = 0; c < channels; ++c) sum += frame[c];
    reverb.history[reverb.historyIndex] = sum / static_cast<float>(channels);

    float early = 0.0f;
    for (std::size_t i = 0; i < reverb.reflectionTaps.size(); ++i) {
      early += past(reverb.reflectionTaps[i]) * reverb.reflectionGains[i];
    }
    const float input = past(reverb.lateTap) * kInputGain * 2.0f;

    for (int c = 0; c < channels; ++c) {
      ReverbChannel& network = reverb.networks[static_cast<std::size_t>(c)];
      float out = 0.0f;
      for (Comb& comb : network.combs) {
        const float delayed = comb.buffer[comb.index];
        const float low = Run(lowPass, comb.crossover[1], Run(lowPass, comb.crossover[0], delayed));
        const float high = Run(highPass, comb.crossover[3], Run(highPass, comb.crossover[2], delayed));
        const float loop = low * comb.lowGain + high * comb.highGain;
        comb.buffer[comb.index] = Flush(input + loop);
        if (++comb.index >= comb.length) comb.index = 0;
        out += delayed;
      }
      for (AllPass& pass : network.allPasses) {
        const float delayed = pass.buffer[pass.index];
        const float w = Flush(out + pass.gain * delayed);
        pass.buffer[pass.index] = w;
        if (++pass.index >= pass.length) pass.index = 0;
        out = delayed - pass.gain * w;
      }
      frame[c] += (out + early) * reverb.wet;
    }
    if (++reverb.historyIndex == historySize) reverb.historyIndex = 0;
  }
}

}  // namespace platform::audio_detail

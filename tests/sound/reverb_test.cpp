// The reverb's impulse response measured against the numbers of every
// standard preset: how long the low frequencies take to fall by 60 dB, how
// long the highs take against that, and what the environment number does to
// the early reflections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/reverb.h"
#include "sound/samples.h"

namespace {

using namespace platform::audio_detail;

constexpr int kRate = 44100;

// The wet part of the reverb's answer to a single full-scale sample.
std::vector<double> ImpulseResponse(int environment, float volume, float decay, float damping, double seconds) {
  Reverb reverb;
  ConfigureReverb(reverb, kRate, 1);
  SetReverbParameters(reverb, environment, volume, decay, damping);
  std::vector<float> frames(static_cast<std::size_t>(seconds * kRate), 0.0f);
  frames[0] = 1.0f;
  ProcessReverb(reverb, frames.data(), static_cast<int>(frames.size()));
  frames[0] -= 1.0f;  // the dry sample
  return std::vector<double>(frames.begin(), frames.end());
}

// A second-order section from the usual audio cookbook formulas.
std::vector<double> Filter(const std::vector<double>& x, double b0, double b1, double b2, double a0, double a1,
                           double a2) {
  std::vector<double> y(x.size());
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double v = (b0 * x[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2) / a0;
    x2 = x1;
    x1 = x[i];
    y2 = y1;
    y1 = v;
    y[i] = v;
  }
  return y;
}

// Below 300 Hz: where the decay time holds.
std::vector<double> Lows(const std::vector<double>& x) {
  const double w = 2 * std::numbers::pi * 300.0 / kRate, alpha = std::sin(w) / (2 * std::numbers::sqrt2 / 2);
  const double c = std::cos(w);
  return Filter(x, (1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

// Around 5 kHz: where the damping ratio holds.
std::vector<double> Highs(const std::vector<double>& x) {
  const double w = 2 * std::numbers::pi * 5000.0 / kRate, alpha = std::sin(w) / (2 * 2.0);
  return Filter(x, alpha, 0, -alpha, 1 + alpha, -2 * std::cos(w), 1 - alpha);
}

// Seconds to fall by 60 dB, from the straight line through the backward-
// integrated energy (Schroeder's decay curve) between two levels below its
// start.
double DecayTime(const std::vector<double>& y, double fromDb, double toDb) {
  std::vector<double> remaining(y.size());
  double sum = 0;
  for (std::size_t i = y.size(); i-- > 0;) {
    sum += y[i] * y[i];
    remaining[i] = sum;
  }
  double n = 0, st = 0, sd = 0, stt = 0, std_ = 0;
  for (std::size_t i = 0; i < y.size(); ++i) {
    const double db = 10 * std::log10(remaining[i] / remaining[0]);
    if (db > fromDb) continue;
    if (db < toDb) break;
    const double t = static_cast<double>(i) / kRate;
    n += 1;
    st += t;
    sd += db;
    stt += t * t;
    std_ += t * db;
  }
  if (n < 2) return 0;
  const double slope = (n * std_ - st * sd) / (n * stt - st * st);
  return -60.0 / slope;
}

struct Measured {
  double low = 0;   // decay time below 300 Hz
  double high = 0;  // decay time around 5 kHz
};

// The highs are read from 10 dB down: the early reflections, which no
// damping touches, can carry most of a small room's first highs.
Measured Measure(int environment, float volume, float decay, float damping) {
  const double ratio = std::max(damping, kReverbShortestRatio);
  const std::vector<double> response =
      ImpulseResponse(environment, volume, decay, damping, 0.6 * std::max(decay, static_cast<float>(decay * ratio)) + 0.5);
  return Measured{DecayTime(Lows(response), -5, -20), DecayTime(Highs(response), -10, -30)};
}

TEST(ReverbResponse, EveryPresetDecaysAsItsNumbersSay) {
  std::vector<Measured> measured;
  for (std::int16_t number = 0; number < 26; ++number) {
    SCOPED_TRACE(number);
    const sound::ReverbPreset preset = sound::GetReverbPreset(number);
    const Measured m = Measure(preset.environment, preset.volume, preset.decay, preset.damping);
    measured.push_back(m);
    EXPECT_NEAR(m.low, preset.decay, 0.15 * preset.decay) << "the decay time is the lows' fall by 60 dB";
    const double ratio = std::max(preset.damping, kReverbShortestRatio);
    const double highDecay = preset.decay * ratio;
    if (highDecay >= 0.04) {
      EXPECT_NEAR(m.high, highDecay, 0.15 * highDecay) << "the damping is the highs' decay time over the lows'";
    } else {
      // Asked to die within a few echoes: they die at least that fast.
      EXPECT_LT(m.high, 0.2 * m.low);
    }
    // Below 1 the highs die first; above 1 they outlast the lows.
    if (preset.damping < 0.9f) {
      EXPECT_LT(m.high, m.low);
    } else if (preset.damping > 1.1f) {
      EXPECT_GT(m.high, m.low);
    }
  }
  ASSERT_EQ(measured.size(), 26u);
  // The rooms as their names say: a hangar rings longer than any real room,
  // and the water swallows the highs.
  for (int other : {0, 3, 5, 6, 7, 8, 9, 13, 17, 21}) EXPECT_GT(measured[10].low, measured[other].low) << other;
  EXPECT_LT(measured[22].high / measured[22].low, 0.15);
  EXPECT_GT(measured[3].high / measured[3].low, 0.12) << "a bathroom's tiles keep some of the highs";
}

TEST(ReverbResponse, MoreDampingLetsTheHighsDieSooner) {
  // The presets' damping figures at one decay time in one room: the measured
  // ratio of the highs' decay to the lows' follows them.
  std::vector<float> dampings;
  for (std::int16_t number = 0; number < 26; ++number) dampings.push_back(sound::GetReverbPreset(number).damping);
  std::sort(dampings.begin(), dampings.end());
  dampings.erase(std::unique(dampings.begin(), dampings.end()), dampings.end());
  std::vector<double> ratios;
  for (float damping : dampings) {
    const Measured m = Measure(0, 0.5f, 2.0f, damping);
    ratios.push_back(m.high / m.low);
  }
  for (std::size_t i = 0; i + 1 < dampings.size(); ++i) {
    EXPECT_LT(ratios[i], ratios[i + 1]) << "damping " << dampings[i] << " against " << dampings[i + 1];
  }
  EXPECT_NEAR(ratios.front(), kReverbShortestRatio, 0.03) << "0 counts as the shortest ratio";
  EXPECT_NEAR(ratios.back(), 2.0, 0.3);
}

// Where the answer first moves, and where its early reflections end (the
// last sample before the late reverb starts that is not silent).
struct Onset {
  double first = -1;
  double last = -1;
};

Onset EarlyReflections(int environment) {
  const ReverbRoom room = GetReverbRoom(environment);
  const std::vector<double> response = ImpulseResponse(environment, 1.0f, 2.0f, 1.0f, 0.8);
  const std::size_t lateStart = static_cast<std::size_t>((room.reflectionsDelay + room.lateDelay) * kRate);
  Onset onset;
  for (std::size_t i = 0; i < response.size(); ++i) {
    if (std::fabs(response[i]) < 1e-9) continue;
    if (onset.first < 0) onset.first = static_cast<double>(i) / kRate;
    // The late reverb answers no sooner than its shortest comb after it starts.
    if (i < lateStart + 200) onset.last = static_cast<double>(i) / kRate;
  }
  return onset;
}

TEST(ReverbResponse, TheEnvironmentChoosesTheRoomsEarlyReflections) {
  for (int environment = 0; environment < 26; ++environment) {
    SCOPED_TRACE(environment);
    const ReverbRoom room = GetReverbRoom(environment);
    if (room.reflectionsGain <= 0.0f) continue;  // the quarry's walls are too far to answer early
    const Onset onset = EarlyReflections(environment);
    EXPECT_NEAR(onset.first, room.reflectionsDelay, 1.0 / kRate) << "the first reflection";
    // The decay settings are the same for every room; only the room differs.
    const Measured m = Measure(environment, 1.0f, 2.0f, 1.0f);
    EXPECT_NEAR(m.low, 2.0, 0.3);
  }
  // A small tiled room answers at once and all together; a hangar's walls
  // answer late and one after the other; mountains answer after a third of a
  // second.
  const Onset bathroom = EarlyReflections(3), hangar = EarlyReflections(10), mountains = EarlyReflections(17);
  EXPECT_LT(bathroom.first, 0.01);
  EXPECT_LT(bathroom.last - bathroom.first, 0.005);
  EXPECT_GE(hangar.first, 0.02);
  EXPECT_GT(hangar.last - hangar.first, 0.015);
  EXPECT_GE(mountains.first, 0.3);
  // Numbers outside the 26 are the generic room.
  EXPECT_EQ(GetReverbRoom(26).size, GetReverbRoom(0).size);
  EXPECT_EQ(GetReverbRoom(-1).reflectionsDelay, GetReverbRoom(0).reflectionsDelay);
}

TEST(ReverbResponse, AChangeOfRoomStartsFromSilence) {
  Reverb reverb;
  ConfigureReverb(reverb, kRate, 2);
  SetReverbParameters(reverb, 10, 1.0f, 10.0f, 0.5f);
  std::vector<float> frames(2 * kRate, 0.0f);  // a second
  frames[0] = frames[1] = 1.0f;
  ProcessReverb(reverb, frames.data(), kRate);
  double ringing = 0;
  for (std::size_t i = frames.size() - 200; i < frames.size(); ++i) ringing += std::fabs(frames[i]);
  ASSERT_GT(ringing, 0.01) << "the hangar still rings after a second";
  SetReverbParameters(reverb, 3, 1.0f, 10.0f, 0.5f);
  std::fill(frames.begin(), frames.end(), 0.0f);
  ProcessReverb(reverb, frames.data(), kRate);
  for (float v : frames) ASSERT_EQ(v, 0.0f) << "the bathroom starts empty";
  // The same room with other settings keeps its tail.
  frames[0] = frames[1] = 1.0f;
  ProcessReverb(reverb, frames.data(), kRate / 10);
  SetReverbParameters(reverb, 3, 1.0f, 2.0f, 1.0f);
  std::fill(frames.begin(), frames.end(), 0.0f);
  ProcessReverb(reverb, frames.data(), kRate / 10);
  EXPECT_NE(frames[2 * 100], 0.0f);
}

}  // namespace

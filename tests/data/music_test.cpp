// The generated "music.mp3": the format the show's clock relies on, its
// length against the show's end, its level, and a piece that really changes
// where the show cuts from one segment to the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;
constexpr int64_t kBytesPerFrame = 4;  // 16-bit stereo
constexpr int64_t kShowEnd = 13900000;
// Segment boundaries as positions of the show's clock (bytes of decoded audio).
constexpr std::array<int64_t, 5> kBoundaries = {2190000, 4350000, 6520000, 8740000, 10900000};

std::string MusicPath() { return testsupport::BinaryDir() + "/show/music.mp3"; }

struct Decoded {
  bool ok = false;
  std::vector<int16_t> samples;
  int rate = 0;
  int channels = 0;
  int64_t Frames() const { return static_cast<int64_t>(samples.size()) / std::max(channels, 1); }
};

const Decoded& Music() {
  static const Decoded decoded = [] {
    Decoded d;
    d.ok = platform::DecodeAudioFile(MusicPath(), d.samples, d.rate, d.channels);
    return d;
  }();
  return decoded;
}

// What a listener hears as the character of a stretch of music: its level in
// five bands (lows, low mids, mids, presence, air) and how much its loudness
// jumps about from one 10 ms block to the next (drums against sustained pads).
struct Character {
  std::array<double, 5> bandDb{};
  double fluxDb = 0.0;
};

Character Measure(const Decoded& d, int64_t fromFrame, int64_t toFrame) {
  static const double kCuts[4] = {150.0, 600.0, 2500.0, 8000.0};
  double lp[4][2] = {};
  std::array<double, 5> energy{};
  std::vector<double> blocks;
  double block = 0.0;
  int inBlock = 0;
  // A short run-in settles the filters before the window starts.
  const int64_t runIn = std::min<int64_t>(fromFrame, 4410);
  for (int64_t i = fromFrame - runIn; i < toFrame; ++i) {
    const double m = (d.samples[2 * i] + d.samples[2 * i + 1]) / 65536.0;
    double out[4];
    for (int k = 0; k < 4; ++k) {
      const double a = 1.0 - std::exp(-2.0 * kPi * kCuts[k] / kRate);
      lp[k][0] += a * (m - lp[k][0]);
      lp[k][1] += a * (lp[k][0] - lp[k][1]);
      out[k] = lp[k][1];
    }
    if (i < fromFrame) continue;
    const double bands[5] = {out[0], out[1] - out[0], out[2] - out[1], out[3] - out[2], m - out[3]};
    double sum = 0.0;
    for (int k = 0; k < 5; ++k) {
      energy[k] += bands[k] * bands[k];
      sum += bands[k] * bands[k];
    }
    block += sum;
    if (++inBlock == kRate / 100) {
      blocks.push_back(10.0 * std::log10(block / inBlock + 1e-12));
      block = 0.0;
      inBlock = 0;
    }
  }
  Character c;
  const double n = static_cast<double>(toFrame - fromFrame);
  for (int k = 0; k < 5; ++k) c.bandDb[k] = 10.0 * std::log10(energy[k] / n + 1e-12);
  double mean = 0.0;
  for (double b : blocks) mean += b;
  mean /= blocks.size();
  double var = 0.0;
  for (double b : blocks) var += (b - mean) * (b - mean);
  c.fluxDb = std::sqrt(var / blocks.size());
  return c;
}

double LargestDifference(const Character& a, const Character& b) {
  double d = std::fabs(a.fluxDb - b.fluxDb);
  for (int k = 0; k < 5; ++k) d = std::max(d, std::fabs(a.bandDb[k] - b.bandDb[k]));
  return d;
}

double RmsDb(const Decoded& d, int64_t fromFrame, int64_t toFrame) {
  double e = 0.0;
  for (int64_t i = 2 * fromFrame; i < 2 * toFrame; ++i) e += static_cast<double>(d.samples[i]) * d.samples[i];
  return 10.0 * std::log10(e / (2.0 * (toFrame - fromFrame)) / (32768.0 * 32768.0) + 1e-15);
}

uint32_t BigEndian(const std::vector<unsigned char>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int k = 0; k < bytes; ++k) v = (v << 8) | b[at + k];
  return v;
}

TEST(ShowMusic, DecodesToTheShowsFormatAndOutlastsTheShow) {
  const Decoded& d = Music();
  ASSERT_TRUE(d.ok) << "cannot decode " << MusicPath();
  EXPECT_EQ(d.rate, kRate);
  ASSERT_EQ(d.channels, 2);
  const int64_t bytes = d.Frames() * kBytesPerFrame;
  // 79 to 80 seconds: past the show's end, so the show never sees the restart.
  EXPECT_GE(bytes, 13935600);
  EXPECT_LE(bytes, 14112000);
  EXPECT_GT(bytes, kShowEnd);
}

TEST(ShowMusic, CarriesTheInfoTagThatMakesDecodingGapless) {
  const std::vector<unsigned char> file = platform::ReadWholeFile(MusicPath());
  ASSERT_GT(file.size(), 400u);
  // An MPEG-1 Layer III frame first, its side information followed by the tag.
  EXPECT_EQ(file[0], 0xFF);
  EXPECT_EQ(file[1] & 0xFE, 0xFA);
  const std::string head(file.begin(), file.begin() + 400);
  const size_t info = head.find("Info");
  ASSERT_NE(info, std::string::npos);
  const size_t lame = head.find("LAME", info);
  ASSERT_NE(lame, std::string::npos);
  const uint32_t flags = BigEndian(file, info + 4, 4);
  ASSERT_TRUE(flags & 1) << "frame count missing";
  const uint32_t frames = BigEndian(file, info + 8, 4);
  const uint32_t delayPadding = BigEndian(file, lame + 21, 3);
  const int64_t delay = delayPadding >> 12, padding = delayPadding & 0xFFF;
  EXPECT_GT(delay, 0);
  // The decoder honours the tag: exactly the synthesised frames come back.
  const Decoded& d = Music();
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.Frames(), static_cast<int64_t>(frames) * 1152 - delay - padding);
}

TEST(ShowMusic, PeaksStayBelowMinusOneDecibelWithoutBeingQuiet) {
  const Decoded& d = Music();
  ASSERT_TRUE(d.ok);
  int peak = 0;
  for (int16_t s : d.samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_LT(peak, 32767);
  EXPECT_LE(peak, 29204) << "above -1 dBFS";
  // The normaliser brings the loudest moment close to the ceiling.
  EXPECT_GE(peak, 23197) << "below -3 dBFS";
}

TEST(ShowMusic, CharacterChangesAtEverySegmentBoundary) {
  const Decoded& d = Music();
  ASSERT_TRUE(d.ok);
  ASSERT_GT(d.Frames() * kBytesPerFrame, kShowEnd);
  for (int64_t boundary : kBoundaries) {
    const int64_t at = boundary / kBytesPerFrame;
    const Character before = Measure(d, at - kRate, at);
    const Character after = Measure(d, at, at + kRate);
    EXPECT_GE(LargestDifference(before, after), 4.0) << "no clear change at position " << boundary;
  }
}

// Step in the loudness of the centre (where kick and snare sit, and wide
// risers and reversed cymbals partly cancel) from the 10 ms before a frame to
// the 10 ms from it.
double JumpDb(const Decoded& d, int64_t at) {
  const int64_t w = kRate / 100;
  auto centre = [&](int64_t from) {
    double e = 0.0;
    for (int64_t i = from; i < from + w; ++i) {
      const double m = d.samples[2 * i] + d.samples[2 * i + 1];
      e += m * m;
    }
    return 10.0 * std::log10(e / w + 1.0);
  };
  return centre(at) - centre(at - w);
}

TEST(ShowMusic, DrumsComeInOnTheBoundarysFirstFrame) {
  const Decoded& d = Music();
  ASSERT_TRUE(d.ok);
  ASSERT_GT(d.Frames() * kBytesPerFrame, kShowEnd);
  // The flight, the lens, the party and the finale open on a downbeat that
  // lands on the cut itself (the dream fades in instead), not a beat or a
  // few milliseconds to either side.
  for (int64_t boundary : {kBoundaries[0], kBoundaries[2], kBoundaries[3], kBoundaries[4]}) {
    const int64_t at = boundary / kBytesPerFrame;
    const double onCut = JumpDb(d, at);
    EXPECT_GE(onCut, 6.0) << "no hit at position " << boundary;
    for (int64_t off : {-3000, -2000, -1000, 1000, 2000, 3000}) {
      EXPECT_GT(onCut, JumpDb(d, at + off) + 3.0) << "the hit near " << boundary << " is off by about " << off;
    }
  }
}

// Spectral flux around a position: a Hann-windowed 1024-point spectrum every
// 256 frames (5.8 ms); each hop's flux is the rise of log magnitude summed
// over the bins, so a hit that adds energy anywhere in the spectrum counts.
struct Flux {
  int64_t firstCentre = 0;
  int hop = 256;
  std::vector<double> values;
};

void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -2.0 * kPi / static_cast<double>(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> wk = 1.0;
      for (size_t k = 0; k < len / 2; ++k, wk *= w) {
        const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

Flux SpectralFlux(const Decoded& d, int64_t fromFrame, int64_t toFrame) {
  constexpr int kSize = 1024;
  Flux f;
  f.firstCentre = fromFrame;
  std::vector<double> previous(kSize / 2, 0.0), window(kSize);
  for (int i = 0; i < kSize; ++i) window[i] = 0.5 - 0.5 * std::cos(2.0 * kPi * i / kSize);
  std::vector<std::complex<double>> bins(kSize);
  for (int64_t centre = fromFrame - f.hop; centre < toFrame; centre += f.hop) {
    for (int i = 0; i < kSize; ++i) {
      const int64_t at = std::clamp<int64_t>(centre - kSize / 2 + i, 0, d.Frames() - 1);
      bins[i] = window[i] * (d.samples[2 * at] + d.samples[2 * at + 1]) / 65536.0;
    }
    Fft(bins);
    double rise = 0.0;
    for (int k = 1; k < kSize / 2; ++k) {
      const double level = std::log1p(std::abs(bins[k]));
      rise += std::max(0.0, level - previous[k]);
      previous[k] = level;
    }
    if (centre >= fromFrame) f.values.push_back(rise);
  }
  return f;
}

// A strong onset near a position: the largest flux within 25 ms of it stands
// out from the music around it (the two seconds either side), 1.4 times the
// 95th percentile of that stretch and 2.5 times its median. A kick or a snare
// of the groove reaches the percentile; a hit the piece builds up to clears it.
bool StrongOnsetNear(const Decoded& d, int64_t at, std::string& why) {
  const int64_t context = 2 * kRate, near = kRate * 25 / 1000;
  const Flux f = SpectralFlux(d, std::max<int64_t>(0, at - context), at + context);
  double peak = 0.0;
  for (size_t i = 0; i < f.values.size(); ++i) {
    const int64_t centre = f.firstCentre + static_cast<int64_t>(i) * f.hop;
    if (std::llabs(centre - at) <= near) peak = std::max(peak, f.values[i]);
  }
  std::vector<double> sorted = f.values;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2], p95 = sorted[sorted.size() * 95 / 100];
  why = "peak " + std::to_string(peak) + ", median " + std::to_string(median) + ", 95th percentile " +
        std::to_string(p95);
  return peak >= 1.4 * p95 && peak >= 2.5 * median;
}

TEST(ShowMusic, StrongOnsetsWhereThePictureChanges) {
  const Decoded& d = Music();
  ASSERT_TRUE(d.ok);
  ASSERT_GT(d.Frames() * kBytesPerFrame, kShowEnd);
  // The cuts, the captions at each segment's quarter points and the entries
  // of the second and third titles, as positions of the show's clock.
  std::vector<int64_t> moments(kBoundaries.begin(), kBoundaries.end());
  moments.insert(moments.end(), {730000, 1460000});
  for (size_t s = 0; s + 1 < kBoundaries.size(); ++s) {
    const int64_t from = kBoundaries[s], length = kBoundaries[s + 1] - from;
    for (int q = 1; q <= 3; ++q) moments.push_back(from + length * q / 4);
  }
  ASSERT_EQ(moments.size(), 19u);
  int hits = 0;
  std::string missed;
  for (int64_t m : moments) {
    std::string why;
    if (StrongOnsetNear(d, m / kBytesPerFrame, why)) ++hits;
    else missed += "\n  no strong onset at " + std::to_string(m) + " (" + why + ")";
  }
  EXPECT_GE(hits, 17) << hits << " of 19 moments carry a hit:" << missed;
}

TEST(ShowMusic, ClosesWhenTheShowEnds) {
  const Decoded& d = Music();
  ASSERT_TRUE(d.ok);
  const int64_t end = kShowEnd / kBytesPerFrame;
  ASSERT_GT(d.Frames(), end + kRate / 10);
  // Still sounding in the last second of the show, the final hit ringing out...
  EXPECT_GT(RmsDb(d, end - kRate, end), -35.0);
  // ...and near silence from the show's end to the end of the file.
  EXPECT_LT(RmsDb(d, end + kRate / 100, d.Frames()), -70.0);
  // The piece opens at once, with the first title.
  EXPECT_GT(RmsDb(d, 0, kRate / 2), -45.0);
}

}  // namespace

#include "music_synth.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace assetgen::music {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSineSize = 4096;

const std::array<float, kSineSize + 1>& SineTable() {
  static const std::array<float, kSineSize + 1> table = [] {
    std::array<float, kSineSize + 1> t{};
    for (int i = 0; i <= kSineSize; ++i) t[i] = static_cast<float>(std::sin(2.0 * kPi * i / kSineSize));
    return t;
  }();
  return table;
}

// Residual that removes the step of a naive saw or square at a wrap, so the
// oscillators stay clean up into the treble.
float Blep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return static_cast<float>(t + t - t * t - 1.0);
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return static_cast<float>(t * t + t + t + 1.0);
  }
  return 0.0f;
}

struct Osc {
  double phase = 0.0;
};

float Saw(Osc& o, double dt) {
  const float y = static_cast<float>(2.0 * o.phase - 1.0) - Blep(o.phase, dt);
  o.phase += dt;
  if (o.phase >= 1.0) o.phase -= 1.0;
  return y;
}

float Square(Osc& o, double dt) {
  double half = o.phase + 0.5;
  if (half >= 1.0) half -= 1.0;
  const float y = (o.phase < 0.5 ? 1.0f : -1.0f) + Blep(o.phase, dt) - Blep(half, dt);
  o.phase += dt;
  if (o.phase >= 1.0) o.phase -= 1.0;
  return y;
}

// Pade approximation of tanh: warm saturation without a libm call per sample.
float SoftClip(float x) {
  x = std::clamp(x, -3.0f, 3.0f);
  return x * (27.0f + x * x) / (27.0f + 9.0f * x * x);
}

// A voice's resolved routing: channel gains from the pan and pointers into
// the buses it feeds.
struct Sink {
  float* left;
  float* right;
  float* verb;
  float* echo;
  float gl, gr, sv, se;
  int64_t length;
};

Sink MakeSink(Mix& mix, const Route& r) {
  const double theta = (std::clamp(r.pan, -1.0f, 1.0f) + 1.0) * kPi / 4.0;
  Sink s{};
  s.left = r.pumped ? mix.pumpL.data() : mix.dryL.data();
  s.right = r.pumped ? mix.pumpR.data() : mix.dryR.data();
  s.verb = mix.verb.data();
  s.echo = mix.echo.data();
  s.gl = static_cast<float>(std::cos(theta) * std::sqrt(2.0)) * r.gain;
  s.gr = static_cast<float>(std::sin(theta) * std::sqrt(2.0)) * r.gain;
  s.sv = r.reverb * 0.5f;
  s.se = r.echo;
  s.length = mix.length;
  return s;
}

inline void Put(const Sink& s, int64_t i, float l, float r) {
  if (i < 0 || i >= s.length) return;
  l *= s.gl;
  r *= s.gr;
  s.left[i] += l;
  s.right[i] += r;
  const float mono = l + r;
  s.verb[i] += mono * s.sv;
  s.echo[i] += mono * s.se;
}

int64_t Frames(double seconds) { return static_cast<int64_t>(seconds * kRate); }

// The six square waves of the classic analogue hi-hat, tuned inharmonically.
constexpr std::array<double, 6> kMetal = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};

float Metal(std::array<Osc, 6>& oscs, double scale) {
  float sum = 0.0f;
  for (size_t k = 0; k < oscs.size(); ++k) {
    oscs[k].phase += kMetal[k] * scale / kRate;
    if (oscs[k].phase >= 1.0) oscs[k].phase -= 1.0;
    sum += oscs[k].phase < 0.5 ? 1.0f : -1.0f;
  }
  return sum / 6.0f;
}

}  // namespace

uint32_t NextU32(Rng& rng) {
  uint32_t x = rng.state;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  rng.state = x;
  return x;
}

float NextUniform(Rng& rng) { return static_cast<float>(NextU32(rng) >> 8) * (1.0f / 16777216.0f); }

float NextNoise(Rng& rng) { return NextUniform(rng) * 2.0f - 1.0f; }

float MidiToHz(float midi) { return 440.0f * std::exp2((midi - 69.0f) / 12.0f); }

float Sine01(double phase) {
  const auto& t = SineTable();
  double p = phase - std::floor(phase);
  const double x = p * kSineSize;
  const int i = static_cast<int>(x);
  const float f = static_cast<float>(x - i);
  return t[i] + (t[i + 1] - t[i]) * f;
}

void SetSvf(Svf& f, float cutoffHz, float q) {
  const float fc = std::clamp(cutoffHz, 10.0f, kRate * 0.45f);
  const float g = static_cast<float>(std::tan(kPi * fc / kRate));
  f.k = 1.0f / q;
  f.a1 = 1.0f / (1.0f + g * (g + f.k));
  f.a2 = g * f.a1;
  f.a3 = g * f.a2;
}

SvfOut TickSvf(Svf& f, float x) {
  const float v3 = x - f.ic2;
  const float v1 = f.a1 * f.ic1 + f.a2 * v3;
  const float v2 = f.ic2 + f.a2 * f.ic1 + f.a3 * v3;
  f.ic1 = 2.0f * v1 - f.ic1;
  f.ic2 = 2.0f * v2 - f.ic2;
  return {v2, v1, x - f.k * v1 - v2};
}

void InitMix(Mix& mix, int64_t length) {
  mix.length = length;
  const size_t n = static_cast<size_t>(length);
  mix.dryL.assign(n, 0.0f);
  mix.dryR.assign(n, 0.0f);
  mix.pumpL.assign(n, 0.0f);
  mix.pumpR.assign(n, 0.0f);
  mix.verb.assign(n, 0.0f);
  mix.echo.assign(n, 0.0f);
  mix.duck.assign(n, 1.0f);
}

void Kick(Mix& mix, int64_t t0, float vel, const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t n = Frames(0.55);
  double phase = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    const float f = 44.0f + 115.0f * std::exp(-t / 0.032f) + 260.0f * std::exp(-t / 0.004f);
    phase += f / kRate;
    const float attack = std::min(1.0f, t / 0.0015f);
    const float body = Sine01(phase) * attack * std::exp(-t / 0.26f);
    const float click = NextNoise(mix.rng) * std::exp(-t / 0.0012f) * 0.3f;
    const float tail = i > n - 400 ? static_cast<float>(n - i) / 400.0f : 1.0f;
    const float y = SoftClip(1.6f * (body + click)) * 0.8f * vel * tail;
    Put(s, t0 + i, y, y);
  }
}

void Snare(Mix& mix, int64_t t0, float vel, const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t n = Frames(0.4);
  Svf band;
  SetSvf(band, 2400.0f, 0.6f);
  double phase = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    phase += 185.0 * (1.0 + 0.4 * std::exp(-t / 0.012f)) / kRate;
    const float tone = Sine01(phase) * std::exp(-t / 0.06f) * 0.55f;
    const SvfOut nz = TickSvf(band, NextNoise(mix.rng));
    const float noise = (nz.band * 1.2f + nz.high * 0.35f) * std::exp(-t / 0.12f);
    const float tail = i > n - 300 ? static_cast<float>(n - i) / 300.0f : 1.0f;
    const float y = (tone + noise) * vel * tail * std::min(1.0f, t / 0.0008f);
    Put(s, t0 + i, y, y);
  }
}

void Clap(Mix& mix, int64_t t0, float vel, const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t n = Frames(0.4);
  Svf band;
  SetSvf(band, 1150.0f, 1.3f);
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    float env = 0.0f;
    for (int k = 0; k < 3; ++k) {
      const float dt = t - 0.0105f * k;
      if (dt >= 0.0f) env = std::max(env, std::exp(-dt / 0.0035f));
    }
    const float last = t - 0.0315f;
    if (last >= 0.0f) env = std::max(env, std::exp(-last / 0.1f));
    const float tail = i > n - 300 ? static_cast<float>(n - i) / 300.0f : 1.0f;
    const float y = TickSvf(band, NextNoise(mix.rng)).band * env * 1.6f * vel * tail;
    Put(s, t0 + i, y, y);
  }
}

void Hat(Mix& mix, int64_t t0, float vel, float decaySeconds, const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t n = Frames(decaySeconds * 6.0f + 0.005f);
  std::array<Osc, 6> oscs{};
  Svf hp;
  SetSvf(hp, 7200.0f, 0.7f);
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    const float x = Metal(oscs, 1.0) * 0.6f + NextNoise(mix.rng) * 0.5f;
    const float env = std::exp(-t / decaySeconds) * std::min(1.0f, t / 0.0005f);
    const float tail = i > n - 200 ? static_cast<float>(n - i) / 200.0f : 1.0f;
    const float y = TickSvf(hp, x).high * env * vel * tail;
    Put(s, t0 + i, y, y);
  }
}

void Cymbal(Mix& mix, int64_t t0, float vel, float decaySeconds, const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t n = Frames(decaySeconds * 4.0f);
  std::array<Osc, 6> oscs{};
  Svf hpL, hpR;
  SetSvf(hpL, 4200.0f, 0.6f);
  SetSvf(hpR, 4600.0f, 0.6f);
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    const float metal = Metal(oscs, 1.37) * 0.45f;
    const float env = std::exp(-t / decaySeconds) * std::min(1.0f, t / 0.001f) *
                      (0.75f + 0.25f * std::exp(-t / 0.05f));
    const float tail = i > n - 2000 ? static_cast<float>(n - i) / 2000.0f : 1.0f;
    const float l = TickSvf(hpL, metal + NextNoise(mix.rng) * 0.6f).high;
    const float rr = TickSvf(hpR, metal + NextNoise(mix.rng) * 0.6f).high;
    Put(s, t0 + i, l * env * vel * tail, rr * env * vel * tail);
  }
}

void ReverseCymbal(Mix& mix, int64_t tEnd, int64_t length, float vel, const Route& r) {
  const Sink s = MakeSink(mix, r);
  std::array<Osc, 6> oscs{};
  Svf hpL, hpR;
  SetSvf(hpL, 3800.0f, 0.6f);
  SetSvf(hpR, 4300.0f, 0.6f);
  const float tau = static_cast<float>(length) / kRate / 3.5f;
  for (int64_t i = 0; i < length; ++i) {
    const float toEnd = static_cast<float>(length - i) / kRate;
    const float env = std::exp(-toEnd / tau) * std::min(1.0f, toEnd / 0.004f);
    const float metal = Metal(oscs, 1.37) * 0.45f;
    const float l = TickSvf(hpL, metal + NextNoise(mix.rng) * 0.6f).high;
    const float rr = TickSvf(hpR, metal + NextNoise(mix.rng) * 0.6f).high;
    Put(s, tEnd - length + i, l * env * vel, rr * env * vel);
  }
}

void Tom(Mix& mix, int64_t t0, float midi, float vel, const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t n = Frames(0.5);
  const float f0 = MidiToHz(midi);
  double phase = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    phase += f0 * (1.0f + 0.6f * std::exp(-t / 0.04f)) / kRate;
    const float env = std::exp(-t / 0.2f) * std::min(1.0f, t / 0.001f);
    const float tail = i > n - 300 ? static_cast<float>(n - i) / 300.0f : 1.0f;
    const float y = (Sine01(phase) + NextNoise(mix.rng) * 0.08f * std::exp(-t / 0.01f)) * env * vel * tail;
    Put(s, t0 + i, y, y);
  }
}

void Riser(Mix& mix, int64_t tEnd, int64_t length, float vel, const Route& r) {
  const Sink s = MakeSink(mix, r);
  Svf fl, fr;
  for (int64_t i = 0; i < length; ++i) {
    const float x = static_cast<float>(i) / static_cast<float>(length);
    if ((i & 31) == 0) {
      const float fc = 250.0f * std::pow(36.0f, x);
      SetSvf(fl, fc, 2.5f);
      SetSvf(fr, fc * 1.07f, 2.5f);
    }
    const float env = x * x * std::min(1.0f, static_cast<float>(length - i) / 200.0f);
    const float l = TickSvf(fl, NextNoise(mix.rng)).band;
    const float rr = TickSvf(fr, NextNoise(mix.rng)).band;
    Put(s, tEnd - length + i, l * env * vel, rr * env * vel);
  }
}

void Bass(Mix& mix, int64_t t0, int64_t length, float midi, float vel, const BassTone& tone,
          const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t release = Frames(0.02);
  const int64_t n = length + release;
  const double dt = MidiToHz(midi) / kRate;
  Osc saw;
  Osc sub;
  Svf lp;
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    if ((i & 15) == 0) {
      float fc = tone.cutoff + tone.envAmount * std::exp(-t / tone.envDecay);
      if (tone.wobbleRate > 0.0f) {
        const float w = 0.5f - 0.5f * Sine01(tone.wobblePhase + tone.wobbleRate * t + 0.25);
        fc *= std::exp2(tone.wobbleDepth * w);
      }
      SetSvf(lp, fc, tone.q);
    }
    float env = std::min(1.0f, t / tone.attack);
    if (i >= length) env *= 1.0f - static_cast<float>(i - length) / static_cast<float>(release);
    const float bright = TickSvf(lp, Saw(saw, dt)).low * tone.saw;
    sub.phase += dt;
    if (sub.phase >= 1.0) sub.phase -= 1.0;
    const float y = SoftClip((bright + Sine01(sub.phase) * tone.sub) * 1.2f) * env * vel;
    Put(s, t0 + i, y, y);
  }
}

void Pad(Mix& mix, int64_t t0, int64_t length, const std::vector<float>& notes, float vel,
         const PadTone& tone, const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t attack = std::max<int64_t>(1, Frames(tone.attack));
  const int64_t release = std::max<int64_t>(1, Frames(tone.release));
  const int64_t n = length + release;
  const size_t voices = notes.size() * 2;
  std::vector<Osc> oscL(voices), oscR(voices);
  std::vector<double> dtL(voices), dtR(voices);
  for (size_t k = 0; k < notes.size(); ++k) {
    const double f = MidiToHz(notes[k]);
    const double d = tone.detuneCents / 1200.0;
    dtL[2 * k] = f * std::exp2(-d) / kRate;
    dtL[2 * k + 1] = f * std::exp2(d * 0.35) / kRate;
    dtR[2 * k] = f * std::exp2(d) / kRate;
    dtR[2 * k + 1] = f * std::exp2(-d * 0.35) / kRate;
    for (size_t j = 0; j < 2; ++j) {
      oscL[2 * k + j].phase = NextUniform(mix.rng);
      oscR[2 * k + j].phase = NextUniform(mix.rng);
    }
  }
  const float norm = 0.5f / std::sqrt(static_cast<float>(voices));
  Svf lpL, lpR;
  for (int64_t i = 0; i < n; ++i) {
    if ((i & 31) == 0) {
      const float x = std::min(1.0f, static_cast<float>(i) / static_cast<float>(n));
      const float fc = tone.cutoffStart * std::pow(tone.cutoffEnd / tone.cutoffStart, x);
      SetSvf(lpL, fc, tone.q);
      SetSvf(lpR, fc * 1.04f, tone.q);
    }
    float l = 0.0f, rr = 0.0f;
    for (size_t k = 0; k < voices; ++k) {
      l += Saw(oscL[k], dtL[k]);
      rr += Saw(oscR[k], dtR[k]);
    }
    float env = std::min(1.0f, static_cast<float>(i) / static_cast<float>(attack));
    env = env * env * (3.0f - 2.0f * env);
    if (i >= length) {
      const float x = 1.0f - static_cast<float>(i - length) / static_cast<float>(release);
      env *= x * x;
    }
    const float g = env * vel * norm;
    Put(s, t0 + i, TickSvf(lpL, l).low * g, TickSvf(lpR, rr).low * g);
  }
}

void Stab(Mix& mix, int64_t t0, int64_t length, const std::vector<float>& notes, float vel,
          float brightness, const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t release = Frames(0.04);
  const int64_t n = length + release;
  const size_t voices = notes.size() * 2;
  std::vector<Osc> oscL(voices), oscR(voices);
  std::vector<double> dtL(voices), dtR(voices);
  for (size_t k = 0; k < notes.size(); ++k) {
    const double f = MidiToHz(notes[k]);
    const double d = 14.0 / 1200.0;
    dtL[2 * k] = f * std::exp2(-d) / kRate;
    dtL[2 * k + 1] = f * std::exp2(d * 0.4) / kRate;
    dtR[2 * k] = f * std::exp2(d) / kRate;
    dtR[2 * k + 1] = f * std::exp2(-d * 0.4) / kRate;
    for (size_t j = 0; j < 2; ++j) {
      oscL[2 * k + j].phase = NextUniform(mix.rng);
      oscR[2 * k + j].phase = NextUniform(mix.rng);
    }
  }
  const float norm = 0.6f / std::sqrt(static_cast<float>(voices));
  Svf lpL, lpR;
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    if ((i & 15) == 0) {
      const float fc = 500.0f + brightness * 6500.0f * std::exp(-t / 0.07f);
      SetSvf(lpL, fc, 1.1f);
      SetSvf(lpR, fc, 1.1f);
    }
    float l = 0.0f, rr = 0.0f;
    for (size_t k = 0; k < voices; ++k) {
      l += Saw(oscL[k], dtL[k]);
      rr += Saw(oscR[k], dtR[k]);
    }
    float env = std::min(1.0f, t / 0.002f) * std::exp(-t / 0.35f);
    if (i >= length) env *= 1.0f - static_cast<float>(i - length) / static_cast<float>(release);
    const float g = env * vel * norm;
    Put(s, t0 + i, TickSvf(lpL, l).low * g, TickSvf(lpR, rr).low * g);
  }
}

void Pluck(Mix& mix, int64_t t0, int64_t length, float midi, float vel, float brightness,
           const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t release = Frames(0.05);
  const int64_t n = length + release;
  const double dt = MidiToHz(midi) / kRate;
  Osc a, b;
  b.phase = 0.25;
  Svf lp;
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    if ((i & 15) == 0) SetSvf(lp, 280.0f + brightness * 5200.0f * std::exp(-t / 0.085f), 1.3f);
    float env = std::min(1.0f, t / 0.001f) * std::exp(-t / 0.3f);
    if (i >= length) env *= 1.0f - static_cast<float>(i - length) / static_cast<float>(release);
    const float x = Saw(a, dt) * 0.7f + Square(b, dt * 1.002) * 0.3f;
    const float y = TickSvf(lp, x).low * env * vel * 0.6f;
    Put(s, t0 + i, y, y);
  }
}

void Bell(Mix& mix, int64_t t0, float midi, float vel, float decaySeconds, const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t n = Frames(decaySeconds * 5.0f);
  const double f = MidiToHz(midi);
  double pc = 0.0, pm = 0.0, ps = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    pc += f / kRate;
    pm += f * 2.0 / kRate;
    ps += f * 4.0 / kRate;
    const float index = 1.6f * std::exp(-t / 0.25f) + 0.25f;
    const float carrier = Sine01(pc + index * 0.159155f * Sine01(pm));
    const float shimmer = Sine01(ps) * 0.2f * std::exp(-t / (decaySeconds * 0.25f));
    const float tail = i > n - 500 ? static_cast<float>(n - i) / 500.0f : 1.0f;
    const float env = std::exp(-t / decaySeconds) * std::min(1.0f, t / 0.002f) * tail;
    const float y = (carrier + shimmer) * env * vel * 0.5f;
    Put(s, t0 + i, y, y);
  }
}

void EPiano(Mix& mix, int64_t t0, int64_t length, float midi, float vel, float lfoRate,
            const Route& r) {
  Sink s = MakeSink(mix, r);
  const float gl = s.gl, gr = s.gr;
  const int64_t release = Frames(0.12);
  const int64_t n = length + release;
  const double f = MidiToHz(midi);
  double pc = 0.0, pm = 0.0, pt = 0.0;
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    pc += f / kRate;
    pm += f / kRate;
    pt += f * 7.0 / kRate;
    const float index = 1.3f * std::exp(-t / 0.45f) + 0.15f;
    const float tine = Sine01(pt) * 0.12f * std::exp(-t / 0.025f);
    float env = std::exp(-t / 1.4f) * std::min(1.0f, t / 0.002f);
    if (i >= length) {
      const float x = 1.0f - static_cast<float>(i - length) / static_cast<float>(release);
      env *= x;
    }
    const float y = (Sine01(pc + index * 0.159155f * Sine01(pm)) + tine) * env * vel * 0.45f;
    // Auto-pan on the absolute position, so every note of a chord sways together.
    const float sway = 0.65f * Sine01(lfoRate * static_cast<double>(t0 + i) / kRate);
    s.gl = gl * (1.0f - sway);
    s.gr = gr * (1.0f + sway);
    Put(s, t0 + i, y, y);
  }
}

void Lead(Mix& mix, int64_t t0, int64_t length, float midi, float vel, const LeadTone& tone,
          const Route& r) {
  const Sink s = MakeSink(mix, r);
  const int64_t release = Frames(0.1);
  const int64_t n = length + release;
  Osc a, b, c;
  b.phase = 0.33;
  c.phase = 0.66;
  Svf lp;
  for (int64_t i = 0; i < n; ++i) {
    const float t = static_cast<float>(i) / kRate;
    if ((i & 15) == 0) SetSvf(lp, tone.cutoff * (1.0f + 1.4f * std::exp(-t / 0.12f)), 0.9f);
    float pitch = midi;
    if (tone.glideFrom >= 0.0f) pitch += (tone.glideFrom - midi) * std::exp(-t / (tone.glideSeconds / 3.0f));
    const float vibAmount = tone.vibratoDepth * std::clamp((t - 0.18f) / 0.35f, 0.0f, 1.0f);
    pitch += vibAmount * Sine01(5.3 * t);
    const double dt = MidiToHz(pitch) / kRate;
    const float x = Saw(a, dt * 1.0035) * 0.45f + Saw(b, dt * 0.9965) * 0.45f + Square(c, dt * 0.5) * 0.2f;
    float env = std::min(1.0f, t / 0.006f) * (0.72f + 0.28f * std::exp(-t / 0.2f));
    if (i >= length) {
      const float x2 = 1.0f - static_cast<float>(i - length) / static_cast<float>(release);
      env *= x2 * x2;
    }
    const float y = TickSvf(lp, x).low * env * vel * 0.5f;
    Put(s, t0 + i, y, y);
  }
}

void Duck(Mix& mix, int64_t t0, float depth, float seconds) {
  const int64_t n = Frames(seconds);
  const int64_t attack = Frames(0.003);
  for (int64_t i = 0; i < n; ++i) {
    const int64_t at = t0 + i;
    if (at < 0 || at >= mix.length) continue;
    const float x = static_cast<float>(i) / static_cast<float>(n);
    float g = 1.0f - depth * (1.0f - x) * (1.0f - x);
    if (i < attack) g = 1.0f - (1.0f - g) * static_cast<float>(i) / static_cast<float>(attack);
    float& d = mix.duck[static_cast<size_t>(at)];
    d = std::min(d, g);
  }
}

namespace {

// Schroeder-Moorer reverb in the well-known "freeverb" tuning: eight damped
// combs in parallel and four all-passes in series per channel.
struct Comb {
  std::vector<float> buf;
  size_t idx = 0;
  float store = 0.0f;
};
struct Allpass {
  std::vector<float> buf;
  size_t idx = 0;
};

constexpr std::array<int, 8> kCombTuning = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr std::array<int, 4> kAllpassTuning = {556, 441, 341, 225};
constexpr int kStereoSpread = 23;

void Reverb(const std::vector<float>& in, std::vector<float>& outL, std::vector<float>& outR) {
  const float feedback = 0.86f, damp = 0.32f, wet = 3.0f, width = 1.0f;
  std::array<Comb, 8> combL, combR;
  std::array<Allpass, 4> apL, apR;
  for (size_t k = 0; k < 8; ++k) {
    combL[k].buf.assign(kCombTuning[k], 0.0f);
    combR[k].buf.assign(kCombTuning[k] + kStereoSpread, 0.0f);
  }
  for (size_t k = 0; k < 4; ++k) {
    apL[k].buf.assign(kAllpassTuning[k], 0.0f);
    apR[k].buf.assign(kAllpassTuning[k] + kStereoSpread, 0.0f);
  }
  const size_t predelay = static_cast<size_t>(0.022 * kRate);
  const float wet1 = wet * (width / 2.0f + 0.5f), wet2 = wet * ((1.0f - width) / 2.0f);
  auto comb = [&](Comb& c, float x) {
    const float y = c.buf[c.idx];
    c.store = y * (1.0f - damp) + c.store * damp;
    c.buf[c.idx] = x + c.store * feedback;
    if (++c.idx == c.buf.size()) c.idx = 0;
    return y;
  };
  auto allpass = [](Allpass& a, float x) {
    const float b = a.buf[a.idx];
    a.buf[a.idx] = x + b * 0.5f;
    if (++a.idx == a.buf.size()) a.idx = 0;
    return b - x;
  };
  for (size_t i = 0; i < in.size(); ++i) {
    const float x = (i >= predelay ? in[i - predelay] : 0.0f) * 0.015f;
    float l = 0.0f, r = 0.0f;
    for (size_t k = 0; k < 8; ++k) {
      l += comb(combL[k], x);
      r += comb(combR[k], x);
    }
    for (size_t k = 0; k < 4; ++k) {
      l = allpass(apL[k], l);
      r = allpass(apR[k], r);
    }
    outL[i] += l * wet1 + r * wet2;
    outR[i] += r * wet1 + l * wet2;
  }
}

// Ping-pong echo: the send enters the left line, each line feeds the other,
// every repeat a little darker.
void Echo(const std::vector<float>& in, int64_t delay, std::vector<float>& outL,
          std::vector<float>& outR, std::vector<float>& verb) {
  const float feedback = 0.46f, level = 1.4f;
  std::vector<float> lineL(static_cast<size_t>(delay), 0.0f), lineR(static_cast<size_t>(delay), 0.0f);
  float dampL = 0.0f, dampR = 0.0f;
  const float a = 0.45f;
  size_t idx = 0;
  for (size_t i = 0; i < in.size(); ++i) {
    const float l = lineL[idx], r = lineR[idx];
    dampL += a * (l - dampL);
    dampR += a * (r - dampR);
    lineL[idx] = in[i] + dampR * feedback;
    lineR[idx] = dampL * feedback;
    if (++idx == lineL.size()) idx = 0;
    outL[i] += l * level;
    outR[i] += r * level;
    verb[i] += (l + r) * 0.25f;
  }
}

}  // namespace

void Finish(Mix& mix, int64_t echoFrames, const std::vector<float>& fadeGain, float peakDb,
            std::vector<int16_t>& pcm) {
  const size_t n = static_cast<size_t>(mix.length);
  for (size_t i = 0; i < n; ++i) {
    mix.dryL[i] += mix.pumpL[i] * mix.duck[i];
    mix.dryR[i] += mix.pumpR[i] * mix.duck[i];
  }
  Echo(mix.echo, echoFrames, mix.dryL, mix.dryR, mix.verb);
  Reverb(mix.verb, mix.dryL, mix.dryR);

  // DC and sub-sonic rumble out, then the closing fade.
  const float hpA = std::exp(-2.0f * static_cast<float>(kPi) * 22.0f / kRate);
  float xl = 0.0f, xr = 0.0f, yl = 0.0f, yr = 0.0f;
  for (size_t i = 0; i < n; ++i) {
    const float l = mix.dryL[i], r = mix.dryR[i];
    yl = hpA * (yl + l - xl);
    yr = hpA * (yr + r - xr);
    xl = l;
    xr = r;
    const float g = i < fadeGain.size() ? fadeGain[i] : 1.0f;
    mix.dryL[i] = yl * g;
    mix.dryR[i] = yr * g;
  }

  // Brick-wall limiter. The wanted gain per frame is never exceeded: a
  // backward pass lets the gain fall linearly ahead of a peak (the look-ahead
  // attack), a forward pass lets it recover slowly (the release).
  const float ceiling = std::pow(10.0f, peakDb / 20.0f);
  float peak = 0.0f;
  for (size_t i = 0; i < n; ++i) peak = std::max({peak, std::fabs(mix.dryL[i]), std::fabs(mix.dryR[i])});
  if (peak <= 0.0f) peak = 1.0f;
  // Drive the loudest peak 4.5 dB into the limiter; everything else follows.
  const float drive = ceiling * 1.68f / peak;
  std::vector<float> gain(n);
  for (size_t i = 0; i < n; ++i) {
    const float p = std::max(std::fabs(mix.dryL[i]), std::fabs(mix.dryR[i])) * drive;
    gain[i] = p > ceiling ? ceiling / p : 1.0f;
  }
  const float attackStep = 1.0f / (0.0015f * kRate);
  for (size_t i = n - 1; i-- > 0;) gain[i] = std::min(gain[i], gain[i + 1] + attackStep);
  const float releaseCoef = 1.0f - std::exp(-1.0f / (0.09f * kRate));
  for (size_t i = 1; i < n; ++i) gain[i] = std::min(gain[i], gain[i - 1] + (1.0f - gain[i - 1]) * releaseCoef);

  float limited = 0.0f;
  for (size_t i = 0; i < n; ++i) {
    const float g = gain[i] * drive;
    mix.dryL[i] *= g;
    mix.dryR[i] *= g;
    limited = std::max({limited, std::fabs(mix.dryL[i]), std::fabs(mix.dryR[i])});
  }
  const float normalise = limited > 0.0f ? ceiling / limited : 1.0f;
  pcm.resize(2 * n);
  for (size_t i = 0; i < n; ++i) {
    pcm[2 * i] = static_cast<int16_t>(std::lrint(std::clamp(mix.dryL[i] * normalise, -1.0f, 1.0f) * 32767.0f));
    pcm[2 * i + 1] = static_cast<int16_t>(std::lrint(std::clamp(mix.dryR[i] * normalise, -1.0f, 1.0f) * 32767.0f));
  }
}

}  // namespace assetgen::music

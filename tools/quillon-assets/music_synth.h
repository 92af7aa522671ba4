#pragma once
// Building blocks of the show's music: a deterministic noise source, band-
// limited oscillators, filters, the mixing buses and the instruments. Every
// instrument renders one note straight into the buses, so the cost of the
// piece is the sum of its notes and not voices times length.
#include <cstdint>
#include <vector>

namespace assetgen::music {

constexpr int kRate = 44100;

// xorshift32 with a fixed seed: the same noise on every run.
struct Rng {
  uint32_t state = 0x9E3779B9u;
};
uint32_t NextU32(Rng& rng);
float NextNoise(Rng& rng);          // uniform in [-1, 1)
float NextUniform(Rng& rng);        // uniform in [0, 1)

float MidiToHz(float midi);
float Sine01(double phase);         // sin(2 pi phase), table based

// Topology-preserving state variable filter; SetSvf may be called per block
// while a cutoff sweeps.
struct Svf {
  float ic1 = 0, ic2 = 0;
  float a1 = 0, a2 = 0, a3 = 0, k = 0;
};
struct SvfOut {
  float low, band, high;
};
void SetSvf(Svf& f, float cutoffHz, float q);
SvfOut TickSvf(Svf& f, float x);

// Where a voice goes: its dry level and pan, its sends to the reverb and the
// echo, and whether it breathes with the kick (the side-chained bus).
struct Route {
  float gain = 1.0f;
  float pan = 0.0f;                 // -1 left .. +1 right
  float reverb = 0.0f;
  float echo = 0.0f;
  bool pumped = false;
};

struct Mix {
  int64_t length = 0;
  std::vector<float> dryL, dryR;    // drums and everything that does not pump
  std::vector<float> pumpL, pumpR;  // multiplied by duck before summing
  std::vector<float> verb;          // reverb send (the reverb takes a mono input)
  std::vector<float> echo;          // ping-pong echo send, mono in
  std::vector<float> duck;          // side-chain gain, 1 = untouched
  Rng rng;
};

void InitMix(Mix& mix, int64_t length);

// Instruments. Times are frames, pitches MIDI note numbers (fractional
// allowed), velocities 0..1.
void Kick(Mix& mix, int64_t t0, float vel, const Route& r);
void Snare(Mix& mix, int64_t t0, float vel, const Route& r);
void Clap(Mix& mix, int64_t t0, float vel, const Route& r);
void Hat(Mix& mix, int64_t t0, float vel, float decaySeconds, const Route& r);
void Cymbal(Mix& mix, int64_t t0, float vel, float decaySeconds, const Route& r);
// A cymbal played backwards, swelling up to tEnd.
void ReverseCymbal(Mix& mix, int64_t tEnd, int64_t length, float vel, const Route& r);
void Tom(Mix& mix, int64_t t0, float midi, float vel, const Route& r);
// Noise swept upwards through a band-pass, growing towards tEnd.
void Riser(Mix& mix, int64_t tEnd, int64_t length, float vel, const Route& r);

struct BassTone {
  float cutoff = 300.0f;            // Hz at rest
  float envAmount = 1500.0f;        // Hz added at the attack
  float envDecay = 0.12f;           // seconds
  float q = 2.0f;
  float wobbleRate = 0.0f;          // cycles per second, 0 = none
  float wobbleDepth = 0.0f;         // octaves
  double wobblePhase = 0.0;         // cycles at t0, so wobbles stay on the grid
  float sub = 0.6f;                 // level of the clean sine at the note's pitch
  float saw = 0.5f;
  float attack = 0.004f;
};
void Bass(Mix& mix, int64_t t0, int64_t length, float midi, float vel,
          const BassTone& tone, const Route& r);

struct PadTone {
  float attack = 0.4f;
  float release = 0.6f;
  float cutoffStart = 1500.0f;
  float cutoffEnd = 1500.0f;
  float detuneCents = 9.0f;
  float q = 0.8f;
};
void Pad(Mix& mix, int64_t t0, int64_t length, const std::vector<float>& notes,
         float vel, const PadTone& tone, const Route& r);

// Short bright chord for stabs: the pad's oscillators with a snappy filter.
void Stab(Mix& mix, int64_t t0, int64_t length, const std::vector<float>& notes,
          float vel, float brightness, const Route& r);

void Pluck(Mix& mix, int64_t t0, int64_t length, float midi, float vel,
           float brightness, const Route& r);

// Two-operator FM voices: a glassy bell and an electric piano whose pan
// swings with the music position (lfoRate cycles per second).
void Bell(Mix& mix, int64_t t0, float midi, float vel, float decaySeconds, const Route& r);
void EPiano(Mix& mix, int64_t t0, int64_t length, float midi, float vel,
            float lfoRate, const Route& r);

struct LeadTone {
  float glideFrom = -1.0f;          // MIDI pitch slid from, <0 = none
  float glideSeconds = 0.05f;
  float cutoff = 2600.0f;
  float vibratoDepth = 0.25f;       // semitones
};
void Lead(Mix& mix, int64_t t0, int64_t length, float midi, float vel,
          const LeadTone& tone, const Route& r);

// Dips the side-chain gain after a kick at t0.
void Duck(Mix& mix, int64_t t0, float depth, float seconds);

// Effects and master: the reverb and echo returns are added into dry, pumped
// voices are ducked, then the whole is high-passed and faded by fadeGain
// (one value per frame, may be empty), limited and normalised to peakDb.
void Finish(Mix& mix, int64_t echoFrames, const std::vector<float>& fadeGain,
            float peakDb, std::vector<int16_t>& pcm);

// The show's piece, rendered: interleaved 16-bit stereo at kRate, kPieceFrames
// frames long.
constexpr int64_t kPieceFrames = 3495000;
std::vector<int16_t> RenderPiece();

}  // namespace assetgen::music

// The score of the show's music. The show cuts to a new segment at fixed
// positions of the stream, so every part of the piece is written in bars of
// its own, and each part's tempo is chosen so that its bars end exactly on the
// next cut: the downbeat of every part is the first frame of its segment.
//
//   A  0.00 s  intro: pads swell, chimes ring with each title, echoing plucks
//   B 12.42 s  flight: breakbeat, rolling bass, a stream of arpeggios
//   C 24.66 s  dream: no drums, wide pads, glass bells in a long reverb
//   D 36.96 s  lens: half-time groove, a wobbling bass, swaying e-piano
//   E 49.55 s  party: four to the floor, pumping stabs, off-beat bass
//   F 61.81 s  finale: the theme on the lead over everything, a last hit
//                that has died away by 78.8 s, when the show ends
#include <algorithm>
#include <cmath>
#include <vector>

#include "music_synth.h"

namespace assetgen::music {

namespace {

// Segment starts in frames (a position in bytes / 4), and the end of the show.
constexpr int64_t kStartA = 0;
constexpr int64_t kStartB = 547500;
constexpr int64_t kStartC = 1087500;
constexpr int64_t kStartD = 1630000;
constexpr int64_t kStartE = 2185000;
constexpr int64_t kStartF = 2725000;
constexpr int64_t kShowEnd = 3475000;

struct Part {
  int64_t start;
  int64_t end;
  int bars;
  double beat;  // frames per beat
};

Part MakePart(int64_t start, int64_t end, int bars) {
  return {start, end, bars, static_cast<double>(end - start) / (bars * 4.0)};
}

int64_t At(const Part& p, double beats) { return p.start + std::llround(beats * p.beat); }
int64_t Len(const Part& p, double beats) { return std::llround(beats * p.beat); }

// Position of a sixteenth, the odd ones pushed late by the swing amount.
double Step(int bar, int step, double swing) {
  return bar * 4.0 + step * 0.25 + ((step & 1) ? swing * 0.25 : 0.0);
}

struct Chord {
  float bass;
  std::vector<float> notes;
};

// Voicings kept within F3..F4 so that one chord moves smoothly to the next.
const Chord kDm{38, {50, 57, 62, 65}};
const Chord kDm9{38, {53, 57, 60, 64}};
const Chord kBb{34, {53, 58, 62, 65}};
const Chord kBbMaj7{34, {50, 53, 57, 62}};
const Chord kBbMaj9{34, {53, 57, 60, 62}};
const Chord kF{41, {53, 57, 60, 65}};
const Chord kFMaj7{41, {52, 57, 60, 65}};
const Chord kC{36, {52, 55, 60, 64}};
const Chord kGm{31, {50, 55, 58, 62}};
const Chord kGm7{31, {53, 55, 58, 62}};
const Chord kGm9{31, {53, 57, 58, 62}};
const Chord kA7Sus{33, {52, 55, 57, 62}};
const Chord kA7{33, {52, 55, 57, 61}};
const Chord kAm7{33, {55, 57, 60, 64}};
const Chord kEbMaj7{39, {50, 55, 58, 63}};

std::vector<float> Up(const std::vector<float>& notes, float semitones) {
  std::vector<float> out = notes;
  for (float& n : out) n += semitones;
  return out;
}

struct Note {
  double beat;
  double length;
  float pitch;
};

// The lead's theme, one bar per chord of Dm Bb F C Dm Bb Gm A, then the climb
// over Bb and C into the last chord.
const std::vector<Note> kTheme = {
    {0, 1.5, 69},   {1.5, 0.5, 74}, {2, 1, 77},     {3, 0.5, 76},   {3.5, 0.5, 74},
    {4, 1.5, 77},   {5.5, 0.5, 74}, {6, 1, 70},     {7, 0.5, 72},   {7.5, 0.5, 74},
    {8, 1.5, 72},   {9.5, 0.5, 77}, {10, 1.5, 81},  {11.5, 0.5, 79},
    {12, 1, 79},    {13, 1, 76},    {14, 1.5, 72},  {15.5, 0.5, 76},
    {16, 1.5, 74},  {17.5, 0.5, 77}, {18, 1, 81},   {19, 0.5, 84},  {19.5, 0.5, 81},
    {20, 1.5, 86},  {21.5, 0.5, 84}, {22, 1, 82},   {23, 0.5, 81},  {23.5, 0.5, 77},
    {24, 1.5, 79},  {25.5, 0.5, 81}, {26, 1, 82},   {27, 1, 86},
    {28, 2, 85},    {30, 1, 88},    {31, 1, 81},
    {32, 1.5, 86},  {33.5, 0.5, 84}, {34, 1, 82},   {35, 1, 86},
    {36, 1, 84},    {37, 1, 88},    {38, 2, 91},
};

// Glass-bell melody of the dream part, over Bbmaj9 Am7 Gm9 Fmaj7 A7.
const std::vector<Note> kDreamBells = {
    {0, 1.5, 86},  {1.5, 0.5, 84}, {2, 2, 81},   {4, 2, 77},   {6, 1, 81},   {7, 1, 84},
    {8, 1.5, 88},  {9.5, 0.5, 84}, {10, 2, 81},  {12, 2, 79},  {14, 1, 76},  {15, 1, 79},
    {16, 1.5, 86}, {17.5, 0.5, 82}, {18, 2, 81}, {20, 2, 77},  {22, 1, 74},  {23, 1, 77},
    {24, 1, 81},   {25, 1, 84},    {26, 2, 88},  {28, 2, 86},  {30, 1, 85},  {31, 1, 88},
};

// A slow, bending line that floats over the second half of the lens part.
const std::vector<Note> kLensLine = {
    {16, 3.5, 77}, {19.5, 0.5, 79}, {20, 4, 81}, {24, 3, 82}, {27, 1, 81}, {28, 4, 85},
};

// Routes of the instruments: level, pan, reverb, echo, side-chained.
const Route kKickRoute{0.75f, 0.0f, 0.04f, 0.0f, false};
const Route kSnareRoute{0.5f, 0.06f, 0.3f, 0.0f, false};
const Route kClapRoute{0.42f, -0.04f, 0.3f, 0.0f, false};
const Route kTomRoute{0.5f, 0.0f, 0.2f, 0.0f, false};
const Route kCymbalRoute{0.2f, 0.2f, 0.3f, 0.0f, false};
const Route kRiserRoute{0.16f, 0.0f, 0.45f, 0.0f, false};
const Route kBassRoute{0.65f, 0.0f, 0.0f, 0.0f, true};

// How long the build-up holds its breath before a cut, in beats.
constexpr double kBreathBeats = 0.5;

struct Composer {
  Mix& mix;

  Route HatRoute(float pan) const { return {0.2f, pan, 0.05f, 0.0f, false}; }

  void KickDuck(int64_t t, float vel, float depth) {
    Kick(mix, t, vel, kKickRoute);
    if (depth > 0.0f) Duck(mix, t, depth, 0.24f);
  }

  // Snare hits on sixteenths from..to (beats within the part), getting louder.
  void SnareRoll(const Part& p, double fromBeat, double toBeat, float v0, float v1, double every = 0.25) {
    const int count = static_cast<int>(std::lround((toBeat - fromBeat) / every));
    for (int k = 0; k < count; ++k) {
      const float x = count > 1 ? static_cast<float>(k) / (count - 1) : 1.0f;
      Snare(mix, At(p, fromBeat + k * every), v0 + (v1 - v0) * x, kSnareRoute);
    }
  }

  // The build into the next part: noise swept up and a reversed cymbal that
  // break off half a beat before its downbeat. The breath of near silence
  // makes the cut's hit land on an empty spectrum, so it is heard (and
  // measured) as the strongest onset around it.
  void LeadIn(const Part& p, double riserBeats, float vel) {
    const int64_t breath = p.end - Len(p, kBreathBeats);
    Riser(mix, breath, Len(p, riserBeats - kBreathBeats), vel, kRiserRoute);
    ReverseCymbal(mix, breath, Len(p, 4 - kBreathBeats), 0.8f * vel, kCymbalRoute);
  }

  void PadChord(const Part& p, double beat, double beats, const Chord& c, float vel, const PadTone& tone,
                const Route& r) {
    Pad(mix, At(p, beat), Len(p, beats), c.notes, vel, tone, r);
  }

  // Sixteenth-note arpeggio over the chord, up and down through two octaves,
  // bouncing between the speakers.
  void Arp(const Part& p, int bar, const Chord& c, float transpose, float vel, float brightness, float width,
           const Route& base, int steps = 16, int firstStep = 0) {
    std::vector<float> tones = Up(c.notes, transpose);
    tones.push_back(c.notes[0] + transpose + 12.0f);
    tones.push_back(c.notes[1] + transpose + 12.0f);
    static const int kOrder[16] = {0, 1, 2, 3, 4, 5, 4, 3, 1, 2, 3, 4, 5, 4, 3, 2};
    for (int s = firstStep; s < steps; ++s) {
      Route r = base;
      r.pan = (s & 1) ? width : -width;
      const float accent = (s % 4 == 0) ? 1.0f : ((s & 1) ? 0.7f : 0.85f);
      Pluck(mix, At(p, Step(bar, s, 0.0)), Len(p, 0.22), tones[kOrder[s]], vel * accent, brightness, r);
    }
  }

  void Melody(const Part& p, const std::vector<Note>& line, double fromBeat, double toBeat, double shift,
              float transpose, float vel, LeadTone tone, const Route& r) {
    float previous = -1.0f;
    double previousEnd = -100.0;
    for (const Note& n : line) {
      if (n.beat < fromBeat || n.beat >= toBeat) continue;
      const double start = n.beat - fromBeat + shift;
      // Notes that follow without a gap slide into each other.
      tone.glideFrom = std::fabs(start - previousEnd) < 1e-6 ? previous : -1.0f;
      Lead(mix, At(p, start), Len(p, n.length * 0.95), n.pitch + transpose, vel, tone, r);
      previous = n.pitch + transpose;
      previousEnd = start + n.length;
    }
  }

  // The rolling bass of the flight and the finale: a bar of sixteenths built
  // from root, octave and fifth.
  void RollingBass(const Part& p, int bar, float root, float vel, const BassTone& tone) {
    struct Hit {
      int step;
      int length;
      float interval;
      float vel;
    };
    static const Hit kHits[] = {{0, 2, 0, 1.0f},   {2, 1, 0, 0.7f},  {4, 1, 12, 0.8f}, {6, 2, 0, 0.9f},
                                {8, 1, 0, 0.8f},   {10, 1, 12, 0.8f}, {11, 1, 0, 0.7f}, {14, 2, 7, 0.85f}};
    for (const Hit& h : kHits) {
      Bass(mix, At(p, Step(bar, h.step, 0.0)), Len(p, h.length * 0.25 * 0.9), root + h.interval, vel * h.vel,
           tone, kBassRoute);
    }
  }

  void Breakbeat(const Part& p, int bar, float swing, float vel, float duck, bool extraKick) {
    KickDuck(At(p, Step(bar, 0, swing)), vel, duck);
    KickDuck(At(p, Step(bar, 10, swing)), vel * 0.9f, duck);
    if (extraKick) KickDuck(At(p, Step(bar, 7, swing)), vel * 0.75f, duck);
    Snare(mix, At(p, Step(bar, 4, swing)), vel * 0.9f, kSnareRoute);
    Snare(mix, At(p, Step(bar, 12, swing)), vel * 0.95f, kSnareRoute);
    Snare(mix, At(p, Step(bar, 9, swing)), vel * 0.22f, kSnareRoute);
    Snare(mix, At(p, Step(bar, 15, swing)), vel * 0.18f, kSnareRoute);
    for (int s = 0; s < 16; ++s) {
      const float v = (s % 4 == 0) ? 0.55f : ((s & 1) ? 0.3f : 0.42f);
      Hat(mix, At(p, Step(bar, s, swing)), v * vel * (0.9f + 0.2f * NextUniform(mix.rng)), 0.035f,
          HatRoute((s & 1) ? 0.3f : -0.2f));
    }
  }

  void Intro(const Part& p) {
    const Chord chords[8] = {kDm9, kDm9, kBbMaj7, kBbMaj7, kGm9, kGm9, kA7Sus, kA7};
    const Route padRoute{0.55f, 0.0f, 0.6f, 0.1f, false};
    for (int bar = 0; bar < 8; ++bar) {
      if (bar % 2 == 1 && bar != 7) continue;
      const int span = bar >= 6 ? 1 : 2;
      const float x0 = bar / 8.0f, x1 = (bar + span) / 8.0f;
      PadTone tone;
      tone.attack = bar == 0 ? 3.0f : 0.5f;
      tone.release = 0.8f;
      tone.cutoffStart = 500.0f * std::pow(5.0f, x0);
      tone.cutoffEnd = 500.0f * std::pow(5.0f, x1);
      tone.detuneCents = 11.0f;
      PadChord(p, bar * 4.0, span * 4.0, chords[bar], 0.8f + 0.2f * x0, tone, padRoute);
      BassTone sub;
      sub.saw = 0.0f;
      sub.sub = 0.7f;
      sub.attack = 0.4f;
      sub.envAmount = 0.0f;
      // The low end leaves for the last bar, so the flight's drop lands.
      if (bar < 7) {
        Bass(mix, At(p, bar * 4.0), Len(p, span * 4.0), chords[bar].bass, 0.3f + 0.1f * x0, sub, kBassRoute);
      }
    }
    // A chime rings out with each title as it appears: the first at once,
    // the second and third at one and two thirds of the intro.
    const Route chime{0.42f, 0.0f, 0.7f, 0.65f, false};
    const int64_t titles[3] = {0, 182500, 365000};
    const float dyads[3][2] = {{74, 81}, {77, 81}, {74, 82}};
    for (int k = 0; k < 3; ++k) {
      Bell(mix, titles[k], dyads[k][0] + 12, 0.6f, 1.4f, chime);
      Bell(mix, titles[k], dyads[k][1] + 12, 0.45f, 1.2f, chime);
      Bell(mix, titles[k], dyads[k][0] + 24, 0.18f, 0.7f, chime);
    }
    // Plucked eighths from the second chord on, opening up as the intro builds.
    const Route pluck{0.32f, 0.0f, 0.3f, 0.5f, false};
    static const int kUpDown[8] = {0, 1, 2, 3, 4, 3, 2, 1};
    for (int bar = 2; bar < 8; ++bar) {
      std::vector<float> tones = Up(chords[bar].notes, 12);
      tones.push_back(chords[bar].notes[0] + 24);
      for (int e = 0; e < 8; ++e) {
        Route r = pluck;
        r.pan = (e & 1) ? 0.4f : -0.4f;
        const float x = (bar * 8 + e) / 64.0f;
        Pluck(mix, At(p, bar * 4.0 + e * 0.5), Len(p, 0.4), tones[kUpDown[e]], 0.5f + 0.35f * x, 0.15f + 0.6f * x, r);
      }
    }
    // A distant heartbeat, then the roll and the sweep into the flight.
    for (int bar = 4; bar < 7; ++bar) {
      Kick(mix, At(p, bar * 4.0), 0.45f, {0.8f, 0.0f, 0.35f, 0.0f, false});
    }
    Kick(mix, At(p, 6 * 4.0 + 2.5), 0.35f, {0.8f, 0.0f, 0.35f, 0.0f, false});
    SnareRoll(p, 26.0, 28.0, 0.12f, 0.22f, 0.5);
    SnareRoll(p, 28.0, 32.0 - kBreathBeats, 0.2f, 0.5f);
    LeadIn(p, 8.0, 0.6f);
  }

  void Flight(const Part& p) {
    const Chord chords[8] = {kDm, kBb, kF, kC, kDm, kBb, kGm, kA7};
    const float swing = 0.1f;
    BassTone bass;
    bass.cutoff = 200.0f;
    bass.envAmount = 1700.0f;
    bass.envDecay = 0.08f;
    bass.q = 2.2f;
    const Route padRoute{0.32f, 0.0f, 0.45f, 0.0f, true};
    const Route arpRoute{0.24f, 0.0f, 0.18f, 0.3f, true};
    for (int bar = 0; bar < 8; ++bar) {
      PadTone tone;
      tone.attack = 0.03f;
      tone.release = 0.25f;
      tone.cutoffStart = 1500.0f;
      tone.cutoffEnd = 1900.0f;
      PadChord(p, bar * 4.0, 4.0, chords[bar], 0.9f, tone, padRoute);
      RollingBass(p, bar, chords[bar].bass, 0.9f, bass);
      Arp(p, bar, chords[bar], 12.0f, 0.75f, 0.45f + 0.04f * bar, 0.55f, arpRoute);
      if (bar < 7) {
        Breakbeat(p, bar, swing, 1.0f, 0.35f, bar % 2 == 1);
      } else {
        KickDuck(At(p, Step(bar, 0, swing)), 1.0f, 0.35f);
        Snare(mix, At(p, Step(bar, 4, swing)), 0.9f, kSnareRoute);
        for (int s = 0; s < 8; ++s) Hat(mix, At(p, Step(bar, s, swing)), 0.4f, 0.035f, HatRoute(0.1f));
        const float toms[8] = {55, 55, 50, 50, 45, 45, 40, 40};
        for (int s = 8; s < 14; ++s) Tom(mix, At(p, Step(bar, s, swing)), toms[s - 8], 0.55f + 0.04f * s, kTomRoute);
      }
      if (bar == 3) {
        Snare(mix, At(p, Step(bar, 14, swing)), 0.5f, kSnareRoute);
        Hat(mix, At(p, Step(bar, 14, swing)), 0.5f, 0.2f, HatRoute(0.2f));
      }
    }
    // The cut into the flight lands on a crash; lighter cymbals mark the
    // captions at the quarter points.
    Cymbal(mix, p.start, 1.0f, 1.3f, kCymbalRoute);
    Cymbal(mix, At(p, 8.0), 0.55f, 0.5f, kCymbalRoute);
    Cymbal(mix, At(p, 16.0), 0.8f, 1.1f, kCymbalRoute);
    Cymbal(mix, At(p, 24.0), 0.55f, 0.5f, kCymbalRoute);
    // The theme's second half, low and dark, as a first glimpse.
    LeadTone lead;
    lead.cutoff = 1300.0f;
    Melody(p, kTheme, 16.0, 32.0, 16.0, -12.0f, 0.55f, lead, {0.34f, 0.0f, 0.25f, 0.3f, false});
  }

  void Dream(const Part& p) {
    const Route padRoute{0.6f, 0.0f, 0.85f, 0.12f, false};
    struct Span {
      double beat, beats;
      const Chord* chord;
    };
    const Span spans[] = {{0, 8, &kBbMaj9}, {8, 8, &kAm7}, {16, 8, &kGm9}, {24, 4, &kFMaj7}, {28, 2, &kA7Sus},
                          {30, 2, &kA7}};
    for (const Span& s : spans) {
      PadTone tone;
      tone.attack = s.beat == 0 ? 0.25f : 0.9f;
      tone.release = 1.4f;
      tone.cutoffStart = 900.0f;
      tone.cutoffEnd = 1500.0f;
      tone.detuneCents = 15.0f;
      PadChord(p, s.beat, s.beats, *s.chord, 0.9f, tone, padRoute);
      // The same chord an octave up, quieter and darker, widens the wash.
      tone.cutoffStart = 1200.0f;
      tone.cutoffEnd = 2000.0f;
      Pad(mix, At(p, s.beat), Len(p, s.beats), Up(s.chord->notes, 12), 0.35f, tone, padRoute);
      BassTone sub;
      sub.saw = 0.0f;
      sub.sub = 0.75f;
      sub.attack = 0.3f;
      sub.envAmount = 0.0f;
      const float root = s.chord->bass == 41 ? 29.0f : s.chord->bass;
      if (s.beat < 28) Bass(mix, At(p, s.beat), Len(p, s.beats), root, 0.45f, sub, kBassRoute);
    }
    const Route bellRoute{0.42f, 0.0f, 0.75f, 0.5f, false};
    for (const Note& n : kDreamBells) {
      Route r = bellRoute;
      r.pan = static_cast<float>(std::sin(n.beat * 0.9) * 0.4);
      Bell(mix, At(p, n.beat), n.pitch, 0.7f, 1.1f, r);
    }
    // Sparkles for the captions at the quarter points.
    for (int q = 1; q <= 3; ++q) {
      Bell(mix, At(p, q * 8.0), 98 - q, 0.3f, 0.9f, {0.35f, q == 2 ? -0.5f : 0.5f, 0.9f, 0.7f, false});
    }
    // Air: slow, soft hats deep in the reverb for the second half.
    for (int e = 32; e < 64; ++e) {
      Hat(mix, At(p, e * 0.5), (e & 1) ? 0.12f : 0.2f, 0.05f, {0.2f, (e & 1) ? 0.4f : -0.4f, 0.5f, 0.0f, false});
    }
    // The crash of the cut, washed out, and the way into the lens groove.
    Cymbal(mix, p.start, 0.7f, 2.0f, {0.2f, -0.1f, 0.9f, 0.0f, false});
    Tom(mix, At(p, 31.0), 45, 0.4f, kTomRoute);
    LeadIn(p, 4.0, 0.5f);
  }

  void Lens(const Part& p) {
    const Chord chords[8] = {kDm9, kDm9, kEbMaj7, kEbMaj7, kBbMaj7, kBbMaj7, kGm7, kA7};
    const float swing = 0.22f;
    const double beatSeconds = p.beat / kRate;
    const Route epRoute{0.42f, 0.0f, 0.3f, 0.15f, false};
    const Route padRoute{0.2f, 0.0f, 0.5f, 0.0f, false};
    for (int bar = 0; bar < 8; ++bar) {
      // Half-time: kick on one, snare on three, swung sixteenths between.
      if (bar < 7) {
        Kick(mix, At(p, Step(bar, 0, swing)), 1.0f, kKickRoute);
        Kick(mix, At(p, Step(bar, 10, swing)), 0.85f, kKickRoute);
        if (bar % 2 == 1) Kick(mix, At(p, Step(bar, 3, swing)), 0.6f, kKickRoute);
        Snare(mix, At(p, Step(bar, 8, swing)), 1.0f, kSnareRoute);
        Snare(mix, At(p, Step(bar, 14, swing)), 0.2f, kSnareRoute);
        for (int s = 0; s < 16; ++s) {
          const float v = (s % 2 == 0) ? 0.45f : 0.22f;
          Hat(mix, At(p, Step(bar, s, swing)), v, s == 6 ? 0.18f : 0.03f, HatRoute((s & 1) ? -0.35f : 0.25f));
        }
      } else {
        Kick(mix, At(p, Step(bar, 0, swing)), 1.0f, kKickRoute);
        Snare(mix, At(p, Step(bar, 4, swing)), 0.7f, kSnareRoute);
        SnareRoll(p, 30.0, 32.0 - kBreathBeats, 0.25f, 0.7f);
      }
      // The wobble speeds up through the part: eighths, then triplets, then
      // sixteenths into the party.
      BassTone wob;
      wob.cutoff = 170.0f;
      wob.envAmount = 500.0f;
      wob.envDecay = 0.15f;
      wob.q = 3.5f;
      wob.saw = 0.75f;
      wob.sub = 0.55f;
      wob.wobbleDepth = 3.0f;
      const double perBeat = bar < 6 ? 2.0 : (bar == 6 ? 3.0 : 4.0);
      wob.wobbleRate = static_cast<float>(perBeat / beatSeconds);
      wob.wobblePhase = 0.0;
      Bass(mix, At(p, bar * 4.0), Len(p, 2.9), chords[bar].bass, 0.8f, wob, kBassRoute);
      wob.wobblePhase = perBeat * 3.0;
      Bass(mix, At(p, bar * 4.0 + 3.0), Len(p, 0.95), chords[bar].bass + 12, 0.65f, wob, kBassRoute);
      // E-piano comping, its pan swaying like the lenses.
      const double hits[3][2] = {{0.0, 1.4}, {1.5, 0.9}, {3.0, 0.8}};
      for (const auto& h : hits) {
        for (float n : chords[bar].notes) {
          EPiano(mix, At(p, bar * 4.0 + h[0]), Len(p, h[1]), n + 12, h[0] == 0.0 ? 0.6f : 0.45f,
                 static_cast<float>(0.5 / beatSeconds), epRoute);
        }
      }
      if (bar % 2 == 0 && bar < 6) {
        PadTone tone;
        tone.attack = 0.3f;
        tone.release = 0.6f;
        tone.cutoffStart = 600.0f;
        tone.cutoffEnd = 900.0f;
        PadChord(p, bar * 4.0, 8.0, chords[bar], 0.8f, tone, padRoute);
      }
    }
    PadTone tone;
    tone.attack = 0.2f;
    tone.release = 0.3f;
    tone.cutoffStart = 700.0f;
    tone.cutoffEnd = 2400.0f;
    PadChord(p, 24.0, 4.0, kGm7, 0.8f, tone, padRoute);
    PadChord(p, 28.0, 4.0, kA7, 0.9f, tone, padRoute);
    LeadTone line;
    line.cutoff = 2000.0f;
    line.vibratoDepth = 0.45f;
    Melody(p, kLensLine, 0.0, 32.0, 0.0, 0.0f, 0.6f, line, {0.3f, 0.0f, 0.45f, 0.35f, false});
    Cymbal(mix, p.start, 0.9f, 1.2f, kCymbalRoute);
    for (int q = 1; q <= 3; ++q) Cymbal(mix, At(p, q * 8.0), 0.45f, 0.45f, kCymbalRoute);
    LeadIn(p, 8.0, 0.6f);
  }

  void Party(const Part& p) {
    // I-V-vi-IV in F, the relative major: the brightest part of the show.
    const Chord chords[4] = {{41, {60, 65, 69, 72}}, {36, {60, 64, 67, 72}}, {38, {62, 65, 69, 74}},
                             {34, {62, 65, 70, 74}}};
    const float swing = 0.06f;
    BassTone bass;
    bass.cutoff = 380.0f;
    bass.envAmount = 2400.0f;
    bass.envDecay = 0.07f;
    bass.q = 1.8f;
    bass.saw = 0.7f;
    bass.sub = 0.5f;
    const Route stabRoute{0.36f, 0.0f, 0.25f, 0.18f, true};
    const Route padRoute{0.22f, 0.0f, 0.4f, 0.0f, true};
    const Route hookRoute{0.22f, 0.0f, 0.2f, 0.25f, true};
    for (int bar = 0; bar < 8; ++bar) {
      const Chord& c = chords[bar % 4];
      // The last half bar drops out to the roll and the sweep before the finale.
      const bool last = bar == 7;
      const int kicks = last ? 2 : 4;
      for (int b = 0; b < kicks; ++b) KickDuck(At(p, bar * 4.0 + b), 1.0f, 0.6f);
      if (bar < 7) {
        Clap(mix, At(p, bar * 4.0 + 1), 1.0f, kClapRoute);
        Clap(mix, At(p, bar * 4.0 + 3), 1.0f, kClapRoute);
      } else {
        Clap(mix, At(p, bar * 4.0 + 1), 1.0f, kClapRoute);
        SnareRoll(p, 30.0, 32.0 - kBreathBeats, 0.3f, 0.75f);
      }
      for (int s = 0; s < (last ? 8 : 16); ++s) {
        if (s % 4 == 2) {
          Hat(mix, At(p, Step(bar, s, swing)), 0.5f, 0.12f, HatRoute(0.15f));
        } else {
          Hat(mix, At(p, Step(bar, s, swing)), (s & 1) ? 0.32f : 0.22f, 0.03f, HatRoute((s & 1) ? -0.3f : 0.3f));
        }
      }
      for (int s : {2, 6, 10, 14}) {
        if (last && s > 8) continue;
        const float interval = (s == 6 || s == 14) ? 12.0f : 0.0f;
        Bass(mix, At(p, Step(bar, s, swing)), Len(p, 0.4), c.bass + interval, 0.9f, bass, kBassRoute);
      }
      for (int s : {0, 3, 6, 10, 12}) {
        if (last && s > 8) continue;
        const double len = (s == 12) ? 0.9 : 0.45;
        Stab(mix, At(p, Step(bar, s, swing)), Len(p, len), c.notes, s == 0 ? 0.9f : 0.7f, 0.75f, stabRoute);
      }
      PadTone tone;
      tone.attack = 0.02f;
      tone.release = 0.3f;
      tone.cutoffStart = 2500.0f;
      tone.cutoffEnd = 2500.0f;
      PadChord(p, bar * 4.0, last ? 2.0 : 4.0, c, 0.8f, tone, padRoute);
      // The hook: chord tones an octave up on a syncopated sixteenth figure.
      static const int kHookSteps[8] = {0, 2, 3, 5, 7, 8, 11, 14};
      static const int kHookTones[8] = {3, 2, 3, 1, 2, 0, 1, 2};
      for (int k = 0; k < 8; ++k) {
        if (last && kHookSteps[k] >= 8) continue;
        Route r = hookRoute;
        r.pan = (k & 1) ? 0.45f : -0.45f;
        Pluck(mix, At(p, Step(bar, kHookSteps[k], swing)), Len(p, 0.3), c.notes[kHookTones[k]] + 12, 0.8f, 0.8f, r);
      }
    }
    // PARTY, CODE and FEEL each arrive on a crash.
    Cymbal(mix, p.start, 1.0f, 1.3f, kCymbalRoute);
    for (int q = 1; q <= 3; ++q) Cymbal(mix, At(p, q * 8.0), 0.9f, 1.0f, kCymbalRoute);
    LeadIn(p, 4.0, 0.7f);
  }

  // The finale's anthem: a half-time beat under the theme, so the show's
  // last part breathes after the party.
  void Anthem(const Part& p, int bar, const Chord& c) {
    KickDuck(At(p, bar * 4.0), 1.0f, 0.3f);
    KickDuck(At(p, bar * 4.0 + 2.5), 0.9f, 0.3f);
    if (bar % 2 == 1) KickDuck(At(p, bar * 4.0 + 3.5), 0.6f, 0.2f);
    Snare(mix, At(p, bar * 4.0 + 2.0), 1.0f, {0.55f, 0.06f, 0.5f, 0.0f, false});
    Clap(mix, At(p, bar * 4.0 + 2.0), 0.6f, kClapRoute);
    for (int e = 0; e < 8; ++e) {
      Hat(mix, At(p, bar * 4.0 + e * 0.5), e % 2 == 0 ? 0.32f : 0.45f, e % 2 == 0 ? 0.03f : 0.09f,
          HatRoute(e % 2 == 0 ? -0.25f : 0.25f));
    }
    struct Hit {
      double beat, length;
      float interval;
    };
    static const Hit kHits[] = {{0.0, 1.4, 0}, {1.5, 0.45, 0}, {2.5, 0.9, 0}, {3.5, 0.45, 12}};
    BassTone bass;
    bass.cutoff = 260.0f;
    bass.envAmount = 900.0f;
    bass.envDecay = 0.2f;
    bass.q = 1.6f;
    bass.saw = 0.55f;
    bass.sub = 0.65f;
    for (const Hit& h : kHits) {
      Bass(mix, At(p, bar * 4.0 + h.beat), Len(p, h.length), c.bass + h.interval, 0.9f, bass, kBassRoute);
    }
  }

  void Finale(const Part& p) {
    const Chord chords[10] = {kDm, kBb, kF, kC, kDm, kBb, kGm, kA7, kBb, kC};
    const float swing = 0.1f;
    BassTone bass;
    bass.cutoff = 230.0f;
    bass.envAmount = 2000.0f;
    bass.envDecay = 0.09f;
    bass.q = 2.2f;
    const Route padRoute{0.4f, 0.0f, 0.6f, 0.08f, true};
    const Route arpRoute{0.15f, 0.0f, 0.25f, 0.35f, true};
    for (int bar = 0; bar < 10; ++bar) {
      PadTone tone;
      tone.attack = bar == 0 ? 0.01f : 0.08f;
      tone.release = 0.4f;
      tone.cutoffStart = 2000.0f;
      tone.cutoffEnd = 2800.0f;
      tone.detuneCents = 13.0f;
      PadChord(p, bar * 4.0, 4.0, chords[bar], 1.0f, tone, padRoute);
      Pad(mix, At(p, bar * 4.0), Len(p, 4.0), Up(chords[bar].notes, 12), 0.35f, tone, padRoute);
      Arp(p, bar, chords[bar], 12.0f, 0.7f, 0.5f, 0.7f, arpRoute);
      if (bar < 8) {
        Anthem(p, bar, chords[bar]);
      } else if (bar == 8) {
        RollingBass(p, bar, chords[bar].bass, 0.95f, bass);
        Breakbeat(p, bar, swing, 1.0f, 0.35f, true);
      } else {
        RollingBass(p, bar, chords[bar].bass, 0.95f, bass);
        KickDuck(At(p, bar * 4.0), 1.0f, 0.35f);
        KickDuck(At(p, bar * 4.0 + 1.5), 0.9f, 0.35f);
        Snare(mix, At(p, bar * 4.0 + 1.0), 0.9f, kSnareRoute);
        SnareRoll(p, 38.0, 40.0, 0.4f, 1.0f, 0.125);
        for (int s = 0; s < 8; ++s) Hat(mix, At(p, Step(bar, s, swing)), 0.4f, 0.035f, HatRoute(0.1f));
      }
    }
    Cymbal(mix, p.start, 1.0f, 1.4f, kCymbalRoute);
    Cymbal(mix, At(p, 16.0), 0.85f, 1.2f, kCymbalRoute);
    Cymbal(mix, At(p, 32.0), 0.9f, 1.3f, kCymbalRoute);
    Riser(mix, At(p, 40.0), Len(p, 8.0), 0.9f, kRiserRoute);

    LeadTone lead;
    lead.cutoff = 2800.0f;
    lead.vibratoDepth = 0.28f;
    Melody(p, kTheme, 0.0, 40.0, 0.0, 0.0f, 0.75f, lead, {0.42f, 0.0f, 0.35f, 0.42f, false});

    // The last hit: everything on one D minor chord, left to ring while the
    // show's final bar fades out.
    const double hit = 40.0;
    const int64_t ring = p.end - At(p, hit);
    Kick(mix, At(p, hit), 1.1f, kKickRoute);
    Cymbal(mix, At(p, hit), 1.0f, 1.6f, kCymbalRoute);
    Tom(mix, At(p, hit), 38, 0.6f, kTomRoute);
    PadTone tone;
    tone.attack = 0.01f;
    tone.release = 0.2f;
    tone.cutoffStart = 3200.0f;
    tone.cutoffEnd = 700.0f;
    tone.detuneCents = 13.0f;
    const std::vector<float> final = {50, 57, 62, 64, 65, 69, 74};
    Pad(mix, At(p, hit), ring, final, 1.2f, tone, {0.5f, 0.0f, 0.6f, 0.1f, false});
    Stab(mix, At(p, hit), Len(p, 1.0), Up(final, 12), 1.0f, 1.0f, {0.3f, 0.0f, 0.4f, 0.2f, false});
    BassTone sub;
    sub.saw = 0.3f;
    sub.sub = 0.8f;
    sub.envAmount = 1500.0f;
    sub.envDecay = 0.3f;
    Bass(mix, At(p, hit), ring, 38, 0.9f, sub, {0.5f, 0.0f, 0.0f, 0.0f, false});
    Bell(mix, At(p, hit), 86, 0.5f, 1.5f, {0.35f, -0.3f, 0.7f, 0.5f, false});
    Bell(mix, At(p, hit), 93, 0.3f, 1.2f, {0.35f, 0.3f, 0.7f, 0.5f, false});
    LeadTone held = lead;
    held.glideFrom = 91.0f;
    held.glideSeconds = 0.12f;
    Lead(mix, At(p, hit), Len(p, 3.0), 86, 0.7f, held, {0.4f, 0.0f, 0.35f, 0.3f, false});
  }
};

}  // namespace

std::vector<int16_t> RenderPiece() {
  Mix mix;
  InitMix(mix, kPieceFrames);
  Composer c{mix};
  c.Intro(MakePart(kStartA, kStartB, 8));
  c.Flight(MakePart(kStartB, kStartC, 8));
  c.Dream(MakePart(kStartC, kStartD, 8));
  c.Lens(MakePart(kStartD, kStartE, 8));
  c.Party(MakePart(kStartE, kStartF, 8));
  const Part finale = MakePart(kStartF, kShowEnd, 11);
  c.Finale(finale);

  // The last bar fades to silence exactly where the show ends; what follows
  // is the short quiet tail before the stream would loop.
  std::vector<float> fade(static_cast<size_t>(kPieceFrames), 1.0f);
  const int64_t fadeFrom = At(finale, 40.5);
  for (int64_t i = fadeFrom; i < kPieceFrames; ++i) {
    const double x = std::min(1.0, static_cast<double>(i - fadeFrom) / static_cast<double>(kShowEnd - fadeFrom));
    const double g = std::cos(x * 1.5707963267948966);
    fade[static_cast<size_t>(i)] = static_cast<float>(g * g);
  }
  // The echo is three sixteenths of the finale's beat, close to every part's.
  const int64_t echo = std::llround(finale.beat * 0.75);
  std::vector<int16_t> pcm;
  Finish(mix, echo, fade, -2.0f, pcm);
  return pcm;
}

}  // namespace assetgen::music

#include "pictures.h"

#include <algorithm>
#include <cmath>

#include "text.h"

namespace assetgen {
namespace {

constexpr float kPi = 3.14159265358979f;
using namespace palette;

// How a picture's pixels reach the screen decides how its letters must be set:
// a sprite of half extents hw x hh in the 800 x 600 frame shows a picture of
// w x h pixels with this vertical stretch relative to the horizontal.
float ScreenStretch(int w, int h, float screenW, float screenH) {
  return (static_cast<float>(h) / screenH) / (static_cast<float>(w) / screenW);
}

// Adds a mask to the picture as light of the given colour.
void AddMask(Image& image, const TextMask& mask, int left, int top, Colour c, float weight) {
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x) {
      float a = mask.coverage[static_cast<std::size_t>(y) * mask.width + x];
      if (a > 0) AddLight(image, left + x, top + y, c, a * weight);
    }
}

void Centre(const TextMask& mask, int width, int height, int& left, int& top) {
  left = (width - mask.width) / 2;
  top = (height - mask.height) / 2;
}

// Distance on a torus of size 1 x 1, for shapes that wrap at the picture's edges.
float WrapDelta(float d) { return d - std::round(d); }

}  // namespace

// ---------------------------------------------------------------------------
// Titles: drawn additively as eleven echoes with weights 1, 0.9 ... 0.1 (5.5
// in all). Echo i of a picture point X pixels from the sprite's centre lands
// i * (X / 30 + drift) pixels further out, where the drift turns slowly and is
// at most 2.86 pixels across and 2.14 down per echo. A letter is thus smeared
// into a one-sided streak whose step grows with its distance from the centre.

namespace {

// Wherever the sum is cut at about half of its full weight, a streaked edge
// lands about 2.5 steps further along, and a stroke or a gap keeps its width
// only when it is some three steps wide. The growth part of the step is fixed
// by the picture, so the light letters are set evenly and then widened away
// from the middle by exactly the step there: a column u pixels from the
// middle of the set line goes to X = k (e^(|u| / k) - 1) with k = 30 * 2.86,
// so that every stroke is as many steps wide as it is at the centre.
// Letters are set tall (the vertical step is small and independent of X) and
// dim enough that all eleven echoes together just reach white.
void DrawWidenedLine(Image& image, const TextMask& mask, int top, Colour colour) {
  const float k = 30.0f * 2.86f;
  const float middle = mask.width / 2.0f;
  for (int y = 0; y < mask.height; ++y) {
    if (top + y < 0 || top + y >= image.height) continue;
    for (int x = 0; x < image.width; ++x) {
      float cover = 0;
      for (int s = 0; s < 4; ++s) {  // four samples across the pixel
        const float X = x + (s + 0.5f) / 4 - image.width / 2.0f;
        const float u = std::copysign(k * std::log(1 + std::fabs(X) / k), X) + middle - 0.5f;
        const int u0 = static_cast<int>(std::floor(u));
        const float f = u - u0;
        cover += mask.At(u0, y) * (1 - f) + mask.At(u0 + 1, y) * f;
      }
      if (cover > 0) AddLight(image, x, top + y, colour, cover / 4);
    }
  }
}

// The knocked-out design of the middle title: letters cut into a dim bar
// that never burns out, so the letters of the first copies stay the darkest
// part of a smooth ramp. It reads best for the one long line.
void DrawKnockedOutLine(Image& image, const TextMask& mask, float lineH, float barW, Colour upper, Colour lower) {
  const int w = image.width, h = image.height;
  const float barH = static_cast<float>(mask.height) + 0.5f * lineH;
  const float cx = w / 2.0f, cy = h / 2.0f, radius = 0.3f * barH;
  const int left = (w - mask.width) / 2, top = (h - mask.height) / 2;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float qx = std::max(0.0f, std::fabs(x + 0.5f - cx) - (barW / 2 - radius));
      const float qy = std::max(0.0f, std::fabs(y + 0.5f - cy) - (barH / 2 - radius));
      const float outside = std::sqrt(qx * qx + qy * qy) - radius;
      const float cover = Clamp01(0.5f - outside / 2.0f) * (1.0f - mask.At(x - left, y - top));
      const float t = Clamp01((y + 0.5f - (cy - barH / 2)) / barH);
      if (cover > 0) AddLight(image, x, y, Mix(upper, lower, t), cover * 0.18f);
    }
}

}  // namespace

Picture MakeTitle(int row) {
  Picture p;
  p.name = "start" + std::to_string(row) + ".tga";
  p.channels = 3;
  const int w = 512, h = 128;
  p.image = Image(w, h);
  // Half extents 0.64 x 0.24 of the -1..1 frame: 512 x 144 pixels of 800 x 600.
  const float stretch = ScreenStretch(w, h, 512.0f, 144.0f);
  const Weight weight = Weight::DisplayBlack;
  if (row == 2) {
    const float maxW = 300, lineH = 46, track = 0.12f;
    const float size = FitSize(weight, "PRESENTS", maxW, lineH, stretch, track);
    DrawKnockedOutLine(p.image, SetLine(weight, "PRESENTS", size, stretch, track * size), lineH, 360,
                       Mix(kIvory, kRose, 0.35f), Mix(kIvory, kRose, 0.75f));
    return p;
  }
  struct Setting {
    std::vector<std::string> lines;
    float lineH, tall;
    Colour colour;
  };
  const Setting settings[2] = {
      {{"INKWELL", "CIRCUIT"}, 48, 1.8f, Mix(kIvory, kCyan, 0.35f)},
      {{"QUILLON"}, 120, 2.6f, Mix(kIvory, kViolet * 2.0f, 0.3f)},
  };
  const Setting& st = settings[row == 1 ? 0 : 1];
  // The widened line may reach 215 pixels either side of the middle: the
  // set line's half width u is then k ln(1 + 215 / k).
  const float track = 0.10f, k = 30.0f * 2.86f;
  const float halfU = k * std::log(1 + 215.0f / k);
  float size = 1e9f;
  for (const std::string& line : st.lines)
    size = std::min(size, FitSize(weight, line, 2 * halfU, st.lineH, stretch * st.tall, track));
  std::vector<TextMask> masks;
  int total = 0;
  for (const std::string& line : st.lines) {
    masks.push_back(SetLine(weight, line, size, stretch * st.tall, track * size));
    total += masks.back().height;
  }
  // The lines are three vertical steps apart so that their streaks do not meet.
  const int gap = static_cast<int>(0.3f * st.lineH);
  total += gap * (static_cast<int>(masks.size()) - 1);
  // Eleven echoes of weight 5.5 in all sum to the colour at its brightest.
  const float brightest = std::max({st.colour.r, st.colour.g, st.colour.b});
  const Colour colour = st.colour * (1.0f / (5.5f * brightest));
  int top = (h - total) / 2;
  for (const TextMask& m : masks) {
    DrawWidenedLine(p.image, m, top, colour);
    top += m.height + gap;
  }
  return p;
}

// ---------------------------------------------------------------------------
// Captions: RGBA, premultiplied colour, alpha = coverage. Set in League
// Spartan, a geometric display face, widely tracked; each letter has a pale
// core, a thin outline and a wide glow in the accent of its segment's
// palette, so that the word stands out from whatever the segment draws
// behind it and still reads where the glow is lost.

namespace {
struct CaptionTriple {
  const char* names[3];
  const char* words[3];
  Colour core;
  Colour accent;
};
const CaptionTriple kCaptions[] = {
    {{"follow1.tga", "follow2.tga", "follow3.tga"}, {"FOLLOW", "THE", "LIGHT"}, kIvory, kAmber},
    {{"fo1.tga", "fo2.tga", "fo3.tga"}, {"DRIFT", "INTO", "DREAMS"}, Mix(kIvory, kRose, 0.2f), kViolet * 1.5f},
    {{"fo21.tga", "fo22.tga", "fo23.tga"}, {"THROUGH", "THE", "GLASS"}, Mix(kIvory, kCyan, 0.3f), kCyan},
    {{"party.tga", "code.tga", "feel.tga"}, {"PARTY", "CODE", "FEEL"}, kIvory, kRose},
};
}  // namespace

std::vector<std::string> CaptionNames() {
  std::vector<std::string> names;
  for (const CaptionTriple& t : kCaptions)
    for (const char* n : t.names) names.emplace_back(n);
  return names;
}

Picture MakeCaption(const std::string& name) {
  Picture p;
  p.name = name;
  p.channels = 4;
  // Sides that are powers of two: the texture loader uploads the picture as
  // it stands instead of rescaling it first.
  const int w = 512, h = 256;
  p.image = Image(w, h);
  for (const CaptionTriple& t : kCaptions)
    for (int i = 0; i < 3; ++i) {
      if (name != t.names[i]) continue;
      // Half extents 0.32 x 0.12: 256 x 72 pixels of the frame.
      const float stretch = ScreenStretch(w, h, 256.0f, 72.0f);
      const float track = 0.12f;
      // One size for the whole triple, so its rows read as one phrase; room
      // left around the longest word for the glow.
      float size = 1e9f;
      for (const char* word : t.words)
        size = std::min(size, FitSize(Weight::Display, word, 420.0f, 0.5f * h, stretch, track));
      const TextMask mask = SetLine(Weight::Display, t.words[i], size, stretch, track * size);
      const TextMask edge = Blur(mask, 2);
      const TextMask glow = Blur(mask, 9);
      int left, top;
      Centre(mask, w, h, left, top);
      const int edgeGrow = 6, glowGrow = 27;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const float core = mask.At(x - left, y - top);
          const float outline = Clamp01(3.0f * edge.At(x - left + edgeGrow, y - top + edgeGrow)) * (1.0f - core);
          const float halo = 0.55f * Clamp01(1.6f * glow.At(x - left + glowGrow, y - top + glowGrow));
          const float a = Clamp01(core + outline + halo * (1.0f - core - outline));
          if (a <= 0.0f) continue;
          const Colour c = t.core * core + t.accent * (outline + halo * (1.0f - core - outline));
          p.image.Set(x, y, c, a);
        }
    }
  return p;
}

// ---------------------------------------------------------------------------

Picture MakeParticleSprite() {
  Picture p;
  p.name = "hund.tga";
  p.channels = 3;
  const int n = 64;
  p.image = Image(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float dx = (x + 0.5f - n / 2.0f) / (n / 2.0f), dy = (y + 0.5f - n / 2.0f) / (n / 2.0f);
      float r = std::sqrt(dx * dx + dy * dy);
      float core = std::exp(-(r * r) / (0.18f * 0.18f));
      float halo = std::exp(-(r * r) / (0.48f * 0.48f));
      float fade = 1.0f - SmoothStep(0.7f, 1.0f, r);
      Colour c = (kIvory * (0.85f * core) + kAmber * (0.42f * halo)) * fade;
      p.image.Set(x, y, c);
    }
  return p;
}

// ---------------------------------------------------------------------------
// The end scroller: the finale shows a band 0.4 of the picture's height on a
// 288 x 512 pixel strip; the text keeps to t 0.03 ... 0.54 so the band starts
// and ends on black.

namespace {
struct ScrollLine {
  Weight weight;
  float size;
  Colour colour;
  const char* text;
  float gapBefore;
};
}  // namespace

Picture MakeEndScroll() {
  Picture p;
  p.name = "endscroll.tga";
  p.channels = 3;
  const int w = 256, h = 1024;
  p.image = Image(w, h);
  float stretch = ScreenStretch(w, h, 288.0f, 512.0f / 0.4f);
  const Colour head = Mix(kCyan, kIvory, 0.25f), body = kIvory * 0.92f, warm = Mix(kRose, kIvory, 0.3f);
  const ScrollLine lines[] = {
      {Weight::Bold, 40, Mix(kCyan, kIvory, 0.5f), "QUILLON", 0},
      {Weight::Regular, 15, body, "a real-time show", 4},
      {Weight::Regular, 15, body, "by Inkwell Circuit", 0},
      {Weight::Bold, 12, head, "C O D E", 26},
      {Weight::Regular, 16, body, "the Quillon crew", 2},
      {Weight::Bold, 12, head, "P I C T U R E S", 16},
      {Weight::Regular, 16, body, "grown from noise", 2},
      {Weight::Regular, 16, body, "titles: League Spartan", 0},
      {Weight::Regular, 16, body, "credits: DejaVu Sans", 0},
      {Weight::Bold, 12, head, "M U S I C", 16},
      {Weight::Regular, 16, body, "synthesised in C++", 2},
      {Weight::Regular, 16, body, "encoded with LAME", 0},
      {Weight::Bold, 12, warm, "G R E E T I N G S", 26},
      {Weight::Regular, 16, body, "SDL   Mesa   FreeType", 2},
      {Weight::Regular, 16, body, "LAME   mpg123   stb", 0},
      {Weight::Regular, 16, body, "GoogleTest   Debian", 0},
      {Weight::Regular, 16, body, "and everyone who", 8},
      {Weight::Regular, 16, body, "still draws in", 0},
      {Weight::Regular, 16, body, "immediate mode", 0},
      {Weight::Light, 22, Mix(kAmber, kIvory, 0.4f), "thank you", 30},
      {Weight::Light, 22, Mix(kAmber, kIvory, 0.4f), "for watching", 0},
  };
  // Lay the lines out on baselines, then scale the whole block into its band.
  const float top = kScrollTextTop * h, bottom = kScrollTextBottom * h;
  float scale = 1.0f;
  for (int pass = 0; pass < 2; ++pass) {
    float y = top;
    bool first = true;
    for (const ScrollLine& l : lines) {
      float size = l.size * scale;
      float pitch = size * 1.32f * stretch;
      y += (first ? size * stretch * 0.95f : pitch) + l.gapBefore * scale;
      first = false;
      if (pass == 1) {
        TextMask mask = SetLine(l.weight, l.text, size, stretch);
        int left = (w - mask.width) / 2;
        int baselineRow = static_cast<int>(std::lround(y));
        if (l.weight == Weight::Bold && l.size >= 30) {
          TextMask soft = Blur(mask, 4);
          AddMask(p.image, soft, left - 12, baselineRow - mask.baseline - 12, kCyan * 0.5f, 1.0f);
        }
        AddMask(p.image, mask, left, baselineRow - mask.baseline, l.colour, 1.0f);
      }
    }
    float used = y + 8 - top;  // the last line's descenders
    if (pass == 0) scale = std::min(1.0f, (bottom - top) / used);
  }
  return p;
}

// ---------------------------------------------------------------------------
// Dream layers: eight translucent copies turn and scale over each other, so
// the picture is hard-edged shapes on black with clear space between them:
// rings, ring sets and discs in the night's lamp colours, one to a cell of a
// 4 x 4 lattice and never touching the cell's edge, so it repeats seamlessly.
// Where the turning copies cross, the rings beat against each other in moire.

Picture MakeDreams() {
  Picture p;
  p.name = "dreams07.tga";
  p.channels = 3;
  const int n = 256, cells = 4;
  const float cell = static_cast<float>(n) / cells;
  p.image = Image(n, n);
  const Colour colours[] = {kRose, kCyan, kAmber, kViolet * 1.6f};
  // Coverage of the band r0 .. r1 at distance r, with a one-pixel edge.
  auto band = [](float r, float r0, float r1) { return Clamp01(r - r0 + 0.5f) * Clamp01(r1 - r + 0.5f); };
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const int cx = x / static_cast<int>(cell), cy = y / static_cast<int>(cell);
      const float dx = x + 0.5f - (cx + 0.5f) * cell, dy = y + 0.5f - (cy + 0.5f) * cell;
      const float r = std::sqrt(dx * dx + dy * dy);
      const int kind = static_cast<int>(Hash(cx, cy, 7) * 3.0f);
      const float outer = cell * (0.30f + 0.12f * Hash(cx, cy, 13));
      float cover = 0;
      if (kind == 0) {
        cover = band(r, 0.55f * outer, outer);  // a broad ring
      } else if (kind == 1) {
        for (int k = 0; k < 4; ++k) cover += band(r, outer * (0.25f + 0.25f * k) - 2.5f, outer * (0.25f + 0.25f * k));
      } else {
        cover = band(r, 0.0f, 0.6f * outer) + band(r, 0.85f * outer, outer);  // a disc in a thin ring
      }
      const Colour c = colours[(cx + 3 * cy + static_cast<int>(Hash(cx, cy, 29) * 4.0f)) & 3];
      p.image.Set(x, y, c * Clamp01(cover));
    }
  return p;
}

// ---------------------------------------------------------------------------
// Lens picture: glossy balls on a chequered ground, lit from the upper left,
// eight to a side. The lens grid shows about 0.4 of the picture across the
// screen, so each moving lens pulls a few round balls out into petals. A
// busier picture (a drafting grid, or sixteen balls a side) bends more
// visibly still, but buries the segment's half-strength captions, which are
// added over it and cannot darken what lies behind them.

Picture MakeBallEnv() {
  Picture p;
  p.name = "ballenv.tga";
  p.channels = 3;
  const int n = 512, cells = 8;
  const float cell = static_cast<float>(n) / cells;
  p.image = Image(n, n);
  const Colour ballColours[] = {kCyan, kRose, kAmber, kViolet * 1.4f};
  float ll = std::sqrt(kLightX * kLightX + kLightY * kLightY + kLightZ * kLightZ);
  float lx = kLightX / ll, ly = kLightY / ll, lz = kLightZ / ll;
  // Half vector between the light and the viewer, for the highlight.
  float hx = lx, hy = ly, hz = lz + 1;
  float hl = std::sqrt(hx * hx + hy * hy + hz * hz);
  hx /= hl, hy /= hl, hz /= hl;
  auto shade = [&](float nx, float ny, float nz, Colour base, float shine) {
    float diffuse = std::max(0.0f, nx * lx + ny * ly + nz * lz);
    float spec = std::pow(std::max(0.0f, nx * hx + ny * hy + nz * hz), 60.0f);
    float rim = std::pow(1 - nz, 3.0f);
    return base * (0.12f + 0.88f * diffuse) + kIvory * (shine * spec) + kCyan * (0.25f * rim);
  };
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float fx = (x + 0.5f) / cell, fy = (y + 0.5f) / cell;
      int cx = static_cast<int>(std::floor(fx)), cy = static_cast<int>(std::floor(fy));
      float lxp = fx - cx - 0.5f, lyp = fy - cy - 0.5f;  // -0.5 .. 0.5 within the cell
      bool dark = ((cx + cy) & 1) != 0;
      Colour c = dark ? kNight : Mix(kNight, kIndigo, 0.75f);
      // Soft shadow down and to the right of each ball, away from the light.
      float sx = lxp - 0.07f, sy = lyp - 0.08f;
      float sr = std::sqrt(sx * sx + sy * sy) / 0.40f;
      c = c * (1 - 0.65f * (1 - SmoothStep(0.7f, 1.15f, sr)));
      // Small ivory beads where four cells meet (at the picture's edges too).
      float bx = WrapDelta(fx / cells) * cells, by = WrapDelta(fy / cells) * cells;
      bx -= std::round(bx), by -= std::round(by);
      float br = std::sqrt(bx * bx + by * by) / 0.085f;
      if (br < 1.0f) {
        float nz = std::sqrt(std::max(0.0f, 1 - br * br));
        Colour bead = shade(bx / 0.085f, -by / 0.085f, nz, kIvory * 0.8f, 0.9f);
        c = Mix(c, bead, 1 - SmoothStep(0.85f, 1.0f, br));
      }
      float r = std::sqrt(lxp * lxp + lyp * lyp) / 0.36f;
      if (r < 1.0f) {
        float nx = lxp / 0.36f, ny = -lyp / 0.36f;
        float nz = std::sqrt(std::max(0.0f, 1 - nx * nx - ny * ny));
        Colour base = ballColours[(cx + 2 * cy + (cy >> 1)) & 3];
        Colour ball = shade(nx, ny, nz, base, 1.0f);
        c = Mix(c, ball, 1 - SmoothStep(0.93f, 1.0f, r));
      }
      p.image.Set(x, y, c);
    }
  return p;
}

// ---------------------------------------------------------------------------
// Environment map: the finale shows the mesh at twice its size, so the
// reflections are broad and bold: a few wide bands of sky, a white-hot
// horizon and a warm floor, and two large soft boxes. The mesh's normals run
// -1 ... 1, so the tile shows twice across the mesh.

Picture MakeEnvironmentMap() {
  Picture p;
  p.name = "env2.tga";
  p.channels = 3;
  const int n = 256;
  p.image = Image(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const float s = (x + 0.5f) / n, t = (y + 0.5f) / n;
      Colour c;
      if (t < 0.5f) {
        const float k = t / 0.5f;  // 0 at the top of the sky, 1 at the horizon
        c = Mix(kNight, kIndigo * 1.5f, SmoothStep(0.0f, 0.3f, k));
        c = Mix(c, kCyan, SmoothStep(0.45f, 0.6f, k));
        c = Mix(c, kIvory, SmoothStep(0.86f, 0.95f, k));
      } else {
        const float k = (t - 0.5f) / 0.5f;  // 0 at the horizon, 1 at the bottom
        c = Mix(kAmber, kRose * 0.8f, SmoothStep(0.05f, 0.2f, k));
        c = Mix(c, kViolet * 0.5f, SmoothStep(0.4f, 0.55f, k));
        c = Mix(c, kNight, SmoothStep(0.8f, 1.0f, k));
      }
      // Two large soft boxes in the sky, the key light upper left.
      auto box = [&](float lx, float ly, float rx, float ry) {
        const float dx = WrapDelta(s - lx) / rx, dy = WrapDelta(t - ly) / ry;
        return Clamp01(1.5f - 1.5f * std::max(std::fabs(dx), std::fabs(dy)));
      };
      c = Mix(c, kIvory, std::max(box(0.25f, 0.22f, 0.16f, 0.08f), box(0.75f, 0.3f, 0.08f, 0.12f)));
      p.image.Set(x, y, c);
    }
  return p;
}

// ---------------------------------------------------------------------------
// Video frames: a tunnel of light that flows one period of its pattern
// through the 100 frames, so frame 99 runs on into frame 0.

Picture MakeVideoFrame(int index) {
  Picture p;
  p.name = std::to_string(index) + ".jpg";
  p.channels = 3;
  const int n = 256;
  p.image = Image(n, n);
  const float phase = static_cast<float>(index) / kVideoFrameCount;
  const float turn = 2 * kPi * phase;
  // The tunnel's end wanders on a small circle once per loop.
  float ox = 0.18f * std::cos(turn), oy = 0.12f * std::sin(turn);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float dx = (x + 0.5f) / n * 2 - 1, dy = (y + 0.5f) / n * 2 - 1;
      float ex = dx - ox * (1 - std::min(1.0f, std::sqrt(dx * dx + dy * dy)));
      float ey = dy - oy * (1 - std::min(1.0f, std::sqrt(dx * dx + dy * dy)));
      float r = std::sqrt(ex * ex + ey * ey) + 1e-4f;
      float a = std::atan2(ey, ex) / (2 * kPi);
      float depth = 0.32f / r;
      float v = depth + 2 * phase;     // two rings pass per loop
      float u = a * 6 + phase + 0.15f * depth;  // one sixth of a turn per loop
      float rings = 0.5f + 0.5f * std::cos(2 * kPi * v * 2);
      float spokes = 0.5f + 0.5f * std::cos(2 * kPi * u);
      float tile = std::pow(rings, 3.0f) * (0.35f + 0.65f * std::pow(spokes, 2.0f));
      float pulse = std::pow(0.5f + 0.5f * std::cos(2 * kPi * (v - 0.25f)), 12.0f);
      float fog = SmoothStep(0.02f, 0.7f, r);
      Colour c = Mix(kIndigo * 0.6f, kCyan, tile) * fog;
      c = c + kRose * (0.9f * pulse * fog * spokes);
      c = c + kAmber * (0.5f * pulse * (1 - spokes) * fog);
      float glow = std::exp(-r * r / 0.02f);
      c = c + kIvory * (0.8f * glow);
      float vignette = 1 - 0.45f * SmoothStep(0.7f, 1.5f, std::sqrt(dx * dx + dy * dy));
      p.image.Set(x, y, c * vignette + kNight);
    }
  // A ticker along the bottom that moves on by exactly one repeat of its text
  // over the loop.
  static const TextMask ticker = SetLine(Weight::Bold, "PARTY  \xC2\xB7  CODE  \xC2\xB7  FEEL  \xC2\xB7  ", 17.0f, 1.0f, 1.5f);
  const int period = static_cast<int>(std::lround(ticker.advance + 1.5f));
  const float offset = period * phase;
  const int bandTop = 216, bandBottom = 244;
  const int textTop = bandTop + (bandBottom - bandTop - ticker.height) / 2;
  for (int y = bandTop; y < bandBottom; ++y)
    for (int x = 0; x < n; ++x) {
      float* px = p.image.At(x, y);
      float edge = (y == bandTop || y == bandBottom - 1) ? 1.0f : 0.0f;
      for (int c = 0; c < 3; ++c) px[c] *= 0.35f;
      Colour line = kCyan * (0.6f * edge);
      px[0] += line.r, px[1] += line.g, px[2] += line.b;
      // Position within the repeating text, sampled between two columns.
      float u = std::fmod(x + offset, static_cast<float>(period));
      int u0 = static_cast<int>(std::floor(u));
      float f = u - u0;
      float a = ticker.At(u0, y - textTop) * (1 - f) + ticker.At((u0 + 1) % period, y - textTop) * f;
      if (a > 0) Over(p.image, x, y, Mix(kIvory, kAmber, 0.25f), a);
    }
  return p;
}

// ---------------------------------------------------------------------------
// Material textures.

std::vector<std::string> MaterialTextureNames() {
  return {"facade.tga", "ground.tga", "glow.tga", "neon.tga", "grate.tga", "stage.tga", "bezel.tga"};
}

namespace {

Picture MakeFacade() {
  // 8 window columns and 16 floors per tile; the first column is a pier of
  // bare wall that the roofs take their colour from.
  Picture p{"facade.tga", Image(128, 256), 3};
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 128; ++x) {
      int col = x / 16, floor = y / 16;
      int wx = x % 16, wy = y % 16;
      float grain = TileFbm(x / 16.0f, y / 16.0f, 8, 3, 5);
      Colour wall = Mix(kNight, kIndigo, 0.55f + 0.3f * grain);
      Colour c = wall;
      bool pane = col > 0 && wx >= 3 && wx <= 13 && wy >= 4 && wy <= 13;
      if (pane) {
        float lit = Hash(col, floor, 17);
        float kind = Hash(col, floor, 29);
        float level = 0.7f + 0.3f * Hash(col, floor, 41);
        // A soft gradient inside each pane: brighter towards its top.
        float inside = 1.0f - 0.35f * (wy - 4) / 9.0f;
        if (lit < 0.42f) {
          Colour lamp = kind < 0.6f ? kAmber : (kind < 0.85f ? kIvory * 0.9f : kCyan);
          c = lamp * (level * inside);
        } else {
          c = Mix(kIndigo * 0.5f, kViolet * 0.4f, 0.5f * (1 - inside)) + kCyan * 0.04f;
        }
      }
      if (wy == 0 || wy == 1) c = c * 0.6f;  // the slab between floors
      p.image.Set(x, y, c);
    }
  return p;
}

Picture MakeGround() {
  Picture p{"ground.tga", Image(256, 256), 3};
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      float s = (x + 0.5f) / 256, t = (y + 0.5f) / 256;
      float grain = TileFbm(s * 8, t * 8, 8, 4, 61);
      Colour c = Mix(kNight * 0.7f, kIndigo * 0.55f, grain);
      auto line = [](float d, float width) { return std::exp(-(d * d) / (width * width)); };
      float major = std::max(line(WrapDelta(s) * 256, 1.6f), line(WrapDelta(t) * 256, 1.6f));
      float minor = std::max(line(WrapDelta(s * 4) * 64, 0.7f), line(WrapDelta(t * 4) * 64, 0.7f));
      c = c + kCyan * (0.75f * major) + kViolet * (0.35f * minor);
      p.image.Set(x, y, c);
    }
  return p;
}

Picture MakeGlow() {
  Picture p{"glow.tga", Image(64, 64), 3};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      float dx = (x + 0.5f - 32) / 32, dy = (y + 0.5f - 32) / 32;
      float r = std::sqrt(dx * dx + dy * dy);
      float k = (std::exp(-r * r / 0.05f) * 0.8f + std::exp(-r * r / 0.25f) * 0.4f) * (1 - SmoothStep(0.75f, 1.0f, r));
      p.image.Set(x, y, kIvory * k);
    }
  return p;
}

Picture MakeNeon() {
  // Four signs stacked, each a quarter of the picture's height.
  Picture p{"neon.tga", Image(256, 256), 3};
  const char* words[] = {"QUILLON", "NIGHT", "OPEN", "DREAM"};
  const Colour colours[] = {kCyan, kRose, kAmber, kViolet * 1.5f};
  for (int i = 0; i < 4; ++i) {
    float size = FitSize(Weight::Bold, words[i], 220, 40, 1.0f, 0.08f);
    TextMask mask = SetLine(Weight::Bold, words[i], size, 1.0f, 0.08f * size);
    TextMask soft = Blur(mask, 4);
    int left = (256 - mask.width) / 2, top = i * 64 + (64 - mask.height) / 2;
    AddMask(p.image, soft, left - 12, top - 12, colours[i], 1.1f);
    AddMask(p.image, mask, left, top, Mix(colours[i], kIvory, 0.55f), 1.0f);
  }
  return p;
}

Picture MakeGrate() {
  // A truss panel: frame, cross braces and a fine mesh; open where alpha is 0.
  Picture p{"grate.tga", Image(128, 128), 4};
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x) {
      float s = (x + 0.5f) / 128, t = (y + 0.5f) / 128;
      auto bar = [](float d, float half) { return 1 - SmoothStep(half - 0.006f, half + 0.006f, std::fabs(d)); };
      float frame = std::max(bar(WrapDelta(s), 0.035f), bar(WrapDelta(t), 0.035f));
      float diag = std::max(bar((s - t) * 0.7071f, 0.02f), bar((s + t - 1) * 0.7071f, 0.02f));
      float mesh = std::max(bar(WrapDelta(s * 8), 0.06f), bar(WrapDelta(t * 8), 0.06f)) * 0.8f;
      float a = std::max(std::max(frame, diag), mesh);
      // Lit edge on the upper left of every bar, as by the key light.
      float edge = 0.55f + 0.45f * TileNoise(s * 16, t * 16, 16, 3);
      Colour metal = Mix(kViolet * 0.55f, kIvory * 0.75f, 0.35f * edge + 0.3f * frame);
      p.image.Set(x, y, metal * a, a > 0.02f ? a : 0.0f);
    }
  return p;
}

Picture MakeStage() {
  // A polished floor of tiles with rings of light around the screen.
  Picture p{"stage.tga", Image(256, 256), 3};
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      float s = (x + 0.5f) / 256, t = (y + 0.5f) / 256;
      float grain = TileFbm(s * 4, t * 4, 4, 4, 83);
      float gx = std::fabs(WrapDelta(s * 4)), gy = std::fabs(WrapDelta(t * 4));
      float seam = std::max(1 - SmoothStep(0.0f, 0.02f, 0.5f - gx), 1 - SmoothStep(0.0f, 0.02f, 0.5f - gy));
      Colour c = Mix(kNight, kViolet * 0.45f, 0.35f + 0.5f * grain);
      c = c * (1 - 0.5f * seam) + kRose * (0.25f * seam);
      p.image.Set(x, y, c);
    }
  return p;
}

Picture MakeBezel() {
  Picture p{"bezel.tga", Image(64, 64), 3};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      float brushed = TileNoise(x / 2.0f, y / 16.0f, 32, 7);
      Colour c = Mix(kIndigo * 0.5f, kIvory * 0.45f, 0.3f + 0.4f * brushed);
      float edge = std::exp(-std::pow((y - 4) / 1.5f, 2.0f)) + std::exp(-std::pow((x - 4) / 1.5f, 2.0f));
      c = c + kCyan * (0.6f * edge);
      p.image.Set(x, y, c);
    }
  return p;
}

}  // namespace

Picture MakeMaterialTexture(const std::string& name) {
  if (name == "facade.tga") return MakeFacade();
  if (name == "ground.tga") return MakeGround();
  if (name == "glow.tga") return MakeGlow();
  if (name == "neon.tga") return MakeNeon();
  if (name == "grate.tga") return MakeGrate();
  if (name == "stage.tga") return MakeStage();
  return MakeBezel();
}

}  // namespace assetgen

#include "scenes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "hidden_faces.h"
#include "raster.h"

namespace assetgen {
namespace {

using scene::FaceIndices;
using scene::SceneMaterial;
using scene::SceneObject;
using scene::TexCoord;
using scene::Vec3f;
using scene::VectorKey;
using namespace palette;

// A small counter-based generator; each scene draws its own fixed sequence.
// Each draw is a statement of its own (or an initialiser of its own): the
// order in which a compiler evaluates the operands of one expression is its
// own choice, and the data set must be the same bytes whichever compiler
// built the generator.
struct Dice {
  std::uint32_t seed;
  std::uint32_t count = 0;
  float Next() { return static_cast<float>(HashInt(count++, 0x51ed27u, seed) >> 8) * (1.0f / 16777216.0f); }
  float Range(float lo, float hi) { return lo + (hi - lo) * Next(); }
};

// The scenes' one light: high, from the left and a little from behind the
// camera, which flies along +y (so +x is to the right on screen).
Vec3f SceneLight() {
  float x = -0.5f, y = -0.4f, z = 0.77f;
  float l = std::sqrt(x * x + y * y + z * z);
  return {x / l, y / l, z / l};
}

float Shade(Vec3f n, float ambient) {
  Vec3f l = SceneLight();
  float d = n.X * l.X + n.Y * l.Y + n.Z * l.Z;
  return ambient + (1 - ambient) * std::max(0.0f, d);
}

// Builds one object's lists; every face carries its own corners'
// texture coordinates and colours.
struct Builder {
  SceneObject o;
  explicit Builder(std::string name, int material, bool textured, bool coloured) {
    o.Name = std::move(name);
    o.MaterialIndex = material;
    o.HasTexcoords = textured ? 1 : 0;
    o.HasColours = coloured ? 1 : 0;
  }
  int Vertex(float x, float y, float z) {
    o.Vertex.push_back({x, y, z});
    return static_cast<int>(o.Vertex.size()) - 1;
  }
  int Tex(float u, float v) {
    o.TEXCOORD.push_back({u, v});
    return static_cast<int>(o.TEXCOORD.size()) - 1;
  }
  int Colour3(Colour c) {
    o.CVertex.push_back({c.r, c.g, c.b});
    return static_cast<int>(o.CVertex.size()) - 1;
  }
  // A quad a-b-c-d (in order round its edge) as two triangles with the
  // same winding, each corner with its texture coordinate and colour.
  void Quad(const int v[4], const TexCoord t[4], const Colour c[4]) {
    int ti[4] = {0, 0, 0, 0}, ci[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
      if (o.HasTexcoords) ti[k] = Tex(t[k].U, t[k].V);
      if (o.HasColours) ci[k] = Colour3(c[k]);
    }
    const int tri[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (const auto& f : tri) {
      o.FACE.push_back({v[f[0]], v[f[1]], v[f[2]]});
      if (o.HasTexcoords) o.TFACE.push_back({ti[f[0]], ti[f[1]], ti[f[2]]});
      if (o.HasColours) o.CFACE.push_back({ci[f[0]], ci[f[1]], ci[f[2]]});
    }
  }
  void Triangle(const int v[3], const TexCoord t[3], const Colour c[3]) {
    int ti[3] = {0, 0, 0}, ci[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
      if (o.HasTexcoords) ti[k] = Tex(t[k].U, t[k].V);
      if (o.HasColours) ci[k] = Colour3(c[k]);
    }
    o.FACE.push_back({v[0], v[1], v[2]});
    if (o.HasTexcoords) o.TFACE.push_back({ti[0], ti[1], ti[2]});
    if (o.HasColours) o.CFACE.push_back({ci[0], ci[1], ci[2]});
  }
  SceneObject Done() {
    o.VertexCount = static_cast<int>(o.Vertex.size());
    o.TexcoordCount = static_cast<int>(o.TEXCOORD.size());
    o.CVertexCount = static_cast<int>(o.CVertex.size());
    o.FaceCount = static_cast<int>(o.FACE.size());
    o.PositionCount = static_cast<int>(o.Position.size());
    o.RotateCount = static_cast<int>(o.Rotate.size());
    o.ScaleCount = static_cast<int>(o.Scale.size());
    return std::move(o);
  }
};

// A box of x0..x1, y0..y1, z0..z1 with its four sides and its top (and its
// floor when asked); texture coordinates in world units / (tileU, tileV)
// on the sides, the roof at one texel (roofU, roofV). Colours: base shaded
// by the light, darker towards the bottom by bottomDim.
// The eye positions a scene's camera passes through. A face of a box is
// seen only from the outer side of its plane; a face whose plane no eye ever
// stands in front of stays hidden behind the box's other faces, so it is
// left out (the renderer sends every face it is given, every frame).
std::vector<Vec3f> Viewpoints;

bool EverSeen(Vec3f point, Vec3f normal) {
  if (Viewpoints.empty()) return true;
  for (const Vec3f& e : Viewpoints)
    // The margin covers the camera spline's small departures from the curve it samples.
    if ((e.X - point.X) * normal.X + (e.Y - point.Y) * normal.Y + (e.Z - point.Z) * normal.Z > -60.0f) return true;
  return false;
}

void AddBox(Builder& b, float x0, float y0, float z0, float x1, float y1, float z1, Colour base, float tileU,
            float tileV, float roofU, float roofV, float bottomDim, bool floor, float ambient) {
  int v[8];
  for (int i = 0; i < 8; ++i) v[i] = b.Vertex(i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0);
  struct Side {
    int corners[4];  // bottom-left, bottom-right, top-right, top-left as seen from outside
    Vec3f normal;
    bool alongX;
  };
  const Side sides[4] = {
      {{0, 1, 5, 4}, {0, -1, 0}, true},   // front, facing -y
      {{1, 3, 7, 5}, {1, 0, 0}, false},   // right, facing +x
      {{3, 2, 6, 7}, {0, 1, 0}, true},    // back, facing +y
      {{2, 0, 4, 6}, {-1, 0, 0}, false},  // left, facing -x
  };
  for (const Side& s : sides) {
    int q[4];
    TexCoord t[4];
    Colour c[4];
    if (!EverSeen(b.o.Vertex[v[s.corners[0]]], s.normal)) continue;
    float k = Shade(s.normal, ambient);
    for (int i = 0; i < 4; ++i) {
      q[i] = v[s.corners[i]];
      const Vec3f& p = b.o.Vertex[q[i]];
      float along = s.alongX ? p.X : p.Y;
      t[i] = {along / tileU, p.Z / tileV};
      bool bottom = i < 2;
      c[i] = base * (k * (bottom ? bottomDim : 1.0f));
    }
    b.Quad(q, t, c);
  }
  if (EverSeen(b.o.Vertex[v[4]], {0, 0, 1})) {
    int q[4] = {v[4], v[5], v[7], v[6]};
    TexCoord t[4] = {{roofU, roofV}, {roofU, roofV}, {roofU, roofV}, {roofU, roofV}};
    Colour c = base * Shade({0, 0, 1}, ambient);
    Colour cs[4] = {c, c, c, c};
    b.Quad(q, t, cs);
  }
  if (floor && EverSeen(b.o.Vertex[v[0]], {0, 0, -1})) {
    int q[4] = {v[0], v[2], v[3], v[1]};
    TexCoord t[4] = {{roofU, roofV}, {roofU, roofV}, {roofU, roofV}, {roofU, roofV}};
    Colour c = base * (ambient * bottomDim);
    Colour cs[4] = {c, c, c, c};
    b.Quad(q, t, cs);
  }
}

// A glowing card in the xz plane (facing the camera that flies along +y),
// centred on (x, y, z), with the whole picture on it.
void AddCard(Builder& b, float x, float y, float z, float halfW, float halfH, Colour c, float u0 = 0,
             float v0 = 0, float u1 = 1, float v1 = 1) {
  int q[4] = {b.Vertex(x - halfW, y, z - halfH), b.Vertex(x + halfW, y, z - halfH), b.Vertex(x + halfW, y, z + halfH),
              b.Vertex(x - halfW, y, z + halfH)};
  TexCoord t[4] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};
  Colour cs[4] = {c, c, c, c};
  b.Quad(q, t, cs);
}

SceneMaterial Material(const char* name, const char* file, float blend, float uScale = 1, float vScale = 1) {
  SceneMaterial m;
  m.Name = name;
  m.TextureFile = file;
  m.BlendAmount = blend;
  m.UScale = uScale;
  m.VScale = vScale;
  m.Textured = 1;
  return m;
}

void FinishScene(scene::Scene& s) {
  s.MaterialCount = static_cast<int>(s.Materials.size());
  s.ObjectCount = static_cast<int>(s.Objects.size());
  s.CamPositionCount = static_cast<int>(s.CamPosition.size());
  s.CamTargetCount = static_cast<int>(s.CamTarget.size());
}

float Smooth(float e0, float e1, float x) { return SmoothStep(e0, e1, x); }

// Flight materials.
enum FlightMaterial { kFacade, kGround, kGlow, kNeon, kGrate, kStream };

// The city: towers on both sides of an avenue along y, |x| < kAvenue free.
constexpr float kAvenue = 460.0f;
// The city runs on well past the end of the flight, so that the closing climb
// looks out over roofs rather than into the dark.
constexpr float kCityY0 = -12600.0f, kCityY1 = 5200.0f;

// How far a point of the avenue lies from the camera's path, for keeping
// the path clear of lights that would fill the screen.
float PathClearance(float x, float y, float z) {
  float t = (y + 11800.0f) / 147.7f;
  Vec3f e = FlightEye(std::clamp(t, 0.0f, 88.0f));
  float dx = x - e.X, dz = z - e.Z, dy = y - e.Y;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

Vec3f FlightEye(float t) {
  float y = -11800.0f + 147.7f * t;
  float x = -60.0f + 90.0f * std::sin(t * 0.11f);
  float dive = 1.0f - Smooth(0.0f, 18.0f, t);  // from high over the rooftops down into the avenue
  float climb = Smooth(62.0f, 88.0f, t);       // and up again over the city at the end
  float z = 250.0f + 110.0f * std::sin(t * 0.19f) + 1250.0f * dive + 1500.0f * climb;
  return {x, y, z};
}

scene::Scene MakeFlightScene(int items, bool keepHiddenFaces) {
  scene::Scene s;
  s.Name = "Night city flight";
  s.FieldOfView = 1.0f;  // radians, about 57 degrees
  s.NearDistance = 0.0f;  // 10 units once loaded
  s.FarDistance = 0.02f;  // 20,000 units: the whole city stays inside
  s.Materials = {Material("facade", "facade.tga", 0.0f), Material("ground", "ground.tga", 0.0f),
                 Material("glow", "glow.tga", 0.9f),     Material("neon signs", "neon.tga", 1.0f),
                 Material("grate", "grate.tga", 0.0f),   Material("stream", "glow.tga", 0.7f)};
  const int objectBudget = items - static_cast<int>(s.Materials.size());
  Dice dice{0xC17Eu};
  Viewpoints.clear();
  for (float t = 0; t <= 88.0f; t += 0.25f) Viewpoints.push_back(FlightEye(t));

  // 0: the ground, in tiles so that no polygon is huge.
  {
    Builder b("ground", kGround, true, true);
    for (float y = kCityY0 - 1000; y < kCityY1 + 1000; y += 2000)
      for (float x = -4000; x < 4000; x += 2000) {
        int q[4] = {b.Vertex(x, y, 0), b.Vertex(x + 2000, y, 0), b.Vertex(x + 2000, y + 2000, 0), b.Vertex(x, y + 2000, 0)};
        TexCoord t[4] = {{x / 600, y / 600}, {(x + 2000) / 600, y / 600}, {(x + 2000) / 600, (y + 2000) / 600},
                         {x / 600, (y + 2000) / 600}};
        Colour c[4];
        for (int k = 0; k < 4; ++k) {
          float ax = std::fabs(b.o.Vertex[q[k]].X);
          c[k] = Mix(kIvory, kViolet, 0.3f) * (1.0f - 0.85f * Smooth(600, 4000, ax));
        }
        b.Quad(q, t, c);
      }
    s.Objects.push_back(b.Done());
  }
  // 1: the particle emitter, hidden by the show; its middle vertices sit on
  // the stream's line at the avenue's right side.
  {
    Builder b("particle emitter", kStream, true, false);
    int v[6];
    for (int i = 0; i < 6; ++i) v[i] = b.Vertex(kStreamX, -10000.0f + 2000.0f * i, kStreamZ + (i & 1 ? 4.0f : 0.0f));
    TexCoord t[3] = {{0, 0}, {1, 0}, {1, 1}};
    Colour c[3];
    int f0[3] = {v[0], v[2], v[1]}, f1[3] = {v[3], v[5], v[4]};
    b.Triangle(f0, t, c);
    b.Triangle(f1, t, c);
    s.Objects.push_back(b.Done());
  }
  // The light canal under the stream: a glowing strip on the ground.
  {
    Builder b("stream canal", kStream, true, true);
    for (float y = -11000; y < 1000; y += 500) {
      int q[4] = {b.Vertex(kStreamX - 70, y, 2), b.Vertex(kStreamX + 70, y, 2), b.Vertex(kStreamX + 70, y + 500, 2),
                  b.Vertex(kStreamX - 70, y + 500, 2)};
      TexCoord t[4] = {{0, 0.5f}, {1, 0.5f}, {1, 0.5f}, {0, 0.5f}};
      Colour c = Mix(kAmber, kRose, 0.3f) * 0.55f;
      Colour cs[4] = {c, c, c, c};
      b.Quad(q, t, cs);
    }
    s.Objects.push_back(b.Done());
  }

  // Towers, with setback crowns, roof beacons and blade signs over the avenue.
  struct Roof {
    float x, y, z;
  };
  std::vector<Roof> roofs;
  std::vector<SceneObject> beacons, signs;
  std::vector<SolidBox> solids;
  int towerIndex = 0;
  for (int side = -1; side <= 1; side += 2)
    for (int column = 0; column < 9; ++column)
      for (float y = kCityY0; y < kCityY1; y += 320.0f) {
        float skip = dice.Next();
        float wx = dice.Range(150, 250), wy = dice.Range(150, 250);
        float jitter = dice.Range(-25, 25);
        float hNoise = dice.Next();
        float tint = dice.Next();
        float crownRoll = dice.Next();
        float beaconRoll = dice.Next();
        float signRoll = dice.Next();
        float signKind = dice.Next();
        if (skip < 0.08f) continue;  // small squares between the blocks
        float near = 1.0f - column / 8.0f;
        float h = 300 + (near * 1900 + 500) * (0.35f + 0.65f * hNoise);
        float inner = kAvenue + column * 330.0f + jitter;
        float x0 = side > 0 ? inner : -inner - wx;
        float x1 = x0 + wx;
        float y0 = y + dice.Range(0, 60), y1 = y0 + wy;
        float haze = 1.0f - 0.75f * Smooth(700, 3600, std::fabs(0.5f * (x0 + x1)));
        Colour base = Mix(Mix(kIvory, kViolet, 0.35f), Mix(kIvory, kCyan, 0.3f), tint) * haze;
        char name[64];
        std::snprintf(name, sizeof name, "tower %d", ++towerIndex);
        Builder b(name, kFacade, true, true);
        AddBox(b, x0, y0, 0, x1, y1, h, base, 256, 512, 0.03f, 0.5f, 0.45f, false, 0.55f);
        const int tower = static_cast<int>(solids.size());
        solids.push_back({static_cast<int>(s.Objects.size()), -1});
        s.Objects.push_back(b.Done());
        float top = h;
        if (crownRoll < 0.38f && h > 900) {
          float inset = std::min(wx, wy) * 0.22f;
          float ch = dice.Range(0.15f, 0.35f) * h;
          std::snprintf(name, sizeof name, "tower %d crown", towerIndex);
          Builder c(name, kFacade, true, true);
          AddBox(c, x0 + inset, y0 + inset, h, x1 - inset, y1 - inset, h + ch, base * 1.05f, 256, 512, 0.03f, 0.5f,
                 0.8f, false, 0.55f);
          // The crown's open floor lies on its tower's roof.
          solids.push_back({static_cast<int>(s.Objects.size()), tower});
          s.Objects.push_back(c.Done());
          top = h + ch;
        }
        roofs.push_back({0.5f * (x0 + x1), 0.5f * (y0 + y1), top});
        if (beaconRoll < 0.45f && top > 1100) {
          std::snprintf(name, sizeof name, "beacon %d", towerIndex);
          Builder c(name, kGlow, true, true);
          Colour lamp = beaconRoll < 0.2f ? kRose : kAmber;
          AddCard(c, 0.5f * (x0 + x1), y0 - 2, top + 40, 55, 55, lamp * haze);
          beacons.push_back(c.Done());
        }
        if (column == 0 && signRoll < 0.55f) {
          // A blade sign standing out from the facade into the avenue, facing
          // the oncoming camera, one of the four words of the sign picture.
          int row = static_cast<int>(signKind * 4) & 3;
          float sz = dice.Range(250, std::max(300.0f, h - 150));
          float edge = side > 0 ? x0 : x1;
          float cx = edge - side * 95.0f;
          std::snprintf(name, sizeof name, "sign %d", towerIndex);
          Builder c(name, kNeon, true, true);
          float v0 = 1.0f - (row + 1) * 0.25f, v1 = 1.0f - row * 0.25f;
          AddCard(c, cx, y0 - 3, sz, 90, 22.5f, Mix(kIvory, kCyan, 0.2f), 0, v0, 1, v1);
          signs.push_back(c.Done());
        }
      }
  for (auto& o : beacons) s.Objects.push_back(std::move(o));
  for (auto& o : signs) s.Objects.push_back(std::move(o));

  // Sky bridges across the avenue: grated decks with railings, high above
  // the middle of the flight.
  int bridgeIndex = 0;
  for (float y = -9000; y < -3000; y += dice.Range(180, 420)) {
    float z = dice.Range(600, 1750);
    float half = dice.Range(28, 48);
    char name[64];
    std::snprintf(name, sizeof name, "sky bridge %d", ++bridgeIndex);
    Builder b(name, kGrate, true, true);
    const float x0 = -kAvenue - 10, x1 = kAvenue + 10;
    Colour deck = Mix(kIvory, kViolet, 0.3f) * Shade({0, 0, -1}, 0.6f);
    Colour rail = Mix(kIvory, kCyan, 0.2f) * Shade({0, -1, 0}, 0.6f);
    {
      int q[4] = {b.Vertex(x0, y - half, z), b.Vertex(x1, y - half, z), b.Vertex(x1, y + half, z), b.Vertex(x0, y + half, z)};
      TexCoord t[4] = {{x0 / 120, 0}, {x1 / 120, 0}, {x1 / 120, 2 * half / 120}, {x0 / 120, 2 * half / 120}};
      Colour c[4] = {deck, deck, deck, deck};
      b.Quad(q, t, c);
    }
    for (int r = -1; r <= 1; r += 2) {
      float ry = y + r * half;
      int q[4] = {b.Vertex(x0, ry, z), b.Vertex(x1, ry, z), b.Vertex(x1, ry, z + 40), b.Vertex(x0, ry, z + 40)};
      TexCoord t[4] = {{x0 / 40, 0}, {x1 / 40, 0}, {x1 / 40, 1}, {x0 / 40, 1}};
      Colour c[4] = {rail * 0.7f, rail * 0.7f, rail, rail};
      b.Quad(q, t, c);
    }
    s.Objects.push_back(b.Done());
  }

  // Crystals floating over the avenue; every other one bobs on a track.
  for (int i = 0; i < 160; ++i) {
    float y = dice.Range(-10500, 1500);
    float x = dice.Range(-kAvenue + 60, kAvenue - 60);
    float z = dice.Range(450, 2200);
    float r = dice.Range(25, 60), hh = r * dice.Range(1.8f, 2.8f);
    float bob = dice.Range(20, 70), speed = dice.Range(0.08f, 0.2f), phase = dice.Range(0, 6.28f);
    if (PathClearance(x, y, z) < 250) continue;
    char name[64];
    std::snprintf(name, sizeof name, "crystal %d", i + 1);
    Builder b(name, kGlow, true, true);
    int top = b.Vertex(x, y, z + hh), bottom = b.Vertex(x, y, z - hh);
    int ring[4] = {b.Vertex(x - r, y, z), b.Vertex(x, y - r, z), b.Vertex(x + r, y, z), b.Vertex(x, y + r, z)};
    Colour upper = Mix(kCyan, kIvory, 0.3f) * 0.8f, lower = kViolet * 0.9f;
    for (int k = 0; k < 4; ++k) {
      int a = ring[k], c = ring[(k + 1) & 3];
      TexCoord tt[3] = {{0.5f, 0.5f}, {0.2f, 0.5f}, {0.5f, 0.2f}};
      Colour cu[3] = {upper, upper * 0.35f, upper * 0.35f}, cl[3] = {lower, lower * 0.3f, lower * 0.3f};
      int fu[3] = {top, a, c}, fl[3] = {bottom, c, a};
      b.Triangle(fu, tt, cu);
      b.Triangle(fl, tt, cl);
    }
    if (i % 2 == 0)
      for (int k = 0; k <= 22; ++k) {
        float kt = k * 4.0f;
        b.o.Position.push_back({static_cast<std::int32_t>(kt), 0, 0, bob * std::sin(phase + speed * kt * 3.0f)});
      }
    s.Objects.push_back(b.Done());
  }

  // Drones: lights that travel along the avenue and between the towers.
  for (int i = 0; i < 400; ++i) {
    float lane = dice.Next();
    float x = 0;
    if (lane < 0.6f) {
      x = dice.Range(-kAvenue + 40, kAvenue - 40);
    } else {
      const float side = dice.Next() < 0.5f ? -1.0f : 1.0f;
      x = side * dice.Range(kAvenue + 270, 2400);
    }
    float z = dice.Range(500, 2000);
    float y = dice.Range(kCityY0, kCityY1);
    const float magnitude = dice.Range(60, 220);
    const float speed = dice.Next() < 0.5f ? -magnitude : magnitude;
    Colour c = speed > 0 ? kAmber * 0.9f : Mix(kIvory, kRose, 0.5f);
    char name[64];
    std::snprintf(name, sizeof name, "drone %d", i + 1);
    Builder b(name, kGlow, true, true);
    AddCard(b, 0, 0, 0, 26, 14, c);
    b.o.Position.push_back({0, x, y, z});
    b.o.Position.push_back({88, x, y + speed * 88, z + dice.Range(-150, 150)});
    s.Objects.push_back(b.Done());
  }

  // Street lamps on both kerbs and lights along the canal.
  int lampIndex = 0;
  for (float y = kCityY0 + 100; y < kCityY1; y += 130.0f)
    for (int side = -1; side <= 1; side += 2) {
      char name[64];
      std::snprintf(name, sizeof name, "street lamp %d", ++lampIndex);
      Builder b(name, kGlow, true, true);
      AddCard(b, side * (kAvenue - 30), y, 90, 22, 22, Mix(kAmber, kIvory, 0.3f));
      s.Objects.push_back(b.Done());
    }
  for (float y = -11000; y < 1000; y += 110.0f)
    for (int side = -1; side <= 1; side += 2) {
      char name[64];
      std::snprintf(name, sizeof name, "canal light %d", ++lampIndex);
      Builder b(name, kStream, true, true);
      AddCard(b, kStreamX + side * 85.0f, y, 8, 12, 8, kCyan * 0.9f);
      s.Objects.push_back(b.Done());
    }

  // The rest of the budget: lanterns drifting in the canyon and, above the
  // city, stars.
  int lantern = 0, star = 0;
  while (static_cast<int>(s.Objects.size()) < objectBudget) {
    bool isStar = (s.Objects.size() & 1) != 0;
    char name[64];
    if (isStar) {
      float x = dice.Range(-9000, 9000), y = dice.Range(kCityY0 - 2000, kCityY1 + 6000), z = dice.Range(3200, 7000);
      float size = dice.Range(8, 26);
      const float brightness = dice.Range(0.4f, 1.0f);
      const float mix = dice.Range(0, 0.5f);
      const Colour hue = dice.Next() < 0.5f ? kCyan : kRose;
      const Colour c = Mix(kIvory, hue, mix) * brightness;
      std::snprintf(name, sizeof name, "star %d", ++star);
      Builder b(name, kGlow, true, true);
      AddCard(b, x, y, z, size, size, c);
      s.Objects.push_back(b.Done());
    } else {
      float x = dice.Range(-kAvenue - 600, kAvenue + 600), y = dice.Range(-11500, 2000), z = dice.Range(120, 2400);
      float size = dice.Range(6, 16);
      if (PathClearance(x, y, z) < 160) continue;
      const float brightness = dice.Range(0.5f, 1.0f);
      const Colour c = (dice.Next() < 0.7f ? kAmber : kRose) * brightness;
      std::snprintf(name, sizeof name, "lantern %d", ++lantern);
      Builder b(name, kGlow, true, true);
      AddCard(b, x, y, z, size, size, c);
      s.Objects.push_back(b.Done());
    }
  }
  (void)roofs;
  Viewpoints.clear();

  // The camera: keys every 4 time units from 0 to 88 on the flight curve,
  // the target on the same curve a little ahead and below.
  for (int k = 0; k <= 22; ++k) {
    float t = k * 4.0f;
    Vec3f e = FlightEye(t);
    Vec3f a = FlightEye(t + 7.0f);
    s.CamPosition.push_back({static_cast<std::int32_t>(t), e.X, e.Y, e.Z});
    float look = 1.0f - Smooth(0.0f, 20.0f, t);  // at the start the camera looks down into the avenue
    float overlook = Smooth(60.0f, 88.0f, t);  // and over the roofs at the end
    s.CamTarget.push_back({static_cast<std::int32_t>(t), a.X, a.Y, a.Z + 30.0f - 850.0f * look - 700.0f * overlook});
  }
  FinishScene(s);
  // Most of the towers' walls stand behind nearer towers all through the
  // flight; the renderer would still fill them every frame.
  if (!keepHiddenFaces) DropHiddenFaces(s, solids, 0.0f, 88.0f);
  return s;
}

// ---------------------------------------------------------------------------
// The video stage: a screen on a stand over a polished floor, ringed by
// pillars of light, with cubes circling it. Colours are at half strength:
// the show draws this scene with a tint of 2.

scene::Scene MakeVideoScene() {
  scene::Scene s;
  s.Name = "Video stage";
  s.FieldOfView = 0.85f;
  s.NearDistance = 0.0f;
  s.FarDistance = 0.008f;  // 8,000 units
  s.Materials = {Material("stage floor", "stage.tga", 0.0f), Material("screen", "0.jpg", 0.0f),
                 Material("bezel", "bezel.tga", 0.0f), Material("halo", "glow.tga", 0.8f)};
  enum { kFloor, kScreen, kBezel, kHalo };
  const float half = 0.5f;
  const float sw = 240, sh = 180, sz = 330;  // screen half width, half height, centre height

  {
    Builder b("stage floor", kFloor, true, true);
    for (float y = -3000; y < 3000; y += 1000)
      for (float x = -3000; x < 3000; x += 1000) {
        int q[4] = {b.Vertex(x, y, 0), b.Vertex(x + 1000, y, 0), b.Vertex(x + 1000, y + 1000, 0), b.Vertex(x, y + 1000, 0)};
        TexCoord t[4] = {{x / 400, y / 400}, {(x + 1000) / 400, y / 400}, {(x + 1000) / 400, (y + 1000) / 400},
                         {x / 400, (y + 1000) / 400}};
        Colour c[4];
        for (int k = 0; k < 4; ++k) {
          const Vec3f& p = b.o.Vertex[q[k]];
          float r = std::sqrt(p.X * p.X + p.Y * p.Y);
          c[k] = Mix(kIvory, kViolet, 0.25f) * (half * (1.0f - 0.8f * Smooth(500, 3000, r)));
        }
        b.Quad(q, t, c);
      }
    s.Objects.push_back(b.Done());
  }
  {
    // The screen faces -y; seen from there u runs to the right (+x) and v up.
    Builder b("screen", kScreen, true, false);
    int q[4] = {b.Vertex(-sw, 0, sz - sh), b.Vertex(sw, 0, sz - sh), b.Vertex(sw, 0, sz + sh), b.Vertex(-sw, 0, sz + sh)};
    TexCoord t[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    Colour c[4];
    b.Quad(q, t, c);
    s.Objects.push_back(b.Done());
  }
  const Colour metal = Mix(kIvory, kIndigo, 0.3f) * half;
  const float f = 16;  // frame width
  const struct {
    const char* name;
    float x0, y0, z0, x1, y1, z1;
  } frame[] = {
      {"bezel top", -sw - f, 1, sz + sh, sw + f, 30, sz + sh + f},
      {"bezel bottom", -sw - f, 1, sz - sh - f, sw + f, 30, sz - sh},
      {"bezel left", -sw - f, 1, sz - sh, -sw, 30, sz + sh},
      {"bezel right", sw, 1, sz - sh, sw + f, 30, sz + sh},
      {"stand", -30, 5, 0, 30, 45, sz - sh - f},
      {"stand foot", -140, -40, 0, 140, 90, 14},
  };
  for (const auto& p : frame) {
    Builder b(p.name, kBezel, true, true);
    AddBox(b, p.x0, p.y0, p.z0, p.x1, p.y1, p.z1, metal, 64, 64, 0.5f, 0.5f, 0.8f, true, 0.5f);
    s.Objects.push_back(b.Done());
  }
  // Pillars of light in a ring behind and beside the screen.
  for (int i = 0; i < 12; ++i) {
    float a = -0.3f + 3.7416f * i / 11.0f;  // from the right, round the back, to the left
    float x = 900 * std::cos(a), y = 900 * std::sin(a) + 150;
    char name[64];
    std::snprintf(name, sizeof name, "light pillar %d", i + 1);
    Builder b(name, kHalo, true, true);
    Colour c = (i % 3 == 0 ? kRose : (i % 3 == 1 ? kCyan : kViolet * 1.4f)) * half;
    AddCard(b, x, y, 500, 70, 500, c);
    s.Objects.push_back(b.Done());
  }
  // Floor lights in a circle round the stand.
  for (int i = 0; i < 24; ++i) {
    float a = 6.2831853f * i / 24.0f;
    float x = 520 * std::cos(a), y = 520 * std::sin(a);
    char name[64];
    std::snprintf(name, sizeof name, "floor light %d", i + 1);
    Builder b(name, kHalo, true, true);
    int q[4] = {b.Vertex(x - 40, y - 40, 2), b.Vertex(x + 40, y - 40, 2), b.Vertex(x + 40, y + 40, 2), b.Vertex(x - 40, y + 40, 2)};
    TexCoord t[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    Colour c = (i % 2 ? kAmber : kCyan) * half;
    Colour cs[4] = {c, c, c, c};
    b.Quad(q, t, cs);
    s.Objects.push_back(b.Done());
  }
  // Cubes circling the screen on their position tracks.
  for (int i = 0; i < 16; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "orbiting cube %d", i + 1);
    Builder b(name, kBezel, true, true);
    float e = 18 + 6 * (i % 3);
    Colour c = Mix(kIvory, i % 2 ? kCyan : kRose, 0.6f) * half;
    AddBox(b, -e, -e, -e, e, e, e, c, 64, 64, 0.5f, 0.5f, 0.7f, true, 0.45f);
    float radius = 430 + 60 * (i % 4), height = 160 + 55 * (i % 6), phase = 6.2831853f * i / 16;
    for (int k = 0; k <= 18; ++k) {
      float u = k * 40.0f;
      float a = phase + u * 0.0087266f;  // one turn in 720 units
      b.o.Position.push_back({static_cast<std::int32_t>(u), radius * std::cos(a), radius * std::sin(a),
                              height + 40 * std::sin(a * 3)});
    }
    s.Objects.push_back(b.Done());
  }
  // The camera swings round the front of the screen and back, coming closer
  // in the middle, always on the screen.
  for (int k = 0; k <= 18; ++k) {
    float u = k * 40.0f;
    float w = u / 720.0f;
    float a = -1.5708f + 0.95f * std::sin(6.2831853f * w);  // -y is in front of the screen
    float r = 1050 - 380 * std::sin(3.14159265f * w);
    float z = 360 + 140 * std::sin(6.2831853f * w * 2);
    s.CamPosition.push_back({static_cast<std::int32_t>(u), r * std::cos(a), r * std::sin(a), z});
    s.CamTarget.push_back({static_cast<std::int32_t>(u), 60 * std::sin(6.2831853f * w), 0, sz - 20});
  }
  FinishScene(s);
  return s;
}

}  // namespace assetgen

#include "hidden_faces.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <thread>
#include <type_traits>

#include "scene/camera.h"

namespace assetgen {
namespace {

// How the flight is looked at: camera times this far apart, each judged for
// the camera's motion over half a step either way; a grid of square cells
// in the picture plane, kCellsAcross over the frame's width, with a border
// of kBorderCells round it for what moves in from outside the frame.
constexpr double kStep = 0.05;
constexpr int kCellsAcross = 128;
constexpr int kBorderCells = 12;
// The camera's motion within a half step is measured at four times on each
// side of the sample and widened by this much for what the path may do
// between them.
constexpr double kMotionSafety = 1.05;
// The renderer draws scene units at this scale inside the lens's near and far
// distances; the loader adds this much to the stored near distance.
constexpr double kSceneScale = 1.0e-6;
constexpr double kLoadedNearShift = 1.0e-5;
constexpr double kAspect = 4.0 / 3.0;

struct V3 {
  double x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 Normalized(V3 a) {
  double l = std::sqrt(Dot(a, a));
  return l > 0 ? V3{a.x / l, a.y / l, a.z / l} : a;
}
V3 Of(const scene::Vec3f& v) { return {v.X, v.Y, v.Z}; }

// One camera sample: gluLookAt's frame (right s, up u, forward f) at the
// sample's time, and bounds on how far the eye moves within half a step
// either way (shift; of that, forward along f and across it) and how far the
// frame turns (turn, radians).
struct View {
  V3 eye, s, u, f;
  double shift = 0, forward = 0, across = 0, turn = 0;
};

View FrameOf(const scene::CameraPose& pose) {
  View v;
  v.eye = Of(pose.Eye);
  v.f = Normalized(Of(pose.Target) - v.eye);
  v.s = Normalized(Cross(v.f, {0, 0, 1}));
  v.u = Cross(v.s, v.f);
  return v;
}

double TurnBetween(const View& a, const View& b) {
  double trace = Dot(a.s, b.s) + Dot(a.u, b.u) + Dot(a.f, b.f);
  return std::acos(std::clamp((trace - 1) / 2, -1.0, 1.0));
}

std::vector<View> SampleFlight(const scene::Scene& s, float t0, float t1) {
  scene::Scene camera;
  camera.CamPosition = s.CamPosition;
  camera.CamTarget = s.CamTarget;
  camera.CamPositionCount = s.CamPositionCount;
  camera.CamTargetCount = s.CamTargetCount;
  scene::PrepareCameraTracks(camera);
  const int n = static_cast<int>(std::ceil((t1 - t0) / kStep));
  std::vector<View> views;
  for (int i = 0; i <= n; ++i) {
    const double t = std::min<double>(t0 + i * kStep, t1);
    View v = FrameOf(scene::EvaluateCamera(camera, static_cast<float>(t)));
    for (int k = -4; k <= 4; ++k) {
      if (k == 0) continue;
      View w = FrameOf(scene::EvaluateCamera(camera, static_cast<float>(t + k * kStep / 8)));
      const V3 d = w.eye - v.eye;
      const double along = Dot(d, v.f);
      v.shift = std::max(v.shift, std::sqrt(Dot(d, d)));
      v.forward = std::max(v.forward, std::fabs(along));
      v.across = std::max(v.across, std::sqrt(std::max(0.0, Dot(d, d) - along * along)));
      v.turn = std::max(v.turn, TurnBetween(v, w));
    }
    v.shift *= kMotionSafety;
    v.forward *= kMotionSafety;
    v.across *= kMotionSafety;
    v.turn *= kMotionSafety;
    views.push_back(v);
  }
  return views;
}

// The sides of a box: -x, +x, -y, +y, -z (floor), +z (roof).
constexpr int kSides = 6;

// A piece of a box that is kept or left out whole: a quad drawn as two
// triangles on one diagonal, or a single triangle.
struct Unit {
  int box = 0;
  int side = -1;  // the side it lies on, or -1
  int firstFace = 0, faceCount = 0;
  int cornerCount = 0;
  V3 corner[4];
  V3 normal;  // unit length
};

struct Box {
  V3 lo, hi;
  int base = -1;
  bool hasSide[kSides] = {};
  std::vector<int> units;
};

// How far the eye stands in front of side k of the box (negative: behind).
double EyeOutside(const Box& b, int k, V3 e) {
  switch (k) {
    case 0: return b.lo.x - e.x;
    case 1: return e.x - b.hi.x;
    case 2: return b.lo.y - e.y;
    case 3: return e.y - b.hi.y;
    case 4: return b.lo.z - e.z;
    default: return e.z - b.hi.z;
  }
}

// Whether every ray from the eye into the box crosses one of the box's own
// faces first, over the whole half step: the eye stays outside, and every
// side it may stand in front of is there (a floor may be closed by the roof
// of the box it stands on).
bool ClosedTowardsEye(const std::vector<Box>& boxes, int index, V3 e, double margin) {
  const Box& b = boxes[static_cast<std::size_t>(index)];
  bool outside = false;
  for (int k = 0; k < kSides; ++k) {
    double d = EyeOutside(b, k, e);
    if (d > margin) outside = true;
    if (d > -margin && !b.hasSide[k] && !(k == 4 && b.base >= 0 && ClosedTowardsEye(boxes, b.base, e, margin)))
      return false;
  }
  return outside;
}

// A convex polygon in the picture plane (x, y: eye-space x and y over depth).
constexpr int kMaxCorners = 12;
struct Polygon {
  int n = 0;
  double x[kMaxCorners], y[kMaxCorners];
  double minDepth = 0, maxDepth = 0;
  double reach = 0;  // the largest distance of a corner from the view axis
  // Edge i runs from corner i to corner i + 1: its y range, its x at the
  // low end and its dx / dy (HUGE_VAL when level).
  double edgeLow[kMaxCorners], edgeHigh[kMaxCorners], edgeX[kMaxCorners], edgeSlope[kMaxCorners];
};

// Eye-space corners (x right, y up, w depth) clipped to w in near..far and to
// the grid's pyramid |x| <= gx w, |y| <= gy w, then projected.
struct EyePoint {
  double x, y, w;
};

// A segment (count 2) stays a segment, possibly with a corner repeated.
bool ClipAndProject(const EyePoint* in, int count, double nearW, double farW, double gx, double gy, Polygon& out) {
  EyePoint a[kMaxCorners], b[kMaxCorners];
  int n = count;
  std::copy(in, in + count, a);
  auto clip = [&](auto distance) {
    int m = 0;
    for (int i = 0; i < n; ++i) {
      const EyePoint& p = a[i];
      const EyePoint& q = a[(i + 1) % n];
      double dp = distance(p), dq = distance(q);
      if (dp >= 0) b[m++] = p;
      if ((dp >= 0) != (dq >= 0)) {
        double k = dp / (dp - dq);
        b[m++] = {p.x + (q.x - p.x) * k, p.y + (q.y - p.y) * k, p.w + (q.w - p.w) * k};
      }
    }
    n = m;
    std::copy(b, b + m, a);
    return n >= std::min(count, 3);
  };
  if (!clip([&](const EyePoint& p) { return p.w - nearW; })) return false;
  if (!clip([&](const EyePoint& p) { return farW - p.w; })) return false;
  if (!clip([&](const EyePoint& p) { return gx * p.w - p.x; })) return false;
  if (!clip([&](const EyePoint& p) { return gx * p.w + p.x; })) return false;
  if (!clip([&](const EyePoint& p) { return gy * p.w - p.y; })) return false;
  if (!clip([&](const EyePoint& p) { return gy * p.w + p.y; })) return false;
  out.n = n;
  out.minDepth = out.maxDepth = a[0].w;
  for (int i = 0; i < n; ++i) {
    out.x[i] = a[i].x / a[i].w;
    out.y[i] = a[i].y / a[i].w;
    out.minDepth = std::min(out.minDepth, a[i].w);
    out.maxDepth = std::max(out.maxDepth, a[i].w);
    out.reach = std::max(out.reach, std::sqrt(out.x[i] * out.x[i] + out.y[i] * out.y[i]));
  }
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    const int low = out.y[i] <= out.y[j] ? i : j, high = low == i ? j : i;
    out.edgeLow[i] = out.y[low];
    out.edgeHigh[i] = out.y[high];
    out.edgeX[i] = out.x[low];
    out.edgeSlope[i] = out.y[high] > out.y[low] ? (out.x[high] - out.x[low]) / (out.y[high] - out.y[low]) : HUGE_VAL;
  }
  return true;
}

// Where the horizontal line at y crosses the convex polygon.
bool LineSpan(const Polygon& p, double y, double& lo, double& hi) {
  lo = HUGE_VAL, hi = -HUGE_VAL;
  for (int i = 0; i < p.n; ++i) {
    if (y < p.edgeLow[i] || y > p.edgeHigh[i]) continue;
    if (p.edgeSlope[i] == HUGE_VAL) {
      lo = std::min({lo, p.x[i], p.x[(i + 1) % p.n]});
      hi = std::max({hi, p.x[i], p.x[(i + 1) % p.n]});
    } else {
      const double x = p.edgeX[i] + (y - p.edgeLow[i]) * p.edgeSlope[i];
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
  }
  return lo <= hi;
}

// The cells of the picture plane and the lens's depths.
struct Grid {
  int width = 0, height = 0;
  double cell = 0;        // cell size in the picture plane
  double gx = 0, gy = 0;  // half extents of the grid
  double nearW = 0, farW = 0;
};

// One thread's share of the samples: its cells and what it has seen.
class Judge {
 public:
  Judge(const Grid& grid, const std::vector<Box>& boxes, const std::vector<Unit>& units)
      : g_(grid),
        boxes_(boxes),
        units_(units),
        hiddenBelow_(static_cast<std::size_t>(grid.width * grid.height)),
        hiddenAbove_(hiddenBelow_.size()),
        tilesAcross_((grid.width + kTile - 1) / kTile),
        tilesDown_((grid.height + kTile - 1) / kTile),
        tileBelow_(static_cast<std::size_t>(tilesAcross_ * tilesDown_)),
        tileAbove_(tileBelow_.size()),
        tileSaturated_(tileBelow_.size()),
        tileCells_(tileBelow_.size()),
        tileSaturatedBelow_(tileBelow_.size()),
        seen_(units.size(), 0) {
    for (int j = 0; j < grid.height; ++j)
      for (int i = 0; i < grid.width; ++i)
        ++tileCells_[static_cast<std::size_t>((j / kTile) * tilesAcross_ + i / kTile)];
  }

  void Look(const View& v);
  const std::vector<std::uint8_t>& Seen() const { return seen_; }

 private:
  // How far (in the picture plane) a point at depth r or more, within
  // `reach` of the view axis in the picture plane, may move across the frame
  // within the half step; infinite when it may leave the lens's cone.
  static double Motion(const View& v, double r, double reach) {
    if (r <= v.shift) return HUGE_VAL;
    // Moving along the line of sight turns it by nothing; moving forward
    // turns a point at angle theta off the axis by at most sin(theta).
    const double sine = reach / std::sqrt(1 + reach * reach);
    const double a = std::asin(std::min(1.0, (v.forward * sine + v.across) / (r - v.shift))) + v.turn;
    const double angle = std::atan(reach) + a;
    if (angle >= 1.5) return HUGE_VAL;
    const double t = std::tan(angle);
    return a * (1 + t * t);
  }
  EyePoint ToEye(const View& v, const V3& p) const {
    V3 d = p - v.eye;
    return {Dot(d, v.s), Dot(d, v.u), Dot(d, v.f)};
  }
  bool InFrustum(const View& v, const Box& b, double nearW, double farW) const;
  // The box's bounds in the picture plane and its depths; false when it
  // reaches the near plane.
  bool BoxBounds(const View& v, const Box& b, double nearW, double bounds[4], double& nearest,
                 double& furthest) const;
  void Occlude(const View& v, const Unit& unit);
  void SummariseTiles();
  // Whether the tiles under the bounds all hide every depth from 1 / near
  // to 1 / far: by the saturated cells while occluders are drawn, or by the
  // summary afterwards.
  bool TilesHide(const double bounds[4], double nearInv, double farInv, bool drawing) const;
  // Whether some cell the polygon (or segment) in the plane through
  // corner[0] with the given normal touches has no occluder clearly in front.
  bool Shows(const View& v, const V3* corner, int count, V3 normal, double margin);
  // Which halves of a unit on a side that the eye stays behind may show:
  // bit 0 the first triangle, bit 1 the second.
  std::uint8_t ShowsBackSide(const View& v, const Box& box, const Unit& unit, double margin);

  static constexpr int kTile = 8;
  const Grid& g_;
  const std::vector<Box>& boxes_;
  const std::vector<Unit>& units_;
  // Per cell, the range of 1 / depth (above .. below) in which a face is
  // hidden there for the whole half step; empty where no occluder covers it.
  std::vector<float> hiddenBelow_, hiddenAbove_;
  // The same for tiles of kTile x kTile cells once the occluders are drawn:
  // the range every cell of the tile hides.
  int tilesAcross_ = 0, tilesDown_ = 0;
  std::vector<float> tileBelow_, tileAbove_;
  // While the occluders are drawn (nearest first): per tile, how many cells
  // hide everything behind some depth up to the far plane, and the least
  // 1 / depth from which they do.
  std::vector<int> tileSaturated_, tileCells_;
  std::vector<float> tileSaturatedBelow_;
  double saturated_ = 0;  // a 1 / depth below that of anything the far plane lets through
  std::vector<std::uint8_t> seen_;  // per unit, which of its faces some sample shows
  std::vector<int> inView_;
  std::vector<std::pair<double, int>> byDistance_;
};

bool Judge::InFrustum(const View& v, const Box& b, double nearW, double farW) const {
  struct Plane {
    V3 n;
    double d;
  };
  // Inside is n.(p - eye) + d >= 0: depth within near..far, |x| <= gx depth, |y| <= gy depth.
  auto mix = [](V3 a, double ka, V3 b, double kb) {
    return V3{a.x * ka + b.x * kb, a.y * ka + b.y * kb, a.z * ka + b.z * kb};
  };
  const Plane planes[6] = {
      {v.f, -nearW},
      {mix(v.f, -1, v.s, 0), farW},
      {mix(v.f, g_.gx, v.s, -1), 0},
      {mix(v.f, g_.gx, v.s, 1), 0},
      {mix(v.f, g_.gy, v.u, -1), 0},
      {mix(v.f, g_.gy, v.u, 1), 0},
  };
  for (const Plane& p : planes) {
    V3 c{p.n.x > 0 ? b.hi.x : b.lo.x, p.n.y > 0 ? b.hi.y : b.lo.y, p.n.z > 0 ? b.hi.z : b.lo.z};
    if (Dot(p.n, c - v.eye) + p.d < 0) return false;
  }
  return true;
}

void Judge::Occlude(const View& v, const Unit& unit) {
  EyePoint e[4];
  for (int i = 0; i < unit.cornerCount; ++i) e[i] = ToEye(v, unit.corner[i]);
  Polygon p;
  const double grow = 2 * v.shift + 2 * v.turn * g_.farW;
  // Clipped well beyond the grid, so that its own cut edge at the grid's
  // rim takes nothing from the cells it covers.
  if (!ClipAndProject(e, unit.cornerCount, g_.nearW + 2 * v.shift + 2 * v.turn * g_.nearW, g_.farW - grow,
                      2 * g_.gx, 2 * g_.gy, p))
    return;
  // 1 / depth over the picture plane: n.(s x + u y + f) / n.(p0 - eye).
  const double c = Dot(unit.normal, unit.corner[0] - v.eye);
  if (std::fabs(c) < 1e-6) return;
  const double A = Dot(unit.normal, v.s) / c, B = Dot(unit.normal, v.u) / c, C = Dot(unit.normal, v.f) / c;

  // The edges as inner half-planes n.x >= d, n scaled to |nx| + |ny| = 1:
  // a cell grown by r on every side lies inside while n.(its corner
  // furthest out) - d >= r for every edge.
  double area = 0;
  for (int i = 0; i < p.n; ++i) {
    int j = (i + 1) % p.n;
    area += p.x[i] * p.y[j] - p.x[j] * p.y[i];
  }
  if (area == 0) return;
  const double sign = area > 0 ? 1 : -1;
  int edges = 0;
  double nx[kMaxCorners], ny[kMaxCorners], nd[kMaxCorners];
  for (int i = 0; i < p.n; ++i) {
    int j = (i + 1) % p.n;
    double ex = -(p.y[j] - p.y[i]) * sign, ey = (p.x[j] - p.x[i]) * sign;
    double l = std::fabs(ex) + std::fabs(ey);
    if (l < 1e-12) continue;
    nx[edges] = ex / l, ny[edges] = ey / l, nd[edges] = nx[edges] * p.x[i] + ny[edges] * p.y[i];
    ++edges;
  }

  // Turning the frame moves a point and whatever lies behind it alike; only
  // the eye's shift moves them apart. Seen from an eye that moves k across
  // their line of sight (forward motion counts by the sine of the angle off
  // the axis), a point at depth d drifts by the angle k / d and one further
  // back by less, so within the half step two points on one ray at the
  // sample drift apart by at most K * (1 / (near depth - shift) - 1 / (far
  // depth + shift)) in the picture plane: K holds k, the arcsine's excess,
  // the picture plane's stretch at the widest angle, and a tenth more for the
  // two rays' differing directions. So, where the occluder covers a cell
  // with clearance g all round, it hides at every moment of the half step
  // the faces there that lie clearly behind it and drift from it by no more
  // than g.
  const double sine = p.reach / std::sqrt(1 + p.reach * p.reach);
  const double k = v.forward * sine + v.across;
  const double nearest = p.minDepth - v.shift;
  if (!(nearest > 4 * k)) return;  // moves too much to hide anything reliably
  const double drift = k / nearest * (1 + k / nearest);  // asin(x) <= x (1 + x) for x <= 1/2
  const double widest = std::atan(p.reach) + drift;
  if (widest >= 1.5) return;
  const double stretch = 1 + std::tan(widest) * std::tan(widest);
  const double K = 1.1 * stretch * k * (1 + k / nearest);
  const double nearestInv = 1 / nearest;

  double ymin = p.y[0], ymax = p.y[0];
  for (int i = 1; i < p.n; ++i) ymin = std::min(ymin, p.y[i]), ymax = std::max(ymax, p.y[i]);
  const double cs = g_.cell;
  const int j0 = std::max(0, static_cast<int>(std::ceil((ymin + g_.gy) / cs)));
  const int j1 = std::min(g_.height - 1, static_cast<int>(std::floor((ymax + g_.gy) / cs)) - 1);
  for (int j = j0; j <= j1; ++j) {
    const double y0 = -g_.gy + j * cs, y1 = y0 + cs;
    double l0, r0, l1, r1;
    if (!LineSpan(p, y0, l0, r0) || !LineSpan(p, y1, l1, r1)) continue;
    const int i0 = std::max(0, static_cast<int>(std::ceil((std::max(l0, l1) + g_.gx) / cs)));
    const int i1 = std::min(g_.width - 1, static_cast<int>(std::floor((std::min(r0, r1) + g_.gx) / cs)) - 1);
    float* below = &hiddenBelow_[static_cast<std::size_t>(j * g_.width)];
    float* above = &hiddenAbove_[static_cast<std::size_t>(j * g_.width)];
    for (int i = i0; i <= i1; ++i) {
      // Nearer occluders come first; a cell that already hides everything
      // behind some depth gains nothing from one further back.
      if (above[i] <= saturated_ && above[i] < below[i] && below[i] >= nearestInv) continue;
      const double x0 = -g_.gx + i * cs, x1 = x0 + cs;
      double clearance = HUGE_VAL;
      for (int q = 0; q < edges; ++q)
        clearance = std::min(clearance, nx[q] * (nx[q] > 0 ? x0 : x1) + ny[q] * (ny[q] > 0 ? y0 : y1) - nd[q]);
      if (!(clearance > 0)) continue;
      // The nearest depth within the clearance (no more than any face can
      // drift), then no more clearance than a face that far can use.
      double g = std::min(clearance, K * nearestInv);
      const double invNear = A * (A > 0 ? x1 + g : x0 - g) + B * (B > 0 ? y1 + g : y0 - g) + C;
      if (!(invNear > 0) || !(1 / invNear > v.shift)) continue;
      const double occluderInv = 1 / (1 / invNear - v.shift);
      g = std::min(g, K * occluderInv);
      const double lowest = occluderInv - g / K;
      // The furthest depth within g: what lies beyond it, allowing for the
      // depths' change over the angle g and the eye's shift, is behind.
      const double invFar = A * (A > 0 ? x0 - g : x1 + g) + B * (B > 0 ? y0 - g : y1 + g) + C;
      if (!(invFar > 0)) continue;
      const double tol = g * (p.reach + g);
      const double highest = invFar / ((1 + tol) + 2 * v.shift * invFar);
      // Rounded inwards, so that the stored range never exceeds the exact one.
      const float lo = static_cast<float>(lowest * (1 + 0x1p-20));
      const float hi = static_cast<float>(highest * (1 - 0x1p-20));
      if (!(lo < hi)) continue;
      const bool wasSaturated = above[i] <= saturated_ && above[i] < below[i];
      if (!(above[i] < below[i]) || (lo <= below[i] && above[i] <= hi)) {
        // The first range in the cell, or one that meets it: their union.
        const bool first = !(above[i] < below[i]);
        above[i] = first ? lo : std::min(above[i], lo);
        below[i] = first ? hi : std::max(below[i], hi);
      } else if (lo < above[i] && !wasSaturated) {
        // Apart: the range that hides what lies furthest back is kept.
        above[i] = lo;
        below[i] = hi;
      }
      if (!wasSaturated && above[i] <= saturated_) {
        const std::size_t t = static_cast<std::size_t>((j / kTile) * tilesAcross_ + i / kTile);
        ++tileSaturated_[t];
        tileSaturatedBelow_[t] = std::min(tileSaturatedBelow_[t], below[i]);
      }
    }
  }
}

bool Judge::Shows(const View& v, const V3* corner, int count, V3 normal, double margin) {
  EyePoint e[4];
  for (int i = 0; i < count; ++i) e[i] = ToEye(v, corner[i]);
  Polygon p;
  const double grow = 2 * v.shift + 2 * v.turn * g_.farW;
  if (!ClipAndProject(e, count, std::max(0.5, g_.nearW - 2 * v.shift - 2 * v.turn * g_.nearW),
                      g_.farW + grow, g_.gx, g_.gy, p))
    return false;
  // What may move further than the border reaches is kept as soon as it is
  // anywhere near the frame.
  if (!(Motion(v, p.minDepth, p.reach) < kBorderCells * g_.cell)) return true;
  const double maxInv = 1 / p.minDepth, minInv = 1 / p.maxDepth;
  const double c = Dot(normal, corner[0] - v.eye);
  // Seen nearly edge-on: its nearest depth stands for all of it.
  const bool edgeOn = std::fabs(c) < margin;
  const double A = edgeOn ? 0 : Dot(normal, v.s) / c, B = edgeOn ? 0 : Dot(normal, v.u) / c,
               C = edgeOn ? maxInv : Dot(normal, v.f) / c;
  double ymin = p.y[0], ymax = p.y[0], xmin = p.x[0], xmax = p.x[0];
  for (int i = 1; i < p.n; ++i) {
    ymin = std::min(ymin, p.y[i]), ymax = std::max(ymax, p.y[i]);
    xmin = std::min(xmin, p.x[i]), xmax = std::max(xmax, p.x[i]);
  }
  const double cs = g_.cell, eps = 1e-6;
  const int j0 = std::max(0, static_cast<int>(std::floor((ymin - eps + g_.gy) / cs)));
  const int j1 = std::min(g_.height - 1, static_cast<int>(std::floor((ymax + eps + g_.gy) / cs)));
  {
    // Hidden in every tile its bounds touch, taken at its nearest and
    // furthest depths, is hidden.
    const int c0 = std::max(0, static_cast<int>(std::floor((xmin - eps + g_.gx) / cs)));
    const int c1 = std::min(g_.width - 1, static_cast<int>(std::floor((xmax + eps + g_.gx) / cs)));
    const double furthest = 1 / (p.maxDepth + v.shift);
    bool hidden = c0 <= c1 && j0 <= j1;
    for (int tj = j0 / kTile; hidden && tj <= j1 / kTile; ++tj)
      for (int ti = c0 / kTile; hidden && ti <= c1 / kTile; ++ti) {
        const std::size_t t = static_cast<std::size_t>(tj * tilesAcross_ + ti);
        hidden = maxInv < tileBelow_[t] && furthest >= tileAbove_[t];
      }
    if (hidden) return false;
  }
  for (int j = j0; j <= j1; ++j) {
    const double y0 = -g_.gy + j * cs, y1 = y0 + cs;
    double left = xmin, right = xmax;
    if (!edgeOn) {
      // The polygon's extent within the row: its crossings of the row's
      // edges and its corners inside the row.
      const double ya = std::max(y0, ymin), yb = std::min(y1, ymax);
      left = HUGE_VAL, right = -HUGE_VAL;
      double l, r;
      if (LineSpan(p, ya, l, r)) left = std::min(left, l), right = std::max(right, r);
      if (LineSpan(p, yb, l, r)) left = std::min(left, l), right = std::max(right, r);
      for (int i = 0; i < p.n; ++i)
        if (p.y[i] >= ya && p.y[i] <= yb) left = std::min(left, p.x[i]), right = std::max(right, p.x[i]);
      if (left > right) continue;
    }
    const int i0 = std::max(0, static_cast<int>(std::floor((left - eps + g_.gx) / cs)));
    const int i1 = std::min(g_.width - 1, static_cast<int>(std::floor((right + eps + g_.gx) / cs)));
    // 1 / depth over the cell, nearest and furthest.
    const double nearY = B > 0 ? y1 : y0, farY = B > 0 ? y0 : y1;
    const double nearX = A > 0 ? cs : 0, farX = A > 0 ? 0 : cs;
    const float* below = &hiddenBelow_[static_cast<std::size_t>(j * g_.width)];
    const float* above = &hiddenAbove_[static_cast<std::size_t>(j * g_.width)];
    for (int i = i0; i <= i1; ++i) {
      const double x = -g_.gx + i * cs;
      const double nearInv = std::min(maxInv, A * (x + nearX) + B * nearY + C);
      if (nearInv >= below[i]) return true;
      // Its furthest depth there, as it may still grow in the half step.
      const double farInv = std::max(minInv, A * (x + farX) + B * farY + C);
      if (!(farInv > 0) || 1 / (1 / farInv + v.shift) < above[i]) return true;
    }
  }
  return false;
}

// A side the eye stays behind is covered by its own box's front, except on
// the box's outline: where it meets a side the eye may face, the two are
// drawn at the same depth and either may win a pixel on that edge. So it
// counts as seen where such an edge is not hidden by other boxes.
std::uint8_t Judge::ShowsBackSide(const View& v, const Box& box, const Unit& unit, double margin) {
  const double lo[3] = {box.lo.x, box.lo.y, box.lo.z}, hi[3] = {box.hi.x, box.hi.y, box.hi.z};
  const std::uint8_t all = unit.faceCount == 2 ? 3 : 1;
  const int a = unit.side / 2;
  std::uint8_t shows = 0;
  for (int k = 0; k < kSides && shows != all; ++k) {
    const int b = k / 2;
    if (b == a || EyeOutside(box, k, v.eye) <= -margin) continue;
    const int c = 3 - a - b;
    double p[2][3];
    for (int e = 0; e < 2; ++e) {
      p[e][a] = unit.side % 2 ? hi[a] : lo[a];
      p[e][b] = k % 2 ? hi[b] : lo[b];
      p[e][c] = e ? hi[c] : lo[c];
    }
    const V3 edge[2] = {{p[0][0], p[0][1], p[0][2]}, {p[1][0], p[1][1], p[1][2]}};
    // The half of a quad that the edge bounds: corners 0-1 and 1-2 are the
    // first half's, 2-3 and 3-0 the second's.
    std::uint8_t half = all;
    if (unit.faceCount == 2) {
      auto at = [&](const V3& q) {
        for (int i = 0; i < 4; ++i)
          if (unit.corner[i].x == q.x && unit.corner[i].y == q.y && unit.corner[i].z == q.z) return i;
        return -1;
      };
      const int i = at(edge[0]), j = at(edge[1]);
      const int low = std::min(i, j), high = std::max(i, j);
      if (low >= 0 && ((low == 0 && high == 1) || (low == 1 && high == 2))) half = 1;
      if (low >= 0 && ((low == 2 && high == 3) || (low == 0 && high == 3))) half = 2;
    }
    if ((shows & half) != half && Shows(v, edge, 2, unit.normal, margin)) shows |= half;
  }
  return shows;
}

void Judge::SummariseTiles() {
  for (int tj = 0; tj < tilesDown_; ++tj)
    for (int ti = 0; ti < tilesAcross_; ++ti) {
      float below = HUGE_VALF, above = 0;
      for (int j = tj * kTile; j < std::min(g_.height, (tj + 1) * kTile); ++j)
        for (int i = ti * kTile; i < std::min(g_.width, (ti + 1) * kTile); ++i) {
          const std::size_t c = static_cast<std::size_t>(j * g_.width + i);
          below = std::min(below, hiddenBelow_[c]);
          above = std::max(above, hiddenAbove_[c]);
        }
      tileBelow_[static_cast<std::size_t>(tj * tilesAcross_ + ti)] = below;
      tileAbove_[static_cast<std::size_t>(tj * tilesAcross_ + ti)] = above;
    }
}

bool Judge::BoxBounds(const View& v, const Box& b, double nearW, double bounds[4], double& nearest,
                      double& furthest) const {
  bounds[0] = bounds[2] = HUGE_VAL;
  bounds[1] = bounds[3] = -HUGE_VAL;
  nearest = HUGE_VAL, furthest = 0;
  for (int c = 0; c < 8; ++c) {
    const EyePoint e = ToEye(v, {c & 1 ? b.hi.x : b.lo.x, c & 2 ? b.hi.y : b.lo.y, c & 4 ? b.hi.z : b.lo.z});
    if (!(e.w > nearW)) return false;
    bounds[0] = std::min(bounds[0], e.x / e.w), bounds[1] = std::max(bounds[1], e.x / e.w);
    bounds[2] = std::min(bounds[2], e.y / e.w), bounds[3] = std::max(bounds[3], e.y / e.w);
    nearest = std::min(nearest, e.w), furthest = std::max(furthest, e.w);
  }
  return true;
}

bool Judge::TilesHide(const double bounds[4], double nearInv, double farInv, bool drawing) const {
  const double cs = g_.cell, eps = 1e-6;
  const int i0 = std::max(0, static_cast<int>(std::floor((bounds[0] - eps + g_.gx) / cs)));
  const int i1 = std::min(g_.width - 1, static_cast<int>(std::floor((bounds[1] + eps + g_.gx) / cs)));
  const int j0 = std::max(0, static_cast<int>(std::floor((bounds[2] - eps + g_.gy) / cs)));
  const int j1 = std::min(g_.height - 1, static_cast<int>(std::floor((bounds[3] + eps + g_.gy) / cs)));
  if (i0 > i1 || j0 > j1) return true;  // entirely off the grid
  for (int tj = j0 / kTile; tj <= j1 / kTile; ++tj)
    for (int ti = i0 / kTile; ti <= i1 / kTile; ++ti) {
      const std::size_t t = static_cast<std::size_t>(tj * tilesAcross_ + ti);
      if (drawing ? !(tileSaturated_[t] == tileCells_[t] && nearInv <= tileSaturatedBelow_[t])
                  : !(nearInv < tileBelow_[t] && farInv >= tileAbove_[t]))
        return false;
    }
  return true;
}

void Judge::Look(const View& v) {
  std::fill(hiddenBelow_.begin(), hiddenBelow_.end(), 0.0f);
  std::fill(hiddenAbove_.begin(), hiddenAbove_.end(), 0.0f);
  std::fill(tileSaturated_.begin(), tileSaturated_.end(), 0);
  std::fill(tileSaturatedBelow_.begin(), tileSaturatedBelow_.end(), HUGE_VALF);
  const double margin = v.shift + 0.5;
  const double candidateNear = std::max(0.5, g_.nearW - 2 * v.shift - 2 * v.turn * g_.nearW);
  const double candidateFar = g_.farW + 2 * v.shift + 2 * v.turn * g_.farW;
  saturated_ = 1 / (candidateFar + v.shift);
  // Nearest first.
  byDistance_.clear();
  for (std::size_t b = 0; b < boxes_.size(); ++b) {
    const Box& box = boxes_[b];
    if (!InFrustum(v, box, candidateNear, candidateFar)) continue;
    const V3 e = v.eye;
    const V3 d{std::max({box.lo.x - e.x, 0.0, e.x - box.hi.x}), std::max({box.lo.y - e.y, 0.0, e.y - box.hi.y}),
               std::max({box.lo.z - e.z, 0.0, e.z - box.hi.z})};
    byDistance_.push_back({Dot(d, d), static_cast<int>(b)});
  }
  std::sort(byDistance_.begin(), byDistance_.end());
  inView_.clear();
  for (const auto& entry : byDistance_) inView_.push_back(entry.second);
  // Occluders: the sides the eye stands clearly in front of. A box behind
  // cells that already hide everything from its nearest depth back adds
  // nothing.
  for (int b : inView_) {
    const Box& box = boxes_[static_cast<std::size_t>(b)];
    double bounds[4], nearest, furthest;
    if (BoxBounds(v, box, g_.nearW, bounds, nearest, furthest) && nearest > v.shift &&
        TilesHide(bounds, 1 / (nearest - v.shift), 0, true))
      continue;
    for (int u : box.units) {
      const Unit& unit = units_[static_cast<std::size_t>(u)];
      if (unit.side >= 0 && EyeOutside(box, unit.side, v.eye) > margin) Occlude(v, unit);
    }
  }
  SummariseTiles();
  // What shows: a box hidden in every tile it covers has no face that does.
  for (int b : inView_) {
    const Box& box = boxes_[static_cast<std::size_t>(b)];
    double bounds[4], nearest, furthest;
    if (BoxBounds(v, box, candidateNear, bounds, nearest, furthest) && bounds[0] >= -g_.gx && bounds[1] <= g_.gx &&
        bounds[2] >= -g_.gy && bounds[3] <= g_.gy) {
      // Within the grid and not moving in from beyond it: each face would
      // be judged by the cells the box covers.
      const double reach = std::sqrt(std::max(bounds[0] * bounds[0], bounds[1] * bounds[1]) +
                                     std::max(bounds[2] * bounds[2], bounds[3] * bounds[3]));
      if (Motion(v, nearest, reach) < kBorderCells * g_.cell &&
          TilesHide(bounds, 1 / nearest, 1 / (furthest + v.shift), false))
        continue;
    }
    int closed = -1;
    for (int u : box.units) {
      std::uint8_t& seen = seen_[static_cast<std::size_t>(u)];
      const Unit& unit = units_[static_cast<std::size_t>(u)];
      const std::uint8_t all = unit.faceCount == 2 ? 3 : 1;
      if (seen == all) continue;
      if (unit.side >= 0 && EyeOutside(box, unit.side, v.eye) < -margin &&
          (closed < 0 ? (closed = ClosedTowardsEye(boxes_, b, v.eye, margin) ? 1 : 0) : closed)) {
        seen |= ShowsBackSide(v, box, unit, margin);
      } else if (unit.faceCount == 1) {
        if (Shows(v, unit.corner, unit.cornerCount, unit.normal, margin)) seen = 1;
      } else {
        // Each half of a quad on its own.
        const V3 first[3] = {unit.corner[0], unit.corner[1], unit.corner[2]};
        const V3 second[3] = {unit.corner[0], unit.corner[2], unit.corner[3]};
        if (!(seen & 1) && Shows(v, first, 3, unit.normal, margin)) seen |= 1;
        if (!(seen & 2) && Shows(v, second, 3, unit.normal, margin)) seen |= 2;
      }
    }
  }
}

// Splits the boxes' objects into units and finds the side each lies on.
void CollectUnits(const scene::Scene& s, const std::vector<SolidBox>& solids, std::vector<Box>& boxes,
                  std::vector<Unit>& units) {
  for (std::size_t bi = 0; bi < solids.size(); ++bi) {
    const SolidBox& sb = solids[bi];
    Box box;
    box.base = sb.base;
    const scene::SceneObject& o = s.Objects[static_cast<std::size_t>(sb.object)];
    box.lo = box.hi = Of(o.Vertex.at(0));
    for (const scene::Vec3f& v : o.Vertex) {
      box.lo = {std::min<double>(box.lo.x, v.X), std::min<double>(box.lo.y, v.Y), std::min<double>(box.lo.z, v.Z)};
      box.hi = {std::max<double>(box.hi.x, v.X), std::max<double>(box.hi.y, v.Y), std::max<double>(box.hi.z, v.Z)};
    }
    const auto& faces = o.FACE;
    for (std::size_t f = 0; f < faces.size();) {
      Unit unit;
      unit.box = static_cast<int>(bi);
      unit.firstFace = static_cast<int>(f);
      const scene::FaceIndices& a = faces[f];
      int idx[4] = {a.A, a.B, a.C, -1};
      unit.faceCount = 1;
      unit.cornerCount = 3;
      V3 p0 = Of(o.Vertex[static_cast<std::size_t>(a.A)]), p1 = Of(o.Vertex[static_cast<std::size_t>(a.B)]),
         p2 = Of(o.Vertex[static_cast<std::size_t>(a.C)]);
      unit.normal = Normalized(Cross(p1 - p0, p2 - p0));
      if (f + 1 < faces.size()) {
        // The second half of a quad: the same first corner, on from the
        // first half's last corner, in the same plane.
        const scene::FaceIndices& b = faces[f + 1];
        if (b.A == a.A && b.B == a.C) {
          V3 p3 = Of(o.Vertex[static_cast<std::size_t>(b.C)]);
          if (std::fabs(Dot(unit.normal, p3 - p0)) < 1e-3) {
            idx[3] = b.C;
            unit.faceCount = 2;
            unit.cornerCount = 4;
          }
        }
      }
      for (int k = 0; k < unit.cornerCount; ++k) unit.corner[k] = Of(o.Vertex[static_cast<std::size_t>(idx[k])]);
      const double lo[3] = {box.lo.x, box.lo.y, box.lo.z}, hi[3] = {box.hi.x, box.hi.y, box.hi.z};
      for (int k = 0; k < kSides && unit.side < 0; ++k) {
        const int axis = k / 2;
        const double plane = k % 2 ? hi[axis] : lo[axis];
        bool on = true;
        for (int c = 0; c < unit.cornerCount; ++c) {
          const double coords[3] = {unit.corner[c].x, unit.corner[c].y, unit.corner[c].z};
          on = on && coords[axis] == plane;
        }
        if (on) {
          unit.side = k;
          unit.normal = {0, 0, 0};
          (axis == 0 ? unit.normal.x : axis == 1 ? unit.normal.y : unit.normal.z) = k % 2 ? 1 : -1;
        }
      }
      if (unit.side >= 0) box.hasSide[unit.side] = true;
      box.units.push_back(static_cast<int>(units.size()));
      units.push_back(unit);
      f += static_cast<std::size_t>(unit.faceCount);
    }
    boxes.push_back(std::move(box));
  }
}

// Keeps the marked faces of an object, with the texture coordinates and
// colours they name; the vertex list (the box's corners) stays whole.
void KeepFaces(scene::SceneObject& o, const std::vector<bool>& keep) {
  auto compact = [&](std::vector<scene::FaceIndices>& faces, auto& list, std::int32_t& count) {
    std::vector<int> remap(list.size(), -1);
    for (std::size_t f = 0; f < faces.size(); ++f)
      if (keep[f])
        for (std::int32_t i : {faces[f].A, faces[f].B, faces[f].C}) remap[static_cast<std::size_t>(i)] = 0;
    std::decay_t<decltype(list)> kept;
    for (std::size_t i = 0; i < list.size(); ++i)
      if (remap[i] == 0) {
        remap[i] = static_cast<int>(kept.size());
        kept.push_back(list[i]);
      }
    std::vector<scene::FaceIndices> keptFaces;
    for (std::size_t f = 0; f < faces.size(); ++f)
      if (keep[f])
        keptFaces.push_back({remap[static_cast<std::size_t>(faces[f].A)], remap[static_cast<std::size_t>(faces[f].B)],
                             remap[static_cast<std::size_t>(faces[f].C)]});
    faces = std::move(keptFaces);
    list = std::move(kept);
    count = static_cast<std::int32_t>(list.size());
  };
  if (o.HasTexcoords) compact(o.TFACE, o.TEXCOORD, o.TexcoordCount);
  if (o.HasColours) compact(o.CFACE, o.CVertex, o.CVertexCount);
  std::vector<scene::FaceIndices> faces;
  for (std::size_t f = 0; f < o.FACE.size(); ++f)
    if (keep[f]) faces.push_back(o.FACE[f]);
  o.FACE = std::move(faces);
  o.FaceCount = static_cast<std::int32_t>(o.FACE.size());
}

}  // namespace

HiddenFaceCount DropHiddenFaces(scene::Scene& s, const std::vector<SolidBox>& solids, float t0, float t1) {
  std::vector<Box> boxes;
  std::vector<Unit> units;
  CollectUnits(s, solids, boxes, units);
  const std::vector<View> views = SampleFlight(s, t0, t1);

  Grid g;
  const double tanHalf = std::tan(static_cast<double>(s.FieldOfView) / 2);
  g.cell = 2 * tanHalf * kAspect / kCellsAcross;
  g.width = kCellsAcross + 2 * kBorderCells;
  g.height = static_cast<int>(std::ceil(2 * tanHalf / g.cell - 1e-9)) + 2 * kBorderCells;
  g.gx = g.width * g.cell / 2;
  g.gy = g.height * g.cell / 2;
  g.nearW = static_cast<double>(static_cast<float>(static_cast<long double>(s.NearDistance) + kLoadedNearShift)) /
            kSceneScale;
  g.farW = static_cast<double>(s.FarDistance) / kSceneScale;

  // The samples are dealt out in turn; what each thread has seen is merged,
  // so the result is the same for any number of threads.
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  std::vector<Judge> judges;
  judges.reserve(threads);
  for (unsigned k = 0; k < threads; ++k) judges.emplace_back(g, boxes, units);
  auto work = [&](unsigned k) {
    for (std::size_t i = k; i < views.size(); i += threads) judges[k].Look(views[i]);
  };
  std::vector<std::thread> pool;
  for (unsigned k = 1; k < threads; ++k) pool.emplace_back(work, k);
  work(0);
  for (std::thread& t : pool) t.join();

  HiddenFaceCount count;
  std::vector<std::vector<bool>> keep(solids.size());
  for (std::size_t b = 0; b < solids.size(); ++b)
    keep[b].assign(s.Objects[static_cast<std::size_t>(solids[b].object)].FACE.size(), false);
  for (std::size_t u = 0; u < units.size(); ++u) {
    std::uint8_t seen = 0;
    for (const Judge& j : judges) seen |= j.Seen()[u];
    const Unit& unit = units[u];
    for (int f = 0; f < unit.faceCount; ++f)
      keep[static_cast<std::size_t>(unit.box)][static_cast<std::size_t>(unit.firstFace + f)] = (seen >> f) & 1;
  }
  for (std::size_t b = 0; b < solids.size(); ++b) {
    scene::SceneObject& o = s.Objects[static_cast<std::size_t>(solids[b].object)];
    count.before += o.FaceCount;
    KeepFaces(o, keep[b]);
    count.after += o.FaceCount;
  }
  return count;
}

}  // namespace assetgen

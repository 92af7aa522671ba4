#include "scene/dump.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "platform/files.h"

namespace scene {

namespace {

// The listing is gathered in a buffer and written in large pieces; a failed
// write to standard output is the same unhandled error as a failed read.
class Listing {
 public:
  void Line(const std::string& text) {
    buffer_ += text;
    buffer_ += '\n';
    if (buffer_.size() >= (1u << 16)) Flush();
  }
  void Flush() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
      buffer_.clear();
      platform::RaiseUnhandledError("Disk write error");
    }
    buffer_.clear();
    if (std::fflush(stdout) != 0) platform::RaiseUnhandledError("Disk write error");
  }

 private:
  std::string buffer_;
};

std::string Int(std::int64_t v) { return std::to_string(v); }

// Four decimals, rounded as printf rounds (an exact tie goes to the even
// digit). Every negative value keeps its "-", also one that rounds to
// "-0.0000", so the listing never shows a negative value as a positive one;
// zero itself is "0.0000" whatever the sign bit of its float.
std::string Real(float v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", v == 0 ? 0.0 : static_cast<double>(v));
  return text;
}

std::string Flag(std::uint8_t v) { return v ? "TRUE" : "FALSE"; }

std::string VectorKeyLine(std::size_t i, const VectorKey& k) {
  return Int(static_cast<std::int64_t>(i)) + " " + Int(k.Time) + " " + Real(k.X) + " " + Real(k.Y) + " " +
         Real(k.Z);
}

std::string FaceLine(std::size_t i, const FaceIndices& f) {
  return Int(static_cast<std::int64_t>(i)) + " " + Int(f.A) + " " + Int(f.B) + " " + Int(f.C);
}

void Faces(Listing& out, const char* word, const std::vector<FaceIndices>& faces, bool present) {
  out.Line(word);
  if (!present) return;
  for (std::size_t i = 0; i < faces.size(); ++i) out.Line(FaceLine(i, faces[i]));
}

void Points(Listing& out, const char* word, const std::vector<Vec3f>& points, bool present) {
  out.Line(word);
  if (!present) return;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Vec3f& p = points[i];
    out.Line(Int(static_cast<std::int64_t>(i)) + " " + Real(p.X) + " " + Real(p.Y) + " " + Real(p.Z));
  }
}

void Keys(Listing& out, const char* word, const std::vector<VectorKey>& keys) {
  out.Line(word);
  for (std::size_t i = 0; i < keys.size(); ++i) out.Line(VectorKeyLine(i, keys[i]));
}

void Object(Listing& out, std::size_t index, const SceneObject& o) {
  out.Line(Int(static_cast<std::int64_t>(index)));
  out.Line(o.Name);
  out.Line(Int(o.VertexCount));
  out.Line(Int(o.CVertexCount));
  out.Line(Int(o.TexcoordCount));
  out.Line(Int(o.FaceCount));
  out.Line(Int(o.MaterialIndex));
  out.Line(Int(o.PositionCount));
  out.Line(Int(o.RotateCount));
  out.Line(Int(o.ScaleCount));
  out.Line(Flag(o.HasTexcoords));
  out.Line(Flag(o.HasColours));

  Points(out, "  Vertex", o.Vertex, true);
  Points(out, "  CVertex", o.CVertex, o.HasColours != 0);
  out.Line("  TEXCOORD");
  if (o.HasTexcoords) {
    for (std::size_t i = 0; i < o.TEXCOORD.size(); ++i) {
      out.Line(Int(static_cast<std::int64_t>(i)) + " " + Real(o.TEXCOORD[i].U) + " " + Real(o.TEXCOORD[i].V));
    }
  }
  Faces(out, "  FACE", o.FACE, true);
  Faces(out, "  TFACE", o.TFACE, o.HasTexcoords != 0);
  Faces(out, "  CFACE", o.CFACE, o.HasColours != 0);
  Keys(out, "  Position", o.Position);
  // The listing shows Scale before Rotate, although the file stores them the
  // other way round.
  Keys(out, "  Scale", o.Scale);
  out.Line("  Rotate");
  for (std::size_t i = 0; i < o.Rotate.size(); ++i) {
    const RotateKey& k = o.Rotate[i];
    out.Line(Int(static_cast<std::int64_t>(i)) + " " + Int(k.Time) + " " + Real(k.A) + " " + Real(k.B) + " " +
             Real(k.C) + " " + Real(k.D));
  }
}

}  // namespace

void DumpScene(const Scene& scene) {
  Listing out;
  out.Line(" Header");
  out.Line(scene.Name);
  out.Line(Int(scene.HeaderValue));
  out.Line(Int(scene.MaterialCount));
  out.Line(Int(scene.ObjectCount));
  out.Line(Real(scene.FieldOfView));
  out.Line(Real(scene.NearDistance));
  out.Line(Real(scene.FarDistance));
  out.Line(Int(scene.CamPositionCount));
  out.Line(Int(scene.CamTargetCount));

  out.Line(" Materials");
  for (std::size_t i = 0; i < scene.Materials.size(); ++i) {
    const SceneMaterial& m = scene.Materials[i];
    out.Line(Int(static_cast<std::int64_t>(i)));
    out.Line(m.Name);
    out.Line(m.TextureFile);
    out.Line(Real(m.BlendAmount));
    out.Line(Int(m.TextureName));
    out.Line(Real(m.UScale));
    out.Line(Real(m.VScale));
    out.Line(Int(m.AlphaFlag));
    out.Line(Flag(m.Textured));
  }

  out.Line(" Objects");
  for (std::size_t i = 0; i < scene.Objects.size(); ++i) Object(out, i, scene.Objects[i]);

  out.Line(" Camerakeys");
  Keys(out, "  CamPosition", scene.CamPosition);
  Keys(out, "  CamTarget", scene.CamTarget);
  out.Line("Scene dumped");
  out.Flush();
}

}  // namespace scene

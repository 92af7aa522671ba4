#pragma once
// The in-memory scene: materials, objects with their key tracks, a lens and
// an animated camera. Every list owns its entries; each count field is kept
// beside its list exactly as the file carries it, because a flag can switch a
// list off whatever its count says (users consult the flag, not the count).
// All entry types are made of 4-byte fields only, so a list's storage has the
// file's own layout and is read with one read of its whole byte size.
#include <cstdint>
#include <string>
#include <vector>

namespace scene {

struct Vec3f {
  float X, Y, Z;
};
struct TexCoord {
  float U, V;
};
struct FaceIndices {
  std::int32_t A, B, C;
};
struct VectorKey {
  std::int32_t Time;
  float X, Y, Z;
};
struct RotateKey {
  std::int32_t Time;
  float A, B, C, D;
};
static_assert(sizeof(Vec3f) == 12 && sizeof(TexCoord) == 8 && sizeof(FaceIndices) == 12);
static_assert(sizeof(VectorKey) == 16 && sizeof(RotateKey) == 20);

// Counted strings hold at most this many characters.
inline constexpr std::size_t kMaxStringLength = 255;

struct SceneMaterial {
  std::string Name;
  std::string TextureFile;
  float BlendAmount = 0;
  std::uint32_t TextureName = 0;
  float UScale = 1;
  float VScale = 1;
  std::uint8_t AlphaFlag = 0;
  std::uint8_t Textured = 0;
};

struct SceneObject {
  std::string Name;
  std::int32_t VertexCount = 0;
  std::vector<Vec3f> Vertex;
  std::int32_t CVertexCount = 0;
  std::vector<Vec3f> CVertex;  // red, green, blue in X, Y, Z
  std::int32_t TexcoordCount = 0;
  std::vector<TexCoord> TEXCOORD;
  std::int32_t FaceCount = 0;
  std::uint8_t HasTexcoords = 0;
  std::uint8_t HasColours = 0;
  std::vector<FaceIndices> FACE;
  std::vector<FaceIndices> TFACE;
  std::vector<FaceIndices> CFACE;
  std::int32_t MaterialIndex = 0;
  std::int32_t PositionCount = 0;
  std::int32_t RotateCount = 0;
  std::int32_t ScaleCount = 0;
  std::vector<VectorKey> Position;
  std::vector<RotateKey> Rotate;
  std::vector<VectorKey> Scale;
  std::uint8_t Visible = 1;
};

// Derived bounds of one camera track, held per scene so that evaluating a
// scene reads only that scene's keys.
struct CameraTrackState {
  std::int32_t KeyCount = 0;
  float FirstTime = 0;
  float LastTime = 0;
  std::int32_t Segment = 0;
};

struct Scene {
  std::string Name;
  std::int32_t HeaderValue = 0;
  std::int32_t MaterialCount = 0;
  std::vector<SceneMaterial> Materials;
  std::int32_t ObjectCount = 0;
  std::vector<SceneObject> Objects;
  float FieldOfView = 0;
  float NearDistance = 0;
  float FarDistance = 0;
  std::int32_t CamPositionCount = 0;
  std::int32_t CamTargetCount = 0;
  std::vector<VectorKey> CamPosition;
  std::vector<VectorKey> CamTarget;
  std::vector<Vec3f> CamPositionTangents;
  std::vector<Vec3f> CamTargetTangents;
  CameraTrackState PositionTrack;
  CameraTrackState TargetTrack;
};

}  // namespace scene

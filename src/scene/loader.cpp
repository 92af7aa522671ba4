#include "scene/loader.h"

#include <cstring>
#include <string>

#include "platform/files.h"
#include "scene/camera.h"
#include "scene/progress.h"

namespace scene {

std::uint8_t FirstFormatByte = 0;
std::uint8_t SecondFormatByte = 1;

namespace {

constexpr std::size_t kStringBytes = 256;
constexpr std::size_t kHeaderBytes = 288;  // after the two format bytes
constexpr std::size_t kMaterialBytes = 530;
constexpr std::size_t kObjectFixedBytes = 290;

// Closes the file when loading is left early (the unhandled-error report may
// be turned into an unwinding by a harness), so no handle is ever lost.
struct FileGuard {
  platform::InFile& file;
  ~FileGuard() {
    if (file.handle) {
      std::fclose(file.handle);
      file.handle = nullptr;
    }
  }
};

std::int32_t GetInt(const unsigned char* p) {
  std::int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
std::uint32_t GetUint(const unsigned char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
float GetFloat(const unsigned char* p) {
  float v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
std::string GetString(const unsigned char* p) {
  return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}

void PutInt(unsigned char* p, std::int32_t v) { std::memcpy(p, &v, sizeof v); }
void PutUint(unsigned char* p, std::uint32_t v) { std::memcpy(p, &v, sizeof v); }
void PutFloat(unsigned char* p, float v) { std::memcpy(p, &v, sizeof v); }
// Names longer than a counted string can hold are cut; the bytes after the
// characters are zeros so that a saved file depends only on the scene.
void PutString(unsigned char* p, const std::string& s) {
  std::size_t n = s.size() < kMaxStringLength ? s.size() : kMaxStringLength;
  std::memset(p, 0, kStringBytes);
  p[0] = static_cast<unsigned char>(n);
  std::memcpy(p + 1, s.data(), n);
}

// A list of count entries: absent when count is zero or less, otherwise read
// with one read of its whole byte size straight into its storage, after
// making sure the file still holds that many bytes.
template <typename T>
void ReadList(platform::InFile& file, std::vector<T>& list, std::int32_t count) {
  list.clear();
  if (count <= 0) return;
  std::uint64_t bytes = static_cast<std::uint64_t>(count) * sizeof(T);
  platform::RequireRemaining(file, bytes);
  list.resize(static_cast<std::size_t>(count));
  platform::ReadExact(file, list.data(), static_cast<std::size_t>(bytes));
}

template <typename T>
void WriteList(platform::OutFile& file, const std::vector<T>& list) {
  platform::WriteBytes(file, list.data(), list.size() * sizeof(T));
}

[[noreturn]] void RefuseData(std::string_view fileName, const std::string& what) {
  std::string message = "Invalid scene data: " + std::string(fileName) + ": " + what;
  platform::RaiseUnhandledError(message.c_str());
}

void RefuseNegative(std::string_view fileName, const std::string& owner, const char* count, std::int32_t value) {
  if (value < 0) RefuseData(fileName, owner + count + " is " + std::to_string(value));
}

void CheckFaces(std::string_view fileName, std::size_t objectIndex, const std::vector<FaceIndices>& faces,
                std::size_t limit, const char* listName) {
  for (std::size_t f = 0; f < faces.size(); ++f) {
    for (std::int32_t index : {faces[f].A, faces[f].B, faces[f].C}) {
      if (index < 0 || static_cast<std::size_t>(index) >= limit) {
        RefuseData(fileName, "object " + std::to_string(objectIndex) + " face " + std::to_string(f) + " names " +
                                 listName + " " + std::to_string(index) + " of " + std::to_string(limit));
      }
    }
  }
}

// Drawing reads every index straight into its list, so an index outside its
// list is refused here rather than read out of bounds later.
void CheckObject(std::string_view fileName, std::size_t objectIndex, const SceneObject& object,
                 std::size_t materialCount) {
  if (object.MaterialIndex < 0 || static_cast<std::size_t>(object.MaterialIndex) >= materialCount) {
    RefuseData(fileName, "object " + std::to_string(objectIndex) + " names material " +
                             std::to_string(object.MaterialIndex) + " of " + std::to_string(materialCount));
  }
  CheckFaces(fileName, objectIndex, object.FACE, object.Vertex.size(), "vertex");
  CheckFaces(fileName, objectIndex, object.TFACE, object.TEXCOORD.size(), "texture coordinate");
  CheckFaces(fileName, objectIndex, object.CFACE, object.CVertex.size(), "colour");
}

void ReadMaterials(platform::InFile& file, Scene& scene) {
  scene.Materials.clear();
  if (scene.MaterialCount <= 0) return;
  std::uint64_t bytes = static_cast<std::uint64_t>(scene.MaterialCount) * kMaterialBytes;
  platform::RequireRemaining(file, bytes);
  std::vector<unsigned char> block(static_cast<std::size_t>(bytes));
  platform::ReadExact(file, block.data(), block.size());
  scene.Materials.resize(static_cast<std::size_t>(scene.MaterialCount));
  for (std::size_t i = 0; i < scene.Materials.size(); ++i) {
    const unsigned char* p = block.data() + i * kMaterialBytes;
    SceneMaterial& m = scene.Materials[i];
    m.Name = GetString(p);
    m.TextureFile = GetString(p + 256);
    m.BlendAmount = GetFloat(p + 512);
    m.TextureName = GetUint(p + 516);
    m.UScale = GetFloat(p + 520);
    m.VScale = GetFloat(p + 524);
    m.AlphaFlag = p[528];
    m.Textured = p[529];
  }
}

// `whole`: a negative count is refused (see LoadWholeScene).
void ReadObject(platform::InFile& file, SceneObject& o, std::string_view fileName, std::size_t index, bool whole) {
  unsigned char fixed[kObjectFixedBytes];
  platform::ReadExact(file, fixed, sizeof fixed);
  o.Name = GetString(fixed);
  o.VertexCount = GetInt(fixed + 256);
  o.CVertexCount = GetInt(fixed + 260);
  o.TexcoordCount = GetInt(fixed + 264);
  o.FaceCount = GetInt(fixed + 268);
  o.MaterialIndex = GetInt(fixed + 272);
  o.PositionCount = GetInt(fixed + 276);
  o.RotateCount = GetInt(fixed + 280);
  o.ScaleCount = GetInt(fixed + 284);
  o.HasTexcoords = fixed[288];
  o.HasColours = fixed[289];
  if (whole) {
    const std::string owner = "object " + std::to_string(index) + " ";
    for (auto [name, value] : {std::pair{"VertexCount", o.VertexCount}, {"CVertexCount", o.CVertexCount},
                               {"TexcoordCount", o.TexcoordCount}, {"FaceCount", o.FaceCount},
                               {"PositionCount", o.PositionCount}, {"RotateCount", o.RotateCount},
                               {"ScaleCount", o.ScaleCount}}) {
      RefuseNegative(fileName, owner, name, value);
    }
  }

  // Texture coordinates come before colours on file, although the counts in
  // the fixed part come the other way round.
  ReadList(file, o.Vertex, o.VertexCount);
  ReadList(file, o.TEXCOORD, o.HasTexcoords ? o.TexcoordCount : 0);
  ReadList(file, o.CVertex, o.HasColours ? o.CVertexCount : 0);
  ReadList(file, o.FACE, o.FaceCount);
  ReadList(file, o.TFACE, o.HasTexcoords ? o.FaceCount : 0);
  ReadList(file, o.CFACE, o.HasColours ? o.FaceCount : 0);
  ReadList(file, o.Position, o.PositionCount);
  ReadList(file, o.Rotate, o.RotateCount);
  ReadList(file, o.Scale, o.ScaleCount);
}

std::size_t Present(std::int32_t count) { return count > 0 ? static_cast<std::size_t>(count) : 0; }

// A scene whose counts disagree with its lists would be written as a file
// that no longer parses; such a scene is refused before anything is written.
void CheckListSize(std::string_view fileName, const std::string& owner, const char* list, std::size_t size,
                   std::int32_t count) {
  if (size != Present(count)) {
    RefuseData(fileName, owner + list + " holds " + std::to_string(size) + " entries but its count is " +
                             std::to_string(count));
  }
}

void CheckSavable(const Scene& scene, std::string_view fileName) {
  CheckListSize(fileName, "", "Materials", scene.Materials.size(), scene.MaterialCount);
  CheckListSize(fileName, "", "Objects", scene.Objects.size(), scene.ObjectCount);
  CheckListSize(fileName, "", "CamPosition", scene.CamPosition.size(), scene.CamPositionCount);
  CheckListSize(fileName, "", "CamTarget", scene.CamTarget.size(), scene.CamTargetCount);
  for (std::size_t i = 0; i < scene.Objects.size(); ++i) {
    const SceneObject& o = scene.Objects[i];
    std::string owner = "object " + std::to_string(i) + " ";
    CheckListSize(fileName, owner, "Vertex", o.Vertex.size(), o.VertexCount);
    CheckListSize(fileName, owner, "FACE", o.FACE.size(), o.FaceCount);
    if (o.HasTexcoords) {
      CheckListSize(fileName, owner, "TEXCOORD", o.TEXCOORD.size(), o.TexcoordCount);
      CheckListSize(fileName, owner, "TFACE", o.TFACE.size(), o.FaceCount);
    }
    if (o.HasColours) {
      CheckListSize(fileName, owner, "CVertex", o.CVertex.size(), o.CVertexCount);
      CheckListSize(fileName, owner, "CFACE", o.CFACE.size(), o.FaceCount);
    }
    CheckListSize(fileName, owner, "Position", o.Position.size(), o.PositionCount);
    CheckListSize(fileName, owner, "Rotate", o.Rotate.size(), o.RotateCount);
    CheckListSize(fileName, owner, "Scale", o.Scale.size(), o.ScaleCount);
  }
}

void LoadSceneFile(Scene& scene, std::string_view fileName, bool whole) {
  ReleaseScene(scene);
  platform::InFile file = platform::OpenRead(fileName);
  FileGuard guard{file};

  // The two format bytes carry nothing the reader needs.
  platform::ReadValue<std::uint8_t>(file);
  platform::ReadValue<std::uint8_t>(file);

  unsigned char header[kHeaderBytes];
  platform::ReadExact(file, header, sizeof header);
  scene.Name = GetString(header);
  scene.HeaderValue = GetInt(header + 256);
  scene.MaterialCount = GetInt(header + 260);
  scene.ObjectCount = GetInt(header + 264);
  scene.FieldOfView = GetFloat(header + 268);
  float nearDistance = GetFloat(header + 272);
  scene.FarDistance = GetFloat(header + 276);
  scene.CamPositionCount = GetInt(header + 280);
  scene.CamTargetCount = GetInt(header + 284);
  // A stored 0.0 must still give the perspective a positive near plane.
  scene.NearDistance = static_cast<float>(static_cast<long double>(nearDistance) + 0.00001L);
  if (whole) {
    RefuseNegative(fileName, "", "MaterialCount", scene.MaterialCount);
    RefuseNegative(fileName, "", "ObjectCount", scene.ObjectCount);
    RefuseNegative(fileName, "", "CamPositionCount", scene.CamPositionCount);
    RefuseNegative(fileName, "", "CamTargetCount", scene.CamTargetCount);
  }

  ReadMaterials(file, scene);

  if (scene.ObjectCount > 0) {
    // Every object needs at least its fixed part, so a count the file cannot
    // hold is refused before the object table is allocated.
    platform::RequireRemaining(file, static_cast<std::uint64_t>(scene.ObjectCount) * kObjectFixedBytes);
    scene.Objects.resize(static_cast<std::size_t>(scene.ObjectCount));
  }
  for (std::size_t i = 0; i < scene.Objects.size(); ++i) {
    ++LoadedItems;
    DrawLoadingProgress();
    SceneObject& object = scene.Objects[i];
    object.Visible = 1;
    ReadObject(file, object, fileName, i, whole);
    CheckObject(fileName, i, object, scene.Materials.size());
  }

  ReadList(file, scene.CamPosition, scene.CamPositionCount);
  ReadList(file, scene.CamTarget, scene.CamTargetCount);
  if (whole && platform::Remaining(file) > 0) {
    RefuseData(fileName, std::to_string(platform::Remaining(file)) + " bytes after the end of the scene");
  }
  platform::Close(file);

  scene.CamPositionTangents.assign(Present(scene.CamPositionCount), Vec3f{0, 0, 0});
  scene.CamTargetTangents.assign(Present(scene.CamTargetCount), Vec3f{0, 0, 0});
  scene.PositionTrack = CameraTrackState{};
  scene.TargetTrack = CameraTrackState{};
  if (scene.CamPositionCount > 0 && scene.CamTargetCount > 0) PrepareCameraTracks(scene);
}

}  // namespace

void LoadScene(Scene& scene, std::string_view fileName) { LoadSceneFile(scene, fileName, false); }

void LoadWholeScene(Scene& scene, std::string_view fileName) { LoadSceneFile(scene, fileName, true); }

void SaveScene(const Scene& scene, std::string_view fileName) {
  CheckSavable(scene, fileName);
  platform::OutFile file = platform::OpenWrite(fileName);

  unsigned char header[2 + kHeaderBytes];
  header[0] = FirstFormatByte;
  header[1] = SecondFormatByte;
  PutString(header + 2, scene.Name);
  PutInt(header + 258, scene.HeaderValue);
  PutInt(header + 262, scene.MaterialCount);
  PutInt(header + 266, scene.ObjectCount);
  PutFloat(header + 270, scene.FieldOfView);
  PutFloat(header + 274, scene.NearDistance);
  PutFloat(header + 278, scene.FarDistance);
  PutInt(header + 282, scene.CamPositionCount);
  PutInt(header + 286, scene.CamTargetCount);
  platform::WriteBytes(file, header, sizeof header);

  if (!scene.Materials.empty()) {
    std::vector<unsigned char> block(scene.Materials.size() * kMaterialBytes);
    for (std::size_t i = 0; i < scene.Materials.size(); ++i) {
      unsigned char* p = block.data() + i * kMaterialBytes;
      const SceneMaterial& m = scene.Materials[i];
      PutString(p, m.Name);
      PutString(p + 256, m.TextureFile);
      PutFloat(p + 512, m.BlendAmount);
      PutUint(p + 516, m.TextureName);
      PutFloat(p + 520, m.UScale);
      PutFloat(p + 524, m.VScale);
      p[528] = m.AlphaFlag;
      p[529] = m.Textured;
    }
    platform::WriteBytes(file, block.data(), block.size());
  }

  for (const SceneObject& o : scene.Objects) {
    unsigned char fixed[kObjectFixedBytes];
    PutString(fixed, o.Name);
    PutInt(fixed + 256, o.VertexCount);
    PutInt(fixed + 260, o.CVertexCount);
    PutInt(fixed + 264, o.TexcoordCount);
    PutInt(fixed + 268, o.FaceCount);
    PutInt(fixed + 272, o.MaterialIndex);
    PutInt(fixed + 276, o.PositionCount);
    PutInt(fixed + 280, o.RotateCount);
    PutInt(fixed + 284, o.ScaleCount);
    fixed[288] = o.HasTexcoords;
    fixed[289] = o.HasColours;
    platform::WriteBytes(file, fixed, sizeof fixed);
    WriteList(file, o.Vertex);
    if (o.HasTexcoords) WriteList(file, o.TEXCOORD);
    if (o.HasColours) WriteList(file, o.CVertex);
    WriteList(file, o.FACE);
    if (o.HasTexcoords) WriteList(file, o.TFACE);
    if (o.HasColours) WriteList(file, o.CFACE);
    WriteList(file, o.Position);
    WriteList(file, o.Rotate);
    WriteList(file, o.Scale);
  }
  WriteList(file, scene.CamPosition);
  WriteList(file, scene.CamTarget);
  platform::Commit(file);
}

void ReleaseScene(Scene& scene) {
  // Swapping with empty lists gives the memory back, where clear() keeps it.
  // The counts go back to 0 with their lists, so a released scene is an
  // empty one again rather than one whose counts name missing entries.
  std::vector<SceneMaterial>().swap(scene.Materials);
  std::vector<SceneObject>().swap(scene.Objects);
  std::vector<VectorKey>().swap(scene.CamPosition);
  std::vector<VectorKey>().swap(scene.CamTarget);
  std::vector<Vec3f>().swap(scene.CamPositionTangents);
  std::vector<Vec3f>().swap(scene.CamTargetTangents);
  scene.MaterialCount = 0;
  scene.ObjectCount = 0;
  scene.CamPositionCount = 0;
  scene.CamTargetCount = 0;
  scene.PositionTrack = CameraTrackState{};
  scene.TargetTrack = CameraTrackState{};
}

}  // namespace scene

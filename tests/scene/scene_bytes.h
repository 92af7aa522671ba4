#pragma once
// Builds ".3dw" bytes by hand, field by field, so the loader's layout is
// checked against the format itself rather than against our own writer.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files.h"

namespace scenetest {

struct Bytes {
  std::vector<unsigned char> data;

  Bytes& U8(std::uint8_t v) {
    data.push_back(v);
    return *this;
  }
  Bytes& I32(std::int32_t v) {
    unsigned char b[4];
    std::memcpy(b, &v, 4);
    data.insert(data.end(), b, b + 4);
    return *this;
  }
  Bytes& F32(float v) {
    unsigned char b[4];
    std::memcpy(b, &v, 4);
    data.insert(data.end(), b, b + 4);
    return *this;
  }
  // A counted string; the bytes after the characters are filled with a
  // pattern that a reader must ignore.
  Bytes& Str(const std::string& s, unsigned char fill = 0xA5) {
    data.push_back(static_cast<unsigned char>(s.size()));
    data.insert(data.end(), s.begin(), s.end());
    data.insert(data.end(), 255 - s.size(), fill);
    return *this;
  }
  Bytes& Key(std::int32_t time, float x, float y, float z) { return I32(time).F32(x).F32(y).F32(z); }
  Bytes& Rot(std::int32_t time, float a, float b, float c, float d) { return I32(time).F32(a).F32(b).F32(c).F32(d); }
  Bytes& Vec(float x, float y, float z) { return F32(x).F32(y).F32(z); }
  Bytes& Face(std::int32_t a, std::int32_t b, std::int32_t c) { return I32(a).I32(b).I32(c); }

  struct HeaderFields {
    std::string name = "scene";
    std::int32_t headerValue = 77;
    std::int32_t materialCount = 0;
    std::int32_t objectCount = 0;
    float fieldOfView = 0.8f;
    float nearDistance = 1.0f;
    float farDistance = 500.0f;
    std::int32_t camPositionCount = 0;
    std::int32_t camTargetCount = 0;
  };
  // The format bytes are deliberately not 0 and 1: a reader skips them.
  Bytes& Header(const HeaderFields& h) {
    U8(7).U8(9).Str(h.name).I32(h.headerValue).I32(h.materialCount).I32(h.objectCount);
    F32(h.fieldOfView).F32(h.nearDistance).F32(h.farDistance);
    return I32(h.camPositionCount).I32(h.camTargetCount);
  }
  Bytes& Material(const std::string& name, const std::string& texture, float blend, std::uint32_t textureName,
                  float u, float v, std::uint8_t alpha, std::uint8_t textured) {
    Str(name).Str(texture).F32(blend);
    I32(static_cast<std::int32_t>(textureName));
    return F32(u).F32(v).U8(alpha).U8(textured);
  }

  struct ObjectFields {
    std::string name = "object";
    std::int32_t vertexCount = 0, cvertexCount = 0, texcoordCount = 0, faceCount = 0, materialIndex = 0;
    std::int32_t positionCount = 0, rotateCount = 0, scaleCount = 0;
    std::uint8_t hasTexcoords = 0, hasColours = 0;
  };
  Bytes& Object(const ObjectFields& o) {
    Str(o.name).I32(o.vertexCount).I32(o.cvertexCount).I32(o.texcoordCount).I32(o.faceCount);
    I32(o.materialIndex).I32(o.positionCount).I32(o.rotateCount).I32(o.scaleCount);
    return U8(o.hasTexcoords).U8(o.hasColours);
  }

  void Write(const std::string& path) const { platform::WriteWholeFile(path, data.data(), data.size()); }
};

}  // namespace scenetest

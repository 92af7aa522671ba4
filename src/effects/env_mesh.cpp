#include "effects/env_mesh.h"

#include <cstddef>

#include "platform/gl.h"

namespace effects {

void DrawEnvMesh(const assets::Mesh& mesh, float angleX, float angleY, float angleZ, float red, float green,
                 float blue, float scaleX, float scaleY, float scaleZ, float moveX, float moveY, float moveZ,
                 bool turnTexture) {
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glLoadIdentity();
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  gl::glOrtho(-1, 1, -1, 1, -10, 10);

  gl::glMatrixMode(GL_MODELVIEW);
  gl::glScalef(scaleX, scaleY, scaleZ);
  gl::glTranslatef(moveX, moveY, moveZ);
  gl::glRotatef(angleX, 1, 0, 0);
  gl::glRotatef(angleY, 0, 1, 0);
  gl::glRotatef(angleZ, 0, 0, 1);

  gl::glMatrixMode(GL_TEXTURE);
  gl::glLoadIdentity();
  if (turnTexture) {
    gl::glRotatef(angleX, 1, 0, 0);
    gl::glRotatef(angleY, 0, 1, 0);
    gl::glRotatef(angleZ, 0, 0, 1);
  }

  gl::glColor3f(red, green, blue);
  // A face that names a vertex the mesh does not hold is left out rather than
  // read outside the arrays.
  const std::size_t vertexCount =
      mesh.vertices.size() < mesh.vertexInfo.size() ? mesh.vertices.size() : mesh.vertexInfo.size();
  auto inRange = [vertexCount](std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < vertexCount;
  };
  for (const assets::MeshFace& face : mesh.faces) {
    if (!inRange(face.a) || !inRange(face.b) || !inRange(face.c)) continue;
    gl::glBegin(GL_POLYGON);
    for (std::int32_t index : {face.a, face.b, face.c}) {
      const assets::MeshVec3& n = mesh.vertexInfo[static_cast<std::size_t>(index)].normal;
      const assets::MeshVec3& v = mesh.vertices[static_cast<std::size_t>(index)];
      gl::glTexCoord3f(n.x, n.y, n.z);
      gl::glVertex3f(v.x, v.y, v.z);
    }
    gl::glEnd();
  }
}

}  // namespace effects

#include "shell/sprites.h"

#include "platform/gl.h"

namespace shell {

void DrawSprite(float x, float y, float z, float halfWidth, float halfHeight, std::uint32_t texture) {
  gl::glBindTexture(GL_TEXTURE_2D, texture);
  gl::glEnable(GL_TEXTURE_2D);
  gl::glBegin(GL_QUADS);
  gl::glTexCoord2f(1, 0);
  gl::glVertex3f(x + halfWidth, y + halfHeight, z);
  gl::glTexCoord2f(1, 1);
  gl::glVertex3f(x + halfWidth, y - halfHeight, z);
  gl::glTexCoord2f(0, 1);
  gl::glVertex3f(x - halfWidth, y - halfHeight, z);
  gl::glTexCoord2f(0, 0);
  gl::glVertex3f(x - halfWidth, y + halfHeight, z);
  gl::glEnd();
}

}  // namespace shell

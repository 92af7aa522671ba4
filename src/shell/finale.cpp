#include "shell/finale.h"

#include <vector>

#include "effects/env_mesh.h"
#include "platform/gl.h"
#include "shell/show_assets.h"

namespace shell {

std::uint32_t FeedbackTexture = 0;

namespace {
constexpr int kFeedbackSize = 256;
}  // namespace

void CreateFeedbackTexture() {
  GLuint name = 0;
  gl::glGenTextures(1, &name);
  FeedbackTexture = name;
  ClearFeedbackTexture();
}

void ClearFeedbackTexture() {
  // The first frame of the finale shows this picture before any copy has
  // replaced it; it starts black rather than with whatever the heap held.
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kFeedbackSize) * kFeedbackSize * 4, 0);
  gl::glEnable(GL_TEXTURE_2D);
  gl::glBindTexture(GL_TEXTURE_2D, FeedbackTexture);
  gl::glTexImage2D(GL_TEXTURE_2D, 0, 4, kFeedbackSize, kFeedbackSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

void DrawFinale(float u, float scroll) {
  // The feedback area: the lower-left 256 x 256 pixels of the back buffer.
  gl::glEnable(GL_TEXTURE_2D);
  gl::glViewport(0, 0, kFeedbackSize, kFeedbackSize);
  gl::glClearColor(0, 0, 0, 1);
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl::glDisable(GL_DEPTH_TEST);
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  gl::gluOrtho2D(0, 256, 256, 0);
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glLoadIdentity();
  gl::glMatrixMode(GL_TEXTURE);
  gl::glLoadIdentity();
  gl::glScalef(0.9f, 0.9f, 0.9f);

  // The previous copy, enlarged about the texture's origin and, because the
  // copy's first row is the area's bottom row, mirrored top to bottom.
  gl::glBindTexture(GL_TEXTURE_2D, FeedbackTexture);
  gl::glBegin(GL_QUADS);
  gl::glColor3f(1, 1, 1);
  gl::glTexCoord2f(0, 0);
  gl::glVertex2f(0, 0);
  gl::glTexCoord2f(1, 0);
  gl::glVertex2f(256, 0);
  gl::glTexCoord2f(1, 1);
  gl::glVertex2f(256, 256);
  gl::glTexCoord2f(0, 1);
  gl::glVertex2f(0, 256);
  gl::glEnd();

  gl::glEnable(GL_DEPTH_TEST);
  gl::glBindTexture(GL_TEXTURE_2D, Env2Texture);
  gl::glDisable(GL_BLEND);
  effects::DrawEnvMesh(FinaleMesh, u, u, u, 1, 1, 1, 1, 1, 1, 0, 0, 0, true);
  gl::glMatrixMode(GL_TEXTURE);
  gl::glLoadIdentity();

  gl::glBindTexture(GL_TEXTURE_2D, FeedbackTexture);
  gl::glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, kFeedbackSize, kFeedbackSize, 0);

  // The composition over the whole window.
  gl::glViewport(0, 0, 800, 600);
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  gl::gluOrtho2D(0, 800, 600, 0);
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glLoadIdentity();
  gl::glEnable(GL_TEXTURE_2D);
  gl::glBindTexture(GL_TEXTURE_2D, FeedbackTexture);
  gl::glDisable(GL_DEPTH_TEST);
  gl::glDisable(GL_BLEND);

  gl::glBegin(GL_QUADS);
  gl::glColor3f(1, 1, 1);
  gl::glTexCoord2f(0, 0);
  gl::glVertex2f(0, 44);
  gl::glTexCoord2f(1, 0);
  gl::glVertex2f(512, 44);
  gl::glTexCoord2f(1, 1);
  gl::glVertex2f(512, 556);
  gl::glTexCoord2f(0, 1);
  gl::glVertex2f(0, 556);
  gl::glEnd();

  gl::glBindTexture(GL_TEXTURE_2D, EndScrollTexture);
  gl::glBegin(GL_QUADS);
  gl::glColor3f(1, 1, 1);
  gl::glTexCoord2f(0, -scroll);
  gl::glVertex2f(512, 44);
  gl::glTexCoord2f(1, -scroll);
  gl::glVertex2f(800, 44);
  gl::glTexCoord2f(1, 0.4f - scroll);
  gl::glVertex2f(800, 556);
  gl::glTexCoord2f(0, 0.4f - scroll);
  gl::glVertex2f(512, 556);
  gl::glEnd();
}

}  // namespace shell

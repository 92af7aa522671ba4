// The fixed-function layer on OpenGL ES 3 against the system's OpenGL: each
// case of the table draws the same calls on a fresh context of each kind
// (the headless context, then the same with QUILLON_GL_LAYER=gles), and the
// pictures and everything the case asks of GL must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/gles/layer.h"
#include "platform/image_write.h"
#include "platform/offscreen.h"
#include "support/gl_context.h"
#include "support/temp_dir.h"

namespace {

constexpr int kSize = 64;

// What a case asked of GL, in order, as doubles.
std::vector<double> answers;

void Ask(GLenum pname, int count) {
  double v[16] = {};
  gl::glGetDoublev(pname, v);
  answers.insert(answers.end(), v, v + count);
}
void AskInteger(GLenum pname, int count) {
  GLint v[4] = {};
  gl::glGetIntegerv(pname, v);
  answers.insert(answers.end(), v, v + count);
}
void AskLevels(int levels) {
  for (int level = 0; level < levels; ++level) {
    GLint w = -1, h = -1;
    gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
    answers.push_back(w);
    answers.push_back(h);
  }
}

// An RGBA texture of w x h whose texel (x, y) is f(x, y, channel).
template <typename F>
GLuint MakeTexture(int w, int h, GLint minFilter, F f) {
  std::vector<std::uint8_t> texels(static_cast<std::size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 4; ++c) texels[(static_cast<std::size_t>(y) * w + x) * 4 + c] = f(x, y, c);
  GLuint name = 0;
  gl::glGenTextures(1, &name);
  gl::glBindTexture(GL_TEXTURE_2D, name);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, minFilter == GL_NEAREST ? GL_NEAREST : GL_LINEAR);
  gl::glTexImage2D(GL_TEXTURE_2D, 0, 4, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  return name;
}

std::uint8_t Checker(int x, int y, int c) {
  return static_cast<std::uint8_t>(c == 3 ? 255 : ((x + y) % 2 ? 255 : 40) * (c + 1) / 3);
}

void Quad(float x0, float y0, float x1, float y1, float z = 0) {
  gl::glBegin(GL_QUADS);
  gl::glTexCoord2f(0, 0), gl::glVertex3f(x0, y0, z);
  gl::glTexCoord2f(1, 0), gl::glVertex3f(x1, y0, z);
  gl::glTexCoord2f(1, 1), gl::glVertex3f(x1, y1, z);
  gl::glTexCoord2f(0, 1), gl::glVertex3f(x0, y1, z);
  gl::glEnd();
}

struct Case {
  const char* what;
  void (*draw)();
};

const Case kCases[] = {
    {"a quad with a colour at each corner splits as GL splits it",
     [] {
       gl::glBegin(GL_QUADS);
       gl::glColor3f(1, 0, 0), gl::glVertex2f(-0.9f, -0.7f);
       gl::glColor3f(0, 1, 0), gl::glVertex2f(0.8f, -0.9f);
       gl::glColor3f(0, 0, 1), gl::glVertex2f(0.9f, 0.8f);
       gl::glColor3f(1, 1, 1), gl::glVertex2f(-0.7f, 0.9f);
       gl::glEnd();
     }},
    {"a colour given once after glBegin, or before it, holds for what follows",
     [] {
       gl::glColor3f(1, 0, 0);
       gl::glBegin(GL_POLYGON);
       for (int i = 0; i < 5; ++i) {
         if (i == 1) gl::glColor4f(0, 1, 0, 1);
         gl::glVertex2f(0.5f * std::cos(i * 1.2566f) - 0.4f, 0.5f * std::sin(i * 1.2566f));
       }
       gl::glEnd();
       Quad(0.3f, -0.8f, 0.9f, 0.8f);  // still green
       Ask(GL_CURRENT_COLOR, 4);
     }},
    {"fans, strips, triangles and quad strips; colours beyond 1 are clamped",
     [] {
       gl::glColor3f(2, 0.5f, -1);
       gl::glBegin(GL_TRIANGLE_STRIP);
       for (int i = 0; i < 6; ++i) gl::glColor3f(i * 0.2f, 1 - i * 0.1f, 0.5f), gl::glVertex2f(-0.9f + i * 0.3f, i % 2 ? -0.1f : -0.9f);
       gl::glEnd();
       gl::glBegin(GL_QUAD_STRIP);
       for (int i = 0; i < 6; ++i) gl::glColor3f(2.0f - i * 0.4f, 0.2f, i * 0.3f), gl::glVertex2f(-0.9f + (i / 2) * 0.5f, i % 2 ? 0.9f : 0.1f);
       gl::glEnd();
       gl::glBegin(GL_TRIANGLE_FAN);
       gl::glColor3f(1, 1, 0), gl::glVertex2f(0.6f, 0.5f);
       for (int i = 0; i < 5; ++i) gl::glColor3f(0, i * 0.25f, 1), gl::glVertex2f(0.6f + 0.3f * std::cos(i * 0.9f), 0.5f + 0.3f * std::sin(i * 0.9f));
       gl::glEnd();
       gl::glBegin(GL_TRIANGLES);
       gl::glColor3f(0.3f, 0.3f, 1), gl::glVertex2f(0.2f, -0.9f), gl::glVertex2f(0.9f, -0.8f), gl::glVertex2f(0.5f, -0.1f);
       gl::glEnd();
     }},
    {"lines and line loops",
     [] {
       gl::glBegin(GL_LINES);
       gl::glColor3f(1, 0, 0), gl::glVertex2f(-0.9f, -0.9f), gl::glColor3f(0, 1, 0), gl::glVertex2f(0.9f, 0.3f);
       gl::glVertex2f(-0.5f, 0.9f), gl::glVertex2f(-0.4f, -0.9f);
       gl::glEnd();
       gl::glBegin(GL_LINE_LOOP);
       gl::glColor3f(1, 1, 1), gl::glVertex2f(0.1f, 0.1f), gl::glVertex2f(0.8f, 0.2f), gl::glVertex2f(0.5f, 0.8f);
       gl::glEnd();
     }},
    {"a texture modulated through the texture matrix with 3-component coordinates",
     [] {
       MakeTexture(8, 8, GL_NEAREST, Checker);
       gl::glEnable(GL_TEXTURE_2D);
       gl::glMatrixMode(GL_TEXTURE);
       gl::glTranslatef(0.1f, 0.2f, 0.3f);
       gl::glRotatef(35, 1, 0, 0);  // moves r into t
       gl::glRotatef(20, 0, 0, 1);
       gl::glScalef(1.5f, 1.5f, 1.5f);
       Ask(GL_TEXTURE_MATRIX, 16);
       gl::glColor3f(1, 0.5f, 0.25f);
       gl::glBegin(GL_QUADS);
       gl::glTexCoord3f(0, 0, 0.5f), gl::glVertex2f(-0.9f, -0.9f);
       gl::glTexCoord3f(1, 0, -0.5f), gl::glVertex2f(0.9f, -0.9f);
       gl::glTexCoord3f(1, 1, 0.7f), gl::glVertex2f(0.9f, 0.9f);
       gl::glTexCoord3f(0, 1, 0.1f), gl::glVertex2f(-0.9f, 0.9f);
       gl::glEnd();
       gl::glRotatef(90, 0, 0, 1);  // the next draw, the same but for its matrix
       Quad(-0.3f, -0.3f, 0.3f, 0.3f);
       const GLfloat projective[16] = {1, 0, 0, 0.8f, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};  // q = 1 + 0.8 s
       gl::glMultMatrixf(projective);
       Quad(0.35f, 0.35f, 0.9f, 0.9f);
     }},
    {"environment REPLACE ignores the colour",
     [] {
       MakeTexture(4, 4, GL_NEAREST, Checker);
       gl::glEnable(GL_TEXTURE_2D);
       gl::glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
       gl::glColor3f(0, 0, 1);
       Quad(-0.8f, -0.8f, 0.8f, 0.8f);
     }},
    {"alpha test and blending over what is drawn",
     [] {
       gl::glClearColor(0, 0, 0.6f, 1);
       gl::glClear(GL_COLOR_BUFFER_BIT);
       MakeTexture(16, 16, GL_LINEAR, [](int x, int y, int c) { return static_cast<std::uint8_t>(c == 3 ? x * 17 : 60 + y * 12); });
       gl::glEnable(GL_TEXTURE_2D);
       gl::glEnable(GL_ALPHA_TEST);
       gl::glAlphaFunc(GL_GREATER, 0.3f);
       gl::glEnable(GL_BLEND);
       gl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
       Quad(-0.9f, -0.9f, 0.5f, 0.5f);
       gl::glDisable(GL_ALPHA_TEST);
       gl::glDisable(GL_TEXTURE_2D);
       gl::glBlendFunc(GL_ONE, GL_ONE);
       gl::glColor3f(0.4f, 0.3f, 0.2f);
       Quad(-0.2f, -0.2f, 0.9f, 0.9f);
       Ask(GL_ALPHA_TEST_REF, 1), AskInteger(GL_BLEND_SRC, 1), AskInteger(GL_BLEND_DST, 1), AskInteger(GL_ALPHA_TEST_FUNC, 1);
     }},
    {"depth test, depth mask and the order of functions",
     [] {
       gl::glClear(GL_DEPTH_BUFFER_BIT);
       gl::glEnable(GL_DEPTH_TEST);
       gl::glDepthFunc(GL_LESS);
       gl::glColor3f(1, 0, 0);
       gl::glBegin(GL_QUADS);
       gl::glVertex3f(-0.9f, -0.9f, -0.5f), gl::glVertex3f(0.9f, -0.9f, 0.5f), gl::glVertex3f(0.9f, 0.9f, 0.5f), gl::glVertex3f(-0.9f, 0.9f, -0.5f);
       gl::glEnd();
       gl::glColor3f(0, 1, 0);
       Quad(-0.6f, -0.6f, 0.6f, 0.6f, 0.1f);
       gl::glDepthMask(GL_FALSE);
       gl::glDepthFunc(GL_LEQUAL);
       gl::glColor3f(0, 0, 1);
       Quad(-0.3f, -0.95f, 0.3f, 0.95f, 0.0f);
       gl::glDepthMask(GL_TRUE);
       gl::glDepthFunc(GL_GREATER);
       gl::glTranslatef(0.1f, 0.05f, 0);  // a matrix changed between draws
       gl::glColor3f(1, 1, 0);
       Quad(-0.95f, -0.2f, 0.95f, 0.2f, 0.05f);
       GLboolean mask = GL_FALSE;
       gl::glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
       answers.push_back(mask);
       AskInteger(GL_DEPTH_FUNC, 1);
     }},
    {"a scissored clear and draw",
     [] {
       gl::glEnable(GL_SCISSOR_TEST);
       gl::glScissor(10, 12, 30, 20);
       gl::glClearColor(1, 0, 0, 1);
       gl::glClear(GL_COLOR_BUFFER_BIT);
       gl::glColor3f(0, 1, 1);
       Quad(-0.5f, -1, 1, 0.5f);
       gl::glDisable(GL_SCISSOR_TEST);
       gl::glColor3f(1, 1, 1);
       Quad(0.8f, 0.8f, 1, 1);
       AskInteger(GL_SCISSOR_BOX, 4);
       answers.push_back(gl::glIsEnabled(GL_SCISSOR_TEST));
     }},
    {"glCopyTexImage2D takes the frame back as a texture; viewport and projection as the finale sets them",
     [] {
       GLuint copy = 0;
       gl::glGenTextures(1, &copy);
       gl::glBindTexture(GL_TEXTURE_2D, copy);
       gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
       gl::glViewport(0, 0, 32, 32);
       gl::glMatrixMode(GL_PROJECTION);
       gl::gluOrtho2D(0, 32, 32, 0);
       gl::glBegin(GL_QUADS);
       gl::glColor3f(1, 0, 0), gl::glVertex2f(0, 0), gl::glColor3f(0, 1, 0), gl::glVertex2f(32, 0);
       gl::glColor3f(0, 0, 1), gl::glVertex2f(32, 32), gl::glColor3f(1, 1, 1), gl::glVertex2f(0, 32);
       gl::glEnd();
       gl::glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 0, 0, 32, 32, 0);
       AskLevels(1);
       gl::glViewport(0, 0, kSize, kSize);
       gl::glClear(GL_COLOR_BUFFER_BIT);
       gl::glEnable(GL_TEXTURE_2D);
       gl::glMatrixMode(GL_TEXTURE);
       gl::glScalef(0.9f, 0.9f, 0.9f);
       gl::glColor3f(1, 1, 1);
       Quad(4, 4, 30, 28);
       AskInteger(GL_VIEWPORT, 4);
       Ask(GL_PROJECTION_MATRIX, 16);
     }},
    {"gluBuild2DMipmaps of a picture whose sides are no powers of two, minified",
     [] {
       GLuint name = 0;
       gl::glGenTextures(1, &name);
       gl::glBindTexture(GL_TEXTURE_2D, name);
       gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
       // 45 rounds down to 32, 13 up to 16 (3 x 4 is taken as 4 x 4).
       std::vector<std::uint8_t> picture(45 * 13 * 4);
       for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);
       answers.push_back(gl::gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 45, 13, GL_RGBA, GL_UNSIGNED_BYTE, picture.data()));
       AskLevels(8);
       std::vector<std::uint8_t> level(32 * 32 * 4);
       for (int l : {0, 2, 5}) {
         gl::glGetTexImage(GL_TEXTURE_2D, l, GL_RGBA, GL_UNSIGNED_BYTE, level.data());
         answers.insert(answers.end(), level.begin(), level.begin() + (32 >> l) * (16 >> l) * 4);
       }
       gl::glEnable(GL_TEXTURE_2D);
       gl::glColor3f(1, 1, 1);
       Quad(-0.9f, -0.9f, -0.6f, -0.7f);
       Quad(-0.5f, -0.5f, 0.9f, 0.9f);
     }},
    {"mipmaps: triangles that only magnify sample the first level with the magnifying filter and wrap modes; "
     "a minified one in the same batch still blends levels",
     [] {
       GLuint name = 0;
       gl::glGenTextures(1, &name);
       gl::glBindTexture(GL_TEXTURE_2D, name);
       gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
       gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, 0x812F);  // GL_CLAMP_TO_EDGE (ES has no border)
       // Each level a colour of its own, so that any level blended in shows.
       std::vector<std::uint8_t> texels(8 * 8 * 4);
       for (int level = 0, side = 8; side >= 1; ++level, side /= 2) {
         for (int i = 0; i < side * side; ++i)
           for (int c = 0; c < 4; ++c) texels[i * 4 + c] = level == 0 ? Checker(i % 8, i / 8, c) : c == 3 || c + 1 == level ? 255 : 0;
         gl::glTexImage2D(GL_TEXTURE_2D, level, 4, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
       }
       gl::glEnable(GL_TEXTURE_2D);
       gl::glColor3f(1, 1, 1);
       // 8 texels over 26 pixels across, 16 over 26 down (clamped beyond the edges).
       auto quad = [](float x0, float y0, float x1, float y1, float t0, float t1) {
         gl::glTexCoord2f(0, t0), gl::glVertex2f(x0, y0), gl::glTexCoord2f(1, t0), gl::glVertex2f(x1, y0);
         gl::glTexCoord2f(1, t1), gl::glVertex2f(x1, y1), gl::glTexCoord2f(0, t1), gl::glVertex2f(x0, y1);
       };
       gl::glBegin(GL_QUADS);
       quad(-0.9f, -0.9f, -0.1f, -0.1f, -0.5f, 1.5f);
       gl::glEnd();
       gl::glTranslatef(0, 0.95f, 0);  // the next batch: the same, then 8 texels over 6.4 pixels
       gl::glBegin(GL_QUADS);
       quad(-0.9f, -0.9f, -0.1f, -0.1f, -0.5f, 1.5f);
       quad(0.1f, -0.9f, 0.3f, -0.7f, 0, 1);
       gl::glEnd();
     }},
    {"a texture GL calls incomplete draws untextured",
     [] {
       MakeTexture(8, 8, GL_LINEAR_MIPMAP_LINEAR, Checker);  // level 0 only
       gl::glEnable(GL_TEXTURE_2D);
       gl::glColor3f(0.2f, 0.8f, 0.4f);
       Quad(-0.8f, -0.8f, 0.8f, 0.8f);
     }},
    {"capabilities kept though not drawn with, the framebuffer's sizes, and a query GL does not know",
     [] {
       gl::glEnable(GL_LIGHTING);
       gl::glDisable(GL_DITHER);
       answers.push_back(gl::glIsEnabled(GL_LIGHTING));
       answers.push_back(gl::glIsEnabled(GL_DITHER));
       answers.push_back(gl::glGetError());
       GLboolean unknown[2] = {7, 7};
       gl::glGetBooleanv(0x1234, unknown);
       answers.push_back(gl::glGetError());
       answers.insert(answers.end(), unknown, unknown + 2);  // nothing written
       AskInteger(GL_ALPHA_BITS, 1), AskInteger(GL_DEPTH_BITS, 1), AskInteger(GL_MAX_VIEWPORT_DIMS, 2);
     }},
    {"the show's camera: perspective, scale, look-at with z up, a mirror and the matrix stack",
     [] {
       gl::glClear(GL_DEPTH_BUFFER_BIT);
       gl::glEnable(GL_DEPTH_TEST);
       gl::glMatrixMode(GL_PROJECTION);
       gl::gluPerspective(57.3, 4.0 / 3.0, 1, 5000);
       gl::glScalef(0.05f, 0.05f, 0.05f);
       gl::gluLookAt(60, -80, 45, 0, 0, 0, 0, 0, 1);
       gl::glScalef(1, 1, -1);
       Ask(GL_PROJECTION_MATRIX, 16);
       gl::glMatrixMode(GL_MODELVIEW);
       gl::glPushMatrix();
       gl::glRotatef(30, 0, 0, 1);
       gl::glRotatef(-20, 1, 1, 0);
       gl::glTranslatef(5, 0, -3);
       Ask(GL_MODELVIEW_MATRIX, 16);
       static const float kCorner[8][3] = {{-20, -20, -20}, {20, -20, -20}, {20, 20, -20}, {-20, 20, -20},
                                          {-20, -20, 20},  {20, -20, 20},  {20, 20, 20},  {-20, 20, 20}};
       static const int kFace[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 3, 7, 4}};
       for (const auto& face : kFace) {
         gl::glBegin(GL_POLYGON);
         for (int i : face) gl::glColor3f(i & 1 ? 1.0f : 0.2f, i & 2 ? 1.0f : 0.3f, i & 4 ? 1.0f : 0.1f), gl::glVertex3f(kCorner[i][0], kCorner[i][1], kCorner[i][2]);
         gl::glEnd();
       }
       gl::glPopMatrix();
       gl::glColor3f(1, 1, 1);
       Quad(-10, -10, 10, 10, 30);  // drawn with the matrix the pop gave back
       gl::glPopMatrix();           // one too many
       answers.push_back(gl::glGetError());
       AskInteger(GL_MODELVIEW_STACK_DEPTH, 1);
       Ask(GL_MODELVIEW_MATRIX, 16);
     }},
};

struct Result {
  std::vector<std::uint8_t> frame;
  std::vector<double> answers;
};

// Every case on a fresh context of one kind; empty when none can be made.
std::vector<Result> DrawEveryCase(bool layer) {
  if (layer)
    setenv("QUILLON_GL_LAYER", "gles", 1);
  else
    unsetenv("QUILLON_GL_LAYER");
  std::vector<Result> results;
  for (const Case& c : kCases) {
    if (!platform::OpenOffscreen(kSize, kSize)) return {};
    answers.clear();
    gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);  // a new surface holds anything
    c.draw();
    gl::glFinish();
    results.push_back({testsupport::ReadFrame(kSize, kSize), answers});
    platform::CloseOffscreen();
  }
  unsetenv("QUILLON_GL_LAYER");
  return results;
}

TEST(GlesLayer, DrawsAndAnswersAsTheSystemOpenGl) {
  const std::vector<Result> system = DrawEveryCase(false);
  const std::vector<Result> layer = DrawEveryCase(true);
  if (system.empty() || layer.empty()) GTEST_SKIP() << "no headless OpenGL or OpenGL ES 3 context";
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(kCases[i].what);
    int differing = 0, worst = 0;
    for (std::size_t p = 0; p < system[i].frame.size(); ++p) {
      const int d = std::abs(system[i].frame[p] - layer[i].frame[p]);
      worst = std::max(worst, d);
      differing += d > 2;
    }
    if (differing > 0) {
      // Both pictures, top row first, beside the test's build folder.
      const std::string stem = testsupport::BinaryDir() + "/gles-layer-case" + std::to_string(i);
      for (const auto& [result, name] : {std::pair{&system[i], "-system.png"}, std::pair{&layer[i], "-layer.png"}}) {
        std::vector<std::uint8_t> rows(result->frame.size());
        const std::size_t row = kSize * 4;
        for (int y = 0; y < kSize; ++y) std::copy_n(&result->frame[(kSize - 1 - y) * row], row, &rows[y * row]);
        platform::WritePng(stem + name, kSize, kSize, 4, rows.data());
      }
      ADD_FAILURE() << differing << " channels more than 2 levels away (the worst by " << worst << "): " << stem
                    << "-system.png and -layer.png";
    }
    ASSERT_EQ(system[i].answers.size(), layer[i].answers.size());
    int wrong = 0;
    std::size_t first = 0;
    for (std::size_t a = 0; a < system[i].answers.size(); ++a) {
      const double want = system[i].answers[a];
      if (std::fabs(layer[i].answers[a] - want) > 1e-6 * std::max(1.0, std::fabs(want)) && wrong++ == 0) first = a;
    }
    EXPECT_EQ(wrong, 0) << "answers differ, the first (number " << first << ") is " << layer[i].answers[first]
                        << " where the system's OpenGL says " << system[i].answers[first];
  }
}

// The layer's entries by name are its table's, so a backend can bind GL by
// name from the layer; names GL does not have find nothing.
TEST(GlesLayer, EntriesByNameAreTheTablesOwn) {
  const gl::GlTable table = platform::gles::LayerTable();
  EXPECT_EQ(platform::gles::LayerEntry("glBegin"), reinterpret_cast<void*>(table.glBegin));
  EXPECT_EQ(platform::gles::LayerEntry("gluBuild2DMipmaps"), reinterpret_cast<void*>(table.gluBuild2DMipmaps));
  EXPECT_EQ(platform::gles::LayerEntry("glGetTexLevelParameteriv"), reinterpret_cast<void*>(table.glGetTexLevelParameteriv));
  EXPECT_EQ(platform::gles::LayerEntry("glVertex4f"), nullptr);
}

}  // namespace

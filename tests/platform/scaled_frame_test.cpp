// The scaled frame on real Mesa in a headless context whose surface stands
// for the screen: the frame drawn at 800 x 600 into its own framebuffer, and
// each presentation draws it into the largest centred 4:3 rectangle with
// black beside it, the right way up, pixel for pixel where the sizes agree,
// then hands the frame back for drawing and reading with the OpenGL state as
// it was. Drivers without framebuffer objects are refused cleanly.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gl.h"
#include "platform/offscreen.h"
#include "platform/present.h"
#include "platform/random.h"
#include "platform/scaled_frame.h"
#include "support/gl_context.h"

namespace {

using platform::FitFrameToScreen;
using platform::ScreenRect;

constexpr int kFrameW = 800;
constexpr int kFrameH = 600;
constexpr GLenum kFramebufferBinding = 0x8CA6;
constexpr GLenum kReadFramebufferBinding = 0x8CAA;

TEST(FitFrameToScreen, LargestCentredRectangleOfTheFramesAspect) {
  struct Case {
    int sw, sh;
    ScreenRect want;
  };
  const Case cases[] = {
      {1920, 1080, {240, 0, 1440, 1080}},  // wide: columns beside
      {1024, 768, {0, 0, 1024, 768}},      // 4:3: the whole screen
      {800, 600, {0, 0, 800, 600}},        // the frame's own size
      {1280, 1024, {0, 32, 1280, 960}},    // 5:4: rows above and below
      {1080, 1920, {0, 555, 1080, 810}},   // portrait
      {1280, 800, {106, 0, 1067, 800}},    // 1066.7 rounds to 1067; the odd pixel goes right
      {3840, 2160, {480, 0, 2880, 2160}},
      {801, 600, {0, 0, 800, 600}},        // one spare column goes to the right
      {0, 600, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    const ScreenRect r = FitFrameToScreen(kFrameW, kFrameH, c.sw, c.sh);
    EXPECT_EQ(r.x, c.want.x) << c.sw << "x" << c.sh;
    EXPECT_EQ(r.y, c.want.y) << c.sw << "x" << c.sh;
    EXPECT_EQ(r.width, c.want.width) << c.sw << "x" << c.sh;
    EXPECT_EQ(r.height, c.want.height) << c.sw << "x" << c.sh;
  }
}

using Rgb = std::array<std::uint8_t, 3>;
constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kBlack{0, 0, 0};

// The frame in four quadrants (in picture terms, top row first): red top
// left, green top right, blue bottom left, white bottom right.
void DrawQuadrants() {
  gl::glEnable(GL_SCISSOR_TEST);
  auto fill = [](int x, int y, int w, int h, Rgb c) {
    gl::glScissor(x, y, w, h);
    gl::glClearColor(c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f, 1);
    gl::glClear(GL_COLOR_BUFFER_BIT);
  };
  fill(0, kFrameH / 2, kFrameW / 2, kFrameH / 2, kRed);
  fill(kFrameW / 2, kFrameH / 2, kFrameW / 2, kFrameH / 2, kGreen);
  fill(0, 0, kFrameW / 2, kFrameH / 2, kBlue);
  fill(kFrameW / 2, 0, kFrameW / 2, kFrameH / 2, kWhite);
  gl::glDisable(GL_SCISSOR_TEST);
  gl::glScissor(0, 0, kFrameW, kFrameH);
}

// What the swap saw on the screen, read while the screen was current.
struct Screen {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
  GLint readBinding = -1;
  int swaps = 0;
  Rgb At(int x, int y) const {  // y from the bottom
    const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
    return {p[0], p[1], p[2]};
  }
};

void ReadScreen(void* context) {
  auto& s = *static_cast<Screen*>(context);
  gl::glGetIntegerv(kReadFramebufferBinding, &s.readBinding);
  s.rgba = testsupport::ReadFrame(s.width, s.height);
  ++s.swaps;
}

Rgb ReadRgb(int x, int y) {
  auto p = testsupport::ReadPixel(x, y);
  return {p[0], p[1], p[2]};
}

std::string Name(Rgb c) {
  return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
}

// A headless context of a screen's size per test; the frame is opened by the
// test itself.
class ScaledFrameTest : public testsupport::GlTest, public ::testing::WithParamInterface<std::array<int, 2>> {
 protected:
  int Width() const override { return GetParam()[0]; }
  int Height() const override { return GetParam()[1]; }
  void TearDown() override {
    platform::CloseScaledFrame();
    testsupport::GlTest::TearDown();
  }
  void Present(Screen& s) {
    s.width = Width();
    s.height = Height();
    platform::PresentScaledFrame(s.width, s.height, ReadScreen, &s);
  }
};

TEST_P(ScaledFrameTest, PresentsTheFrameUprightInTheCentredRectangleWithBlackBeside) {
  // The screen starts out grey, so black bars are the presenter's own.
  gl::glClearColor(0.5f, 0.5f, 0.5f, 1);
  gl::glClear(GL_COLOR_BUFFER_BIT);
  ASSERT_TRUE(platform::OpenScaledFrame(kFrameW, kFrameH, 32, platform::OffscreenProcAddress))
      << platform::ScaledFrameRefusal();
  gl::glViewport(0, 0, kFrameW, kFrameH);
  DrawQuadrants();
  Screen s;
  Present(s);
  ASSERT_EQ(s.swaps, 1);
  EXPECT_EQ(s.readBinding, 0) << "the swap sees the window's own framebuffer";

  const ScreenRect r = FitFrameToScreen(kFrameW, kFrameH, s.width, s.height);
  // Inside: the quadrants, upright, reaching every edge of the rectangle.
  const int left = r.x, right = r.x + r.width - 1, bottom = r.y, top = r.y + r.height - 1;
  struct Probe {
    int x, y;
    Rgb want;
  };
  const Probe inside[] = {{left, top, kRed},     {right, top, kGreen},   {left, bottom, kBlue},
                          {right, bottom, kWhite}, {left + r.width / 4, bottom + 3 * r.height / 4, kRed},
                          {left + 3 * r.width / 4, bottom + r.height / 4, kWhite}};
  for (const Probe& p : inside) {
    EXPECT_EQ(Name(s.At(p.x, p.y)), Name(p.want)) << "screen pixel " << p.x << "," << p.y;
  }
  // Beside it: black, right up to the rectangle.
  for (int y = 0; y < s.height; y += 7) {
    for (int x = 0; x < r.x; ++x) ASSERT_EQ(Name(s.At(x, y)), Name(kBlack)) << x << "," << y;
    for (int x = r.x + r.width; x < s.width; ++x) ASSERT_EQ(Name(s.At(x, y)), Name(kBlack)) << x << "," << y;
  }
  for (int x = 0; x < s.width; x += 7) {
    for (int y = 0; y < r.y; ++y) ASSERT_EQ(Name(s.At(x, y)), Name(kBlack)) << x << "," << y;
    for (int y = r.y + r.height; y < s.height; ++y) ASSERT_EQ(Name(s.At(x, y)), Name(kBlack)) << x << "," << y;
  }
  // Afterwards the frame is current again: reads see it at its own size.
  EXPECT_EQ(Name(ReadRgb(0, kFrameH - 1)), Name(kRed));
  EXPECT_EQ(Name(ReadRgb(kFrameW - 1, 0)), Name(kWhite));
  GLint binding = 0;
  gl::glGetIntegerv(kFramebufferBinding, &binding);
  EXPECT_NE(binding, 0);
  EXPECT_EQ(gl::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

INSTANTIATE_TEST_SUITE_P(Screens, ScaledFrameTest,
                         ::testing::Values(std::array<int, 2>{1920, 1080}, std::array<int, 2>{1024, 768},
                                           std::array<int, 2>{1280, 1024}, std::array<int, 2>{800, 600}),
                         [](const auto& info) {
                           return std::to_string(info.param[0]) + "x" + std::to_string(info.param[1]);
                         });

class ScaledFrameOn1920 : public testsupport::GlTest {
 protected:
  int Width() const override { return 1920; }
  int Height() const override { return 1080; }
  void TearDown() override {
    platform::CloseScaledFrame();
    testsupport::GlTest::TearDown();
  }
};

// The presentation leaves the show's inherited state alone: scissor test and
// box, clear colour, viewport, matrices' current mode, and the frame as the
// target of drawing and reading.
TEST_F(ScaledFrameOn1920, PresentingLeavesTheStateItTouchesAsItWas) {
  ASSERT_TRUE(platform::OpenScaledFrame(kFrameW, kFrameH, 32, platform::OffscreenProcAddress));
  gl::glViewport(10, 20, 300, 200);
  gl::glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
  for (bool scissorOn : {true, false}) {
    if (scissorOn) {
      gl::glEnable(GL_SCISSOR_TEST);
    } else {
      gl::glDisable(GL_SCISSOR_TEST);
    }
    gl::glScissor(5, 6, 70, 80);
    Screen s;
    s.width = 1920;
    s.height = 1080;
    platform::PresentScaledFrame(1920, 1080, ReadScreen, &s);
    EXPECT_EQ(gl::glIsEnabled(GL_SCISSOR_TEST), scissorOn ? GL_TRUE : GL_FALSE);
    GLint box[4], viewport[4];
    GLfloat clear[4];
    gl::glGetIntegerv(GL_SCISSOR_BOX, box);
    gl::glGetIntegerv(GL_VIEWPORT, viewport);
    gl::glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ((std::array<GLint, 4>{box[0], box[1], box[2], box[3]}), (std::array<GLint, 4>{5, 6, 70, 80}));
    EXPECT_EQ((std::array<GLint, 4>{viewport[0], viewport[1], viewport[2], viewport[3]}),
              (std::array<GLint, 4>{10, 20, 300, 200}));
    EXPECT_EQ((std::array<GLfloat, 4>{clear[0], clear[1], clear[2], clear[3]}),
              (std::array<GLfloat, 4>{0.25f, 0.5f, 0.75f, 1.0f}));
    GLint draw = 0, read = 0;
    gl::glGetIntegerv(kFramebufferBinding, &draw);
    gl::glGetIntegerv(kReadFramebufferBinding, &read);
    EXPECT_NE(draw, 0);
    EXPECT_EQ(draw, read);
    EXPECT_EQ(gl::glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
}

// A picture of noise survives a presentation on a screen of the frame's own
// size unchanged, pixel for pixel.
class ScaledFrameOn800 : public ScaledFrameOn1920 {
 protected:
  int Width() const override { return kFrameW; }
  int Height() const override { return kFrameH; }
};

TEST_F(ScaledFrameOn800, AtTheFramesOwnSizeThePictureIsCopiedExactly) {
  ASSERT_TRUE(platform::OpenScaledFrame(kFrameW, kFrameH, 32, platform::OffscreenProcAddress));
  std::vector<std::uint8_t> noise(static_cast<std::size_t>(256) * 256 * 4);
  for (auto& b : noise) b = static_cast<std::uint8_t>(platform::Random(256));
  GLuint texture = 0;
  gl::glGenTextures(1, &texture);
  gl::glBindTexture(GL_TEXTURE_2D, texture);
  gl::glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, noise.data());
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl::glEnable(GL_TEXTURE_2D);
  gl::glBegin(GL_QUADS);
  gl::glTexCoord2f(0, 0);
  gl::glVertex2f(-1, -1);
  gl::glTexCoord2f(3.1f, 0);
  gl::glVertex2f(1, -1);
  gl::glTexCoord2f(3.1f, 2.3f);
  gl::glVertex2f(1, 1);
  gl::glTexCoord2f(0, 2.3f);
  gl::glVertex2f(-1, 1);
  gl::glEnd();
  gl::glDisable(GL_TEXTURE_2D);
  const std::vector<std::uint8_t> frame = testsupport::ReadFrame(kFrameW, kFrameH);
  Screen s;
  s.width = kFrameW;
  s.height = kFrameH;
  platform::PresentScaledFrame(kFrameW, kFrameH, ReadScreen, &s);
  ASSERT_EQ(s.rgba.size(), frame.size());
  std::size_t differing = 0;
  for (std::size_t i = 0; i < frame.size(); i += 4) {
    if (frame[i] != s.rgba[i] || frame[i + 1] != s.rgba[i + 1] || frame[i + 2] != s.rgba[i + 2]) ++differing;
  }
  EXPECT_EQ(differing, 0u);
  gl::glDeleteTextures(1, &texture);
}

// Depth as the show asks for it: at least 24 bits in the frame, and nearer
// surfaces hide farther ones drawn later.
TEST_F(ScaledFrameOn1920, TheFrameHasADepthBufferOfAtLeast24Bits) {
  ASSERT_TRUE(platform::OpenScaledFrame(kFrameW, kFrameH, 32, platform::OffscreenProcAddress));
  GLint bits = 0;
  gl::glGetIntegerv(GL_DEPTH_BITS, &bits);
  EXPECT_GE(bits, 24);
  EXPECT_EQ(platform::ScaledFrameDepthBits(), bits);
  gl::glViewport(0, 0, kFrameW, kFrameH);
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl::glEnable(GL_DEPTH_TEST);
  gl::glDepthFunc(GL_LESS);
  auto quad = [](float z, float r, float g, float b) {
    gl::glColor3f(r, g, b);
    gl::glBegin(GL_QUADS);
    gl::glVertex3f(-0.5f, -0.5f, z);
    gl::glVertex3f(0.5f, -0.5f, z);
    gl::glVertex3f(0.5f, 0.5f, z);
    gl::glVertex3f(-0.5f, 0.5f, z);
    gl::glEnd();
  };
  quad(0.0f, 0, 1, 0);
  // Just behind: a depth buffer of 8 or 16 bits could not tell them apart.
  quad(0.0001f, 1, 0, 0);
  gl::glDisable(GL_DEPTH_TEST);
  EXPECT_EQ(Name(ReadRgb(kFrameW / 2, kFrameH / 2)), Name(kGreen));
}

// A lookup that answers every name (as glXGetProcAddress does) for the names
// the presenter asks for, noted.
std::vector<std::string>& AskedFor() {
  static std::vector<std::string> names;
  return names;
}
void* NotingLookup(const char* name) {
  AskedFor().push_back(name);
  return platform::OffscreenProcAddress(name);
}
void* NothingLookup(const char*) { return nullptr; }
void* NoBlitLookup(const char* name) {
  return std::string(name).find("Blit") == std::string::npos ? platform::OffscreenProcAddress(name) : nullptr;
}

// The driver's version and extension strings, as an older driver gives them.
const char* gVersion = nullptr;
const char* gExtensions = nullptr;
const GLubyte* QUILLON_GLAPI OlderDriverString(GLenum name) {
  return reinterpret_cast<const GLubyte*>(name == GL_VERSION ? gVersion : name == GL_EXTENSIONS ? gExtensions : "");
}

TEST_F(ScaledFrameOn1920, DriversWithoutFramebufferObjectsAreRefusedAndNothingIsLeftBehind) {
  struct Case {
    const char* what;
    const char* version;
    const char* extensions;
    platform::GlProcAddressFn lookup;
  };
  const Case cases[] = {
      {"lookups find nothing", nullptr, nullptr, NothingLookup},
      {"no blit", nullptr, nullptr, NoBlitLookup},
      {"OpenGL 2.1 without the extensions", "2.1 Mesa", "GL_ARB_multitexture GL_EXT_blend_minmax", NotingLookup},
      {"framebuffer objects but no blit", "2.1", "GL_EXT_framebuffer_object GL_ARB_multitexture", NotingLookup},
      {"a longer name is not the extension", "1.5", "GL_ARB_framebuffer_object_x GL_EXT_framebuffer_objectx",
       NotingLookup},
  };
  const gl::GlTable saved = gl::SaveGlTable();
  for (const Case& c : cases) {
    if (c.version) {
      gVersion = c.version;
      gExtensions = c.extensions;
      gl::glGetString = OlderDriverString;
    }
    EXPECT_FALSE(platform::OpenScaledFrame(kFrameW, kFrameH, 32, c.lookup)) << c.what;
    gl::RestoreGlTable(saved);
    EXPECT_FALSE(platform::ScaledFrameOpen()) << c.what;
    EXPECT_NE(std::string(platform::ScaledFrameRefusal()).find("framebuffer objects"), std::string::npos)
        << c.what << ": " << platform::ScaledFrameRefusal();
    GLint binding = -1;
    gl::glGetIntegerv(kFramebufferBinding, &binding);
    EXPECT_EQ(binding, 0) << c.what;
    EXPECT_EQ(gl::glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << c.what;
  }
}

TEST_F(ScaledFrameOn1920, OlderDriversAreServedThroughTheExtensionNames) {
  const gl::GlTable saved = gl::SaveGlTable();
  struct Case {
    const char* version;
    const char* extensions;
    const char* suffix;
  };
  const Case cases[] = {
      {"2.1 Mesa", "GL_ARB_multitexture GL_EXT_framebuffer_object GL_EXT_framebuffer_blit", "EXT"},
      {"2.1 Mesa", "GL_EXT_framebuffer_blit GL_ARB_framebuffer_object", ""},
      {"3.0 Mesa", "", ""},
  };
  for (const Case& c : cases) {
    gVersion = c.version;
    gExtensions = c.extensions;
    gl::glGetString = OlderDriverString;
    AskedFor().clear();
    ASSERT_TRUE(platform::OpenScaledFrame(kFrameW, kFrameH, 32, NotingLookup)) << c.extensions;
    gl::RestoreGlTable(saved);
    ASSERT_FALSE(AskedFor().empty());
    for (const std::string& name : AskedFor()) {
      const bool suffixed = name.size() > 3 && name.compare(name.size() - 3, 3, "EXT") == 0;
      EXPECT_EQ(suffixed, std::string(c.suffix) == "EXT") << name << " for " << c.extensions;
    }
    gl::glViewport(0, 0, kFrameW, kFrameH);
    DrawQuadrants();
    Screen s;
    s.width = 1920;
    s.height = 1080;
    platform::PresentScaledFrame(1920, 1080, ReadScreen, &s);
    EXPECT_EQ(Name(s.At(240, 1079)), Name(kRed)) << c.extensions;
    EXPECT_EQ(Name(s.At(239, 500)), Name(kBlack)) << c.extensions;
    platform::CloseScaledFrame();
  }
}

// Closing deletes the framebuffer and gives drawing back to the window's
// own; a second frame can be opened after it.
TEST_F(ScaledFrameOn1920, ClosingDeletesTheFramebufferAndTheWindowDrawsAgain) {
  using IsFramebufferFn = GLboolean(QUILLON_GLAPI*)(GLuint);
  auto isFramebuffer = reinterpret_cast<IsFramebufferFn>(platform::OffscreenProcAddress("glIsFramebuffer"));
  ASSERT_NE(isFramebuffer, nullptr);
  ASSERT_TRUE(platform::OpenScaledFrame(kFrameW, kFrameH, 32, platform::OffscreenProcAddress));
  GLint name = 0;
  gl::glGetIntegerv(kFramebufferBinding, &name);
  ASSERT_NE(name, 0);
  platform::CloseScaledFrame();
  EXPECT_FALSE(platform::ScaledFrameOpen());
  EXPECT_EQ(platform::ScaledFrameDepthBits(), 0);
  EXPECT_FALSE(isFramebuffer(static_cast<GLuint>(name)));
  GLint binding = -1;
  gl::glGetIntegerv(kFramebufferBinding, &binding);
  EXPECT_EQ(binding, 0);
  // Presenting without a frame only swaps.
  Screen s;
  s.width = 1920;
  s.height = 1080;
  platform::PresentScaledFrame(1920, 1080, ReadScreen, &s);
  EXPECT_EQ(s.swaps, 1);
  EXPECT_TRUE(platform::OpenScaledFrame(kFrameW, kFrameH, 24, platform::OffscreenProcAddress));
}

// The headless context standing for a large screen: the show's frames go
// through the same presentation as the window's.
TEST(OffscreenScreen, HeadlessFramesArePresentedScaledOntoTheScreenSizedSurface) {
  platform::SetOffscreenScreen(1920, 1080);
  const bool opened = platform::OpenOffscreen(kFrameW, kFrameH);
  platform::SetOffscreenScreen(0, 0);
  if (!opened) GTEST_SKIP() << "no headless OpenGL context";
  EXPECT_TRUE(platform::ScaledFrameOpen());
  GLint viewport[4];
  gl::glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], kFrameW);
  EXPECT_EQ(viewport[3], kFrameH);
  DrawQuadrants();
  platform::PresentFrame();
  // The surface itself, read past the frame.
  using BindFramebufferFn = void(QUILLON_GLAPI*)(GLenum, GLuint);
  auto bind = reinterpret_cast<BindFramebufferFn>(platform::OffscreenProcAddress("glBindFramebuffer"));
  GLint frame = 0;
  gl::glGetIntegerv(kFramebufferBinding, &frame);
  bind(0x8D40, 0);
  EXPECT_EQ(Name(ReadRgb(240, 1079)), Name(kRed));
  EXPECT_EQ(Name(ReadRgb(1679, 0)), Name(kWhite));
  EXPECT_EQ(Name(ReadRgb(239, 0)), Name(kBlack));
  EXPECT_EQ(Name(ReadRgb(1680, 1079)), Name(kBlack));
  bind(0x8D40, static_cast<GLuint>(frame));
  platform::CloseOffscreen();
  EXPECT_FALSE(platform::ScaledFrameOpen());
  // Without a screen size the surface is the frame again.
  ASSERT_TRUE(platform::OpenOffscreen(kFrameW, kFrameH));
  EXPECT_FALSE(platform::ScaledFrameOpen());
  platform::CloseOffscreen();
}

}  // namespace

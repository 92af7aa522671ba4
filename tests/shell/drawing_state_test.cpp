// What each drawing step of the shell draws with and leaves: the sprite, the
// feedback texture, the particle pass, every segment body with its caption
// overlay, and each step of the finale, each from two opposite starting
// states, checked item by item (enables, blend and depth functions, depth
// mask, matrices, colour, the bound picture and its parameters).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "render/state.h"
#include "scene/camera.h"
#include "shell/finale.h"
#include "shell/particles.h"
#include "shell/show_assets.h"
#include "shell/sprites.h"
#include "shell/timeline.h"
#include "show_fixture.h"
#include "support/gl_state.h"

namespace {

using namespace shell;
using testsupport::GlState;
using testsupport::IdentityMatrix;
using testsupport::Matrix;
using testsupport::MatrixOf;
using testsupport::RunExpect;
using testsupport::StateChanges;
using testsupport::StateRun;
using testsupport::StepRow;

// The runs a step draws and the state it leaves, worked out together.
struct Expectation {
  std::vector<RunExpect> Runs;
  StateChanges Leaves;
};

StepRow Row(std::string name, std::function<void()> step, std::function<Expectation(const GlState&)> expect,
            std::function<void()> check = nullptr) {
  StepRow row;
  row.Name = std::move(name);
  row.Step = std::move(step);
  row.Runs = [expect](const GlState& before) { return expect(before).Runs; };
  row.Leaves = [expect](const GlState& before) { return expect(before).Leaves; };
  row.Check = std::move(check);
  return row;
}

// A square of two faces across the x-z plane at y = 0, seen by the stand-in
// cameras that look along +y from y = -1000.
void MakeSquare(scene::SceneObject& o, float cx, float half, std::int32_t material) {
  o.MaterialIndex = material;
  o.Vertex = {{cx - half, 0, -half}, {cx + half, 0, -half}, {cx + half, 0, half}, {cx - half, 0, half}};
  o.VertexCount = 4;
  o.TEXCOORD = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  o.TexcoordCount = 4;
  o.HasTexcoords = 1;
  o.FACE = {{0, 1, 2}, {0, 2, 3}};
  o.TFACE = o.FACE;
  o.FaceCount = 2;
}

class ShellState : public showtest::ShowTest {
 protected:
  void SetUp() override {
    showtest::ShowTest::SetUp();
    if (IsSkipped()) return;
    flightTexture_ = showtest::Solid(90, 180, 60);
    videoTexture_ = showtest::Solid(30, 60, 90);
    CreateFeedbackTexture();
    Reset();
  }

  // The flight scene draws one textured square and holds the emitter; the
  // video scene draws the video material opaque and a plain square additively.
  void Reset() {
    ResetShow();
    render::SetSceneTint(1, 1, 1);
    render::SetPassColour(1, 1, 1);
    FlightScene.FieldOfView = 0.9f;
    FlightScene.Materials[0].Textured = 1;
    FlightScene.Materials[0].TextureName = flightTexture_;
    MakeSquare(FlightScene.Objects[0], 400, 300, 0);
    MakeSquare(FlightScene.Objects[1], 400, 50, 1);
    VideoScene.Materials[1].Textured = 1;
    VideoScene.Materials[0].BlendAmount = 0.5f;
    VideoScene.Materials[0].TextureName = videoTexture_;
    MakeSquare(VideoScene.Objects[0], 5400, 300, 1);
    MakeSquare(VideoScene.Objects[1], 5400, 200, 0);
    scene::PrepareCameraTracks(FlightScene);
    scene::PrepareCameraTracks(VideoScene);
    FinaleMesh = assets::Mesh{};
    FinaleMesh.vertexCount = 4;
    FinaleMesh.faceCount = 2;
    FinaleMesh.vertices = {{-0.3f, -0.3f, 0}, {0.3f, -0.3f, 0}, {0.3f, 0.3f, 0.1f}, {-0.3f, 0.3f, 0.1f}};
    FinaleMesh.vertexInfo.resize(4);
    for (auto& info : FinaleMesh.vertexInfo) info.normal = {0.2f, 0.3f, 0.93f};
    FinaleMesh.faces = {{0, 1, 2}, {0, 2, 3}};
  }

  std::vector<GLuint> Watched() const {
    return {HundTexture,   Start1Texture, Start2Texture, Start3Texture,   Follow1Texture, Follow2Texture,
            Follow3Texture, Fo1Texture,   Fo2Texture,    Fo3Texture,      Fo21Texture,    Fo22Texture,
            Fo23Texture,   PartyTexture,  CodeTexture,   FeelTexture,     EndScrollTexture, BallEnvTexture,
            Env2Texture,   Dreams07Texture, FeedbackTexture, flightTexture_, videoTexture_};
  }

  static Matrix Ortho800() {
    return MatrixOf([] { gl::gluOrtho2D(0, 800, 600, 0); });
  }

  // A scene's camera at time t, as the scene pass loads it.
  static Matrix SceneProjection(scene::Scene s, float t) {
    scene::PrepareCameraTracks(s);
    const scene::CameraPose pose = scene::EvaluateCamera(s, t);
    return MatrixOf([&] {
      gl::gluPerspective(s.FieldOfView * 180.0 / std::numbers::pi, 4.0 / 3.0, s.NearDistance, s.FarDistance);
      gl::glScalef(1.0e-6f, 1.0e-6f, 1.0e-6f);
      gl::gluLookAt(pose.Eye.X, pose.Eye.Y, pose.Eye.Z, pose.Target.X, pose.Target.Y, pose.Target.Z, 0, 0, 1);
    });
  }

  // What the particle pass sets: the flight's camera with its own clipping
  // distances and scale.
  static StateChanges ParticleState(const Vec3& eye, const Vec3& target) {
    return StateChanges()
        .Projection(MatrixOf([&] {
          gl::gluPerspective(FlightScene.FieldOfView * 180.0 / std::numbers::pi, 4.0 / 3.0, 0.1, 10000);
          gl::glScalef(0.05f, 0.05f, 0.05f);
          gl::gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, 0, 0, 1);
        }))
        .Modelview(IdentityMatrix())
        .MatrixMode(GL_MODELVIEW)
        .Enable(GL_TEXTURE_2D)
        .DepthMask(false)
        .Enable(GL_BLEND)
        .BlendFunc(GL_ONE, GL_ONE)
        .Disable(GL_DEPTH_TEST)
        .Colour(1, 1, 1)
        .Bound(HundTexture);
  }

  // The scene pass's camera and what it leaves before its last object.
  static StateChanges SceneLeaves(StateChanges s, const Matrix& projection) {
    return s.Enable(GL_DEPTH_TEST)
        .DepthMask(true)
        .Disable(GL_ALPHA_TEST)
        .AlphaFunc(GL_GREATER, 0.3f)
        .Enable(GL_BLEND)
        .BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)
        .TextureMatrix(IdentityMatrix())
        .Modelview(IdentityMatrix())
        .Projection(projection)
        .MatrixMode(GL_MODELVIEW);
  }

  // An opaque object of a scene pass: drawn inside its pushed modelview.
  static StateChanges OpaqueObject(StateChanges s, const Matrix& projection, const GlState& before) {
    return s.Enable(GL_DEPTH_TEST)
        .Disable(GL_BLEND)
        .DepthMask(true)
        .TextureMatrix(IdentityMatrix())
        .Modelview(IdentityMatrix())
        .ModelviewPushed(before)
        .Projection(projection)
        .MatrixMode(GL_MODELVIEW);
  }

  // The caption overlay after a segment body: its runs, one per caption
  // drawn, and what it leaves.
  static void AddOverlay(Expectation& e, StateChanges s, bool resetsTexture, bool additive, float grey,
                         const std::vector<GLuint>& captions) {
    s.Enable(GL_DEPTH_TEST);
    if (resetsTexture) s.TextureMatrix(IdentityMatrix());
    s.Modelview(IdentityMatrix()).Projection(MatrixOf([] { gl::glOrtho(-1, 1, -1, 1, -10, 10); }));
    s.MatrixMode(GL_PROJECTION);
    if (additive) s.Enable(GL_BLEND).BlendFunc(GL_ONE, GL_ONE);
    s.Colour(grey, grey, grey);
    for (GLuint caption : captions) {
      s.Enable(GL_TEXTURE_2D).Bound(caption);
      e.Runs.push_back({s, 1});
    }
    e.Leaves = s.DepthMask(true);
  }

  static Expectation SegmentA(const std::vector<GLuint>& titles) {
    const StateChanges s = StateChanges().Enable(GL_BLEND).Disable(GL_DEPTH_TEST).BlendFunc(GL_ONE, GL_ONE);
    Expectation e;
    for (int i = 0; i <= 20; ++i) {
      const float c = 1.0f - static_cast<float>(i) / 10.0f;
      for (GLuint title : titles) {
        e.Leaves = StateChanges(s).Colour(c, c, c).Enable(GL_TEXTURE_2D).Bound(title);
        if (c > 0) e.Runs.push_back({e.Leaves, 1});
      }
    }
    return e;
  }

  Expectation SegmentB(std::uint32_t position, const std::vector<GLuint>& captions, const GlState& before) const {
    const float t = static_cast<float>(position - 2190000) / 25000.0f;
    const Matrix projection = SceneProjection(FlightScene, t);
    const StateChanges start = StateChanges().Enable(GL_DEPTH_TEST).Disable(GL_BLEND);
    Expectation e;
    // The emitter is hidden: the flight's first object alone is drawn.
    e.Runs.push_back(
        {OpaqueObject(start, projection, before).Enable(GL_TEXTURE_2D).Bound(flightTexture_).Colour(1, 1, 1), 2});
    StateChanges s = SceneLeaves(start, projection).Enable(GL_TEXTURE_2D).Bound(flightTexture_).Colour(1, 1, 1);
    s.DepthFunc(GL_LEQUAL).Disable(GL_ALPHA_TEST).Enable(GL_BLEND).BlendFunc(GL_ONE, GL_ONE).DepthMask(false);
    scene::Scene flight = FlightScene;
    scene::PrepareCameraTracks(flight);
    const scene::CameraPose pose = scene::EvaluateCamera(flight, t);
    const StateChanges particles = ParticleState({pose.Eye.X, pose.Eye.Y, pose.Eye.Z},
                                                 {pose.Target.X, pose.Target.Y, pose.Target.Z});
    for (const auto& [item, value] : particles.Items()) s.Set(item, value);
    e.Runs.push_back({s, 0});
    AddOverlay(e, s, false, false, 1, captions);
    return e;
  }

  static Expectation SegmentC(std::uint32_t position, const std::vector<GLuint>& captions) {
    const float s = (static_cast<float>(position) - 4350000.0f) * 0.00001f;
    StateChanges state = StateChanges()
                             .Disable(GL_DEPTH_TEST)
                             .Enable(GL_BLEND)
                             .BlendFunc(GL_SRC_ALPHA, GL_ONE)
                             .Enable(GL_TEXTURE_2D)
                             .Bound(Dreams07Texture)
                             .Projection(Ortho800())
                             .Modelview(IdentityMatrix())
                             .MatrixMode(GL_TEXTURE)
                             .Colour(1, 1, 1, 0.125f);
    Expectation e;
    for (int k = 1; k <= 8; ++k) {
      const float a = 0.1f * static_cast<float>(k) * std::sin(s);
      const float b = 0.1f * static_cast<float>(k) * std::cos(0.71f * s);
      state.TextureMatrix(MatrixOf([&] {
        gl::glTranslatef((s + 0.01f * a) * 0.01f, (s - 0.01f * a) * 0.0125f, -0.0476f * s);
        gl::glRotatef((s + 4.0f * b) * 7.0f, 0, 0, 1);
        gl::glTranslatef(-1, -1, 0);
        gl::glScalef(1 + a, 1 + a, 1 + a);
      }));
      // A layer may sample a magnified picture with plain linear filtering
      // in place of its mipmaps: the same pixels.
      e.Runs.push_back({StateChanges(state).IgnoreFilters(Dreams07Texture), 1});
    }
    AddOverlay(e, state, true, false, 1, captions);
    return e;
  }

  static Expectation SegmentD(std::uint32_t position, const std::vector<GLuint>& captions) {
    const float u = (static_cast<float>(position) - 6520000.0f) / 4000.0f;
    const StateChanges grid = StateChanges()
                                  .Projection(Ortho800())
                                  .Modelview(IdentityMatrix())
                                  .MatrixMode(GL_MODELVIEW)
                                  .Enable(GL_TEXTURE_2D)
                                  .Enable(GL_BLEND)
                                  .BlendFunc(GL_SRC_ALPHA, GL_ONE)
                                  .Disable(GL_DEPTH_TEST)
                                  .Colour(1, 1, 1, 0.5f)
                                  .Bound(BallEnvTexture);
    Expectation e;
    e.Runs.push_back({StateChanges(grid).TextureMatrix(MatrixOf([&] {
                        gl::glTranslatef(-0.02f * u, 0.006f * u, 0.0054f * u);
                        gl::glRotatef(2.4f * u, 0, 0, 1);
                        gl::glScalef(0.4f, 0.4f, 0.4f);
                      })),
                      1200});
    e.Runs.push_back({StateChanges(grid).TextureMatrix(MatrixOf([&] {
                        gl::glTranslatef(0.0093f * u, -0.004f * u, 0.00303f * u);
                        gl::glRotatef(-0.914f * u, 0, 0, 1);
                        gl::glScalef(0.3f, 0.3f, 0.3f);
                      })),
                      1200});
    AddOverlay(e, StateChanges(grid).TextureMatrix(IdentityMatrix()).MatrixMode(GL_TEXTURE), true, false, 0.5f,
               captions);
    return e;
  }

  Expectation SegmentE(std::uint32_t position, int frame, const std::vector<GLuint>& captions,
                       const GlState& before) const {
    const float u = (static_cast<float>(position) - 8740000.0f) / 3000.0f;
    const Matrix projection = SceneProjection(VideoScene, u);
    const StateChanges start = StateChanges().Enable(GL_DEPTH_TEST).Disable(GL_BLEND);
    Expectation e;
    // The video material shows its frame; the tint of 2 doubles the colours,
    // also the additive square's half.
    e.Runs.push_back(
        {OpaqueObject(start, projection, before).Enable(GL_TEXTURE_2D).Bound(VideoFrames[frame]).Colour(2, 2, 2), 2});
    e.Runs.push_back({OpaqueObject(start, projection, before)
                          .Enable(GL_BLEND)
                          .BlendFunc(GL_ONE, GL_ONE)
                          .DepthMask(false)
                          .Disable(GL_TEXTURE_2D)
                          .Bound(videoTexture_)
                          .Colour(1, 1, 1),
                      2});
    const StateChanges s = SceneLeaves(start, projection).Disable(GL_TEXTURE_2D).Bound(videoTexture_).Colour(1, 1, 1);
    AddOverlay(e, s, true, true, 0.5f, captions);
    return e;
  }

  Expectation Finale(float u) const {
    Expectation e;
    StateChanges s = StateChanges()
                         .Enable(GL_TEXTURE_2D)
                         .Viewport(0, 0, 256, 256)
                         .ClearColour(0, 0, 0, 1)
                         .Disable(GL_DEPTH_TEST)
                         .Projection(MatrixOf([] { gl::gluOrtho2D(0, 256, 256, 0); }))
                         .Modelview(IdentityMatrix())
                         .TextureMatrix(MatrixOf([] { gl::glScalef(0.9f, 0.9f, 0.9f); }))
                         .MatrixMode(GL_TEXTURE)
                         .Bound(FeedbackTexture)
                         .Colour(1, 1, 1);
    e.Runs.push_back({s, 1});
    const auto turn = [u] {
      gl::glRotatef(u, 1, 0, 0);
      gl::glRotatef(u, 0, 1, 0);
      gl::glRotatef(u, 0, 0, 1);
    };
    s.Enable(GL_DEPTH_TEST)
        .Bound(Env2Texture)
        .Disable(GL_BLEND)
        .Projection(MatrixOf([] { gl::glOrtho(-1, 1, -1, 1, -10, 10); }))
        .Modelview(MatrixOf(turn))
        .TextureMatrix(MatrixOf(turn));
    e.Runs.push_back({s, 2});
    s.TextureMatrix(IdentityMatrix()).Bound(FeedbackTexture);
    e.Runs.push_back({s, 1, "copy"});
    s.Viewport(0, 0, 800, 600)
        .Projection(Ortho800())
        .Modelview(IdentityMatrix())
        .MatrixMode(GL_MODELVIEW)
        .Disable(GL_DEPTH_TEST)
        .Disable(GL_BLEND);
    e.Runs.push_back({s, 1});
    s.Bound(EndScrollTexture);
    e.Runs.push_back({s, 1});
    e.Leaves = s;
    return e;
  }

  GLuint flightTexture_ = 0, videoTexture_ = 0;
};

TEST_F(ShellState, EveryStepSetsWhatItNeedsAndLeavesTheRest) {
  const Vec3 eye{-300, -2000, 150}, target{100, 0, -50};
  GLuint feedbackBefore = 0;
  std::vector<StepRow> rows = {
      Row("sprite", [] { DrawSprite(0.5f, 0.66f, 0, 0.32f, 0.12f, Fo1Texture); },
          [](auto&) {
            const StateChanges s = StateChanges().Enable(GL_TEXTURE_2D).Bound(Fo1Texture);
            return Expectation{{{s, 1}}, s};
          }),
      Row("feedback texture",
          [&] {
            feedbackBefore = FeedbackTexture;
            CreateFeedbackTexture();
          },
          [](auto&) { return Expectation{{}, StateChanges().Enable(GL_TEXTURE_2D).Ignore("bound texture")}; },
          [&] {
            GLint value[2] = {0, 0};
            gl::glGetIntegerv(GL_TEXTURE_BINDING_2D, value);
            EXPECT_NE(FeedbackTexture, feedbackBefore);
            EXPECT_EQ(static_cast<GLuint>(value[0]), FeedbackTexture);
            gl::glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value[0]);
            gl::glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value[1]);
            EXPECT_EQ(value[0], GL_LINEAR);
            EXPECT_EQ(value[1], GL_LINEAR);
            gl::glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value[0]);
            gl::glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value[1]);
            EXPECT_EQ(value[0], GL_REPEAT);
            EXPECT_EQ(value[1], GL_REPEAT);
            gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &value[0]);
            gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &value[1]);
            EXPECT_EQ(value[0], 256);
            EXPECT_EQ(value[1], 256);
          }),
      Row("particle pass", [&] { DrawParticles(eye, target); },
          [&](auto&) {
            const StateChanges s = ParticleState(eye, target);
            return Expectation{{{s, 1}}, s};
          }),
      Row("segment A at 730,000: the first title", [this] { Frame(730000, DrawSegmentA); },
          [](auto&) { return SegmentA({Start1Texture}); }),
      Row("segment A at 1,500,000: three titles", [this] { Frame(1500000, DrawSegmentA); },
          [](auto&) { return SegmentA({Start1Texture, Start2Texture, Start3Texture}); }),
      Row("segment B before its first caption", [this] { Frame(2500000, DrawSegmentB); },
          [this](auto& before) { return SegmentB(2500000, {}, before); },
          [] { EXPECT_EQ(FlightScene.Objects[1].Visible, 0); }),
      Row("segment B with two captions", [this] { Frame(3300000, DrawSegmentB); },
          [this](auto& before) { return SegmentB(3300000, {Follow1Texture, Follow2Texture}, before); },
          [] { EXPECT_EQ(FlightScene.Objects[1].Visible, 0); }),
      Row("segment C with its first caption", [this] { Frame(5000000, DrawSegmentC); },
          [](auto&) { return SegmentC(5000000, {Fo1Texture}); }),
      Row("segment D with two captions", [this] { Frame(7700000, DrawSegmentD); },
          [](auto&) { return SegmentD(7700000, {Fo21Texture, Fo22Texture}); }),
      // u = 86.67 shows frame 43; u = 386.67 frame 193 modulo 100.
      Row("segment E before its first caption", [this] { Frame(9000000, DrawSegmentE); },
          [this](auto& before) { return SegmentE(9000000, 43, {}, before); },
          [] {
            EXPECT_EQ(VideoScene.Materials[1].TextureName, VideoFrames[43]);
            EXPECT_EQ(render::SceneTint.Green, 2);
          }),
      Row("segment E with two captions", [this] { Frame(9900000, DrawSegmentE); },
          [this](auto& before) { return SegmentE(9900000, 93, {PartyTexture, CodeTexture}, before); },
          [] { EXPECT_EQ(VideoScene.Materials[1].TextureName, VideoFrames[93]); }),
      Row("finale", [] { DrawFinale(30.5f, 0.2f); }, [this](auto&) { return Finale(30.5f); },
          [] {
            GLint size = 0;
            gl::glBindTexture(GL_TEXTURE_2D, FeedbackTexture);
            gl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &size);
            EXPECT_EQ(size, 256) << "the copy keeps the feedback texture's size";
          }),
  };
  // Echoes whose colour clamps to black add nothing under additive blending.
  for (StepRow& row : rows) {
    if (row.Name.starts_with("segment A")) {
      row.Unseen = [](const StateRun& run) {
        const auto& c = run.State.at("current colour");
        return c[0] <= 0 && c[1] <= 0 && c[2] <= 0;
      };
    }
  }
  testsupport::CheckSteps(rows, [this] { Reset(); }, [this] { return Watched(); });
}

}  // namespace

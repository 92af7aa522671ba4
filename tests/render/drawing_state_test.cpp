// What each drawing step of the render module draws with and leaves: the
// scene pass with its opaque, additive and alpha-tested passes, object
// drawing, and every render variant, each from two opposite starting states,
// checked item by item (enables, blend and depth functions, depth mask,
// alpha test, matrices, colour, bound texture and its parameters).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "render/object.h"
#include "render/render_pass.h"
#include "render/state.h"
#include "render/variants.h"
#include "render_fixture.h"
#include "scene/camera.h"
#include "support/gl_state.h"

namespace {

using rendertest::AddMaterial;
using rendertest::AddSquare;
using rendertest::AddTriangle;
using testsupport::GlState;
using testsupport::IdentityMatrix;
using testsupport::Matrix;
using testsupport::MatrixOf;
using testsupport::RunExpect;
using testsupport::StateChanges;
using testsupport::StepRow;

constexpr float kTime = 37.5f;
// The tint of every row: a different factor per channel, one above 1.
constexpr float kTint[3] = {0.5f, 1.0f, 2.0f};

class RenderState : public rendertest::RenderTest {
 protected:
  void SetUp() override {
    rendertest::RenderTest::SetUp();
    if (IsSkipped()) return;
    for (std::uint32_t& t : textures_) t = rendertest::MakeTexture(200, 150, 100, 255);
    BuildScenes();
  }

  // The pass scene: in each pass one object drawn and one hidden, and two
  // objects that belong to no pass; a camera that moves between its keys.
  void BuildScenes() {
    scene_ = rendertest::MakeScene();
    scene_.CamPosition = {{0, 0, 0, 0}, {100, 10, -50, 20}};
    scene_.CamTarget = {{0, 0, 100, 0}, {100, 20, 100, 10}};
    scene_.CamPositionCount = 2;
    scene_.CamTargetCount = 2;
    opaque_ = AddSquare(scene_, AddMaterial(scene_, 0, 0, 1, textures_[0]), 100, -60, 0, 5, "opaque");
    scene_.Objects[opaque_].Position = {{0, 0, 0, 0}, {100, 20, 0, 10}};
    scene_.Objects[opaque_].PositionCount = 2;
    AddSquare(scene_, AddMaterial(scene_, 0, 0, 1, textures_[1]), 100, -40, 0, 5, "hidden opaque");
    scene_.Objects.back().Visible = 0;
    additive_ = AddSquare(scene_, AddMaterial(scene_, 0.25f, 0, 0, textures_[2]), 100, -20, 0, 5, "additive");
    scene::SceneObject& coloured = scene_.Objects[additive_];
    coloured.CVertex = {{0.5f, 1, 0.8f}, {1, 0.5f, 0.25f}};
    coloured.CVertexCount = 2;
    coloured.HasColours = 1;
    coloured.CFACE = {{1, 1, 0}, {1, 1, 0}};
    AddSquare(scene_, AddMaterial(scene_, 0.5f, 0, 0, textures_[3]), 100, 0, 0, 5, "hidden additive");
    scene_.Objects.back().Visible = 0;
    tested_ = AddSquare(scene_, AddMaterial(scene_, 0.5f, 1, 1, textures_[4]), 100, 20, 0, 5, "alpha-tested");
    AddSquare(scene_, AddMaterial(scene_, 0, 1, 1, textures_[5]), 100, 30, 0, 5, "hidden alpha-tested");
    scene_.Objects.back().Visible = 0;
    AddSquare(scene_, AddMaterial(scene_, -1, 0, 1, textures_[6]), 100, 40, 0, 5, "negative blend");
    AddSquare(scene_, AddMaterial(scene_, 0, 2, 1, textures_[7]), 100, 50, 0, 5, "alpha flag 2");
    plain_ = AddSquare(scene_, AddMaterial(scene_, 0, 0, 0, textures_[8]), 100, 60, 0, 5, "plain");
    partner_ = AddSquare(scene_, AddMaterial(scene_, 0, 0, 1, textures_[9]), 100, -60, 0, 5, "partner");
    scene_.Objects[partner_].Visible = 0;
    scene::PrepareCameraTracks(scene_);

    // The mirror scene: one object, one hidden, and a mirror triangle.
    mirrorScene_ = rendertest::MakeScene();
    const std::int32_t m = AddMaterial(mirrorScene_, 0, 0, 1, textures_[0]);
    AddSquare(mirrorScene_, m, 100, -20, 10, 5, "world");
    mirrorScene_.Objects[0].Position = {{0, 0, 0, 0}, {100, 20, 0, 10}};
    mirrorScene_.Objects[0].PositionCount = 2;
    AddSquare(mirrorScene_, m, 100, 20, 10, 5, "hidden world");
    mirrorScene_.Objects[1].Visible = 0;
    mirror_ = AddTriangle(mirrorScene_, AddMaterial(mirrorScene_, 0, 0, 0, textures_[10]), {-50, 100, 0},
                          {50, 100, 0}, {300, 400, -20}, "mirror");
    mirrorScene_.Objects[mirror_].Position = {{0, 5, 5, 5}};
    mirrorScene_.Objects[mirror_].PositionCount = 1;
  }

  void Reset() {
    ResetState();
    render::SetSceneTint(kTint[0], kTint[1], kTint[2]);
    BuildScenes();
  }

  std::vector<GLuint> Watched() const { return {std::begin(textures_), std::end(textures_)}; }

  // The camera of the pass scene at kTime, from its tracks.
  scene::CameraPose Camera() {
    scene::Scene copy = scene_;
    scene::PrepareCameraTracks(copy);
    return scene::EvaluateCamera(copy, kTime);
  }

  static Matrix SceneProjection(const scene::Scene& s, float scale, scene::Vec3f eye, scene::Vec3f target) {
    return MatrixOf([&] {
      gl::gluPerspective(s.FieldOfView * 180.0 / std::numbers::pi, 4.0 / 3.0, s.NearDistance, s.FarDistance);
      gl::glScalef(scale, scale, scale);
      gl::gluLookAt(eye.X, eye.Y, eye.Z, target.X, target.Y, target.Z, 0, 0, 1);
    });
  }

  static Matrix Translation(const Matrix& start, float x, float y, float z) {
    return MatrixOf(start, [&] { gl::glTranslatef(x, y, z); });
  }

  // The state the three passes draw and leave, for a camera and a time.
  std::vector<RunExpect> PassRuns(const GlState& before, const Matrix& projection, float t) const {
    const StateChanges camera = StateChanges()
                                    .Enable(GL_DEPTH_TEST)
                                    .TextureMatrix(IdentityMatrix())
                                    .Projection(projection)
                                    .MatrixMode(GL_MODELVIEW)
                                    .ModelviewPushed(before);
    const StateChanges opaque = StateChanges(camera).Disable(GL_BLEND).DepthMask(true);
    const StateChanges additive = StateChanges(camera).Enable(GL_BLEND).BlendFunc(GL_ONE, GL_ONE).DepthMask(false);
    const StateChanges tested = StateChanges(additive)
                                    .BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)
                                    .DepthMask(true)
                                    .Enable(GL_ALPHA_TEST)
                                    .AlphaFunc(GL_GREATER, 0.3f);
    const float along = t / 100.0f;
    return {
        {StateChanges(opaque)
             .Modelview(Translation(IdentityMatrix(), 20 * along, 0, 10 * along))
             .Enable(GL_TEXTURE_2D)
             .Bound(textures_[0])
             .Colour(kTint[0], kTint[1], kTint[2]),
         2},
        {StateChanges(opaque)
             .Modelview(IdentityMatrix())
             .Disable(GL_TEXTURE_2D)
             .Bound(textures_[8])
             .Colour(kTint[0], kTint[1], kTint[2]),
         2},
        // The last corner's vertex colour (0.5, 1, 0.8) times the pass
        // colour 0.25 times the tint.
        {StateChanges(additive)
             .Modelview(IdentityMatrix())
             .Disable(GL_TEXTURE_2D)
             .Bound(textures_[2])
             .Colour(0.5f * 0.25f * kTint[0], 1 * 0.25f * kTint[1], 0.8f * 0.25f * kTint[2]),
         2},
        {StateChanges(tested)
             .Modelview(IdentityMatrix())
             .Enable(GL_TEXTURE_2D)
             .Bound(textures_[4])
             .Colour(kTint[0], kTint[1], kTint[2]),
         2},
    };
  }

  // What the passes leave, before the state of the last object drawn.
  StateChanges PassLeaves(const Matrix& projection, GLenum mode) const {
    return StateChanges()
        .Enable(GL_DEPTH_TEST)
        .DepthMask(true)
        .Disable(GL_ALPHA_TEST)
        .AlphaFunc(GL_GREATER, 0.3f)
        .Enable(GL_BLEND)
        .BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)
        .TextureMatrix(IdentityMatrix())
        .Modelview(IdentityMatrix())
        .Projection(projection)
        .MatrixMode(mode);
  }

  StateChanges LastTestedObject(StateChanges changes) const {
    return changes.Enable(GL_TEXTURE_2D).Bound(textures_[4]).Colour(kTint[0], kTint[1], kTint[2]);
  }

  static void ExpectPassColourBack() {
    EXPECT_EQ(render::PassColour.Red, 1);
    EXPECT_EQ(render::PassColour.Green, 1);
    EXPECT_EQ(render::PassColour.Blue, 1);
  }

  std::uint32_t textures_[11] = {};
  scene::Scene scene_, mirrorScene_;
  std::int32_t opaque_ = 0, additive_ = 0, tested_ = 0, plain_ = 0, partner_ = 0, mirror_ = 0;
};

TEST_F(RenderState, EveryStepSetsWhatItNeedsAndLeavesTheRest) {
  const scene::CameraPose pose = Camera();
  const scene::Vec3f givenEye{-5, -30, 8}, givenTarget{10, 100, -4};
  const Matrix passProjection = SceneProjection(scene_, 1.0e-6f, pose.Eye, pose.Target);
  const Matrix givenProjection = SceneProjection(scene_, 1.0e-6f, givenEye, givenTarget);
  const Matrix setupProjection = SceneProjection(scene_, 1.0e-5f, pose.Eye, pose.Target);
  const Matrix setupGivenProjection = SceneProjection(scene_, 1.0e-5f, givenEye, givenTarget);
  // The opaque object's place at kTime, inside the caller's modelview.
  const auto placed = [](const GlState& before) {
    return Translation(before.at("modelview matrix"), 20 * kTime / 100, 0, 10 * kTime / 100);
  };
  const auto objectDraw = [&](const GlState& before) {
    return StateChanges()
        .MatrixMode(GL_MODELVIEW)
        .Modelview(placed(before))
        .ModelviewPushed(before)
        .Enable(GL_TEXTURE_2D)
        .Bound(textures_[0]);
  };
  const auto normalMapped = [&](render::NormalSet set) {
    return [set, objectDraw](const GlState& before) {
      StateChanges draw = objectDraw(before);
      if (set != render::NormalSet::B) draw.Colour(1, 1, 1, 0.8f);
      return draw;
    };
  };
  // The normal-mapped drawing of one object with one normal set: two runs in
  // the same state, and the modelview matrix and its stack left as found.
  const auto normalMappedRow = [&](const char* name, render::NormalSet set) {
    return StepRow{name, [this, set] { render::BuildVertexNormals(scene_.Objects[opaque_], set); },
                   [this, set] { render::DrawSceneObjectNormalMapped(scene_, opaque_, kTime, set); },
                   [normalMapped, set](const GlState& before) {
                     return std::vector<RunExpect>{{normalMapped(set)(before), 2}};
                   },
                   [normalMapped, set](const GlState& before) {
                     return normalMapped(set)(before).Modelview(before.at("modelview matrix")).Set(
                         "stack depths", before.at("stack depths"));
                   }};
  };

  // The mirror pass: the camera with the reflection on the projection, the
  // reflected world dimmed, the mirror added, its fade blended, then the
  // world again.
  const scene::Scene& ms = mirrorScene_;
  const Matrix mirrorCamera = SceneProjection(ms, 1.0e-5f, {0, 0, 0}, {0, 100, 0});
  const Matrix reflected = MatrixOf(mirrorCamera, [] { gl::glScalef(1, 1, -1); });
  const Matrix unreflected = MatrixOf(reflected, [] { gl::glScalef(1, 1, -1); });
  const auto mirrorRuns = [&](const GlState& before) {
    const StateChanges camera = StateChanges()
                                    .Enable(GL_DEPTH_TEST)
                                    .TextureMatrix(IdentityMatrix())
                                    .MatrixMode(GL_MODELVIEW)
                                    .ModelviewPushed(before);
    const Matrix world = Translation(IdentityMatrix(), 20 * kTime / 100, 0, 10 * kTime / 100);
    const StateChanges fade = StateChanges(camera)
                                  .Projection(unreflected)
                                  .Modelview(IdentityMatrix())
                                  .Disable(GL_TEXTURE_2D)
                                  .Bound(textures_[10])
                                  .DepthFunc(GL_LEQUAL)
                                  .Enable(GL_BLEND)
                                  .BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)
                                  // the last corner, (300, 400, -20), lies 500.4 from the origin
                                  .Colour(1, 1, 1, render::VectorLength(300, 400, -20) / 2000);
    return std::vector<RunExpect>{
        {StateChanges(camera)
             .Projection(reflected)
             .Modelview(world)
             .Disable(GL_BLEND)
             .Enable(GL_TEXTURE_2D)
             .Bound(textures_[0])
             .Colour(0.5f, 0.5f, 0.5f),
         2},
        {StateChanges(camera)
             .Projection(unreflected)
             .Modelview(Translation(IdentityMatrix(), 5, 5, 5))
             .Enable(GL_BLEND)
             .BlendFunc(GL_ONE, GL_ONE)
             .Disable(GL_TEXTURE_2D)
             .Bound(textures_[10])
             .Colour(1, 1, 1),
         1},
        {fade, 1},
        {StateChanges(fade)
             .Modelview(world)
             .DepthFunc(GL_LESS)
             .Disable(GL_BLEND)
             .Enable(GL_TEXTURE_2D)
             .Bound(textures_[0])
             .Colour(1, 1, 1),
         2},
    };
  };

  const std::vector<StepRow> rows = {
      {"scene pass", nullptr, [&] { render::RenderScene(scene_, kTime); },
       [&](const GlState& before) { return PassRuns(before, passProjection, kTime); },
       [&](auto&) { return LastTestedObject(PassLeaves(passProjection, GL_MODELVIEW)); },
       [&] {
         ExpectPassColourBack();
         EXPECT_EQ(render::LastCameraEye.Y, pose.Eye.Y);
         EXPECT_EQ(render::LastCameraTarget.Z, pose.Target.Z);
       }},
      {"scene pass without objects",
       [&] {
         scene_.Objects.clear();
         scene_.ObjectCount = 0;
       },
       [&] { render::RenderScene(scene_, kTime); }, [](auto&) { return std::vector<RunExpect>{}; },
       [&](auto&) { return PassLeaves(passProjection, GL_PROJECTION); }, ExpectPassColourBack},
      {"scene pass from a given camera, objects at time 0", nullptr,
       [&] { render::RenderSceneFromCamera(scene_, givenEye, givenTarget); },
       [&](const GlState& before) { return PassRuns(before, givenProjection, 0); },
       [&](auto&) { return LastTestedObject(PassLeaves(givenProjection, GL_MODELVIEW)); }, ExpectPassColourBack},
      {"camera set-up", nullptr, [&] { render::SetupSceneCamera(scene_, kTime); },
       [](auto&) { return std::vector<RunExpect>{}; },
       [&](auto&) {
         return StateChanges()
             .Enable(GL_DEPTH_TEST)
             .TextureMatrix(IdentityMatrix())
             .Modelview(IdentityMatrix())
             .Projection(setupProjection)
             .MatrixMode(GL_PROJECTION);
       }},
      {"camera set-up at a given camera", nullptr,
       [&] { render::SetupSceneCameraAt(scene_, givenEye, givenTarget); },
       [](auto&) { return std::vector<RunExpect>{}; },
       [&](auto&) {
         return StateChanges()
             .Enable(GL_DEPTH_TEST)
             .TextureMatrix(IdentityMatrix())
             .Modelview(IdentityMatrix())
             .Projection(setupGivenProjection)
             .MatrixMode(GL_PROJECTION);
       }},
      {"object drawing", nullptr, [&] { render::DrawSceneObject(scene_, opaque_, kTime); },
       [&](const GlState& before) {
         return std::vector<RunExpect>{{objectDraw(before).Colour(kTint[0], kTint[1], kTint[2]), 2}};
       },
       [&](auto&) {
         return StateChanges()
             .MatrixMode(GL_MODELVIEW)
             .Enable(GL_TEXTURE_2D)
             .Bound(textures_[0])
             .Colour(kTint[0], kTint[1], kTint[2]);
       }},
      {"object drawing past the end of the list", nullptr,
       [&] { render::DrawSceneObject(scene_, scene_.ObjectCount, kTime); },
       [](auto&) { return std::vector<RunExpect>{}; }, [](auto&) { return StateChanges(); }},
      {"wire drawing", nullptr, [&] { render::DrawSceneObjectWire(scene_, opaque_, kTime); },
       [&](const GlState& before) {
         return std::vector<RunExpect>{{StateChanges()
                                            .MatrixMode(GL_MODELVIEW)
                                            .Modelview(placed(before))
                                            .ModelviewPushed(before)
                                            .Disable(GL_TEXTURE_2D)
                                            .Disable(GL_BLEND)
                                            .DepthFunc(GL_LEQUAL)
                                            .Colour(kTint[0], kTint[1], kTint[2]),
                                        2}};
       },
       // No texture is bound: the binding is the caller's.
       [&](auto&) {
         return StateChanges()
             .MatrixMode(GL_MODELVIEW)
             .Enable(GL_TEXTURE_2D)
             .Disable(GL_BLEND)
             .DepthFunc(GL_LESS)
             .Colour(kTint[0], kTint[1], kTint[2]);
       }},
      {"translucent drawing", nullptr, [&] { render::DrawSceneObjectAlpha(scene_, additive_, kTime, 0.4f); },
       [&](const GlState& before) {
         return std::vector<RunExpect>{{StateChanges()
                                            .MatrixMode(GL_MODELVIEW)
                                            .ModelviewPushed(before)
                                            .Disable(GL_TEXTURE_2D)
                                            .Bound(textures_[2])
                                            .Colour(0.5f * kTint[0], 1 * kTint[1], 0.8f * kTint[2], 0.4f),
                                        2}};
       },
       [&](auto&) {
         return StateChanges()
             .MatrixMode(GL_MODELVIEW)
             .Disable(GL_TEXTURE_2D)
             .Bound(textures_[2])
             .Colour(0.5f * kTint[0], 1 * kTint[1], 0.8f * kTint[2], 0.4f);
       }},
      {"paired drawing", nullptr, [&] { render::DrawSceneObjectPair(scene_, opaque_, partner_, kTime); },
       [&](const GlState& before) {
         const StateChanges a = objectDraw(before).DepthMask(false).Disable(GL_BLEND).Colour(kTint[0], kTint[1],
                                                                                             kTint[2]);
         const StateChanges b = StateChanges(a).DepthMask(true).Enable(GL_BLEND).Bound(textures_[9]);
         return std::vector<RunExpect>{{a, 1}, {b, 1}, {a, 1}, {b, 1}};
       },
       [&](auto&) {
         return StateChanges()
             .MatrixMode(GL_MODELVIEW)
             .Enable(GL_TEXTURE_2D)
             .DepthMask(true)
             .Enable(GL_BLEND)
             .Bound(textures_[9])
             .Colour(kTint[0], kTint[1], kTint[2]);
       }},
      normalMappedRow("normal-mapped drawing, set A", render::NormalSet::A),
      normalMappedRow("normal-mapped drawing, set B, in the current colour", render::NormalSet::B),
      normalMappedRow("normal-mapped drawing, set C", render::NormalSet::C),
      {"mirror fade", nullptr, [&] { render::DrawMirrorFade(mirrorScene_, mirror_, kTime); },
       [&](const GlState& before) {
         return std::vector<RunExpect>{{StateChanges()
                                            .MatrixMode(GL_MODELVIEW)
                                            .ModelviewPushed(before)
                                            .Disable(GL_TEXTURE_2D)
                                            .DepthFunc(GL_LEQUAL)
                                            .Enable(GL_BLEND)
                                            .BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)
                                            .Colour(1, 1, 1, render::VectorLength(300, 400, -20) / 2000),
                                        1}};
       },
       [&](auto&) {
         return StateChanges()
             .MatrixMode(GL_MODELVIEW)
             .Disable(GL_TEXTURE_2D)
             .DepthFunc(GL_LESS)
             .Disable(GL_BLEND)
             .BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)
             .Colour(1, 1, 1, render::VectorLength(300, 400, -20) / 2000);
       }},
      {"mirrored pass", nullptr, [&] { render::RenderSceneMirrored(mirrorScene_, kTime, 1, 1, -1, 0.5f, mirror_); },
       mirrorRuns,
       [&](auto&) {
         return StateChanges()
             .Enable(GL_DEPTH_TEST)
             .TextureMatrix(IdentityMatrix())
             .Modelview(IdentityMatrix())
             .Projection(unreflected)
             .MatrixMode(GL_MODELVIEW)
             .DepthFunc(GL_LESS)
             .Disable(GL_BLEND)
             .BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)
             .Enable(GL_TEXTURE_2D)
             .Bound(textures_[0])
             .Colour(1, 1, 1);
       },
       [] {
         EXPECT_EQ(render::SceneTint.Red, 1);
         EXPECT_EQ(render::SceneTint.Blue, 1);
       }},
  };
  testsupport::CheckSteps(rows, [this] { Reset(); }, [this] { return Watched(); });
}

}  // namespace

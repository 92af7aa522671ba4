// The show's two generated scenes, loaded with their textures and drawn at
// several scene times: each frame must show something, and more than one
// colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "assets/texture.h"
#include "render/render_pass.h"
#include "render/state.h"
#include "scene/loader.h"
#include "support/gl_context.h"
#include "support/temp_dir.h"

namespace {

class ShowScenesTest : public testsupport::GlTest {};

void RenderShowScene(const std::string& fileName) {
  const std::string directory = testsupport::BinaryDir() + "/show";
  const std::string path = directory + "/" + fileName;
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " has not been generated";
  scene::Scene s;
  scene::LoadScene(s, path);
  assets::LoadSceneTextures(s, directory);
  ASSERT_GT(s.ObjectCount, 0);
  ASSERT_GT(s.CamPositionCount, 0);
  const float first = static_cast<float>(std::min(s.CamPosition.front().Time, s.CamTarget.front().Time));
  const float last = static_cast<float>(std::max(s.CamPosition.back().Time, s.CamTarget.back().Time));
  for (float share : {0.0f, 0.3f, 0.6f, 0.9f}) {
    const float t = first + (last - first) * share;
    gl::glClearColor(0, 0, 0, 0);
    render::ClearFrame();
    render::SetSceneTint(1, 1, 1);
    gl::glEnable(GL_TEXTURE_2D);
    render::RenderScene(s, t);
    const auto frame = testsupport::ReadFrame(800, 600);
    std::size_t lit = 0;
    std::set<std::uint32_t> colours;
    for (std::size_t i = 0; i < frame.size(); i += 4) {
      if (frame[i] || frame[i + 1] || frame[i + 2]) ++lit;
      if (colours.size() < 64)
        colours.insert(frame[i] << 16 | frame[i + 1] << 8 | frame[i + 2]);
    }
    EXPECT_GT(lit, frame.size() / 4 / 100) << fileName << " at t = " << t << " is (almost) empty";
    EXPECT_GE(colours.size(), 16u) << fileName << " at t = " << t << " is uniform";
  }
}

TEST_F(ShowScenesTest, FlightSceneDrawsAtSeveralTimes) { RenderShowScene("cam.3dw"); }

TEST_F(ShowScenesTest, VideoSceneDrawsAtSeveralTimes) { RenderShowScene("pkode.3dw"); }

}  // namespace

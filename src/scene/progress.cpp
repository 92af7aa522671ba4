#include "scene/progress.h"

#include "platform/gl.h"
#include "platform/present.h"
#include "platform/process.h"

namespace scene {

std::int32_t LoadedItems = 0;
std::int32_t ProgressBlocks = 0;
std::uint32_t ProgressBackgroundTexture = 0;
std::uint32_t ProgressBlockTexture = 0;

namespace {

ProgressFrameHook frameHook = nullptr;
void* frameHookContext = nullptr;

constexpr std::int64_t kItemsForFullRow = 5954;
constexpr std::int64_t kBlocksInFullRow = 6;

// A white rectangle with its texture upright: (0, 0) at the top-left corner,
// corners sent top-right, bottom-right, bottom-left, top-left.
void DrawRectangle(long double centreX, long double centreY, float halfWidth, float halfHeight) {
  const float left = static_cast<float>(centreX - halfWidth);
  const float right = static_cast<float>(centreX + halfWidth);
  const float top = static_cast<float>(centreY + halfHeight);
  const float bottom = static_cast<float>(centreY - halfHeight);
  gl::glColor3f(1, 1, 1);
  gl::glBegin(GL_POLYGON);
  gl::glTexCoord2f(1, 0);
  gl::glVertex2f(right, top);
  gl::glTexCoord2f(1, 1);
  gl::glVertex2f(right, bottom);
  gl::glTexCoord2f(0, 1);
  gl::glVertex2f(left, bottom);
  gl::glTexCoord2f(0, 0);
  gl::glVertex2f(left, top);
  gl::glEnd();
}

}  // namespace

void DrawLoadingProgress() {
  // Called at every loaded item, the one place a long load regularly passes:
  // a stop request ends the program here rather than after the loading.
  platform::EndIfStopRequested();
  // The product is formed wide so that a very long load never wraps.
  const auto blocks = static_cast<std::int32_t>(static_cast<std::int64_t>(LoadedItems) * kBlocksInFullRow /
                                                kItemsForFullRow);
  if (blocks == ProgressBlocks) return;
  ProgressBlocks = blocks;
  // Without a window (the command-line tool) the count still follows, but
  // there is nothing to draw on.
  if (!platform::HasPresentTarget() || !gl::GlBound()) return;

  gl::glDisable(GL_DEPTH_TEST);
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  gl::glBindTexture(GL_TEXTURE_2D, ProgressBackgroundTexture);
  gl::glEnable(GL_TEXTURE_2D);
  DrawRectangle(0.0L, 0.0L, 1.0f, 1.0f);

  for (std::int32_t i = 1; i <= blocks; ++i) {
    gl::glEnable(GL_BLEND);
    gl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl::glBindTexture(GL_TEXTURE_2D, ProgressBlockTexture);
    DrawRectangle(0.155L * (i - 1) - 0.02L, 0.18f, 0.05f, 0.07f);
    gl::glDisable(GL_BLEND);
  }

  if (frameHook) frameHook(blocks, frameHookContext);
  platform::PresentFrame();
}

void SetProgressFrameHook(ProgressFrameHook hook, void* context) {
  frameHook = hook;
  frameHookContext = context;
}

}  // namespace scene

#pragma once
// Segment F: the render-to-texture feedback trail and the end scroller.
#include <cstdint>

namespace shell {

extern std::uint32_t FeedbackTexture;

void CreateFeedbackTexture();
void DrawFinale(float u, float scroll);

}  // namespace shell

#pragma once
// Segment F: the render-to-texture feedback trail and the end scroller.
#include <cstdint>

namespace shell {

extern std::uint32_t FeedbackTexture;

void CreateFeedbackTexture();
// Makes the feedback picture black again, as it is when the show begins.
void ClearFeedbackTexture();
void DrawFinale(float u, float scroll);

}  // namespace shell

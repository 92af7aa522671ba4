#include "shell/finale.h"

namespace shell {

std::uint32_t FeedbackTexture = 0;

void CreateFeedbackTexture() {}
void DrawFinale(float, float) {}

}  // namespace shell

#pragma once
// Everything the show draws, held for the whole run: one texture name per
// picture, the video frames, the two scenes and the finale's mesh.
#include <cstdint>

#include "assets/mesh.h"
#include "scene/model.h"

namespace shell {

extern std::uint32_t HundTexture;
extern std::uint32_t Start1Texture;
extern std::uint32_t Start2Texture;
extern std::uint32_t Start3Texture;
extern std::uint32_t Follow1Texture;
extern std::uint32_t Follow2Texture;
extern std::uint32_t Follow3Texture;
extern std::uint32_t Fo1Texture;
extern std::uint32_t Fo2Texture;
extern std::uint32_t Fo3Texture;
extern std::uint32_t Fo21Texture;
extern std::uint32_t Fo22Texture;
extern std::uint32_t Fo23Texture;
extern std::uint32_t PartyTexture;
extern std::uint32_t CodeTexture;
extern std::uint32_t FeelTexture;
extern std::uint32_t EndScrollTexture;
extern std::uint32_t BallEnvTexture;
extern std::uint32_t Env2Texture;
extern std::uint32_t Dreams07Texture;

inline constexpr int kVideoFrameCount = 100;
extern std::uint32_t VideoFrames[kVideoFrameCount];

extern scene::Scene VideoScene;
extern scene::Scene FlightScene;
extern assets::Mesh FinaleMesh;

// The pictures loaded first, in their loading order, each with the variable
// that receives its texture name.
struct PictureEntry {
  const char* fileName;
  std::uint32_t* texture;
};
inline constexpr int kTitlePictureCount = 17;
extern const PictureEntry TitlePictures[kTitlePictureCount];

}  // namespace shell

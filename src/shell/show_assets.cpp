#include "shell/show_assets.h"

namespace shell {

std::uint32_t HundTexture = 0;
std::uint32_t Start1Texture = 0;
std::uint32_t Start2Texture = 0;
std::uint32_t Start3Texture = 0;
std::uint32_t Follow1Texture = 0;
std::uint32_t Follow2Texture = 0;
std::uint32_t Follow3Texture = 0;
std::uint32_t Fo1Texture = 0;
std::uint32_t Fo2Texture = 0;
std::uint32_t Fo3Texture = 0;
std::uint32_t Fo21Texture = 0;
std::uint32_t Fo22Texture = 0;
std::uint32_t Fo23Texture = 0;
std::uint32_t PartyTexture = 0;
std::uint32_t CodeTexture = 0;
std::uint32_t FeelTexture = 0;
std::uint32_t EndScrollTexture = 0;
std::uint32_t BallEnvTexture = 0;
std::uint32_t Env2Texture = 0;
std::uint32_t Dreams07Texture = 0;

std::uint32_t VideoFrames[kVideoFrameCount] = {};

scene::Scene VideoScene;
scene::Scene FlightScene;
assets::Mesh FinaleMesh;

const PictureEntry TitlePictures[kTitlePictureCount] = {
    {"hund.tga", &HundTexture},         {"start1.tga", &Start1Texture}, {"start2.tga", &Start2Texture},
    {"start3.tga", &Start3Texture},     {"follow1.tga", &Follow1Texture}, {"follow2.tga", &Follow2Texture},
    {"follow3.tga", &Follow3Texture},   {"fo1.tga", &Fo1Texture},       {"fo2.tga", &Fo2Texture},
    {"fo3.tga", &Fo3Texture},           {"fo21.tga", &Fo21Texture},     {"fo22.tga", &Fo22Texture},
    {"fo23.tga", &Fo23Texture},         {"party.tga", &PartyTexture},   {"code.tga", &CodeTexture},
    {"feel.tga", &FeelTexture},         {"endscroll.tga", &EndScrollTexture},
};

}  // namespace shell

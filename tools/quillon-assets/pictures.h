#pragma once
// Every picture of the show: titles, captions, the particle sprite, the end
// scroller, the three effect pictures, the video frames and the scenes'
// material textures.
#include <string>
#include <vector>

#include "raster.h"

namespace assetgen {

struct Picture {
  std::string name;
  Image image;
  int channels = 3;  // 3: RGB, 4: RGBA (alpha carried in the file)
};

// The invented group that presents the show, on the first title.
inline constexpr const char* kGroupName = "INKWELL CIRCUIT";

Picture MakeTitle(int row);                  // 1, 2, 3: "start1.tga" ... "start3.tga"
Picture MakeCaption(const std::string& name);  // "follow1.tga" ... "feel.tga"
std::vector<std::string> CaptionNames();
Picture MakeParticleSprite();                // "hund.tga"
Picture MakeEndScroll();                     // "endscroll.tga"
Picture MakeDreams();                        // "dreams07.tga"
Picture MakeBallEnv();                       // "ballenv.tga"
Picture MakeEnvironmentMap();                // "env2.tga"
Picture MakeVideoFrame(int index);           // "0.jpg" ... "99.jpg"
inline constexpr int kVideoFrameCount = 100;

// Material textures of the two scenes, by file name.
Picture MakeMaterialTexture(const std::string& name);
std::vector<std::string> MaterialTextureNames();

// The rows of the end scroller, for its test of where the text lies.
inline constexpr float kScrollTextTop = 0.03f;
inline constexpr float kScrollTextBottom = 0.54f;

}  // namespace assetgen

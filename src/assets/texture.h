#pragma once
// Picture files to mipmapped OpenGL textures through the image library.
#include <cstdint>
#include <string_view>

#include "platform/image.h"
#include "scene/model.h"

namespace assets {

void LoadTexture(std::string_view fileName, std::uint32_t& textureName);
void LoadSceneTextures(scene::Scene& scene, std::string_view directory);
void ReleaseTextureImage(platform::TextureImage* image);
bool ImageHasAlpha(const platform::TextureImage* image);

}  // namespace assets

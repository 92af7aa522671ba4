#include "assets/texture.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gl.h"
#include "platform/present.h"
#include "scene/progress.h"

namespace assets {

namespace {

// Names are counted strings: a file name of at most 255 bytes with its NUL,
// a message text of at most 255 characters.
constexpr std::size_t kMaxFileName = 254;
constexpr std::size_t kMaxMessageText = 255;

// The creation steps both loaders share. A picture that cannot be loaded
// builds nothing: the texture name is still made and bound without a picture,
// so its surfaces draw untextured and the show goes on.
void CreateTexture(std::string_view fileName, std::string_view messageName, std::uint32_t& textureName,
                   std::uint8_t* alphaFlag) {
  platform::TextureImage* image = nullptr;
  // A name that does not fit, or that a NUL would cut short, is never handed
  // to the image library: it would open some other file.
  if (fileName.size() <= kMaxFileName && fileName.find('\0') == std::string_view::npos) {
    std::string name(fileName);
    image = platform::txLoad(0, name.c_str(), 0);
    if (platform::txGetErrorCode() == platform::kImageFileNotFound) {
      std::string text = "File not found : ";
      text.append(messageName);
      if (text.size() > kMaxMessageText) text.resize(kMaxMessageText);
      platform::ShowMessageBox(text.c_str(), "Texture Loader Error Message", false);
    }
  }
  if (!image) {
    std::fputs(" ERROR \n", stdout);
    std::fflush(stdout);
  }

  GLuint name = 0;
  gl::glGenTextures(1, &name);
  textureName = name;
  gl::glEnable(GL_TEXTURE_2D);
  gl::glBindTexture(GL_TEXTURE_2D, name);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  if (image) {
    gl::gluBuild2DMipmaps(GL_TEXTURE_2D, 4, image->Width, image->Height, GL_RGBA, GL_UNSIGNED_BYTE, image->Pixels);
  }
  // An untextured surface has nothing to alpha-test.
  if (alphaFlag) *alphaFlag = image ? image->HasAlphaChannel : 0;
  ReleaseTextureImage(image);
}

}  // namespace

void LoadTexture(std::string_view fileName, std::uint32_t& textureName) {
  CreateTexture(fileName, fileName, textureName, nullptr);
}

void LoadSceneTextures(scene::Scene& scene, std::string_view directory) {
  std::size_t count = scene.MaterialCount > 0 ? static_cast<std::size_t>(scene.MaterialCount) : 0;
  if (count > scene.Materials.size()) count = scene.Materials.size();
  for (std::size_t i = 0; i < count; ++i) {
    scene::SceneMaterial& material = scene.Materials[i];
    ++scene::LoadedItems;
    scene::DrawLoadingProgress();
    std::string fileName(directory);
    fileName += '\\';
    fileName += material.TextureFile;
    CreateTexture(fileName, material.TextureFile, material.TextureName, &material.AlphaFlag);
  }
}

void ReleaseTextureImage(platform::TextureImage* image) {
  if (!image) return;
  if (image->LibraryOwned == 1) {
    platform::txFree(image);
    return;
  }
  // A record the system made itself: its pixels came from malloc, the record
  // stays the caller's.
  std::free(image->Pixels);
  image->Width = 0;
  image->Height = 0;
  image->LibraryField = 0;
  image->LibraryOwned = 0;
  image->HasAlphaChannel = 0;
  image->DataSize = 0;
  image->Pixels = nullptr;
}

bool ImageHasAlpha(const platform::TextureImage* image) { return image && image->HasAlphaChannel != 0; }

}  // namespace assets

#include "assets/texture.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets/prefetch.h"
#include "platform/gl.h"
#include "platform/out_of_memory.h"
#include "platform/present.h"
#include "platform/process.h"
#include "scene/progress.h"

namespace assets {

namespace {

// Message texts are counted strings of at most 255 characters.
constexpr std::size_t kMaxMessageText = 255;
// GLU's answer when it cannot get the memory for the levels (GLU_OUT_OF_MEMORY).
constexpr GLint kGluOutOfMemory = 100902;

// Level 0 and the chain below it as the picture came, or GLU's own building
// for a picture whose sides it must first bring to powers of two (or that is
// larger than the implementation takes); both give the same texture.
void BuildMipmaps(const DecodedPicture& picture) {
  const platform::TextureImage& image = *picture.Image;
  GLint largest = 0;
  if (picture.HasLevels) gl::glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  if (!picture.HasLevels || image.Width > largest || image.Height > largest) {
    if (gl::gluBuild2DMipmaps(GL_TEXTURE_2D, 4, image.Width, image.Height, GL_RGBA, GL_UNSIGNED_BYTE,
                              image.Pixels) == kGluOutOfMemory) {
      platform::RaiseOutOfMemory();
    }
    return;
  }
  gl::glTexImage2D(GL_TEXTURE_2D, 0, 4, image.Width, image.Height, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.Pixels);
  GLint level = 1;
  for (const MipmapLevel& m : picture.Levels)
    gl::glTexImage2D(GL_TEXTURE_2D, level++, 4, m.Width, m.Height, 0, GL_RGBA, GL_UNSIGNED_BYTE, m.Pixels.data());
}

// The creation steps both loaders share. A picture that cannot be loaded
// builds nothing: the texture name is still made and bound without a picture,
// so its surfaces draw untextured and the show goes on.
void CreateTexture(std::string_view fileName, std::string_view messageName, std::uint32_t& textureName,
                   std::uint8_t* alphaFlag) {
  // The loading pumps no messages: a stop request is honoured here, between
  // pictures, and after a box that the request closed.
  platform::EndIfStopRequested();
  DecodedPicture picture;
  if (LoadableFileName(fileName)) {
    std::string name(fileName);
    if (!TakePrefetchedPicture(name, picture)) picture = DecodePicture(name);
    // Whichever thread decoded it, the report comes from this one.
    if (picture.ErrorCode == platform::kImageOutOfMemory) platform::RaiseOutOfMemory();
    if (picture.ErrorCode == platform::kImageFileNotFound) {
      std::string text = "File not found : ";
      text.append(messageName);
      if (text.size() > kMaxMessageText) text.resize(kMaxMessageText);
      platform::ShowMessageBox(text.c_str(), "Texture Loader Error Message", false);
      platform::EndIfStopRequested();
    }
  }
  platform::TextureImage* image = picture.Image;
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
  if (image) BuildMipmaps(picture);
  // An untextured surface has nothing to alpha-test.
  if (alphaFlag) *alphaFlag = image ? image->HasAlphaChannel : 0;
  ReleaseTextureImage(image);
}

// A material's picture: the folder and the material's file name joined with
// a backslash, which the image library reads as a path separator.
std::string SceneTextureFile(std::string_view directory, const scene::SceneMaterial& material) {
  std::string fileName(directory);
  fileName += '\\';
  fileName += material.TextureFile;
  return fileName;
}

}  // namespace

void LoadTexture(std::string_view fileName, std::uint32_t& textureName) {
  CreateTexture(fileName, fileName, textureName, nullptr);
}

void LoadSceneTextures(scene::Scene& scene, std::string_view directory) {
  std::size_t count = scene.MaterialCount > 0 ? static_cast<std::size_t>(scene.MaterialCount) : 0;
  if (count > scene.Materials.size()) count = scene.Materials.size();
  if (PrefetchRunning()) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i) names.push_back(SceneTextureFile(directory, scene.Materials[i]));
    PrefetchPictures(names);
  }
  for (std::size_t i = 0; i < count; ++i) {
    scene::SceneMaterial& material = scene.Materials[i];
    ++scene::LoadedItems;
    scene::DrawLoadingProgress();
    CreateTexture(SceneTextureFile(directory, material), material.TextureFile, material.TextureName,
                  &material.AlphaFlag);
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

// Decodes and uploads 120 pictures of the show's kinds and sizes (captions of
// 256 x 64 with alpha, maps of 512 x 512, video frames of 256 x 256 as JPEG)
// on the headless context. Prints the total time of LoadTexture over the
// decode-only time measured in the same run: what texture creation (the
// mipmap chain) adds on top of decoding.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "assets/texture.h"
#include "platform/gl.h"
#include "platform/image.h"
#include "platform/image_write.h"
#include "platform/offscreen.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> Picture(int width, int height, int channels, int seed) {
  std::vector<std::uint8_t> p(static_cast<std::size_t>(width) * height * channels);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) {
        double v = std::sin((x + seed * 7) * 0.05 + c) * std::cos((y - seed) * 0.07) * 127 + 128;
        if (c == 3) v = ((x / 8 + y / 8 + seed) % 3) ? 255 : 0;  // caption letters and holes
        p[(static_cast<std::size_t>(y) * width + x) * channels + c] = static_cast<std::uint8_t>(v);
      }
  return p;
}

std::vector<std::string> MakePictures(const testsupport::TempDir& dir) {
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) {
    auto p = Picture(256, 64, 4, i);
    names.push_back(dir.File("caption" + std::to_string(i) + ".tga"));
    platform::WriteTga(names.back(), 256, 64, 4, p.data(), i % 2 == 0);
  }
  for (int i = 0; i < 8; ++i) {
    auto p = Picture(512, 512, 3, 100 + i);
    names.push_back(dir.File("map" + std::to_string(i) + ".tga"));
    platform::WriteTga(names.back(), 512, 512, 3, p.data(), false);
  }
  for (int i = 0; i < 100; ++i) {
    auto p = Picture(256, 256, 3, 200 + i);
    names.push_back(dir.File(std::to_string(i) + ".jpg"));
    platform::WriteJpeg(names.back(), 256, 256, 3, p.data(), 85);
  }
  return names;
}

template <typename Fn>
double Best(int runs, Fn&& fn) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    fn();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  testsupport::TempDir dir;
  std::vector<std::string> names = MakePictures(dir);
  if (!platform::OpenOffscreen(800, 600)) {
    std::fprintf(stderr, "no headless OpenGL context\n");
    return 1;
  }
  double decode = Best(3, [&] {
    for (const std::string& name : names) {
      platform::TextureImage* image = platform::txLoad(0, name.c_str(), 0);
      if (!image) std::abort();
      platform::txFree(image);
    }
  });
  double total = Best(3, [&] {
    std::vector<GLuint> textures(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) assets::LoadTexture(names[i], textures[i]);
    gl::glFinish();
    gl::glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
  });
  std::printf("decode only, %zu pictures: %.1f ms\n", names.size(), decode * 1e3);
  std::printf("decode and upload with mipmaps: %.1f ms\n", total * 1e3);
  std::printf("ratio total/decode: %.2f\n", total / decode);
  platform::CloseOffscreen();
  return 0;
}

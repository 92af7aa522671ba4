// libFuzzer harness for the image library: any bytes as a picture file
// either decode to a picture whose every pixel can be read, or give a null
// image with an error code; never a crash, leak or read out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/image.h"

namespace {

const std::string& InputPath() {
  static const std::string path = "/tmp/quillon-fuzz-image-" + std::to_string(getpid()) + ".pic";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(InputPath().c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();

  platform::TextureImage* image = platform::txLoad(0, InputPath().c_str(), 0);
  std::int32_t code = platform::txGetErrorCode();
  if (!image) {
    if (code == 0 || code == platform::kImageFileNotFound) std::abort();
    return 0;
  }
  if (code != 0 || image->Width < 1 || image->Height < 1 || image->LibraryOwned != 1 ||
      image->DataSize != image->Width * image->Height * 4 || image->HasAlphaChannel > 1) {
    std::abort();
  }
  volatile unsigned sum = 0;
  for (std::int32_t i = 0; i < image->DataSize; ++i) sum = sum + image->Pixels[i];
  platform::txFree(image);
  return 0;
}

#pragma once
// Pictures decoded ahead of their loading. While the start-up opens the
// window and loads the scenes, worker threads decode the pictures it will
// ask for next, in the order it asks for them, and build their mipmap
// chains. The texture loader takes each result when it reaches that
// picture; everything the loading shows or reports (boxes, error lines,
// OpenGL calls) still happens there, in the loader's own order. A picture
// that was never queued, or is asked for a second time, is decoded on the
// spot as before.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "assets/mipmaps.h"
#include "platform/image.h"

namespace assets {

// A decoded picture: the image library's record (null when it could not be
// loaded), its error code, and levels 1 and below when the picture's sides
// are powers of two no larger than the largest side a worker assumes.
struct DecodedPicture {
  platform::TextureImage* Image = nullptr;
  std::int32_t ErrorCode = 0;
  std::vector<MipmapLevel> Levels;
  bool HasLevels = false;
};

// True for a name the loaders hand to the image library: at most 254 bytes
// (255 with its NUL) and no NUL inside that would cut it short and open
// some other file.
bool LoadableFileName(std::string_view fileName);

// Decodes a picture and, where its size allows, its mipmap chain. Memory
// refused on the way gives no picture and the error code
// platform::kImageOutOfMemory, on whichever thread it decodes; the loader
// turns that into the "Out of memory" report on the main thread.
DecodedPicture DecodePicture(const std::string& fileName);

// The largest side the workers build chains for; a texture larger than the
// OpenGL implementation takes goes through GLU instead.
inline constexpr std::int32_t kPrefetchLargestSide = 8192;

// Starts decoding on worker threads (one per processor core, at most four)
// or, when they already run, adds to their queue. Names that the loader
// would refuse are skipped.
void PrefetchPictures(const std::vector<std::string>& fileNames);

// The result for a queued picture, waiting for its worker when it is still
// being decoded, or decoding it here when no worker has begun it. False when
// the name is not waiting in the queue.
bool TakePrefetchedPicture(const std::string& fileName, DecodedPicture& out);

// True between the first PrefetchPictures and EndPrefetch.
bool PrefetchRunning();

// Stops the workers once they finish their current picture and frees every
// result nobody took. Also run at exit when the program ends during loading.
void EndPrefetch();

}  // namespace assets

#include "platform/image.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/files.h"

// Only the formats the show and its tools use, fewer decoders to trust on a
// bad file; TGA is decoded below. Pictures larger than this on a side are refused before any
// pixel memory is taken (the show's largest is 512).
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 8192
namespace {
// stb_image answers a refused allocation with the same null as a damaged
// file; its allocations note the refusal here, per decoding thread, so that
// running out of memory is told apart.
thread_local bool stbRefusedMemory = false;
void* StbAllocate(std::size_t size) {
  // Zeroed, so that nothing stb_image keeps is ever read uninitialised.
  void* memory = std::calloc(1, size);
  if (!memory) stbRefusedMemory = true;
  return memory;
}
void* StbReallocate(void* memory, std::size_t size) {
  void* moved = std::realloc(memory, size);
  if (!moved && size > 0) stbRefusedMemory = true;
  return moved;
}
}  // namespace
#define STBI_MALLOC(size) StbAllocate(size)
#define STBI_REALLOC(p, size) StbReallocate(p, size)
#define STBI_FREE(p) std::free(p)
#define STB_IMAGE_IMPLEMENTATION
#if __has_include(<stb/stb_image.h>)
#include <stb/stb_image.h>
#else
#include <stb_image.h>
#endif

namespace platform {

namespace {

constexpr int kMaxSide = STBI_MAX_DIMENSIONS;
// A picture file this large is not one of ours; refuse it rather than read it.
constexpr std::uint64_t kMaxFileBytes = 256ull << 20;

// Several threads may decode at once: each sees the result of its own last call.
thread_local std::int32_t lastErrorCode = 0;

struct Decoded {
  std::uint8_t* pixels = nullptr;  // malloc'd, width * height * 4 bytes
  int width = 0;
  int height = 0;
  bool alpha = false;
  std::int32_t error = 0;
};

std::int32_t Fail(std::int32_t code) {
  lastErrorCode = code;
  return code;
}

// Reads the whole file; 0 or one of the error codes.
std::int32_t ReadPictureFile(const char* fileName, std::vector<std::uint8_t>& data) {
  std::string path = NativePath(fileName);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? kImageFileNotFound : kImageUnreadable;
  }
  if (!S_ISREG(info.st_mode)) return kImageUnreadable;
  if (static_cast<std::uint64_t>(info.st_size) > kMaxFileBytes) return kImageUnsupported;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return errno == ENOENT ? kImageFileNotFound : kImageUnreadable;
  data.resize(static_cast<std::size_t>(info.st_size));
  std::size_t got = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), file);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return kImageUnreadable;
  data.resize(got);
  return 0;
}

// ---- Truevision TGA: true-colour, grey and colour-mapped, raw and RLE ----
//
// Decoded here rather than by stb_image, which drops the attribute bit of
// 16-bit pixels, ignores the right-to-left flag, cannot say whether the file
// declared an alpha channel, and reads zeros past the end of a cut file.

struct TgaHeader {
  int idLength, colourMapType, imageType, mapFirst, mapLength, mapEntryBits;
  int width, height, bitsPerPixel, descriptor;
};

int Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

// A file that is too short for a header, or whose header no TGA writer
// makes, is not taken for a TGA.
bool ParseTgaHeader(const std::vector<std::uint8_t>& data, TgaHeader& h) {
  if (data.size() < 18) return false;
  const std::uint8_t* p = data.data();
  h.idLength = p[0];
  h.colourMapType = p[1];
  h.imageType = p[2];
  h.mapFirst = Le16(p + 3);
  h.mapLength = Le16(p + 5);
  h.mapEntryBits = p[7];
  h.width = Le16(p + 12);
  h.height = Le16(p + 14);
  h.bitsPerPixel = p[16];
  h.descriptor = p[17];
  if (h.colourMapType > 1) return false;
  if (h.colourMapType == 1 && h.mapEntryBits != 15 && h.mapEntryBits != 16 && h.mapEntryBits != 24 &&
      h.mapEntryBits != 32) {
    return false;
  }
  switch (h.imageType & ~8) {
    case 1:
      return h.colourMapType == 1 && h.mapLength > 0 && (h.bitsPerPixel == 8 || h.bitsPerPixel == 16);
    case 2:
      return h.bitsPerPixel == 15 || h.bitsPerPixel == 16 || h.bitsPerPixel == 24 || h.bitsPerPixel == 32;
    case 3:
      return h.bitsPerPixel == 8 || h.bitsPerPixel == 16;
    default:
      return false;
  }
}

std::uint8_t Expand5(int v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }

// One stored colour of 2, 3 or 4 bytes (BGR order, 16-bit as ARRRRRGG GGGBBBBB).
void ConvertColour(const std::uint8_t* s, int bytes, bool attributeIsAlpha, std::uint8_t* d) {
  if (bytes == 2) {
    int v = Le16(s);
    d[0] = Expand5((v >> 10) & 31);
    d[1] = Expand5((v >> 5) & 31);
    d[2] = Expand5(v & 31);
    d[3] = (attributeIsAlpha && !(v & 0x8000)) ? 0 : 255;
  } else {
    d[0] = s[2];
    d[1] = s[1];
    d[2] = s[0];
    d[3] = bytes == 4 ? s[3] : 255;
  }
}

Decoded DecodeTga(const std::vector<std::uint8_t>& data, const TgaHeader& h) {
  Decoded out;
  out.error = kImageUnsupported;
  if (h.width < 1 || h.height < 1 || h.width > kMaxSide || h.height > kMaxSide) return out;
  const int kind = h.imageType & ~8;
  const bool rle = (h.imageType & 8) != 0;
  const int bytesPerPixel = (h.bitsPerPixel + 7) / 8;
  const int alphaBits = h.descriptor & 15;
  const bool rightToLeft = (h.descriptor & 0x10) != 0;
  const bool topToBottom = (h.descriptor & 0x20) != 0;
  const int colourBits = kind == 1 ? h.mapEntryBits : h.bitsPerPixel;
  if (kind == 3) {
    out.alpha = h.bitsPerPixel == 16;
  } else if (colourBits == 32) {
    out.alpha = true;
  } else if (colourBits == 16) {
    out.alpha = alphaBits > 0;
  }

  const std::uint8_t* p = data.data() + 18;
  const std::uint8_t* end = data.data() + data.size();
  if (static_cast<std::size_t>(end - p) < static_cast<std::size_t>(h.idLength)) return out;
  p += h.idLength;
  std::vector<std::uint8_t> palette;
  if (h.colourMapType == 1) {
    const int entryBytes = (h.mapEntryBits + 7) / 8;
    const std::size_t mapBytes = static_cast<std::size_t>(h.mapLength) * entryBytes;
    if (static_cast<std::size_t>(end - p) < mapBytes) return out;
    if (kind == 1) {
      palette.resize(static_cast<std::size_t>(h.mapLength) * 4);
      for (int i = 0; i < h.mapLength; ++i) ConvertColour(p + i * entryBytes, entryBytes, out.alpha, &palette[i * 4]);
    }
    p += mapBytes;
  }

  const std::uint64_t pixelCount = static_cast<std::uint64_t>(h.width) * h.height;
  // The fewest bytes that can hold this many pixels: refuse a short file
  // before taking the pixel memory.
  std::uint64_t fewest = rle ? (pixelCount + 127) / 128 * (1 + bytesPerPixel) : pixelCount * bytesPerPixel;
  if (fewest > static_cast<std::uint64_t>(end - p)) return out;

  std::uint8_t* pixels = static_cast<std::uint8_t*>(std::malloc(pixelCount * 4));
  if (!pixels) {
    out.error = kImageOutOfMemory;
    return out;
  }

  bool ok = true;
  auto convert = [&](const std::uint8_t* s, std::uint8_t* d) {
    if (kind == 3) {
      d[0] = d[1] = d[2] = s[0];
      d[3] = bytesPerPixel == 2 ? s[1] : 255;
    } else if (kind == 1) {
      int index = (bytesPerPixel == 1 ? s[0] : Le16(s)) - h.mapFirst;
      if (index < 0 || index >= h.mapLength) {
        ok = false;
        index = 0;
      }
      std::memcpy(d, &palette[static_cast<std::size_t>(index) * 4], 4);
    } else {
      ConvertColour(s, bytesPerPixel, out.alpha, d);
    }
  };
  auto place = [&](std::uint64_t index) {
    std::uint64_t row = index / h.width, column = index % h.width;
    if (!topToBottom) row = h.height - 1 - row;
    if (rightToLeft) column = h.width - 1 - column;
    return pixels + (row * h.width + column) * 4;
  };

  std::uint64_t index = 0;
  while (ok && index < pixelCount) {
    if (!rle) {
      convert(p, place(index));
      p += bytesPerPixel;
      ++index;
      continue;
    }
    if (p >= end) {
      ok = false;
      break;
    }
    int packet = *p++;
    std::uint64_t count = (packet & 127) + 1;
    if (count > pixelCount - index) count = pixelCount - index;
    if (packet & 128) {
      if (end - p < bytesPerPixel) {
        ok = false;
        break;
      }
      std::uint8_t rgba[4];
      convert(p, rgba);
      p += bytesPerPixel;
      for (std::uint64_t i = 0; i < count; ++i) std::memcpy(place(index++), rgba, 4);
    } else {
      if (static_cast<std::uint64_t>(end - p) < count * bytesPerPixel) {
        ok = false;
        break;
      }
      for (std::uint64_t i = 0; i < count; ++i) {
        convert(p, place(index++));
        p += bytesPerPixel;
      }
    }
  }
  if (!ok) {
    std::free(pixels);
    return out;
  }
  out.pixels = pixels;
  out.width = h.width;
  out.height = h.height;
  out.error = 0;
  return out;
}

// ---- Everything else through stb_image ----

bool StartsWith(const std::vector<std::uint8_t>& data, const char* magic, std::size_t n) {
  return data.size() >= n && std::memcmp(data.data(), magic, n) == 0;
}

// stb_image reports an RGB or grey PNG with a transparency chunk as having no
// alpha, though the file does carry transparency of its own.
bool PngHasTransparencyChunk(const std::vector<std::uint8_t>& data) {
  std::size_t at = 8;
  while (at + 8 <= data.size()) {
    std::uint32_t length = (std::uint32_t(data[at]) << 24) | (std::uint32_t(data[at + 1]) << 16) |
                           (std::uint32_t(data[at + 2]) << 8) | data[at + 3];
    const std::uint8_t* type = data.data() + at + 4;
    if (std::memcmp(type, "tRNS", 4) == 0) return true;
    if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return false;
    std::uint64_t next = static_cast<std::uint64_t>(at) + 12 + length;
    if (next > data.size()) return false;
    at = static_cast<std::size_t>(next);
  }
  return false;
}

// Where the first marker after the start-of-image marker begins, or 0 when the
// file is no JPEG. stb_image, like the format, allows fill bytes (0xFF)
// before the start-of-image marker's second byte.
std::size_t JpegStart(const std::vector<std::uint8_t>& data) {
  if (data.empty() || data[0] != 0xFF) return 0;
  std::size_t i = 1;
  while (i < data.size() && data[i] == 0xFF) ++i;
  return i < data.size() && data[i] == 0xD8 ? i + 1 : 0;
}

// The stb_image on the system (2.27) trusts two things in a JPEG file that a
// damaged file can break: the symbol counts of a Huffman table (more than 256
// symbols write past its tables) and that a scan only names tables the file
// defined (an undefined one is read uninitialised and its decoding walks out
// of the code tables). Both are checked here before stb_image sees the file.
// The walk follows the markers through the entropy-coded data of every scan,
// since a progressive picture defines new tables between its scans. Bytes
// past the end read as 0, as stb_image reads them.
bool JpegTablesAreSound(const std::vector<std::uint8_t>& data, std::size_t pos) {
  const std::size_t size = data.size();
  auto at = [&](std::size_t i) -> int { return i < size ? data[i] : 0; };
  bool defined[2][4] = {};  // [DC, AC][table number]
  while (pos + 1 < size) {
    if (data[pos] != 0xFF) {
      ++pos;  // entropy-coded bytes of a scan
      continue;
    }
    int marker = data[pos + 1];
    if (marker == 0xFF) {
      ++pos;  // fill byte
      continue;
    }
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
      pos += 2;  // stuffed byte, restart markers and other markers without a length
      continue;
    }
    if (marker == 0xD9) return true;
    const std::size_t length = (static_cast<std::size_t>(at(pos + 2)) << 8) | static_cast<std::size_t>(at(pos + 3));
    if (length < 2) return true;  // stb_image refuses it itself
    if (marker == 0xC4) {
      std::size_t p = pos + 4;
      const std::size_t end = pos + 2 + length;
      while (p < end) {
        const int tableClass = at(p) >> 4, table = at(p) & 15;
        if (tableClass > 1 || table > 3) return false;
        int n = 0;
        for (int i = 0; i < 16; ++i) n += at(p + 1 + i);
        if (n > 256) return false;
        defined[tableClass][table] = true;
        p += 17 + static_cast<std::size_t>(n);
      }
    } else if (marker == 0xDA) {
      const int components = at(pos + 4);
      const std::size_t after = pos + 5 + 2 * static_cast<std::size_t>(components);
      const int spectralStart = at(after), spectralEnd = at(after + 1);
      for (int c = 0; c < components; ++c) {
        const int tables = at(pos + 6 + 2 * static_cast<std::size_t>(c));
        const int dc = tables >> 4, ac = tables & 15;
        if (dc > 3 || ac > 3) return false;
        if (spectralStart == 0 && !defined[0][dc]) return false;
        if (spectralEnd > 0 && !defined[1][ac]) return false;
      }
    }
    pos += 2 + length;
  }
  return true;
}

Decoded DecodeWithStb(const std::vector<std::uint8_t>& data) {
  Decoded out;
  out.error = kImageUnsupported;
  if (data.empty() || data.size() > static_cast<std::size_t>(INT32_MAX)) return out;
  if (std::size_t start = JpegStart(data); start != 0 && !JpegTablesAreSound(data, start)) return out;
  int width = 0, height = 0, channels = 0;
  // Only the reentrant entry points: the vertical-flip and other global
  // settings are never touched, so concurrent decodes cannot disturb each other.
  stbRefusedMemory = false;
  stbi_uc* pixels = stbi_load_from_memory(data.data(), static_cast<int>(data.size()), &width, &height, &channels, 4);
  if (!pixels) {
    if (stbRefusedMemory) out.error = kImageOutOfMemory;
    return out;
  }
  if (width < 1 || height < 1) {
    stbi_image_free(pixels);
    return out;
  }
  out.pixels = pixels;
  out.width = width;
  out.height = height;
  out.alpha = channels == 2 || channels == 4;
  if (!out.alpha && StartsWith(data, "\x89PNG\r\n\x1a\n", 8)) out.alpha = PngHasTransparencyChunk(data);
  out.error = 0;
  return out;
}

Decoded Decode(const std::vector<std::uint8_t>& data) {
  bool otherFormat = StartsWith(data, "\x89PNG", 4) || JpegStart(data) != 0 || StartsWith(data, "BM", 2);
  TgaHeader header{};
  if (!otherFormat && ParseTgaHeader(data, header)) return DecodeTga(data, header);
  return DecodeWithStb(data);
}

}  // namespace

TextureImage* txLoad(std::int32_t, const char* fileName, std::int32_t) {
  if (!fileName) {
    Fail(kImageFileNotFound);
    return nullptr;
  }
  std::vector<std::uint8_t> data;
  if (std::int32_t code = ReadPictureFile(fileName, data)) {
    Fail(code);
    return nullptr;
  }
  Decoded decoded = Decode(data);
  if (!decoded.pixels) {
    Fail(decoded.error ? decoded.error : kImageUnsupported);
    return nullptr;
  }
  auto* image = new (std::nothrow) TextureImage;
  if (!image) {
    std::free(decoded.pixels);
    Fail(kImageOutOfMemory);
    return nullptr;
  }
  image->Width = decoded.width;
  image->Height = decoded.height;
  image->DataSize = decoded.width * decoded.height * 4;
  image->Pixels = decoded.pixels;
  image->HasAlphaChannel = decoded.alpha ? 1 : 0;
  image->LibraryOwned = 1;
  lastErrorCode = 0;
  return image;
}

std::int32_t txGetErrorCode() { return lastErrorCode; }

std::int32_t txFree(TextureImage* image) {
  lastErrorCode = 0;
  if (!image) return 0;
  std::free(image->Pixels);
  delete image;
  return 1;
}

}  // namespace platform

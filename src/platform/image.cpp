#include "platform/image.h"

#include <sys/stat.h>

#include <algorithm>
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

// Reads the whole file; 0 or one of the error codes. A pipe or another
// file whose size is not known in advance is read in growing chunks, up to
// the largest picture file taken.
std::int32_t ReadPictureFile(const char* fileName, std::vector<std::uint8_t>& data) {
  std::string path = NativePath(fileName);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? kImageFileNotFound : kImageUnreadable;
  }
  if (S_ISDIR(info.st_mode)) return kImageUnreadable;
  const bool sized = S_ISREG(info.st_mode);
  if (sized && static_cast<std::uint64_t>(info.st_size) > kMaxFileBytes) return kImageUnsupported;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return errno == ENOENT ? kImageFileNotFound : kImageUnreadable;
  bool failed = false;
  if (sized) {
    data.resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), file);
    failed = std::ferror(file) != 0;
    data.resize(got);
  } else {
    constexpr std::size_t kFirstChunk = 64 << 10;
    while (data.size() <= kMaxFileBytes) {
      const std::size_t before = data.size();
      const std::size_t chunk = std::max(kFirstChunk, before);
      data.resize(before + chunk);
      const std::size_t got = std::fread(data.data() + before, 1, chunk, file);
      data.resize(before + got);
      if (got < chunk) break;
    }
    failed = std::ferror(file) != 0;
  }
  std::fclose(file);
  if (failed) return kImageUnreadable;
  if (data.size() > kMaxFileBytes) return kImageUnsupported;
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

// ---- Sizes checked before stb_image sees a file ----
//
// stb_image reads a zero for every byte past the end of its data, so a file
// that ends before its pixels do would come out with made-up rows. Each
// format's layout is walked here far enough to know the fewest bytes its
// pixels can take, and a file that holds fewer is refused, as the TGA
// decoder above refuses a short file.

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint32_t Be32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// A BMP's rows start where its file header says and run for the height, each
// padded to four bytes (the last one need not be).
bool BmpHoldsItsPixels(const std::vector<std::uint8_t>& data) {
  if (data.size() < 26) return false;
  const std::uint8_t* p = data.data();
  const std::uint64_t pixelsAt = Le32(p + 10);
  const std::uint32_t headerSize = Le32(p + 14);
  if (headerSize != 12 && headerSize != 40 && headerSize != 56 && headerSize != 108 && headerSize != 124) return false;
  if (data.size() < 14 + static_cast<std::uint64_t>(headerSize)) return false;
  std::int64_t width = 0, height = 0;
  int bitsPerPixel = 0;
  std::uint32_t compression = 0;
  if (headerSize == 12) {
    width = Le16(p + 18);
    height = Le16(p + 20);
    bitsPerPixel = Le16(p + 24);
  } else {
    width = static_cast<std::int32_t>(Le32(p + 18));
    height = static_cast<std::int32_t>(Le32(p + 22));
    bitsPerPixel = Le16(p + 28);
    compression = Le32(p + 30);
  }
  // Only uncompressed rows and bit fields: stb_image refuses the rest.
  if (width < 1 || height == 0 || (compression != 0 && compression != 3)) return false;
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 &&
      bitsPerPixel != 32) {
    return false;
  }
  std::uint64_t headerEnd = 14 + static_cast<std::uint64_t>(headerSize);
  // The three colour masks follow the short headers.
  if (compression == 3 && (headerSize == 40 || headerSize == 56)) headerEnd += 12;
  const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bitsPerPixel + 7) / 8;
  const std::uint64_t stride = (rowBytes + 3) / 4 * 4;
  const std::uint64_t needed = (rows - 1) * stride + rowBytes;
  return pixelsAt >= headerEnd && pixelsAt <= data.size() && needed <= data.size() - pixelsAt;
}

// A PNG's chunks are complete up to its end chunk, and its image data can
// unpack into the rows its header promises: deflate packs at most 1032 bytes
// into one.
bool PngHoldsItsPixels(const std::vector<std::uint8_t>& data) {
  constexpr std::size_t kSignature = 8;
  if (data.size() < kSignature + 12 + 13) return false;
  const std::uint8_t* header = data.data() + kSignature;
  if (Be32(header) != 13 || std::memcmp(header + 4, "IHDR", 4) != 0) return false;
  const std::uint64_t width = Be32(header + 8), height = Be32(header + 12);
  const int depth = header[16], colourType = header[17], interlace = header[20];
  int channels = 0;
  switch (colourType) {
    case 0: case 3: channels = 1; break;
    case 2: channels = 3; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: return false;
  }
  std::uint64_t imageData = 0;
  bool ended = false;
  for (std::size_t at = kSignature; !ended;) {
    if (data.size() - at < 12) return false;
    const std::uint64_t length = Be32(data.data() + at);
    if (length > data.size() - at - 12) return false;
    const std::uint8_t* type = data.data() + at + 4;
    if (std::memcmp(type, "IDAT", 4) == 0) imageData += length;
    ended = std::memcmp(type, "IEND", 4) == 0;
    at += 12 + static_cast<std::size_t>(length);
  }
  const std::uint64_t bitsPerPixel = static_cast<std::uint64_t>(depth) * channels;
  // Each row of each pass: a filter byte, then its pixels.
  auto passBytes = [&](std::uint64_t w, std::uint64_t h) { return w == 0 || h == 0 ? 0 : h * (1 + (w * bitsPerPixel + 7) / 8); };
  std::uint64_t rowBytes = 0;
  if (interlace == 0) {
    rowBytes = passBytes(width, height);
  } else {
    constexpr int kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (const auto& pass : kPasses) {
      auto count = [](std::uint64_t size, int start, int step) {
        return size > static_cast<std::uint64_t>(start) ? (size - start + step - 1) / step : 0;
      };
      rowBytes += passBytes(count(width, pass[0], pass[2]), count(height, pass[1], pass[3]));
    }
  }
  return imageData * 1032 >= rowBytes;
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

// A JPEG's segments are complete up to its end-of-image marker, and every
// scan carries at least the bits its blocks need: in a sequential scan each
// block codes a DC difference and at least one AC symbol, in a progressive
// one the first DC scan codes a difference and a DC refinement one bit; each
// takes at least the shortest code of its table.
//
// The walk also checks two things that the stb_image on the system (2.27)
// trusts and a damaged file can break: the symbol counts of a Huffman table
// (more than 256 symbols write past its tables) and that a scan only names
// tables the file defined (an undefined one is read uninitialised and its
// decoding walks out of the code tables). A progressive picture defines new
// tables between its scans, so the walk follows the markers through the
// entropy-coded data of every scan.
bool JpegHoldsItsPixels(const std::vector<std::uint8_t>& data, std::size_t pos) {
  struct Component {
    int id = 0, h = 1, v = 1;
  };
  const std::size_t size = data.size();
  bool defined[2][4] = {};   // [DC, AC][table number]
  int shortest[2][4] = {};   // the table's shortest code in bits
  bool frame = false, progressive = false, scanned = false;
  std::uint64_t width = 0, height = 0;
  int hMax = 1, vMax = 1;
  std::vector<Component> components;
  for (;;) {
    if (pos + 1 >= size) return false;  // ends before its end-of-image marker
    if (data[pos] != 0xFF || data[pos + 1] == 0xFF) {
      ++pos;  // stray or fill bytes between segments
      continue;
    }
    const int marker = data[pos + 1];
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
      pos += 2;  // markers without a length
      continue;
    }
    if (marker == 0xD9) return frame && scanned;
    if (size - pos < 4) return false;
    const std::size_t length = (static_cast<std::size_t>(data[pos + 2]) << 8) | data[pos + 3];
    if (length < 2 || length > size - pos - 2) return false;
    const std::size_t body = pos + 4, end = pos + 2 + length;
    if (marker == 0xC4) {
      for (std::size_t p = body; p < end;) {
        if (end - p < 17) return false;
        const int tableClass = data[p] >> 4, table = data[p] & 15;
        if (tableClass > 1 || table > 3) return false;
        int n = 0, first = 0;
        for (int i = 0; i < 16; ++i) {
          n += data[p + 1 + i];
          if (first == 0 && data[p + 1 + i] != 0) first = i + 1;
        }
        if (n > 256) return false;
        defined[tableClass][table] = true;
        shortest[tableClass][table] = first == 0 ? 1 : first;
        p += 17 + static_cast<std::size_t>(n);
      }
    } else if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      if (length < 8) return false;
      height = (static_cast<std::uint64_t>(data[body + 1]) << 8) | data[body + 2];
      width = (static_cast<std::uint64_t>(data[body + 3]) << 8) | data[body + 4];
      const int count = data[body + 5];
      if (width == 0 || height == 0 || count < 1 || length < 8 + 3 * static_cast<std::size_t>(count)) return false;
      components.assign(static_cast<std::size_t>(count), Component{});
      hMax = vMax = 1;
      for (int c = 0; c < count; ++c) {
        const std::uint8_t* q = data.data() + body + 6 + 3 * c;
        Component& component = components[static_cast<std::size_t>(c)];
        component.id = q[0];
        component.h = q[1] >> 4;
        component.v = q[1] & 15;
        if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4) return false;
        hMax = std::max(hMax, component.h);
        vMax = std::max(vMax, component.v);
      }
      frame = true;
      progressive = marker == 0xC2;
    } else if (marker == 0xDA) {
      if (!frame || length < 6) return false;
      const int count = data[body];
      if (count < 1 || length < 6 + 2 * static_cast<std::size_t>(count)) return false;
      const std::size_t after = body + 1 + 2 * static_cast<std::size_t>(count);
      const int spectralStart = data[after], spectralEnd = data[after + 1], successiveHigh = data[after + 2] >> 4;
      std::uint64_t bitsPerUnit = 0;  // per MCU, or per block of a scan of one component
      const Component* single = nullptr;
      for (int c = 0; c < count; ++c) {
        const int id = data[body + 1 + 2 * c], tables = data[body + 2 + 2 * c];
        const int dc = tables >> 4, ac = tables & 15;
        if (dc > 3 || ac > 3) return false;
        if (spectralStart == 0 && !defined[0][dc]) return false;
        if (spectralEnd > 0 && !defined[1][ac]) return false;
        const auto component = std::find_if(components.begin(), components.end(), [&](const Component& k) { return k.id == id; });
        if (component == components.end()) return false;
        single = &*component;
        int bitsPerBlock = 0;
        if (!progressive) {
          bitsPerBlock = shortest[0][dc] + shortest[1][ac];
        } else if (spectralStart == 0) {
          bitsPerBlock = successiveHigh == 0 ? shortest[0][dc] : 1;
        }
        bitsPerUnit += static_cast<std::uint64_t>(bitsPerBlock) * (count == 1 ? 1 : component->h * component->v);
      }
      std::uint64_t units = 0;
      if (count == 1) {
        const std::uint64_t w = (width * single->h + hMax - 1) / hMax, h = (height * single->v + vMax - 1) / vMax;
        units = ((w + 7) / 8) * ((h + 7) / 8);
      } else {
        units = ((width + 8 * hMax - 1) / (8 * hMax)) * ((height + 8 * vMax - 1) / (8 * vMax));
      }
      // The entropy-coded data runs to the next marker that is not a
      // stuffed byte or a restart marker.
      std::size_t p = end;
      while (p + 1 < size && !(data[p] == 0xFF && data[p + 1] != 0x00 && data[p + 1] != 0xFF &&
                               !(data[p + 1] >= 0xD0 && data[p + 1] <= 0xD7))) {
        ++p;
      }
      if (p + 1 >= size) return false;
      if (static_cast<std::uint64_t>(p - end) * 8 < units * bitsPerUnit) return false;
      scanned = true;
      pos = p;
      continue;
    }
    pos = end;
  }
}

Decoded DecodeWithStb(const std::vector<std::uint8_t>& data) {
  Decoded out;
  out.error = kImageUnsupported;
  if (data.empty() || data.size() > static_cast<std::size_t>(INT32_MAX)) return out;
  if (std::size_t start = JpegStart(data); start != 0) {
    if (!JpegHoldsItsPixels(data, start)) return out;
  } else if (StartsWith(data, "\x89PNG\r\n\x1a\n", 8)) {
    if (!PngHoldsItsPixels(data)) return out;
  } else if (StartsWith(data, "BM", 2)) {
    if (!BmpHoldsItsPixels(data)) return out;
  }
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

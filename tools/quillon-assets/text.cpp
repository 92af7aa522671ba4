#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace assetgen {
namespace {

struct FontFile {
  const char* path;
  const char* package;
};
// In the order of Weight.
const FontFile kFontFiles[] = {
    {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "fonts-dejavu-core"},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", "fonts-dejavu-core"},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSans-ExtraLight.ttf", "fonts-dejavu-core"},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf", "fonts-dejavu-core"},
    {"/usr/share/fonts/opentype/league-spartan/LeagueSpartan-Bold.otf", "fonts-league-spartan"},
    {"/usr/share/fonts/opentype/league-spartan/LeagueSpartan-Black.otf", "fonts-league-spartan"},
};
constexpr int kFaceCount = sizeof(kFontFiles) / sizeof(kFontFiles[0]);

FT_Library Library = nullptr;
FT_Face Faces[kFaceCount] = {};

struct PlacedGlyph {
  int left, top, width, height;
  std::vector<float> coverage;
};

// Decodes UTF-8 (up to three-byte sequences) to code points; a broken
// sequence is taken byte by byte.
std::vector<unsigned> CodePoints(const std::string& text) {
  std::vector<unsigned> out;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0xC0 && c < 0xE0 && i + 1 < text.size()) {
      out.push_back(((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu));
      i += 2;
    } else if (c >= 0xE0 && c < 0xF0 && i + 2 < text.size()) {
      out.push_back(((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                    (static_cast<unsigned char>(text[i + 2]) & 0x3Fu));
      i += 3;
    } else {
      out.push_back(c);
      i += 1;
    }
  }
  return out;
}

}  // namespace

bool OpenFonts() {
  if (Library) return true;
  if (FT_Init_FreeType(&Library) != 0) {
    std::fprintf(stderr, "quillon-assets: FreeType could not be started\n");
    return false;
  }
  for (int i = 0; i < kFaceCount; ++i) {
    if (FT_New_Face(Library, kFontFiles[i].path, 0, &Faces[i]) != 0) {
      std::fprintf(stderr, "quillon-assets: cannot open the font %s (package %s)\n", kFontFiles[i].path,
                   kFontFiles[i].package);
      CloseFonts();
      return false;
    }
  }
  return true;
}

void CloseFonts() {
  for (FT_Face& face : Faces) {
    if (face) FT_Done_Face(face);
    face = nullptr;
  }
  if (Library) FT_Done_FreeType(Library);
  Library = nullptr;
}

TextMask SetLine(Weight weight, const std::string& text, float pixelSize, float yStretch, float tracking) {
  TextMask mask;
  FT_Face face = Faces[static_cast<int>(weight)];
  if (!face) return mask;
  FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(pixelSize * 64.0f)), 72, 72);
  FT_Matrix matrix;
  matrix.xx = 0x10000;
  matrix.xy = 0;
  matrix.yx = 0;
  matrix.yy = static_cast<FT_Fixed>(std::lround(yStretch * 65536.0f));

  std::vector<PlacedGlyph> glyphs;
  double pen = 0;  // in pixels; glyphs are placed at their fractional pen position
  FT_UInt previous = 0;
  bool kerning = FT_HAS_KERNING(face);
  for (unsigned code : CodePoints(text)) {
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (kerning && previous && index) {
      FT_Vector delta;
      FT_Get_Kerning(face, previous, index, FT_KERNING_UNFITTED, &delta);
      pen += delta.x / 64.0;
    }
    double whole = std::floor(pen);
    FT_Vector shift;
    shift.x = static_cast<FT_Pos>(std::lround((pen - whole) * 64.0));
    shift.y = 0;
    FT_Set_Transform(face, &matrix, &shift);
    if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0) continue;
    FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    PlacedGlyph g;
    g.left = static_cast<int>(whole) + slot->bitmap_left;
    g.top = -slot->bitmap_top;
    g.width = static_cast<int>(bitmap.width);
    g.height = static_cast<int>(bitmap.rows);
    g.coverage.resize(static_cast<std::size_t>(g.width) * g.height);
    for (int y = 0; y < g.height; ++y)
      for (int x = 0; x < g.width; ++x)
        g.coverage[static_cast<std::size_t>(y) * g.width + x] =
            bitmap.buffer[y * bitmap.pitch + x] / 255.0f;
    if (g.width > 0 && g.height > 0) glyphs.push_back(std::move(g));
    pen += slot->advance.x / 64.0 + tracking;
    previous = index;
  }
  FT_Set_Transform(face, nullptr, nullptr);
  mask.advance = static_cast<float>(pen - tracking);
  if (glyphs.empty()) return mask;

  int x0 = glyphs[0].left, y0 = glyphs[0].top, x1 = x0, y1 = y0;
  for (const PlacedGlyph& g : glyphs) {
    x0 = std::min(x0, g.left), y0 = std::min(y0, g.top);
    x1 = std::max(x1, g.left + g.width), y1 = std::max(y1, g.top + g.height);
  }
  mask.width = x1 - x0;
  mask.height = y1 - y0;
  mask.baseline = -y0;
  mask.coverage.assign(static_cast<std::size_t>(mask.width) * mask.height, 0.0f);
  for (const PlacedGlyph& g : glyphs)
    for (int y = 0; y < g.height; ++y)
      for (int x = 0; x < g.width; ++x) {
        float& c = mask.coverage[static_cast<std::size_t>(g.top - y0 + y) * mask.width + (g.left - x0 + x)];
        c = std::min(1.0f, c + g.coverage[static_cast<std::size_t>(y) * g.width + x]);
      }
  return mask;
}

float FitSize(Weight weight, const std::string& text, float maxWidth, float maxHeight, float yStretch,
              float trackingPerEm) {
  const float probe = 100.0f;
  TextMask m = SetLine(weight, text, probe, yStretch, trackingPerEm * probe);
  if (m.width == 0 || m.height == 0) return probe;
  return probe * std::min(maxWidth / m.width, maxHeight / m.height);
}

TextMask Blur(const TextMask& mask, int radius) {
  TextMask out;
  int grow = radius * 3;
  out.width = mask.width + 2 * grow;
  out.height = mask.height + 2 * grow;
  out.baseline = mask.baseline + grow;
  out.advance = mask.advance;
  out.coverage.assign(static_cast<std::size_t>(out.width) * out.height, 0.0f);
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x)
      out.coverage[static_cast<std::size_t>(y + grow) * out.width + x + grow] = mask.At(x, y);
  if (radius <= 0) return out;
  std::vector<float> line;
  float norm = 1.0f / (2 * radius + 1);
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < out.height; ++y) {  // rows
      line.assign(out.coverage.begin() + static_cast<std::ptrdiff_t>(y) * out.width,
                  out.coverage.begin() + static_cast<std::ptrdiff_t>(y + 1) * out.width);
      float sum = 0;
      for (int x = -radius; x <= radius; ++x) sum += (x >= 0 && x < out.width) ? line[x] : 0.0f;
      for (int x = 0; x < out.width; ++x) {
        out.coverage[static_cast<std::size_t>(y) * out.width + x] = sum * norm;
        int add = x + radius + 1, drop = x - radius;
        sum += (add < out.width ? line[add] : 0.0f) - (drop >= 0 ? line[drop] : 0.0f);
      }
    }
    for (int x = 0; x < out.width; ++x) {  // columns
      line.resize(out.height);
      for (int y = 0; y < out.height; ++y) line[y] = out.coverage[static_cast<std::size_t>(y) * out.width + x];
      float sum = 0;
      for (int y = -radius; y <= radius; ++y) sum += (y >= 0 && y < out.height) ? line[y] : 0.0f;
      for (int y = 0; y < out.height; ++y) {
        out.coverage[static_cast<std::size_t>(y) * out.width + x] = sum * norm;
        int add = y + radius + 1, drop = y - radius;
        sum += (add < out.height ? line[add] : 0.0f) - (drop >= 0 ? line[drop] : 0.0f);
      }
    }
  }
  return out;
}

}  // namespace assetgen

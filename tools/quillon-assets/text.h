#pragma once
// Lines of text set through FreeType, as coverage masks: League Spartan (a
// geometric display face) for the titles and the captions, DejaVu Sans for
// the credits and the signs of the scenes.
#include <string>
#include <vector>

namespace assetgen {

enum class Weight { Regular, Bold, Light, CondensedBold, Display, DisplayBlack };

// Coverage 0 to 1 of one line of text, cropped to its ink. baseline is the
// row of the baseline counted from the mask's top row; advance the pen's
// travel in pixels.
struct TextMask {
  int width = 0;
  int height = 0;
  int baseline = 0;
  float advance = 0;
  std::vector<float> coverage;
  float At(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 0.0f : coverage[static_cast<std::size_t>(y) * width + x];
  }
};

// Opens the faces; false (with a message on standard error) when a font file
// is missing. Fonts come from fonts-dejavu-core and fonts-league-spartan.
bool OpenFonts();
void CloseFonts();

// Sets text at an em height of pixelSize. yStretch scales the glyphs
// vertically only: pictures that the show draws squeezed are set stretched
// so that the letters reach the screen in their true proportions. tracking
// adds that many pixels between letters.
TextMask SetLine(Weight weight, const std::string& text, float pixelSize, float yStretch = 1.0f,
                 float tracking = 0.0f);

// The em size at which text, set with these options, is exactly maxWidth wide
// or maxHeight high, whichever limit comes first.
float FitSize(Weight weight, const std::string& text, float maxWidth, float maxHeight, float yStretch = 1.0f,
              float trackingPerEm = 0.0f);

// Soft copy of a mask (a separable box blur passed three times, near Gaussian),
// grown by 3 * radius on every side so that the blur is not cut off.
TextMask Blur(const TextMask& mask, int radius);

}  // namespace assetgen

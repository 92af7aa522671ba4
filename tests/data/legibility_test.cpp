// Can a viewer read the words of the show? Frames of the titles and the
// captions are captured with the capture tool and read back with Debian's
// tesseract OCR; a word counts as read when at most one letter is wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/image.h"
#include "support/temp_dir.h"

namespace {

bool HaveTesseract() { return testsupport::RunCommand("command -v tesseract >/dev/null 2>&1").exitCode == 0; }

std::string Upper(std::string s) {
  std::string out;
  for (char c : s)
    if (c >= 'a' && c <= 'z') out += static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z') out += c;
  return out;
}

int EditDistance(const std::string& a, const std::string& b) {
  std::vector<int> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(j);
  for (size_t i = 1; i <= a.size(); ++i) {
    int diagonal = row[0];
    row[0] = static_cast<int>(i);
    for (size_t j = 1; j <= b.size(); ++j) {
      const int up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// A part of a captured frame in grey, written as PGM (which tesseract reads).
struct Crop {
  int x, y, width, height;
};

// threshold > 0 turns every grey at or above it white and the rest black.
bool WriteGreyCrop(const std::string& png, const Crop& c, int threshold, bool negate, const std::string& pgm) {
  platform::TextureImage* image = platform::txLoad(0, png.c_str(), 0);
  if (!image) return false;
  std::FILE* f = std::fopen(pgm.c_str(), "wb");
  if (!f) {
    platform::txFree(image);
    return false;
  }
  std::fprintf(f, "P5\n%d %d\n255\n", c.width, c.height);
  for (int y = c.y; y < c.y + c.height; ++y)
    for (int x = c.x; x < c.x + c.width; ++x) {
      const std::uint8_t* p = image->Pixels + (static_cast<size_t>(y) * image->Width + x) * 4;
      int grey = (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
      if (threshold > 0) grey = grey >= threshold ? 255 : 0;
      std::fputc(negate ? 255 - grey : grey, f);
    }
  platform::txFree(image);
  return std::fclose(f) == 0;
}

// What tesseract reads in the crop, in capitals, as one word (page
// segmentation mode 8), one line (7) or a block of lines (6).
std::string Read(const std::string& pgm, int mode) {
  const testsupport::ChildResult r = testsupport::RunCommand(testsupport::Join(
      {"tesseract '", pgm, "' - --psm ", std::to_string(mode), " -c tessedit_char_whitelist=ABCDEFGHIJKLMNOPQRSTUVWXYZ 2>/dev/null"}));
  return Upper(r.out);
}

struct Sample {
  int64_t position;
  Crop crop;
  std::string word;
  int mode;       // tesseract's page segmentation mode
  bool negate;    // dark letters on light are read as light on dark
  int threshold;  // grey level that separates ink from ground; 0: tesseract's own
};

// Captures the frames of all samples in one run of the capture tool; empty
// when it worked, else its output.
std::string Capture(const testsupport::TempDir& dir, const std::vector<Sample>& samples) {
  std::string at;
  for (const Sample& s : samples) at += testsupport::Join({at.empty() ? "" : ",", std::to_string(s.position)});
  const testsupport::ChildResult capture = testsupport::RunCommand(testsupport::Join(
      {"'", QUILLON_CAPTURE_TOOL, "' --data '", QUILLON_SHOW_DIR, "' --fps 2 --quiet --at ", at, " --out '", dir.path(),
       "' 2>&1"}));
  return capture.exitCode == 0 ? std::string() : testsupport::Join({"the capture tool failed: ", capture.out});
}

// How many of the samples' words are read from their captured frames, with a
// line for each miss.
int CountRead(const testsupport::TempDir& dir, const std::vector<Sample>& samples, std::string& misses) {
  int read = 0;
  for (const Sample& s : samples) {
    char name[32];
    std::snprintf(name, sizeof(name), "/%08lld.png", static_cast<long long>(s.position));
    const std::string pgm = dir.File("crop.pgm");
    std::string text;
    if (WriteGreyCrop(dir.path() + name, s.crop, s.threshold, s.negate, pgm)) text = Read(pgm, s.mode);
    if (EditDistance(text, s.word) <= 1) ++read;
    else misses += testsupport::Join({"\n  at ", std::to_string(s.position), " \"", text, "\" for ", s.word});
  }
  return read;
}

TEST(Legibility, TitlesAndCaptionsReadFromCapturedFrames) {
  if (!HaveTesseract()) GTEST_SKIP() << "tesseract is not installed (package tesseract-ocr): words not read";
  // Each title from its entry to the end of segment A, at ten evenly spaced
  // positions, read in the rows of the 800 x 600 frame its echoes cover. The
  // light titles are cut at a fixed grey near half of their full brightness,
  // where a streaked edge keeps its shape; the knocked-out middle title is
  // left to tesseract's own threshold. Spaces and line breaks do not count.
  // The floors are what the titles reach today: the group name's fourteen
  // letters, with one wrong at most, are read only where the echoes drift
  // little across.
  struct Group {
    std::vector<Sample> samples;
    int least;
  };
  std::vector<Group> groups;
  struct Title {
    int64_t from;
    Crop crop;
    const char* word;
    int mode;
    int threshold;
    int least;
  };
  const Title titles[] = {
      {0, {0, 0, 800, 200}, "INKWELLCIRCUIT", 6, 128, 2},
      {730000, {0, 200, 800, 200}, "PRESENTS", 7, 0, 8},
      {1460000, {0, 400, 800, 200}, "QUILLON", 7, 115, 7},
  };
  for (const Title& t : titles) {
    Group g{{}, t.least};
    for (int i = 0; i < 10; ++i)
      g.samples.push_back(
          {t.from + (2190000 - t.from) * (2 * i + 1) / 20, t.crop, t.word, t.mode, true, t.threshold});
    groups.push_back(g);
  }
  // Each caption a tenth of a second after its threshold, in its sprite's
  // rectangle (256 x 72 pixels around x 600 and rows 102, 300, 498) and some
  // room around it.
  const int64_t thresholds[12] = {2730000, 3270000, 3810000, 4892500, 5435000, 5977500,
                                  7075000, 7630000, 8185000, 9280000, 9820000, 10360000};
  const char* words[12] = {"FOLLOW", "THE", "LIGHT", "DRIFT", "INTO", "DREAMS",
                           "THROUGH", "THE", "GLASS", "PARTY", "CODE", "FEEL"};
  Group captions{{}, 10};
  for (int k = 0; k < 12; ++k) {
    const int centre = 102 + 198 * (k % 3);
    captions.samples.push_back({thresholds[k] + 17640, {440, centre - 50, 320, 100}, words[k], 8, false, 0});
  }
  groups.push_back(captions);

  std::vector<Sample> all;
  for (const Group& g : groups) all.insert(all.end(), g.samples.begin(), g.samples.end());
  testsupport::TempDir dir;
  const std::string failed = Capture(dir, all);
  ASSERT_TRUE(failed.empty()) << failed;
  for (const Group& g : groups) {
    std::string misses;
    const int read = CountRead(dir, g.samples, misses);
    std::printf("%s: %d of %zu read%s\n", g.samples[0].word.c_str(), read, g.samples.size(), misses.c_str());
    EXPECT_GE(read, g.least) << g.samples[0].word << ": only " << read << " of " << g.samples.size() << " read:"
                             << misses;
  }
}

}  // namespace

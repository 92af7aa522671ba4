#pragma once
// The contact sheet: every picture of the data set with its name, for review.
#include <string>
#include <vector>

#include "pictures.h"

namespace assetgen {

// A reduced copy of a picture for the sheet (alpha shown over black).
struct Thumbnail {
  std::string name;
  Image image;
  bool alpha = false;
};

Thumbnail MakeThumbnail(const Picture& picture, int maxWidth, int maxHeight);
// Lays the thumbnails out under headings and writes the sheet as PNG.
void WriteSheet(const std::string& path, const std::vector<Thumbnail>& large, const std::vector<Thumbnail>& frames);

}  // namespace assetgen

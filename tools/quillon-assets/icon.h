#pragma once
// The program's icon for desktop menus, cut from one of the show's own
// pictures.
#include <string>

namespace assetgen {

// The sizes written, in pixels: the icon theme's usual menu and launcher sizes.
inline constexpr int kIconSizes[] = {32, 48, 64, 128};

// Writes DIR/NxN/apps/quillon.png for every size above (the layout of an
// icon theme's folder), creating the folders. False, with a line on standard
// error, when a folder or file cannot be written.
bool WriteIcons(const std::string& directory);

}  // namespace assetgen

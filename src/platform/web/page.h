#pragma once
// What the web build hands to its page (index.html) besides the window and
// the sound: frames drawn for the page's tests.
#include <cstdint>

namespace platform::web {

// Gives the page a frame (RGB, top row first) under a name: the music
// position in eight digits, or "loadingN" for a loading-progress frame.
void HandFrameToPage(const char* name, const std::uint8_t* rgb, int width, int height);

}  // namespace platform::web

#pragma once
// The viewer's overlay (the H key): the music position, the segment, the
// frames per second and the keys, in a small panel drawn over the top-left
// of the frame with the show's own OpenGL. Off at the start; drawn only on
// the show window, never into frames rendered without one.
#include <cstdint>
#include <string>

namespace shell {

extern bool OverlayShown;

// The overlay's lines, one per "\n": position, segment letter, frames per
// second (whole), "PAUSED" while paused, then the keys. Upper case, in the
// overlay font's characters.
std::string OverlayText(std::uint32_t position, int framesPerSecond, bool paused);

// Counts the frame for the frames-per-second figure and, when the overlay
// is shown, draws it into the current frame. Every piece of OpenGL state it
// changes is as it was afterwards.
void DrawOverlay();

}  // namespace shell

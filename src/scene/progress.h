#pragma once
// The loading counter and the loading-progress frame.
#include <cstdint>

namespace scene {

extern std::int32_t LoadedItems;
extern std::int32_t ProgressBlocks;
extern std::uint32_t ProgressBackgroundTexture;
extern std::uint32_t ProgressBlockTexture;

// Draws and presents a frame when the number of blocks has changed. Where
// nothing can be presented (no window, no context) nothing is drawn.
void DrawLoadingProgress();

// Runs with every progress frame that is drawn, after the drawing and before
// the frame is presented, with the frame's number of blocks: the offline
// capture reads the frame there. Null (the default) for none.
using ProgressFrameHook = void (*)(std::int32_t blocks, void* context);
void SetProgressFrameHook(ProgressFrameHook hook, void* context);

}  // namespace scene

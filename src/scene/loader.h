#pragma once
// Reading, writing and releasing ".3dw" scene files.
#include <cstdint>
#include <string_view>

#include "scene/model.h"

namespace scene {

// Written at the start of every saved file; a reader skips them unchecked.
extern std::uint8_t FirstFormatByte;   // 0
extern std::uint8_t SecondFormatByte;  // 1

// Fills scene from the file (every object Visible, tangent lists created,
// camera tracks prepared when both have keys). Advances LoadedItems once per
// object. Any failure is the unhandled-error report (exit code 217).
void LoadScene(Scene& scene, std::string_view fileName);
// LoadScene for the tools that inspect or convert a file: a negative count or
// bytes after the scene's end are refused as well (same report, 217). The
// show reads a negative count as an absent list, which for a file that is not
// a scene (or a damaged one) describes a different file than the one on disk.
void LoadWholeScene(Scene& scene, std::string_view fileName);
// Writes the scene; the target is replaced only when every write succeeded.
void SaveScene(const Scene& scene, std::string_view fileName);
// Frees every list of the scene.
void ReleaseScene(Scene& scene);

}  // namespace scene

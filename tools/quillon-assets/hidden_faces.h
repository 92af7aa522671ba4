#pragma once
// Leaves out of a scene the faces of its solid boxes that no frame of the
// camera's flight ever shows, because other boxes stand in front of them.
#include <vector>

#include "scene/model.h"

namespace assetgen {

// A static, opaque object whose faces lie on the sides of the box its
// vertices span (a side may be missing where no eye ever stands in front of
// it). A box can stand on another (base) that closes its open floor.
struct SolidBox {
  int object = 0;
  int base = -1;  // index into the list of boxes, or -1
};

struct HiddenFaceCount {
  long before = 0;  // faces of the boxes
  long after = 0;   // of those, the faces some frame may show
};

// Looks at the boxes through the scene's own camera (its key tracks, lens
// and the renderer's 4:3 projection) at camera times t0..t1 and removes every
// face that is behind other boxes, or behind its own box's front, in every
// frame. Every object stays, with its texture coordinates and colours cut
// down to the faces it keeps. Each frame is judged with margins for the
// camera's motion until the next look, so the show's frames at any time in
// between draw the same pixels and depths as with every face. The result does
// not depend on how many threads share the work.
HiddenFaceCount DropHiddenFaces(scene::Scene& s, const std::vector<SolidBox>& boxes, float t0, float t1);

}  // namespace assetgen

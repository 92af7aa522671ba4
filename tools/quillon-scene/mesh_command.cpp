// Placeholder until the mesh listing is written.
#include <cstdio>

#include "commands.h"

int MeshCommand(const char*) {
  std::fputs("mesh listing is not built yet\n", stderr);
  return 2;
}

// quillon-scene: inspects and converts the show's scene files.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

constexpr int kUsageError = 2;

const char kUsage[] =
    "Usage: quillon-scene COMMAND ARGUMENTS\n"
    "Inspects and converts \".3dw\" scene files and \"._3d\" meshes.\n"
    "\n"
    "Commands:\n"
    "  dump FILE.3dw          list every field of the scene\n"
    "  copy IN.3dw OUT.3dw    load a scene and save it again\n"
    "  info FILE.3dw          counts of materials, objects, vertices, faces and keys\n"
    "  mesh FILE._3d          list a mesh\n"
    "  --help                 show this text\n"
    "\n"
    "An input file named - is read from standard input (a pipe too).\n"
    "Exit code 0 on success, 2 for a wrong command line, 217 for a bad file.\n";

int UsageError(const char* why) {
  std::fprintf(stderr, "quillon-scene: %s\n\n%s", why, kUsage);
  return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no command given");
  const char* command = argv[1];
  const int arguments = argc - 2;
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  struct Entry {
    const char* name;
    int arguments;
  };
  static const Entry kCommands[] = {{"dump", 1}, {"copy", 2}, {"info", 1}, {"mesh", 1}};
  for (const Entry& entry : kCommands) {
    if (std::strcmp(command, entry.name) != 0) continue;
    if (arguments != entry.arguments) {
      char why[96];
      std::snprintf(why, sizeof why, "%s takes %d file name%s", entry.name, entry.arguments,
                    entry.arguments == 1 ? "" : "s");
      return UsageError(why);
    }
    if (std::strcmp(command, "dump") == 0) return DumpCommand(argv[2]);
    if (std::strcmp(command, "copy") == 0) return CopyCommand(argv[2], argv[3]);
    if (std::strcmp(command, "info") == 0) return InfoCommand(argv[2]);
    return MeshCommand(argv[2]);
  }
  char why[300];
  std::snprintf(why, sizeof why, "unknown command \"%.200s\"", command);
  return UsageError(why);
}

// quillon-scene: inspects and converts the show's scene files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "platform/files.h"

namespace {

constexpr int kUsageError = 2;

const char kUsage[] =
    "Usage: quillon-scene COMMAND ARGUMENTS\n"
    "Inspects and converts \".3dw\" scene files and \"._3d\" meshes.\n"
    "\n"
    "Commands:\n"
    "  dump FILE.3dw          list every field of the scene\n"
    "  copy IN.3dw OUT.3dw    load a scene and save it again (OUT - : standard output)\n"
    "  info FILE.3dw          counts of materials, objects, vertices, faces and keys\n"
    "  mesh FILE._3d          list a mesh\n"
    "  --help, COMMAND --help show this text\n"
    "\n"
    "An input file named - is read from standard input (a pipe too). A file that is\n"
    "not a whole scene (a negative count, fewer or more bytes than its counts need)\n"
    "is refused. A copy is written whole under a temporary name and then moved into\n"
    "place, so a failed run leaves no partial file.\n"
    "\n"
    "Exit codes: 0 success, 1 the output cannot be written, 2 a wrong command line,\n"
    "217 a file that cannot be read or is not a scene (mesh): the loader's report on\n"
    "standard output. Each failure also gives one line \"quillon-scene: FILE: reason\"\n"
    "on standard error.\n";

const char* currentFile = "-";

// A bad file ends the program in the loaders with their report (217); the
// tool adds its one line on standard error, with the file it is about.
void ReportBadFile(const char* message) {
  std::fflush(stdout);
  std::string reason = message;
  const std::string named = std::string(currentFile) + ": ";
  const std::size_t at = reason.find(named);
  if (at != std::string::npos) reason.erase(at, named.size());
  std::fprintf(stderr, "quillon-scene: %s: %s\n", currentFile, reason.c_str());
}

int UsageError(const char* why) {
  std::fprintf(stderr, "quillon-scene: %s\n\n%s", why, kUsage);
  return kUsageError;
}

}  // namespace

void SetCurrentFile(const char* file) { currentFile = file; }

int main(int argc, char** argv) {
  platform::SetUnhandledErrorHandler(ReportBadFile);
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
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
      }
    }
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

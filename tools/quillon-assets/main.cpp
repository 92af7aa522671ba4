// quillon-assets: writes the show's whole data set into a folder.
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../common/output_file.h"
#include "icon.h"
#include "mesh.h"
#include "music.h"
#include "pictures.h"
#include "scene/loader.h"
#include "scenes.h"
#include "sheet.h"
#include "text.h"

namespace {

constexpr int kExitOutput = 1;
// The list of the set's files and sizes, written last; ./play reads it.
constexpr const char* kManifestName = "show.manifest";

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: quillon-assets OUTDIR [--sheet FILE.png] [--keep-hidden-faces] [--scenes-only]\n"
               "       quillon-assets --icon DIR\n"
               "\n"
               "Writes the show's data set into OUTDIR: the 120 pictures, the scenes'\n"
               "material textures, \"cam.3dw\", \"pkode.3dw\", \"ize._3d\" and \"music.mp3\".\n"
               "The same bytes on every run.\n"
               "\n"
               "The set is made in a hidden folder inside OUTDIR and moved into place only\n"
               "when whole; then \"show.manifest\" lists every file with its size (./play\n"
               "trusts a set only when it matches). A failed run leaves the set as it was.\n"
               "\n"
               "  --sheet FILE.png  also write a contact sheet of every picture with its name\n"
               "  --keep-hidden-faces\n"
               "                    keep the flight's tower faces that no frame of the flight\n"
               "                    shows (left out by default; the show looks the same)\n"
               "  --scenes-only     write only \"cam.3dw\" and \"pkode.3dw\"\n"
               "  --icon DIR        write only the program's icon, as DIR/NxN/apps/quillon.png\n"
               "  --help            show this text\n"
               "\n"
               "Exit codes: 0 written, 1 OUTDIR or the sheet cannot be written (one line\n"
               "\"quillon-assets: FILE: reason\"), 2 a wrong command line, 217 a failed write\n"
               "during the run (the report names the reason).\n");
}


// The folder the set is made in before it is moved into OUTDIR; removed on
// every way out (exit handlers run for the 217 report too).
std::string workDir;

void RemoveWorkDir() {
  if (workDir.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(workDir, ec);
}

// A run ended by a signal (a stop, ./play interrupted) leaves its folder;
// the next run removes those of processes that are gone.
void RemoveAbandonedWorkDirs(const std::string& outDir) {
  namespace fs = std::filesystem;
  const std::string prefix = ".quillon-assets-";
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(outDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) fs::remove_all(entry.path(), ec);
  }
}

// Moves every file of the finished set into OUTDIR and writes the manifest
// last, under a temporary name: a set that lost its manifest is made again.
void MoveSetIntoPlace(const std::string& outDir) {
  namespace fs = std::filesystem;
  const std::string manifest = outDir + "/" + std::string(kManifestName);
  std::remove(manifest.c_str());
  std::vector<std::pair<std::string, std::uintmax_t>> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(workDir)) {
    files.emplace_back(entry.path().filename().string(), entry.file_size());
  }
  std::sort(files.begin(), files.end());
  std::string listing;
  for (const auto& [name, size] : files) {
    const std::string why = tools::MoveIntoPlace(workDir + "/" + name, outDir + "/" + name);
    if (!why.empty()) tools::FailOn("quillon-assets", outDir + "/" + name, why, kExitOutput);
    listing += std::to_string(size) + " " + name + "\n";
  }
  const std::string temporary = tools::TemporaryName(manifest);
  std::FILE* f = std::fopen(temporary.c_str(), "w");
  const bool written = f && std::fputs(listing.c_str(), f) >= 0;
  if (!f || std::fclose(f) != 0 || !written) {
    std::remove(temporary.c_str());
    tools::FailOn("quillon-assets", manifest, std::strerror(errno), kExitOutput);
  }
  const std::string why = tools::MoveIntoPlace(temporary, manifest);
  if (!why.empty()) tools::FailOn("quillon-assets", manifest, why, kExitOutput);
}

}  // namespace

int main(int argc, char** argv) {
  std::string outDir, sheetPath;
  bool keepHiddenFaces = false, scenesOnly = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (arg == "--icon") {
      if (i + 1 < argc) return assetgen::WriteIcons(argv[i + 1]) ? 0 : 1;
      std::fprintf(stderr, "quillon-assets: --icon needs a folder\n");
      return 2;
    }
    if (arg == "--sheet") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "quillon-assets: --sheet needs a file name\n");
        PrintUsage(stderr);
        return 2;
      }
      sheetPath = argv[++i];
    } else if (arg == "--keep-hidden-faces") {
      keepHiddenFaces = true;
    } else if (arg == "--scenes-only") {
      scenesOnly = true;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "quillon-assets: unknown option %s\n", arg.c_str());
      PrintUsage(stderr);
      return 2;
    } else if (outDir.empty()) {
      outDir = arg;
    } else {
      std::fprintf(stderr, "quillon-assets: only one output folder, please\n");
      PrintUsage(stderr);
      return 2;
    }
  }
  if (outDir.empty()) {
    PrintUsage(stderr);
    return 2;
  }
  if (scenesOnly && !sheetPath.empty()) {
    std::fprintf(stderr, "quillon-assets: --sheet shows the pictures, which --scenes-only leaves out\n");
    return 2;
  }
  // Both outputs are checked before any work starts.
  if (mkdir(outDir.c_str(), 0777) != 0 && errno != EEXIST) {
    tools::FailOn("quillon-assets", outDir, std::strerror(errno), kExitOutput);
  }
  std::string why = tools::WhyNotWritable(outDir + "/" + std::string(kManifestName));
  if (!why.empty()) tools::FailOn("quillon-assets", outDir, why, kExitOutput);
  if (!sheetPath.empty()) {
    why = tools::WhyNotWritable(sheetPath);
    if (!why.empty()) tools::FailOn("quillon-assets", sheetPath, why, kExitOutput);
  }
  const std::string finalDir = outDir;
  RemoveAbandonedWorkDirs(outDir);
  workDir = outDir + "/.quillon-assets-" + std::to_string(getpid());
  RemoveWorkDir();
  if (mkdir(workDir.c_str(), 0777) != 0) {
    tools::FailOn("quillon-assets", workDir, std::strerror(errno), kExitOutput);
  }
  std::atexit(RemoveWorkDir);
  outDir = workDir;
  const std::string sheetTemporary = sheetPath.empty() ? "" : tools::TemporaryName(sheetPath);

  const auto start = std::chrono::steady_clock::now();
  if (!scenesOnly) {
    if (!assetgen::OpenFonts()) return 1;
    const bool sheet = !sheetPath.empty();
    std::vector<assetgen::Thumbnail> large, frames;
    auto save = [&](const assetgen::Picture& p) {
      assetgen::SavePicture(outDir, p.name, p.image, p.channels);
      if (sheet) large.push_back(assetgen::MakeThumbnail(p, 180, 136));
    };

    save(assetgen::MakeParticleSprite());
    for (int row = 1; row <= 3; ++row) save(assetgen::MakeTitle(row));
    for (const std::string& name : assetgen::CaptionNames()) save(assetgen::MakeCaption(name));
    save(assetgen::MakeEndScroll());
    save(assetgen::MakeBallEnv());
    save(assetgen::MakeEnvironmentMap());
    save(assetgen::MakeDreams());
    for (const std::string& name : assetgen::MaterialTextureNames()) save(assetgen::MakeMaterialTexture(name));
    for (int i = 0; i < assetgen::kVideoFrameCount; ++i) {
      assetgen::Picture p = assetgen::MakeVideoFrame(i);
      assetgen::SavePicture(outDir, p.name, p.image, p.channels);
      if (sheet) frames.push_back(assetgen::MakeThumbnail(p, 56, 56));
    }
    if (sheet) assetgen::WriteSheet(sheetTemporary, large, frames);
    assetgen::CloseFonts();
  }

  scene::Scene video = assetgen::MakeVideoScene();
  scene::Scene flight =
      assetgen::MakeFlightScene(assetgen::kSceneItems - video.ObjectCount - video.MaterialCount, keepHiddenFaces);
  scene::SaveScene(video, outDir + "/pkode.3dw");
  scene::SaveScene(flight, outDir + "/cam.3dw");
  if (!scenesOnly) {
    assetgen::WriteMeshFile(outDir + "/ize._3d", assetgen::MakeKnotMesh());
    if (!assetgen::WriteMusicMp3(outDir + "/music.mp3")) {
      tools::FailOn("quillon-assets", finalDir + "/music.mp3", "the music could not be written", kExitOutput);
    }
  }

  if (scenesOnly) {
    // Part of a set is no whole set: the manifest goes, and ./play makes the
    // set again before it trusts it.
    const std::string manifest = finalDir + "/" + std::string(kManifestName);
    std::remove(manifest.c_str());
    for (const char* name : {"pkode.3dw", "cam.3dw"}) {
      why = tools::MoveIntoPlace(outDir + "/" + name, finalDir + "/" + name);
      if (!why.empty()) tools::FailOn("quillon-assets", finalDir + "/" + name, why, kExitOutput);
    }
  } else {
    MoveSetIntoPlace(finalDir);
  }
  RemoveWorkDir();
  if (!sheetPath.empty()) {
    why = tools::MoveIntoPlace(sheetTemporary, sheetPath);
    if (!why.empty()) tools::FailOn("quillon-assets", sheetPath, why, kExitOutput);
  }
  outDir = finalDir;

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("quillon-assets: wrote %s to %s in %.2f s\n", scenesOnly ? "the scenes" : "the data set", outDir.c_str(),
              seconds);
  return 0;
}

// quillon-assets: writes the show's whole data set into a folder.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "icon.h"
#include "mesh.h"
#include "music.h"
#include "pictures.h"
#include "scene/loader.h"
#include "scenes.h"
#include "sheet.h"
#include "text.h"

namespace {

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: quillon-assets OUTDIR [--sheet FILE.png] [--keep-hidden-faces] [--scenes-only]\n"
               "\n"
               "Writes the show's data set into OUTDIR: the 120 pictures, the scenes'\n"
               "material textures, \"cam.3dw\", \"pkode.3dw\", \"ize._3d\" and \"music.mp3\".\n"
               "The same bytes on every run.\n"
               "\n"
               "  --sheet FILE.png  also write a contact sheet of every picture with its name\n"
               "  --keep-hidden-faces\n"
               "                    keep the flight's tower faces that no frame of the flight\n"
               "                    shows (left out by default; the show looks the same)\n"
               "  --scenes-only     write only \"cam.3dw\" and \"pkode.3dw\"\n"
               "  --icon DIR        write only the program's icon, as DIR/NxN/apps/quillon.png\n"
               "  --help            show this text\n");
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
  if (mkdir(outDir.c_str(), 0777) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "quillon-assets: cannot create %s: %s\n", outDir.c_str(), std::strerror(errno));
    return 1;
  }
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
    if (sheet) assetgen::WriteSheet(sheetPath, large, frames);
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
      std::fprintf(stderr, "quillon-assets: the music could not be written\n");
      return 1;
    }
  }

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("quillon-assets: wrote %s to %s in %.2f s\n", scenesOnly ? "the scenes" : "the data set", outDir.c_str(),
              seconds);
  return 0;
}

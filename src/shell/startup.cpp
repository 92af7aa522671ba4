#include "shell/startup.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "assets/mesh.h"
#include "assets/prefetch.h"
#include "assets/texture.h"
#include "effects/warp.h"
#include "platform/gl.h"
#include "platform/offscreen.h"
#include "platform/process.h"
#include "platform/window.h"
#include "scene/loader.h"
#include "scene/progress.h"
#include "shell/finale.h"
#include "shell/main_loop.h"
#include "shell/particles.h"
#include "shell/player.h"
#include "shell/show_assets.h"
#include "shell/window.h"
#include "sound/music.h"

namespace shell {

LoopEnd LastLoopEnd = LoopEnd::QuitRequested;

namespace {

void SetInitialGlState() {
  gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl::glClearDepth(1.0);
  gl::glDepthFunc(GL_LESS);
  gl::glEnable(GL_DEPTH_TEST);
  gl::glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
  gl::glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  // The clear colour stays OpenGL's default, black.
}

std::uint32_t TextureFromPixels(int width, int height, const std::vector<std::uint8_t>& rgba) {
  GLuint name = 0;
  gl::glGenTextures(1, &name);
  gl::glBindTexture(GL_TEXTURE_2D, name);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  gl::glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  return name;
}

std::uint8_t Channel(double v) {
  if (v <= 0) return 0;
  if (v >= 255) return 255;
  return static_cast<std::uint8_t>(std::lround(v));
}

// The pictures the start-up loads by name, in the order it loads them.
std::vector<std::string> ShowPictureFiles() {
  std::vector<std::string> names;
  for (const PictureEntry& picture : TitlePictures) names.emplace_back(picture.fileName);
  for (int i = 0; i < kVideoFrameCount; ++i) names.push_back(std::to_string(i) + ".jpg");
  for (const char* name : {"ballenv.tga", "env2.tga", "dreams07.tga"}) names.emplace_back(name);
  return names;
}

}  // namespace

void CreateProgressTextures() {
  // Background: deep night blue at the top turning violet towards the
  // bottom, with a faint lighter band where the row of blocks runs.
  constexpr int kBackground = 64;
  std::vector<std::uint8_t> background(kBackground * kBackground * 4);
  for (int y = 0; y < kBackground; ++y) {
    const double v = static_cast<double>(y) / (kBackground - 1);
    const double band = std::exp(-std::pow((v - 0.41) / 0.08, 2.0)) * 18.0;
    for (int x = 0; x < kBackground; ++x) {
      std::uint8_t* p = &background[static_cast<std::size_t>(y * kBackground + x) * 4];
      p[0] = Channel(8 + 22 * v + band * 0.6);
      p[1] = Channel(10 + 6 * v + band * 0.5);
      p[2] = Channel(30 + 28 * v + band);
      p[3] = 255;
    }
  }
  scene::ProgressBackgroundTexture = TextureFromPixels(kBackground, kBackground, background);

  // Block: a warm core that fades out into a soft halo through its alpha.
  constexpr int kBlock = 32;
  std::vector<std::uint8_t> block(kBlock * kBlock * 4);
  for (int y = 0; y < kBlock; ++y) {
    for (int x = 0; x < kBlock; ++x) {
      const double dx = (x + 0.5) / kBlock * 2 - 1;
      const double dy = (y + 0.5) / kBlock * 2 - 1;
      const double edge = std::fmax(std::fabs(dx), std::fabs(dy));
      const double core = edge < 0.55 ? 1.0 : std::exp(-std::pow((edge - 0.55) / 0.22, 2.0));
      std::uint8_t* p = &block[static_cast<std::size_t>(y * kBlock + x) * 4];
      p[0] = Channel(255);
      p[1] = Channel(150 + 90 * core);
      p[2] = Channel(60 + 150 * core * core);
      p[3] = Channel(255 * core);
    }
  }
  scene::ProgressBlockTexture = TextureFromPixels(kBlock, kBlock, block);
}

int RunShow() { return RunShow(ShowOptions{}); }

int RunShow(const ShowOptions& options) {
  // The pictures of steps 4 to 10 are decoded ahead on worker threads from
  // here on, while the window opens and the scenes load; each is still
  // turned into its texture at its own step below.
  assets::PrefetchPictures(ShowPictureFiles());

  // The modules set themselves up before anything else: first the OpenGL
  // and GLU binding; the render state and the loading counter start from
  // their initial values as module data.
  gl::BindGl();

  // 1. Window and context. From here on the shell's exit handler tears the
  // window down however the program ends.
  if (options.headless) {
    if (!platform::OpenOffscreen(800, 600)) {
      assets::EndPrefetch();
      return 1;
    }
  } else {
    // A window leaves the display's mode alone, at the start and at the end.
    if (options.window) Fullscreen = false;
    OpenShellWindow(800, 600, 32, false, Fullscreen);
  }

  // 2. Initial OpenGL state.
  SetInitialGlState();

  // 3. Nothing is on the play list yet: this plays nothing.
  sound::PlayMusic(0);

  if (options.hooks && options.hooks->loadingFrame) {
    scene::SetProgressFrameHook(options.hooks->loadingFrame, options.hooks->context);
  }

  // 4. to 10. The pictures, the scenes and the lens table. They are all
  // loaded before the music starts, because its position is the show's only
  // clock.
  for (const PictureEntry& picture : TitlePictures) assets::LoadTexture(picture.fileName, *picture.texture);
  for (int i = 0; i < kVideoFrameCount; ++i) {
    assets::LoadTexture(std::to_string(i) + ".jpg", VideoFrames[i]);
  }
  CreateProgressTextures();
  scene::LoadScene(VideoScene, "pkode.3dw");
  assets::LoadSceneTextures(VideoScene, ".");
  assets::LoadTexture("ballenv.tga", BallEnvTexture);
  // The first draws of the never-seeded generator, so every run gets the
  // same lens paths.
  effects::InitWarpTable();
  assets::LoadTexture("env2.tga", Env2Texture);
  assets::LoadTexture("dreams07.tga", Dreams07Texture);
  // Loaded last, so its camera tracks are the prepared ones when the show
  // begins.
  scene::LoadScene(FlightScene, "cam.3dw");
  assets::LoadSceneTextures(FlightScene, ".");
  assets::EndPrefetch();
  scene::SetProgressFrameHook(nullptr, nullptr);
  platform::EndIfStopRequested();

  if (options.noSound) {
    // 11. and 12. without a device: the clock starts where the music would.
    sound::StartSilentClock();
  } else {
    // 11. Sound set-up, on the window that is in front now: the show window.
    std::int32_t result = sound::InitSound(0, platform::Windows().GetForegroundWindow());
    if (result > 0) {
      std::printf("BASS init error ( %d )\n", static_cast<int>(result));
      std::fflush(stdout);
      return 1;
    }

    // 12. The music starts at once. Without the file the show runs silent on
    // the sound module's clock.
    sound::AddMusicFile("music.mp3");
    sound::PlayMusic(0);
  }

  // 13. to 15. Made after the music has started, so the first frame already
  // sees a small positive position.
  assets::LoadMesh(FinaleMesh, "ize._3d");
  CreateFeedbackTexture();
  CreateParticleList();
  if (options.start > 0) JumpTo(options.start);
  // The music plays by now: a stop closes the sound as the quit paths of the
  // main loop do, and the exit handler tears the window down.
  if (platform::StopRequested()) sound::CloseSound();
  platform::EndIfStopRequested();

  // 16. The show.
  LastLoopEnd = RunMainLoop(options.hooks);
  return 0;
}

}  // namespace shell

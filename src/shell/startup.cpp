#include "shell/startup.h"

#include <cstdio>

#include "platform/gl.h"
#include "platform/window.h"
#include "shell/main_loop.h"
#include "shell/window.h"
#include "sound/music.h"

namespace shell {

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

}  // namespace

int RunShow() {
  // The modules set themselves up before anything else: first the OpenGL
  // and GLU binding; the render state and the loading counter start from
  // their initial values as module data.
  gl::BindGl();

  // 1. Window and context. From here on the shell's exit handler tears the
  // window down however the program ends.
  OpenShellWindow(800, 600, 32, false, Fullscreen);

  // 2. Initial OpenGL state.
  SetInitialGlState();

  // 3. Nothing is on the play list yet: this plays nothing.
  sound::PlayMusic(0);

  // 4. to 10. The pictures, the scenes and the lens table. They are all
  // loaded before the music starts, because its position is the show's only
  // clock.

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

  // 13. to 15. The mesh, the feedback texture and the particle list, made
  // after the music has started.

  // 16. The show.
  RunMainLoop();
  return 0;
}

}  // namespace shell

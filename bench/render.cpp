// Frames per second of the scene render pass on the show's two scenes at
// 800 x 600 offscreen, against a bare loop that sends the same faces (the
// same vertices, colours and texture coordinates, the same binds, matrices
// and pass state) straight to OpenGL in immediate mode. The ratio is what our
// walk over the scene adds to the driver's own cost; the goal is at most 1.3.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/texture.h"
#include "platform/gl.h"
#include "platform/offscreen.h"
#include "render/object.h"
#include "render/render_pass.h"
#include "render/state.h"
#include "scene/camera.h"
#include "scene/loader.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Corner {
  float U, V;
  float R, G, B;
  float X, Y, Z;
};

// One object of one pass, flattened to exactly what the pass sends.
struct FlatDraw {
  int Pass;
  bool Textured, Texcoords, Colours;
  std::uint32_t Texture;
  bool Translated;
  scene::Vec3f Translation;
  std::vector<float> FaceColours;  // three per face
  std::vector<Corner> Corners;     // three per face
};

std::vector<FlatDraw> Flatten(const scene::Scene& s, float t) {
  std::vector<FlatDraw> draws;
  for (int pass = 0; pass < 3; ++pass) {
    for (std::int32_t i = 0; i < s.ObjectCount; ++i) {
      const scene::SceneObject& o = s.Objects[i];
      const scene::SceneMaterial& m = s.Materials[o.MaterialIndex];
      if (!o.Visible) continue;
      float pc = 1;
      if (pass == 0 && !(m.AlphaFlag == 0 && m.BlendAmount == 0.0f)) continue;
      if (pass == 1) {
        if (!(m.AlphaFlag == 0 && m.BlendAmount > 0.0f)) continue;
        pc = m.BlendAmount;
      }
      if (pass == 2 && m.AlphaFlag != 1) continue;
      FlatDraw d{pass, m.Textured != 0, m.Textured != 0 && o.HasTexcoords != 0, o.HasColours != 0,
                 m.TextureName, o.PositionCount > 0, {0, 0, 0}, {}, {}};
      if (d.Translated) d.Translation = render::EvaluateObjectPosition(s, i, t);
      for (std::int32_t f = 0; f < o.FaceCount; ++f) {
        const scene::FaceIndices vf = o.FACE[f];
        const std::int32_t vi[3] = {vf.A, vf.B, vf.C};
        scene::FaceIndices tf{0, 0, 0}, cf{0, 0, 0};
        if (d.Texcoords) tf = o.TFACE[f];
        if (d.Colours) cf = o.CFACE[f];
        const std::int32_t ti[3] = {tf.A, tf.B, tf.C}, ci[3] = {cf.A, cf.B, cf.C};
        const float c[3] = {pc * render::SceneTint.Red, pc * render::SceneTint.Green, pc * render::SceneTint.Blue};
        d.FaceColours.insert(d.FaceColours.end(), c, c + 3);
        for (int k = 0; k < 3; ++k) {
          Corner corner{};
          if (d.Texcoords) {
            corner.U = m.UScale * o.TEXCOORD[ti[k]].U;
            corner.V = 1.0f - m.VScale * o.TEXCOORD[ti[k]].V;
          }
          if (d.Colours) {
            corner.R = o.CVertex[ci[k]].X * c[0];
            corner.G = o.CVertex[ci[k]].Y * c[1];
            corner.B = o.CVertex[ci[k]].Z * c[2];
          }
          corner.X = o.Vertex[vi[k]].X;
          corner.Y = o.Vertex[vi[k]].Y;
          corner.Z = o.Vertex[vi[k]].Z;
          d.Corners.push_back(corner);
        }
      }
      draws.push_back(std::move(d));
    }
  }
  return draws;
}

void BarePasses(const std::vector<FlatDraw>& draws) {
  int pass = -1;
  for (const FlatDraw& d : draws) {
    while (pass < d.Pass) {
      ++pass;
      if (pass == 0) {
        gl::glDisable(GL_BLEND);
        gl::glDepthMask(GL_TRUE);
      } else if (pass == 1) {
        gl::glEnable(GL_BLEND);
        gl::glBlendFunc(GL_ONE, GL_ONE);
        gl::glDepthMask(GL_FALSE);
      } else {
        gl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        gl::glDepthMask(GL_TRUE);
        gl::glEnable(GL_ALPHA_TEST);
        gl::glAlphaFunc(GL_GREATER, 0.3f);
      }
    }
    gl::glMatrixMode(GL_MODELVIEW);
    gl::glPushMatrix();
    if (d.Translated) gl::glTranslatef(d.Translation.X, d.Translation.Y, d.Translation.Z);
    if (d.Textured)
      gl::glEnable(GL_TEXTURE_2D);
    else
      gl::glDisable(GL_TEXTURE_2D);
    gl::glBindTexture(GL_TEXTURE_2D, d.Texture);
    const std::size_t faces = d.FaceColours.size() / 3;
    for (std::size_t f = 0; f < faces; ++f) {
      gl::glColor3f(d.FaceColours[3 * f], d.FaceColours[3 * f + 1], d.FaceColours[3 * f + 2]);
      gl::glBegin(GL_POLYGON);
      for (int k = 0; k < 3; ++k) {
        const Corner& c = d.Corners[3 * f + k];
        if (d.Texcoords) gl::glTexCoord2f(c.U, c.V);
        if (d.Colours) gl::glColor3f(c.R, c.G, c.B);
        gl::glVertex3f(c.X, c.Y, c.Z);
      }
      gl::glEnd();
    }
    gl::glPopMatrix();
  }
  gl::glDisable(GL_ALPHA_TEST);
  gl::glDepthMask(GL_TRUE);
}

// A stand-in when the data set has not been generated: 60 objects of 800
// textured, coloured triangles in all three passes around a flying camera.
scene::Scene StandInScene() {
  scene::Scene s;
  s.FieldOfView = 1.0f;
  s.NearDistance = 0.00001f;
  s.FarDistance = 0.01f;
  const std::uint8_t texels[4 * 4 * 4] = {255, 255, 255, 255, 200, 100, 50, 60, 90, 180, 255, 200, 255, 0, 0, 255};
  for (int m = 0; m < 3; ++m) {
    scene::SceneMaterial material;
    GLuint name = 0;
    gl::glGenTextures(1, &name);
    gl::glBindTexture(GL_TEXTURE_2D, name);
    gl::glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    material.TextureName = name;
    material.Textured = 1;
    material.BlendAmount = m == 1 ? 0.5f : 0.0f;
    material.AlphaFlag = m == 2 ? 1 : 0;
    s.Materials.push_back(material);
  }
  s.MaterialCount = 3;
  for (int i = 0; i < 60; ++i) {
    scene::SceneObject o;
    o.MaterialIndex = i % 3;
    const int n = 20;
    for (int y = 0; y <= n; ++y)
      for (int x = 0; x <= n; ++x) {
        o.Vertex.push_back({x * 10.0f + (i % 10) * 250.0f, 500.0f + (i / 10) * 200.0f, y * 10.0f});
        o.TEXCOORD.push_back({x / float(n), y / float(n)});
        o.CVertex.push_back({x / float(n), y / float(n), 0.5f});
      }
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const int a = y * (n + 1) + x, b = a + 1, c = a + n + 1, d = c + 1;
        o.FACE.push_back({a, b, d});
        o.FACE.push_back({a, d, c});
      }
    o.TFACE = o.FACE;
    o.CFACE = o.FACE;
    o.VertexCount = o.CVertexCount = o.TexcoordCount = static_cast<std::int32_t>(o.Vertex.size());
    o.FaceCount = static_cast<std::int32_t>(o.FACE.size());
    o.HasTexcoords = o.HasColours = 1;
    o.Position = {{0, 0, 0, 0}, {100, 0, 0, 50}};
    o.PositionCount = 2;
    s.Objects.push_back(std::move(o));
  }
  s.ObjectCount = 60;
  s.CamPosition = {{0, 1200, -600, 300}, {100, 1300, -500, 250}};
  s.CamTarget = {{0, 1200, 1000, 100}, {100, 1250, 1000, 120}};
  s.CamPositionCount = s.CamTargetCount = 2;
  scene::PrepareCameraTracks(s);
  return s;
}

// The projection and camera the scene pass sets, from the camera it published.
void Camera(const scene::Scene& s) {
  gl::glEnable(GL_DEPTH_TEST);
  gl::glMatrixMode(GL_TEXTURE);
  gl::glLoadIdentity();
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glLoadIdentity();
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  gl::gluPerspective(s.FieldOfView * 180.0 / 3.14159265358979323846, 4.0 / 3.0, s.NearDistance, s.FarDistance);
  gl::glScalef(render::SceneScale, render::SceneScale, render::SceneScale);
  const scene::Vec3f e = render::LastCameraEye, c = render::LastCameraTarget;
  gl::gluLookAt(e.X, e.Y, e.Z, c.X, c.Y, c.Z, 0, 0, 1);
}

double SecondsFor(int frames, auto&& frame) {
  const auto start = Clock::now();
  for (int i = 0; i < frames; ++i) frame();
  gl::glFinish();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Measure(const std::string& label, scene::Scene& s) {
  const float t = static_cast<float>(s.CamPosition.front().Time + s.CamPosition.back().Time) / 2;
  std::size_t faces = 0;
  const std::vector<FlatDraw> flat = Flatten(s, t);
  for (const FlatDraw& d : flat) faces += d.FaceColours.size() / 3;

  auto sceneFrame = [&] {
    render::ClearFrame();
    gl::glEnable(GL_TEXTURE_2D);
    render::RenderScene(s, t);
    gl::glFinish();
  };
  auto bareFrame = [&] {
    render::ClearFrame();
    gl::glEnable(GL_TEXTURE_2D);
    Camera(s);
    BarePasses(flat);
    gl::glFinish();
  };

  sceneFrame();  // publishes the camera the bare loop reuses
  int frames = 1;
  while (SecondsFor(frames, sceneFrame) < 0.4 && frames < 100000) frames *= 2;
  std::vector<double> sceneTimes, bareTimes;
  for (int round = 0; round < 7; ++round) {
    sceneTimes.push_back(SecondsFor(frames, sceneFrame) / frames);
    bareTimes.push_back(SecondsFor(frames, bareFrame) / frames);
  }
  std::sort(sceneTimes.begin(), sceneTimes.end());
  std::sort(bareTimes.begin(), bareTimes.end());
  const double scene = sceneTimes[3], bare = bareTimes[3];
  std::printf("%-16s %7zu faces drawn  RenderScene %8.1f fps  bare loop %8.1f fps  ratio %.3f (goal <= 1.3)\n",
              label.c_str(), faces, 1.0 / scene, 1.0 / bare, scene / bare);
}

// The same with a one-pixel viewport: rasterising costs next to nothing, so
// the ratio shows the submission alone.
void MeasureSubmission(const std::string& label, scene::Scene& s) {
  gl::glViewport(0, 0, 1, 1);
  Measure(label + " (1 px)", s);
  gl::glViewport(0, 0, 800, 600);
}

}  // namespace

int main() {
  if (!platform::OpenOffscreen(800, 600)) return 1;
  std::printf("renderer: %s\n", reinterpret_cast<const char*>(gl::glGetString(GL_RENDERER)));
  std::string directory = testsupport::BinaryDir() + "/show";
  if (!std::filesystem::exists(directory + "/cam.3dw")) directory = testsupport::SourceDir() + "/build/show";
  bool any = false;
  for (const char* name : {"cam.3dw", "pkode.3dw"}) {
    const std::string path = directory + "/" + name;
    if (!std::filesystem::exists(path)) continue;
    scene::Scene s;
    scene::LoadScene(s, path);
    assets::LoadSceneTextures(s, directory);
    Measure(name, s);
    MeasureSubmission(name, s);
    any = true;
  }
  if (!any) {
    std::printf("the data set has not been generated (%s); a stand-in scene instead\n", directory.c_str());
    scene::Scene s = StandInScene();
    Measure("stand-in", s);
    MeasureSubmission("stand-in", s);
  }
  platform::CloseOffscreen();
  return 0;
}

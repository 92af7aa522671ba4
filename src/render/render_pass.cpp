#include "render/render_pass.h"

#include <cstdlib>

#include "platform/gl.h"
#include "platform/present.h"
#include "render/face_loop.h"
#include "render/object.h"
#include "render/state.h"
#include "scene/camera.h"

namespace render {

namespace detail {

void RequireCameraTracks(const scene::Scene& scene) {
  if (ListLimit(scene.CamPositionCount, scene.CamPosition.size()) > 0 &&
      ListLimit(scene.CamTargetCount, scene.CamTarget.size()) > 0)
    return;
  platform::ShowMessageBox("Rendering error",
                           "Scene not renderable without camera animation target and position track", false);
  // A scene that cannot be shown is a failed run; exit() lets the shell's
  // exit handler restore the display.
  std::exit(1);
}

void LoadSceneProjection(const scene::Scene& scene, float scale) {
  gl::glEnable(GL_DEPTH_TEST);
  gl::glMatrixMode(GL_TEXTURE);
  gl::glLoadIdentity();
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glLoadIdentity();
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  // The aspect is the show's 800 x 600 whatever the window.
  gl::gluPerspective(static_cast<double>(scene.FieldOfView) * 180.0 / 3.14159265358979323846, 4.0 / 3.0,
                     static_cast<double>(scene.NearDistance), static_cast<double>(scene.FarDistance));
  gl::glScalef(scale, scale, scale);
}

void LookAt(const scene::Vec3f& eye, const scene::Vec3f& target) {
  gl::gluLookAt(eye.X, eye.Y, eye.Z, target.X, target.Y, target.Z, 0.0, 0.0, 1.0);
}

void DrawMaterialPasses(const scene::Scene& scene, float t) {
  const std::size_t objectCount = ListLimit(scene.ObjectCount, scene.Objects.size());
  const scene::SceneObject* objects = scene.Objects.data();
  // The matrices are those of the whole pass: objects move by translations
  // of their own, which the test adds.
  const ViewVolume view = ViewVolume::FromCurrentMatrices();

  gl::glDisable(GL_BLEND);
  gl::glDepthMask(GL_TRUE);
  for (std::size_t i = 0; i < objectCount; ++i) {
    if (!objects[i].Visible) continue;
    const scene::SceneMaterial* m = MaterialOf(scene, objects[i]);
    if (m && m->AlphaFlag == 0 && m->BlendAmount == 0.0f)
      DrawSceneObjectInView(scene, static_cast<std::int32_t>(i), t, view);
  }

  gl::glEnable(GL_BLEND);
  gl::glBlendFunc(GL_ONE, GL_ONE);
  gl::glDepthMask(GL_FALSE);
  for (std::size_t i = 0; i < objectCount; ++i) {
    if (!objects[i].Visible) continue;
    const scene::SceneMaterial* m = MaterialOf(scene, objects[i]);
    if (m && m->AlphaFlag == 0 && m->BlendAmount > 0.0f) {
      const float b = m->BlendAmount;
      SetPassColour(b, b, b);
      DrawSceneObjectInView(scene, static_cast<std::int32_t>(i), t, view);
    }
  }
  SetPassColour(1, 1, 1);

  gl::glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  gl::glDepthMask(GL_TRUE);
  gl::glEnable(GL_ALPHA_TEST);
  gl::glAlphaFunc(GL_GREATER, 0.3f);
  for (std::size_t i = 0; i < objectCount; ++i) {
    if (!objects[i].Visible) continue;
    const scene::SceneMaterial* m = MaterialOf(scene, objects[i]);
    if (m && m->AlphaFlag == 1) DrawSceneObjectInView(scene, static_cast<std::int32_t>(i), t, view);
  }

  gl::glDisable(GL_ALPHA_TEST);
  gl::glDepthMask(GL_TRUE);
}

}  // namespace detail

void ClearFrame() { gl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

void RenderScene(scene::Scene& scene, float t) {
  detail::RequireCameraTracks(scene);
  detail::LoadSceneProjection(scene, SceneScale);
  const scene::CameraPose pose = scene::EvaluateCamera(scene, t);
  LastCameraEye = pose.Eye;
  LastCameraTarget = pose.Target;
  detail::LookAt(pose.Eye, pose.Target);
  detail::DrawMaterialPasses(scene, t);
}

}  // namespace render

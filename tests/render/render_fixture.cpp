#include "render_fixture.h"

#include <cmath>
#include <numbers>

#include "render/render_pass.h"
#include "render/state.h"
#include "scene/camera.h"

namespace rendertest {

namespace {

std::vector<Call>* log = nullptr;
gl::GlTable real;

void Log(const char* name, std::vector<double> args) {
  if (log) log->push_back(Call{name, std::move(args)});
}

void Begin(GLenum mode) {
  Log("glBegin", {double(mode)});
  real.glBegin(mode);
}
void End() {
  Log("glEnd", {});
  real.glEnd();
}
void Color3f(GLfloat r, GLfloat g, GLfloat b) {
  Log("glColor3f", {r, g, b});
  real.glColor3f(r, g, b);
}
void Color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  Log("glColor4f", {r, g, b, a});
  real.glColor4f(r, g, b, a);
}
void TexCoord2f(GLfloat s, GLfloat t) {
  Log("glTexCoord2f", {s, t});
  real.glTexCoord2f(s, t);
}
void Vertex3f(GLfloat x, GLfloat y, GLfloat z) {
  Log("glVertex3f", {x, y, z});
  real.glVertex3f(x, y, z);
}
void Translatef(GLfloat x, GLfloat y, GLfloat z) {
  Log("glTranslatef", {x, y, z});
  real.glTranslatef(x, y, z);
}
void Scalef(GLfloat x, GLfloat y, GLfloat z) {
  Log("glScalef", {x, y, z});
  real.glScalef(x, y, z);
}
void PushMatrix() {
  Log("glPushMatrix", {});
  real.glPushMatrix();
}
void PopMatrix() {
  Log("glPopMatrix", {});
  real.glPopMatrix();
}
void MatrixMode(GLenum mode) {
  Log("glMatrixMode", {double(mode)});
  real.glMatrixMode(mode);
}
void LoadIdentity() {
  Log("glLoadIdentity", {});
  real.glLoadIdentity();
}
void Enable(GLenum cap) {
  Log("glEnable", {double(cap)});
  real.glEnable(cap);
}
void Disable(GLenum cap) {
  Log("glDisable", {double(cap)});
  real.glDisable(cap);
}
void DepthMask(GLboolean flag) {
  Log("glDepthMask", {double(flag)});
  real.glDepthMask(flag);
}
void DepthFunc(GLenum func) {
  Log("glDepthFunc", {double(func)});
  real.glDepthFunc(func);
}
void BlendFunc(GLenum s, GLenum d) {
  Log("glBlendFunc", {double(s), double(d)});
  real.glBlendFunc(s, d);
}
void AlphaFunc(GLenum func, GLclampf ref) {
  Log("glAlphaFunc", {double(func), ref});
  real.glAlphaFunc(func, ref);
}
void BindTexture(GLenum target, GLuint name) {
  Log("glBindTexture", {double(target), double(name)});
  real.glBindTexture(target, name);
}
void Perspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  Log("gluPerspective", {fovy, aspect, zNear, zFar});
  real.gluPerspective(fovy, aspect, zNear, zFar);
}
void LookAt(GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz, GLdouble ux,
            GLdouble uy, GLdouble uz) {
  Log("gluLookAt", {ex, ey, ez, cx, cy, cz, ux, uy, uz});
  real.gluLookAt(ex, ey, ez, cx, cy, cz, ux, uy, uz);
}

std::vector<Call> calls;

}  // namespace

Recorder::Recorder() : saved_(gl::SaveGlTable()) {
  real = saved_;
  calls.clear();
  log = &calls;
  gl::glBegin = Begin;
  gl::glEnd = End;
  gl::glColor3f = Color3f;
  gl::glColor4f = Color4f;
  gl::glTexCoord2f = TexCoord2f;
  gl::glVertex3f = Vertex3f;
  gl::glTranslatef = Translatef;
  gl::glScalef = Scalef;
  gl::glPushMatrix = PushMatrix;
  gl::glPopMatrix = PopMatrix;
  gl::glMatrixMode = MatrixMode;
  gl::glLoadIdentity = LoadIdentity;
  gl::glEnable = Enable;
  gl::glDisable = Disable;
  gl::glDepthMask = DepthMask;
  gl::glDepthFunc = DepthFunc;
  gl::glBlendFunc = BlendFunc;
  gl::glAlphaFunc = AlphaFunc;
  gl::glBindTexture = BindTexture;
  gl::gluPerspective = Perspective;
  gl::gluLookAt = LookAt;
}

Recorder::~Recorder() {
  gl::RestoreGlTable(saved_);
  log = nullptr;
}

const std::vector<Call>& Recorder::Calls() const { return calls; }

std::vector<Call> Recorder::Named(const std::string& name) const {
  std::vector<Call> out;
  for (const Call& c : calls)
    if (c.Name == name) out.push_back(c);
  return out;
}

void Recorder::Clear() { calls.clear(); }

std::vector<Draw> Recorder::Draws() const {
  std::vector<Draw> draws;
  Draw state;
  for (const Call& c : calls) {
    if (c.Name == "glEnable" || c.Name == "glDisable") {
      const bool on = c.Name == "glEnable";
      if (c.Args[0] == GL_BLEND) state.Blend = on;
      if (c.Args[0] == GL_ALPHA_TEST) state.AlphaTest = on;
    } else if (c.Name == "glDepthMask") {
      state.DepthWrite = c.Args[0] != 0;
    } else if (c.Name == "glBlendFunc") {
      state.BlendSource = static_cast<GLenum>(c.Args[0]);
      state.BlendDest = static_cast<GLenum>(c.Args[1]);
    } else if (c.Name == "glBindTexture") {
      Draw d = state;
      d.Texture = static_cast<std::uint32_t>(c.Args[1]);
      d.FirstColour.clear();
      d.Faces = 0;
      draws.push_back(d);
    } else if (!draws.empty() && (c.Name == "glColor3f" || c.Name == "glColor4f")) {
      if (draws.back().FirstColour.empty())
        for (double v : c.Args) draws.back().FirstColour.push_back(static_cast<float>(v));
    } else if (!draws.empty() && c.Name == "glBegin") {
      ++draws.back().Faces;
    }
  }
  return draws;
}

scene::Scene MakeScene() {
  scene::Scene s;
  s.Name = "test";
  s.FieldOfView = static_cast<float>(std::numbers::pi / 2);
  s.NearDistance = 0.00001f;
  s.FarDistance = 0.01f;
  SetCamera(s, {0, 0, 0}, {0, 100, 0});
  return s;
}

void SetCamera(scene::Scene& s, scene::Vec3f eye, scene::Vec3f target) {
  s.CamPosition = {{0, eye.X, eye.Y, eye.Z}, {100, eye.X, eye.Y, eye.Z}};
  s.CamTarget = {{0, target.X, target.Y, target.Z}, {100, target.X, target.Y, target.Z}};
  s.CamPositionCount = 2;
  s.CamTargetCount = 2;
  scene::PrepareCameraTracks(s);
}

std::int32_t AddMaterial(scene::Scene& s, float blendAmount, std::uint8_t alphaFlag, std::uint8_t textured,
                         std::uint32_t textureName) {
  scene::SceneMaterial m;
  m.Name = "material" + std::to_string(s.Materials.size());
  m.TextureFile = "none.tga";
  m.BlendAmount = blendAmount;
  m.AlphaFlag = alphaFlag;
  m.Textured = textured;
  m.TextureName = textureName;
  s.Materials.push_back(m);
  s.MaterialCount = static_cast<std::int32_t>(s.Materials.size());
  return s.MaterialCount - 1;
}

namespace {
std::int32_t AddObject(scene::Scene& s, scene::SceneObject o) {
  o.VertexCount = static_cast<std::int32_t>(o.Vertex.size());
  o.FaceCount = static_cast<std::int32_t>(o.FACE.size());
  o.TexcoordCount = static_cast<std::int32_t>(o.TEXCOORD.size());
  o.HasTexcoords = o.TEXCOORD.empty() ? 0 : 1;
  s.Objects.push_back(std::move(o));
  s.ObjectCount = static_cast<std::int32_t>(s.Objects.size());
  return s.ObjectCount - 1;
}
}  // namespace

std::int32_t AddSquare(scene::Scene& s, std::int32_t material, float d, float cx, float cz, float h,
                       const std::string& name) {
  scene::SceneObject o;
  o.Name = name;
  o.MaterialIndex = material;
  o.Vertex = {{cx - h, d, cz - h}, {cx + h, d, cz - h}, {cx + h, d, cz + h}, {cx - h, d, cz + h}};
  o.TEXCOORD = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  o.FACE = {{0, 1, 2}, {0, 2, 3}};
  o.TFACE = o.FACE;
  return AddObject(s, std::move(o));
}

std::int32_t AddTriangle(scene::Scene& s, std::int32_t material, scene::Vec3f a, scene::Vec3f b, scene::Vec3f c,
                         const std::string& name) {
  scene::SceneObject o;
  o.Name = name;
  o.MaterialIndex = material;
  o.Vertex = {a, b, c};
  o.FACE = {{0, 1, 2}};
  return AddObject(s, std::move(o));
}

std::uint32_t MakeTexture(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
  GLuint name = 0;
  gl::glGenTextures(1, &name);
  gl::glBindTexture(GL_TEXTURE_2D, name);
  const std::uint8_t texel[4] = {r, g, b, a};
  gl::glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  gl::glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return name;
}

int PixelX(float x, float d) { return static_cast<int>(std::lround(400.0 + 300.0 * x / d)); }
int PixelY(float z, float d) { return static_cast<int>(std::lround(300.0 + 300.0 * z / d)); }

void RenderTest::SetUp() {
  GlTest::SetUp();
  if (IsSkipped()) return;
  ResetState();
  gl::glClearColor(0, 0, 0, 0);
  render::ClearFrame();
}

void RenderTest::TearDown() {
  ResetState();
  GlTest::TearDown();
}

void RenderTest::ResetState() {
  render::SetSceneTint(1, 1, 1);
  render::SetPassColour(1, 1, 1);
  render::SetVertexOffset(0, 0, 0);
}

}  // namespace rendertest

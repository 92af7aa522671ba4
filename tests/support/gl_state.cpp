#include "support/gl_state.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <utility>

namespace testsupport {

namespace {

// libGL's own entry points for reading and poisoning state, found by name in
// the library the gl table was bound from.
struct Direct {
  decltype(gl::glIsEnabled) IsEnabled;
  decltype(gl::glEnable) Enable;
  decltype(gl::glDisable) Disable;
  decltype(gl::glGetIntegerv) GetIntegerv;
  decltype(gl::glGetFloatv) GetFloatv;
  decltype(gl::glGetDoublev) GetDoublev;
  decltype(gl::glGetBooleanv) GetBooleanv;
  decltype(gl::glGetError) GetError;
  decltype(gl::glBindTexture) BindTexture;
  decltype(gl::glIsTexture) IsTexture;
  decltype(gl::glGetTexParameteriv) GetTexParameteriv;
  decltype(gl::glTexParameteri) TexParameteri;
  decltype(gl::glTexEnvi) TexEnvi;
  void (*GetTexEnviv)(GLenum, GLenum, GLint*);
  decltype(gl::glMatrixMode) MatrixMode;
  decltype(gl::glLoadIdentity) LoadIdentity;
  void (*LoadMatrixd)(const GLdouble*);
  decltype(gl::glPushMatrix) PushMatrix;
  decltype(gl::glPopMatrix) PopMatrix;
  decltype(gl::glTranslatef) Translatef;
  decltype(gl::glRotatef) Rotatef;
  decltype(gl::glScalef) Scalef;
  decltype(gl::glBlendFunc) BlendFunc;
  decltype(gl::glDepthFunc) DepthFunc;
  decltype(gl::glDepthMask) DepthMask;
  decltype(gl::glAlphaFunc) AlphaFunc;
  decltype(gl::glColor4f) Color4f;
  decltype(gl::glViewport) Viewport;
  decltype(gl::glClearColor) ClearColor;
  decltype(gl::glGenTextures) GenTextures;
};

template <typename Fn>
void Find(Fn& fn, const char* name) {
  fn = reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
  if (!fn) ADD_FAILURE() << "libGL has no " << name;
}

const Direct& GL() {
  static const Direct direct = [] {
    Direct d{};
    Find(d.IsEnabled, "glIsEnabled");
    Find(d.Enable, "glEnable");
    Find(d.Disable, "glDisable");
    Find(d.GetIntegerv, "glGetIntegerv");
    Find(d.GetFloatv, "glGetFloatv");
    Find(d.GetDoublev, "glGetDoublev");
    Find(d.GetBooleanv, "glGetBooleanv");
    Find(d.GetError, "glGetError");
    Find(d.BindTexture, "glBindTexture");
    Find(d.IsTexture, "glIsTexture");
    Find(d.GetTexParameteriv, "glGetTexParameteriv");
    Find(d.TexParameteri, "glTexParameteri");
    Find(d.TexEnvi, "glTexEnvi");
    Find(d.GetTexEnviv, "glGetTexEnviv");
    Find(d.MatrixMode, "glMatrixMode");
    Find(d.LoadIdentity, "glLoadIdentity");
    Find(d.LoadMatrixd, "glLoadMatrixd");
    Find(d.PushMatrix, "glPushMatrix");
    Find(d.PopMatrix, "glPopMatrix");
    Find(d.Translatef, "glTranslatef");
    Find(d.Rotatef, "glRotatef");
    Find(d.Scalef, "glScalef");
    Find(d.BlendFunc, "glBlendFunc");
    Find(d.DepthFunc, "glDepthFunc");
    Find(d.DepthMask, "glDepthMask");
    Find(d.AlphaFunc, "glAlphaFunc");
    Find(d.Color4f, "glColor4f");
    Find(d.Viewport, "glViewport");
    Find(d.ClearColor, "glClearColor");
    Find(d.GenTextures, "glGenTextures");
    return d;
  }();
  return direct;
}

struct Cap {
  GLenum cap;
  const char* name;
};
constexpr Cap kCaps[] = {
    {GL_BLEND, "GL_BLEND"},
    {GL_DEPTH_TEST, "GL_DEPTH_TEST"},
    {GL_TEXTURE_2D, "GL_TEXTURE_2D"},
    {GL_ALPHA_TEST, "GL_ALPHA_TEST"},
    {GL_CULL_FACE, "GL_CULL_FACE"},
    {GL_LIGHTING, "GL_LIGHTING"},
    {GL_TEXTURE_GEN_S, "GL_TEXTURE_GEN_S"},
    {GL_TEXTURE_GEN_T, "GL_TEXTURE_GEN_T"},
    {GL_TEXTURE_GEN_R, "GL_TEXTURE_GEN_R"},
    {GL_TEXTURE_1D, "GL_TEXTURE_1D"},
    {GL_FOG, "GL_FOG"},
    {GL_SCISSOR_TEST, "GL_SCISSOR_TEST"},
    {GL_COLOR_MATERIAL, "GL_COLOR_MATERIAL"},
};

const char* CapName(GLenum cap) {
  for (const Cap& c : kCaps)
    if (c.cap == cap) return c.name;
  ADD_FAILURE() << "an enable the state capture does not read: " << cap;
  return "unknown enable";
}

std::string TextureItem(GLuint texture, const char* what) {
  return "texture " + std::to_string(texture) + " " + what;
}

// Items whose numbers are OpenGL enums, named in messages.
bool IsEnumItem(const std::string& item) {
  return item == "blend func" || item == "depth func" || item == "alpha func" || item == "matrix mode" ||
         item == "texture environment" || item.ends_with(" filters") || item.ends_with(" wrap");
}

std::string EnumName(double value) {
  static const std::map<GLenum, const char*> names = {
      {GL_ZERO, "GL_ZERO"},
      {GL_ONE, "GL_ONE"},
      {GL_SRC_COLOR, "GL_SRC_COLOR"},
      {GL_ONE_MINUS_SRC_COLOR, "GL_ONE_MINUS_SRC_COLOR"},
      {GL_SRC_ALPHA, "GL_SRC_ALPHA"},
      {GL_ONE_MINUS_SRC_ALPHA, "GL_ONE_MINUS_SRC_ALPHA"},
      {GL_DST_COLOR, "GL_DST_COLOR"},
      {GL_ONE_MINUS_DST_COLOR, "GL_ONE_MINUS_DST_COLOR"},
      {GL_NEVER, "GL_NEVER"},
      {GL_LESS, "GL_LESS"},
      {GL_EQUAL, "GL_EQUAL"},
      {GL_LEQUAL, "GL_LEQUAL"},
      {GL_GREATER, "GL_GREATER"},
      {GL_NOTEQUAL, "GL_NOTEQUAL"},
      {GL_GEQUAL, "GL_GEQUAL"},
      {GL_ALWAYS, "GL_ALWAYS"},
      {GL_MODELVIEW, "GL_MODELVIEW"},
      {GL_PROJECTION, "GL_PROJECTION"},
      {GL_TEXTURE, "GL_TEXTURE"},
      {GL_MODULATE, "GL_MODULATE"},
      {GL_REPLACE, "GL_REPLACE"},
      {GL_DECAL, "GL_DECAL"},
      {GL_NEAREST, "GL_NEAREST"},
      {GL_LINEAR, "GL_LINEAR"},
      {GL_NEAREST_MIPMAP_NEAREST, "GL_NEAREST_MIPMAP_NEAREST"},
      {GL_LINEAR_MIPMAP_NEAREST, "GL_LINEAR_MIPMAP_NEAREST"},
      {GL_NEAREST_MIPMAP_LINEAR, "GL_NEAREST_MIPMAP_LINEAR"},
      {GL_LINEAR_MIPMAP_LINEAR, "GL_LINEAR_MIPMAP_LINEAR"},
      {GL_REPEAT, "GL_REPEAT"},
      {GL_CLAMP, "GL_CLAMP"},
  };
  auto it = names.find(static_cast<GLenum>(value));
  if (it != names.end()) return it->second;
  std::ostringstream out;
  out << value;
  return out.str();
}

std::string Show(const std::string& item, const StateValue& value) {
  std::ostringstream out;
  out << "(";
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (i) out << ", ";
    // The alpha function's second number is its reference value.
    if (IsEnumItem(item) && !(item == "alpha func" && i == 1))
      out << EnumName(value[i]);
    else
      out << value[i];
  }
  out << ")";
  return out.str();
}

// Matrices are compared column by column, relative to the column's largest
// element: a scene's projection mixes elements of 1e-6 with ones of 1e-2,
// and a changed constant moves the small ones by far more than rounding.
bool Near(const std::string& item, const StateValue& a, const StateValue& b) {
  if (a.size() != b.size()) return false;
  if (item.ends_with("matrix") && a.size() == 16) {
    for (int col = 0; col < 4; ++col) {
      double scale = 0;
      for (int row = 0; row < 4; ++row) scale = std::max(scale, std::fabs(b[col * 4 + row]));
      for (int row = 0; row < 4; ++row)
        if (std::fabs(a[col * 4 + row] - b[col * 4 + row]) > 1e-5 * scale + 1e-30) return false;
    }
    return true;
  }
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::fabs(a[i] - b[i]) > 1e-6 * std::max(1.0, std::fabs(b[i]))) return false;
  return true;
}

Matrix CurrentMatrix(GLenum which) {
  Matrix m(16);
  GL().GetDoublev(which, m.data());
  return m;
}

}  // namespace

GlState CaptureGlState(const std::vector<GLuint>& watched, bool boundOnly) {
  const Direct& d = GL();
  GlState s;
  // The error first, so that it is the step's and not the capture's.
  s["error"] = {static_cast<double>(d.GetError())};
  for (const Cap& c : kCaps) s[c.name] = {d.IsEnabled(c.cap) ? 1.0 : 0.0};
  GLint v[4] = {0, 0, 0, 0};
  GLint w[4] = {0, 0, 0, 0};
  GLfloat f[4] = {0, 0, 0, 0};
  d.GetIntegerv(GL_BLEND_SRC, v);
  d.GetIntegerv(GL_BLEND_DST, w);
  s["blend func"] = {double(v[0]), double(w[0])};
  d.GetIntegerv(GL_DEPTH_FUNC, v);
  s["depth func"] = {double(v[0])};
  GLboolean mask = GL_FALSE;
  d.GetBooleanv(GL_DEPTH_WRITEMASK, &mask);
  s["depth mask"] = {mask ? 1.0 : 0.0};
  d.GetIntegerv(GL_ALPHA_TEST_FUNC, v);
  d.GetFloatv(GL_ALPHA_TEST_REF, f);
  s["alpha func"] = {double(v[0]), double(f[0])};
  d.GetIntegerv(GL_MATRIX_MODE, v);
  s["matrix mode"] = {double(v[0])};
  s["modelview matrix"] = CurrentMatrix(GL_MODELVIEW_MATRIX);
  s["projection matrix"] = CurrentMatrix(GL_PROJECTION_MATRIX);
  s["texture matrix"] = CurrentMatrix(GL_TEXTURE_MATRIX);
  GLint depths[3] = {0, 0, 0};
  d.GetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depths[0]);
  d.GetIntegerv(GL_PROJECTION_STACK_DEPTH, &depths[1]);
  d.GetIntegerv(GL_TEXTURE_STACK_DEPTH, &depths[2]);
  s["stack depths"] = {double(depths[0]), double(depths[1]), double(depths[2])};
  d.GetFloatv(GL_CURRENT_COLOR, f);
  s["current colour"] = {f[0], f[1], f[2], f[3]};
  GLint bound = 0;
  d.GetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  s["bound texture"] = {double(bound)};
  d.GetIntegerv(GL_VIEWPORT, v);
  s["viewport"] = {double(v[0]), double(v[1]), double(v[2]), double(v[3])};
  d.GetFloatv(GL_COLOR_CLEAR_VALUE, f);
  s["clear colour"] = {f[0], f[1], f[2], f[3]};
  d.GetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, v);
  s["texture environment"] = {double(v[0])};
  for (GLuint texture : watched) {
    if (texture == 0 || !d.IsTexture(texture)) continue;
    if (boundOnly && texture != static_cast<GLuint>(bound)) continue;
    d.BindTexture(GL_TEXTURE_2D, texture);
    d.GetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &v[0]);
    d.GetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &v[1]);
    d.GetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &w[0]);
    d.GetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &w[1]);
    s[TextureItem(texture, "filters")] = {double(v[0]), double(v[1])};
    s[TextureItem(texture, "wrap")] = {double(w[0]), double(w[1])};
  }
  d.BindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  return s;
}

Matrix MatrixOf(const std::function<void()>& build) { return MatrixOf(IdentityMatrix(), build); }

Matrix MatrixOf(const Matrix& start, const std::function<void()>& build) {
  const Direct& d = GL();
  GLint mode = 0;
  d.GetIntegerv(GL_MATRIX_MODE, &mode);
  d.MatrixMode(GL_MODELVIEW);
  d.PushMatrix();
  d.LoadMatrixd(start.data());
  build();
  Matrix m = CurrentMatrix(GL_MODELVIEW_MATRIX);
  d.PopMatrix();
  d.MatrixMode(static_cast<GLenum>(mode));
  return m;
}

Matrix IdentityMatrix() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

StateChanges& StateChanges::Enable(GLenum cap) { return Set(CapName(cap), {1}); }
StateChanges& StateChanges::Disable(GLenum cap) { return Set(CapName(cap), {0}); }
StateChanges& StateChanges::BlendFunc(GLenum s, GLenum d) { return Set("blend func", {double(s), double(d)}); }
StateChanges& StateChanges::DepthFunc(GLenum func) { return Set("depth func", {double(func)}); }
StateChanges& StateChanges::DepthMask(bool write) { return Set("depth mask", {write ? 1.0 : 0.0}); }
StateChanges& StateChanges::AlphaFunc(GLenum func, float reference) {
  return Set("alpha func", {double(func), double(reference)});
}
StateChanges& StateChanges::MatrixMode(GLenum mode) { return Set("matrix mode", {double(mode)}); }
StateChanges& StateChanges::Modelview(const Matrix& m) { return Set("modelview matrix", m); }
StateChanges& StateChanges::Projection(const Matrix& m) { return Set("projection matrix", m); }
StateChanges& StateChanges::TextureMatrix(const Matrix& m) { return Set("texture matrix", m); }
StateChanges& StateChanges::Colour(float r, float g, float b, float a) { return Set("current colour", {r, g, b, a}); }
StateChanges& StateChanges::Bound(GLuint texture) { return Set("bound texture", {double(texture)}); }
StateChanges& StateChanges::Viewport(int x, int y, int width, int height) {
  return Set("viewport", {double(x), double(y), double(width), double(height)});
}
StateChanges& StateChanges::ClearColour(float r, float g, float b, float a) {
  return Set("clear colour", {r, g, b, a});
}
StateChanges& StateChanges::Filters(GLuint texture, GLenum min, GLenum mag) {
  return Set(TextureItem(texture, "filters"), {double(min), double(mag)});
}
StateChanges& StateChanges::Wrap(GLuint texture, GLenum s, GLenum t) {
  return Set(TextureItem(texture, "wrap"), {double(s), double(t)});
}
StateChanges& StateChanges::Ignore(const std::string& item) {
  ignored_.push_back(item);
  return *this;
}
StateChanges& StateChanges::IgnoreFilters(GLuint texture) { return Ignore(TextureItem(texture, "filters")); }
bool StateChanges::Ignored(const std::string& item) const {
  return std::find(ignored_.begin(), ignored_.end(), item) != ignored_.end();
}
StateChanges& StateChanges::ModelviewPushed(const GlState& before) {
  StateValue depths = before.at("stack depths");
  depths[0] += 1;
  return Set("stack depths", depths);
}
StateChanges& StateChanges::Set(const std::string& item, StateValue value) {
  items_[item] = std::move(value);
  return *this;
}

::testing::AssertionResult StateMatches(const GlState& actual, const GlState& before, const StateChanges& changes) {
  std::ostringstream wrong;
  for (const auto& [item, value] : actual) {
    if (changes.Ignored(item)) continue;
    auto set = changes.Items().find(item);
    const bool isSet = set != changes.Items().end();
    auto found = before.find(item);
    if (!isSet && found == before.end()) {
      wrong << "\n  " << item << " is " << Show(item, value) << ", which did not exist before the step";
      continue;
    }
    const StateValue& expected = isSet ? set->second : found->second;
    if (!Near(item, value, expected))
      wrong << "\n  " << item << " is " << Show(item, value) << ", expected " << Show(item, expected)
            << (isSet ? " (set by the step)" : " (as the step found it)");
  }
  for (const auto& [item, value] : changes.Items())
    if (!actual.count(item)) wrong << "\n  " << item << " was not captured";
  if (wrong.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << wrong.str();
}

void PoisonGlState(int variant, const std::vector<GLuint>& watched) {
  const Direct& d = GL();
  const bool on = variant == 0;
  for (const Cap& c : kCaps) (on ? d.Enable : d.Disable)(c.cap);
  d.BlendFunc(on ? GL_ONE_MINUS_DST_COLOR : GL_DST_COLOR, on ? GL_SRC_COLOR : GL_ONE_MINUS_SRC_ALPHA);
  d.DepthFunc(on ? GL_GREATER : GL_NOTEQUAL);
  d.DepthMask(on ? GL_FALSE : GL_TRUE);
  d.AlphaFunc(on ? GL_LESS : GL_EQUAL, on ? 0.7f : 0.2f);
  d.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  for (GLenum mode : {GL_MODELVIEW, GL_PROJECTION, GL_TEXTURE}) {
    d.MatrixMode(mode);
    // Variant 0 starts one level down every stack, so that a pop without
    // its push shows as a changed depth.
    GLint depth = 1;
    d.GetIntegerv(mode == GL_MODELVIEW    ? GL_MODELVIEW_STACK_DEPTH
                  : mode == GL_PROJECTION ? GL_PROJECTION_STACK_DEPTH
                                          : GL_TEXTURE_STACK_DEPTH,
                  &depth);
    while (depth > 1) {
      d.PopMatrix();
      --depth;
    }
    if (on) d.PushMatrix();
    d.LoadIdentity();
    const float k = on ? 1.0f : -1.0f;
    if (mode == GL_MODELVIEW) {
      d.Translatef(1 * k, 2, 3);
      d.Rotatef(30 * k, 1, 0, 0);
    } else if (mode == GL_PROJECTION) {
      d.Scalef(2, 3 * k, 4);
      d.Translatef(0.1f, 0.2f * k, 0.3f);
    } else {
      d.Rotatef(45 * k, 0, 0, 1);
      d.Translatef(0.5f, 0.25f * k, 0);
    }
  }
  d.MatrixMode(on ? GL_TEXTURE : GL_PROJECTION);
  if (on)
    d.Color4f(0.3f, 0.6f, 0.9f, 0.7f);
  else
    d.Color4f(0.8f, 0.1f, 0.4f, 0.2f);
  d.Viewport(on ? 7 : 3, on ? 9 : 4, on ? 300 : 640, on ? 200 : 480);
  if (on)
    d.ClearColor(0.1f, 0.2f, 0.3f, 0.4f);
  else
    d.ClearColor(0.6f, 0.5f, 0.4f, 0.9f);
  for (GLuint texture : watched) {
    if (texture == 0 || !d.IsTexture(texture)) continue;
    d.BindTexture(GL_TEXTURE_2D, texture);
    d.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, on ? GL_NEAREST_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST);
    d.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, on ? GL_NEAREST : GL_LINEAR);
    d.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, on ? GL_CLAMP : GL_REPEAT);
    d.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, on ? GL_REPEAT : GL_CLAMP);
  }
  // A fresh texture of its own, bound, that no step has reason to keep.
  GLuint stray = 0;
  d.GenTextures(1, &stray);
  d.BindTexture(GL_TEXTURE_2D, stray);
  while (d.GetError() != GL_NO_ERROR) {
  }
}

namespace {

std::vector<StateRun>* runs = nullptr;
std::vector<GLuint> runWatched;
gl::GlTable real;

void Record(const char* kind) {
  if (!runs) return;
  GlState state = CaptureGlState(runWatched, true);
  if (!runs->empty() && runs->back().Kind == kind && runs->back().State == state) {
    ++runs->back().Count;
    return;
  }
  runs->push_back(StateRun{kind, std::move(state), 1});
}

void End() {
  real.glEnd();
  Record("draw");
}

void CopyTexImage2D(GLenum target, GLint level, GLenum internal, GLint x, GLint y, GLsizei w, GLsizei h,
                    GLint border) {
  real.glCopyTexImage2D(target, level, internal, x, y, w, h, border);
  Record("copy");
}

std::vector<StateRun> logged;

}  // namespace

DrawLog::DrawLog(std::vector<GLuint> watched) : saved_(gl::SaveGlTable()) {
  real = saved_;
  runWatched = std::move(watched);
  logged.clear();
  runs = &logged;
  gl::glEnd = End;
  gl::glCopyTexImage2D = CopyTexImage2D;
}

DrawLog::~DrawLog() {
  gl::RestoreGlTable(saved_);
  runs = nullptr;
}

const std::vector<StateRun>& DrawLog::Runs() const { return logged; }

::testing::AssertionResult RunsMatch(const std::vector<StateRun>& actual, const GlState& before,
                                     const std::vector<RunExpect>& expected) {
  std::ostringstream wrong;
  if (actual.size() != expected.size()) {
    wrong << "\n  " << actual.size() << " runs of primitives, expected " << expected.size();
    // What each run changed against the starting state, to tell them apart.
    for (std::size_t i = 0; i < actual.size(); ++i) {
      wrong << "\n  run " << i << ": " << actual[i].Count << " x " << actual[i].Kind << ";";
      for (const auto& [item, value] : actual[i].State) {
        auto found = before.find(item);
        if (found != before.end() && Near(item, value, found->second)) continue;
        wrong << " " << item;
        if (value.size() != 16) wrong << " " << Show(item, value);
        wrong << ";";
      }
    }
  }
  for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
    const StateRun& run = actual[i];
    const RunExpect& want = expected[i];
    if (run.Kind != want.Kind) wrong << "\n  run " << i << " is a " << run.Kind << ", expected a " << want.Kind;
    if (want.Count != 0 && run.Count != want.Count)
      wrong << "\n  run " << i << " has " << run.Count << " primitives, expected " << want.Count;
    auto state = StateMatches(run.State, before, want.Changes);
    if (!state) wrong << "\n  run " << i << ":" << state.message();
  }
  if (wrong.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << wrong.str();
}

void CheckSteps(const std::vector<StepRow>& rows, const std::function<void()>& reset,
                const std::function<std::vector<GLuint>()>& watched) {
  for (const StepRow& row : rows) {
    for (int variant = 0; variant < 2; ++variant) {
      SCOPED_TRACE(row.Name + (variant == 0 ? ", from every enable on" : ", from every enable off"));
      if (reset) reset();
      const std::vector<GLuint> textures = watched ? watched() : std::vector<GLuint>{};
      PoisonGlState(variant, textures);
      if (row.Setup) row.Setup();
      const GlState before = CaptureGlState(textures);
      const StateChanges leaves = row.Leaves ? row.Leaves(before) : StateChanges{};
      const std::vector<RunExpect> expected = row.Runs ? row.Runs(before) : std::vector<RunExpect>{};
      std::vector<StateRun> runs;
      {
        DrawLog log(textures);
        row.Step();
        for (const StateRun& run : log.Runs())
          if (!row.Unseen || !row.Unseen(run)) runs.push_back(run);
      }
      if (row.Runs) {
        EXPECT_TRUE(RunsMatch(runs, before, expected));
      }
      EXPECT_TRUE(StateMatches(CaptureGlState(textures), before, leaves));
      if (row.Check) row.Check();
    }
  }
}

}  // namespace testsupport

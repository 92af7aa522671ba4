#pragma once
// The OpenGL state a drawing step finds, uses and leaves, read back from the
// real context item by item, and the check that a step changed exactly what
// it should: every item it sets holds the value it sets, every other item
// still holds the value it found. Steps run twice, over two opposite starting
// states, so that an item set where it should not be, or not set where it
// should, shows in at least one of them.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/gl.h"

namespace testsupport {

// One item of state as numbers: an enable is {0} or {1}, a matrix its 16
// elements in column-major order.
using StateValue = std::vector<double>;
using GlState = std::map<std::string, StateValue>;
using Matrix = std::vector<double>;

// The enables that matter to the show's drawing and some it never touches,
// the blend, depth and alpha functions, the depth mask, the matrix mode, the
// three matrices and their stack depths, the current colour, the bound 2D
// texture, the viewport, the clear colour, the texture environment, the
// pending OpenGL error, and for each watched texture its filters and wrap
// modes. Read through libGL's own entry points, so that recorders installed
// in the gl table see none of it.
// With boundOnly, only the bound texture's parameters, when it is watched.
GlState CaptureGlState(const std::vector<GLuint>& watched, bool boundOnly = false);

// The matrix that the given calls build on the identity, or on start (they
// run on a scratch modelview matrix; the current state is left as it was).
Matrix MatrixOf(const std::function<void()>& build);
Matrix MatrixOf(const Matrix& start, const std::function<void()>& build);
Matrix IdentityMatrix();

// What a step sets. Items not named must come through unchanged.
class StateChanges {
 public:
  StateChanges& Enable(GLenum cap);
  StateChanges& Disable(GLenum cap);
  StateChanges& BlendFunc(GLenum source, GLenum destination);
  StateChanges& DepthFunc(GLenum func);
  StateChanges& DepthMask(bool write);
  StateChanges& AlphaFunc(GLenum func, float reference);
  StateChanges& MatrixMode(GLenum mode);
  StateChanges& Modelview(const Matrix& m);
  StateChanges& Projection(const Matrix& m);
  StateChanges& TextureMatrix(const Matrix& m);
  StateChanges& Colour(float r, float g, float b, float a = 1.0f);
  StateChanges& Bound(GLuint texture);
  StateChanges& Viewport(int x, int y, int width, int height);
  StateChanges& ClearColour(float r, float g, float b, float a);
  StateChanges& Filters(GLuint texture, GLenum min, GLenum mag);
  StateChanges& Wrap(GLuint texture, GLenum s, GLenum t);
  // The modelview stack one level deeper than before (inside a push).
  StateChanges& ModelviewPushed(const GlState& before);
  // An item by its captured name, for what the calls above do not cover.
  StateChanges& Set(const std::string& item, StateValue value);
  // An item the check leaves out, where any value gives the same pictures.
  StateChanges& Ignore(const std::string& item);
  StateChanges& IgnoreFilters(GLuint texture);
  const GlState& Items() const { return items_; }
  bool Ignored(const std::string& item) const;

 private:
  GlState items_;
  std::vector<std::string> ignored_;
};

// Success when every item of actual equals the value changes sets for it,
// or else its value in before; the message lists every item that does not.
::testing::AssertionResult StateMatches(const GlState& actual, const GlState& before, const StateChanges& changes);

// Puts every captured item (the watched textures' parameters included) in
// one of two starting states that differ in every item: variant 0 has every
// enable on, variant 1 every enable off, and so on for the rest.
void PoisonGlState(int variant, const std::vector<GLuint>& watched);

// While alive, the state right after every glEnd and every
// glCopyTexImage2D: what each primitive was drawn, or each copy made, with
// (of the watched textures, the parameters of the bound one).
// Consecutive records of the same kind and state are kept as one run.
struct StateRun {
  std::string Kind;  // "draw" or "copy"
  GlState State;
  int Count = 0;
};

class DrawLog {
 public:
  explicit DrawLog(std::vector<GLuint> watched);
  ~DrawLog();
  DrawLog(const DrawLog&) = delete;
  DrawLog& operator=(const DrawLog&) = delete;
  const std::vector<StateRun>& Runs() const;

 private:
  gl::GlTable saved_;
};

// One expected run: the kind, the state relative to what the step found,
// and how many primitives (0: any number, at least one).
struct RunExpect {
  StateChanges Changes;
  int Count = 0;
  std::string Kind = "draw";
};

::testing::AssertionResult RunsMatch(const std::vector<StateRun>& runs, const GlState& before,
                                     const std::vector<RunExpect>& expected);

// One drawing step of a state table. Setup does what the step's caller does
// before it (binds a picture, sets a texture matrix); Runs, when given, is
// the state of each run of primitives the step draws, and Leaves what the
// step leaves, both relative to the state the step found.
struct StepRow {
  std::string Name;
  std::function<void()> Setup;
  std::function<void()> Step;
  std::function<std::vector<RunExpect>(const GlState& before)> Runs;
  std::function<StateChanges(const GlState& before)> Leaves;
  // Module data the step should leave, checked after each run of the row.
  std::function<void()> Check = nullptr;
  // Runs left out of the comparison because they add nothing to the picture.
  std::function<bool(const StateRun&)> Unseen = nullptr;
};

// Runs every row from both starting states: reset (the fixture's data back
// to its start), the starting state, Setup, then the step under a DrawLog,
// and checks its runs and the state it leaves. Watched lists the textures
// whose parameters are captured.
void CheckSteps(const std::vector<StepRow>& rows, const std::function<void()>& reset,
                const std::function<std::vector<GLuint>()>& watched);

}  // namespace testsupport

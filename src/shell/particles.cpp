#include "shell/particles.h"

#include <cstdlib>
#include <new>

#include "platform/files.h"
#include "platform/gl.h"
#include "platform/random.h"
#include "shell/show_assets.h"

namespace shell {

Particle* ParticleHead = nullptr;
Particle* ParticleTail = nullptr;
Particle* ParticleCursor = nullptr;

namespace {
// The emitter is the flight scene's second object.
constexpr int kEmitterObject = 1;
constexpr float kStartY = -10000.0f;
constexpr float kRiseSpeed = 40.0f;

Particle* NewRecord() {
  // An exhausted heap ends the program with the unhandled-error report.
  return new (platform::AllocateOrDie(sizeof(Particle))) Particle{};
}
}  // namespace

void CreateParticleList() {
  ParticleHead = NewRecord();
  ParticleTail = ParticleHead;
  ParticleCursor = nullptr;
  const Vec3 origin{0, 0, 0};
  AddParticle(0, 0, 0, 0, 0.01f, 0, 1, 1, 1, 1, origin, origin);
}

void RestartParticleList() {
  for (Particle* p = ParticleHead; p;) {
    Particle* next = p->Next;
    std::free(p);
    p = next;
  }
  CreateParticleList();
}

void AddParticle(float x, float y, float z, float vx, float vy, float vz, float red, float green, float blue,
                 float alpha, const Vec3& refEye, const Vec3& refTarget) {
  Particle* p = NewRecord();
  ParticleTail->Next = p;
  p->Prev = ParticleTail;
  p->Next = nullptr;
  ParticleTail = p;
  VecSet(p->Pos, x, y, z);
  VecSet(p->Vel, vx, vy, vz);
  p->Colour[0] = red;
  p->Colour[1] = green;
  p->Colour[2] = blue;
  p->Colour[3] = alpha;
  p->RefEye = refEye;
  p->RefTarget = refTarget;
}

void RemoveParticle() {
  Particle* c = ParticleCursor;
  if (!c) return;
  if (c->Prev) {
    c->Prev->Next = c->Next;
  } else {
    ParticleHead = c->Next;
  }
  if (c->Next) {
    c->Next->Prev = c->Prev;
  } else {
    ParticleTail = c->Prev;
  }
  ParticleCursor = c->Prev ? c->Prev : c->Next;
  c->~Particle();
  std::free(c);
}

void EmitParticles(const Vec3& eye, const Vec3& target) {
  if (FlightScene.Objects.size() <= static_cast<std::size_t>(kEmitterObject)) return;
  const scene::SceneObject& emitter = FlightScene.Objects[kEmitterObject];
  std::int32_t n = emitter.VertexCount;
  if (static_cast<std::size_t>(n > 0 ? n : 0) > emitter.Vertex.size()) {
    n = static_cast<std::int32_t>(emitter.Vertex.size());
  }
  for (std::int32_t i = n / 2; i <= n / 2 + 2; ++i) {
    if (i >= n) continue;
    const scene::Vec3f& v = emitter.Vertex[static_cast<std::size_t>(i)];
    const float dz = static_cast<float>(platform::Random(200));
    const float dx = static_cast<float>(platform::Random(200));
    AddParticle(v.X + dx - 100, kStartY, v.Z + dz - 100, 0, kRiseSpeed, 0, 1, 1, 1, 1, eye, target);
  }
}

void DrawParticles(const Vec3& eye, const Vec3& target) {
  if (!ParticleHead) return;
  gl::glMatrixMode(GL_PROJECTION);
  gl::glLoadIdentity();
  gl::gluPerspective(static_cast<double>(FlightScene.FieldOfView) * 180.0 / 3.14159265358979323846,
                     4.0 / 3.0, 0.1, 10000.0);
  gl::glScalef(0.05f, 0.05f, 0.05f);
  gl::gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, 0, 0, 1);
  gl::glMatrixMode(GL_MODELVIEW);
  gl::glLoadIdentity();

  Vec3 d, right, up;
  VecSub(d, eye, target);
  VecCross(right, d, Vec3{0, 1, 0});
  VecCross(up, right, d);
  VecNormalize(right);
  VecNormalize(up);
  VecScale(right, ParticleSize);
  VecScale(up, ParticleSize);

  gl::glEnable(GL_TEXTURE_2D);
  gl::glDepthMask(GL_FALSE);
  gl::glEnable(GL_BLEND);
  gl::glBlendFunc(GL_ONE, GL_ONE);
  gl::glDisable(GL_DEPTH_TEST);
  gl::glColor3f(1, 1, 1);
  gl::glBindTexture(GL_TEXTURE_2D, HundTexture);

  ParticleCursor = ParticleHead;
  while (ParticleCursor->Next) {
    ParticleCursor = ParticleCursor->Next;
    Particle& p = *ParticleCursor;
    const Vec3 pos = p.Pos;
    gl::glBegin(GL_QUADS);
    gl::glTexCoord2f(0, 0);
    gl::glVertex3f(pos.x - right.x, pos.y - right.y, pos.z - right.z);
    gl::glTexCoord2f(1, 0);
    gl::glVertex3f(pos.x - up.x, pos.y - up.y, pos.z - up.z);
    gl::glTexCoord2f(1, 1);
    gl::glVertex3f(pos.x + right.x, pos.y + right.y, pos.z + right.z);
    gl::glTexCoord2f(0, 1);
    gl::glVertex3f(pos.x + up.x, pos.y + up.y, pos.z + up.z);
    gl::glEnd();
    p.Pos.x += p.Vel.x;
    p.Pos.y += p.Vel.y;
    p.Pos.z += p.Vel.z;
    if (p.Pos.y > 0) RemoveParticle();
  }
}

int CountParticles() {
  int count = 0;
  for (const Particle* p = ParticleHead ? ParticleHead->Next : nullptr; p; p = p->Next) ++count;
  return count;
}

}  // namespace shell

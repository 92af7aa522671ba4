#pragma once
// The particle stream of the flight: a doubly linked list of heap records
// behind a head record that is never drawn, fed three particles a frame near
// the vertices of the flight scene's emitter object and drawn as
// camera-facing squares.
#include "shell/vec.h"

namespace shell {

struct Particle {
  Vec3 Pos;
  Vec3 RefEye;     // camera eye at emission; carried only
  Vec3 RefTarget;  // camera target at emission; carried only
  float Colour[4];
  Vec3 Vel;
  Particle* Next;
  Particle* Prev;
};

// Centre to corner of a particle's square, in scene units.
inline constexpr float ParticleSize = 24.0f;

extern Particle* ParticleHead;
extern Particle* ParticleTail;
extern Particle* ParticleCursor;

// The head record and one first particle at the origin, which the first pass
// draws once and retires.
void CreateParticleList();
// Frees every record, the head too, and starts the list again as
// CreateParticleList does: the stream visibly restarts after a seek.
void RestartParticleList();
void AddParticle(float x, float y, float z, float vx, float vy, float vz, float red, float green, float blue,
                 float alpha, const Vec3& refEye, const Vec3& refTarget);
// Removes the record at ParticleCursor; the cursor moves back one record so
// that a pass goes on with the record that followed.
void RemoveParticle();
void EmitParticles(const Vec3& eye, const Vec3& target);
void DrawParticles(const Vec3& eye, const Vec3& target);

// The records after the head record (for the capture tool and the tests).
int CountParticles();

}  // namespace shell

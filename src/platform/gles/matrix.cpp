#include "platform/gles/matrix.h"

#include <cmath>

namespace platform::gles {

namespace {
constexpr double kPi = 3.14159265358979323846;

float& At(Matrix& m, int row, int column) { return m.m[column * 4 + row]; }
float At(const Matrix& m, int row, int column) { return m.m[column * 4 + row]; }

void MultiplyBy(Matrix& m, const Matrix& by) { m = Multiply(m, by); }

// GLU normalises in single precision and leaves a zero vector as it is.
void Normalise(float v[3]) {
  const float r = static_cast<float>(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
  if (r == 0.0f) return;
  v[0] /= r;
  v[1] /= r;
  v[2] /= r;
}

void Cross(const float a[3], const float b[3], float out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}
}  // namespace

Matrix IdentityMatrix() {
  Matrix m{};
  m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
  return m;
}

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix p;
  for (int row = 0; row < 4; ++row) {
    const float a0 = At(a, row, 0), a1 = At(a, row, 1), a2 = At(a, row, 2), a3 = At(a, row, 3);
    for (int column = 0; column < 4; ++column) {
      At(p, row, column) =
          a0 * At(b, 0, column) + a1 * At(b, 1, column) + a2 * At(b, 2, column) + a3 * At(b, 3, column);
    }
  }
  return p;
}

void Translate(Matrix& m, float x, float y, float z) {
  for (int row = 0; row < 4; ++row) {
    At(m, row, 3) = At(m, row, 0) * x + At(m, row, 1) * y + At(m, row, 2) * z + At(m, row, 3);
  }
}

void Scale(Matrix& m, float x, float y, float z) {
  for (int row = 0; row < 4; ++row) {
    At(m, row, 0) *= x;
    At(m, row, 1) *= y;
    At(m, row, 2) *= z;
  }
}

void Rotate(Matrix& m, float degrees, float x, float y, float z) {
  const float s = static_cast<float>(std::sin(degrees * kPi / 180.0));
  const float c = static_cast<float>(std::cos(degrees * kPi / 180.0));
  Matrix r = IdentityMatrix();
  // A rotation about one axis is built exactly: its zeros stay zeros.
  if (x == 0.0f && y == 0.0f && z != 0.0f) {
    if (z < 0.0f) {
      At(r, 0, 0) = c, At(r, 1, 1) = c, At(r, 0, 1) = s, At(r, 1, 0) = -s;
    } else {
      At(r, 0, 0) = c, At(r, 1, 1) = c, At(r, 0, 1) = -s, At(r, 1, 0) = s;
    }
  } else if (x == 0.0f && z == 0.0f && y != 0.0f) {
    if (y < 0.0f) {
      At(r, 0, 0) = c, At(r, 2, 2) = c, At(r, 0, 2) = -s, At(r, 2, 0) = s;
    } else {
      At(r, 0, 0) = c, At(r, 2, 2) = c, At(r, 0, 2) = s, At(r, 2, 0) = -s;
    }
  } else if (y == 0.0f && z == 0.0f && x != 0.0f) {
    if (x < 0.0f) {
      At(r, 1, 1) = c, At(r, 2, 2) = c, At(r, 1, 2) = s, At(r, 2, 1) = -s;
    } else {
      At(r, 1, 1) = c, At(r, 2, 2) = c, At(r, 1, 2) = -s, At(r, 2, 1) = s;
    }
  } else {
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length <= 1.0e-4f) return;  // no axis: GL leaves the matrix as it is
    x /= length, y /= length, z /= length;
    const float xx = x * x, yy = y * y, zz = z * z, xy = x * y, yz = y * z, zx = z * x;
    const float xs = x * s, ys = y * s, zs = z * s, oneC = 1.0f - c;
    At(r, 0, 0) = (oneC * xx) + c, At(r, 0, 1) = (oneC * xy) - zs, At(r, 0, 2) = (oneC * zx) + ys;
    At(r, 1, 0) = (oneC * xy) + zs, At(r, 1, 1) = (oneC * yy) + c, At(r, 1, 2) = (oneC * yz) - xs;
    At(r, 2, 0) = (oneC * zx) - ys, At(r, 2, 1) = (oneC * yz) + xs, At(r, 2, 2) = (oneC * zz) + c;
  }
  MultiplyBy(m, r);
}

void Ortho(Matrix& m, double left, double right, double bottom, double top, double zNear, double zFar) {
  // GL takes the bounds as doubles and works in single precision.
  const float l = static_cast<float>(left), r = static_cast<float>(right);
  const float b = static_cast<float>(bottom), t = static_cast<float>(top);
  const float n = static_cast<float>(zNear), f = static_cast<float>(zFar);
  Matrix o = IdentityMatrix();
  At(o, 0, 0) = 2.0f / (r - l);
  At(o, 0, 3) = -(r + l) / (r - l);
  At(o, 1, 1) = 2.0f / (t - b);
  At(o, 1, 3) = -(t + b) / (t - b);
  At(o, 2, 2) = -2.0f / (f - n);
  At(o, 2, 3) = -(f + n) / (f - n);
  MultiplyBy(m, o);
}

void Perspective(Matrix& m, double fovy, double aspect, double zNear, double zFar) {
  const double radians = fovy / 2 * kPi / 180;
  const double deltaZ = zFar - zNear;
  const double sine = std::sin(radians);
  if (deltaZ == 0 || sine == 0 || aspect == 0) return;
  const double cotangent = std::cos(radians) / sine;
  Matrix p = IdentityMatrix();
  At(p, 0, 0) = static_cast<float>(cotangent / aspect);
  At(p, 1, 1) = static_cast<float>(cotangent);
  At(p, 2, 2) = static_cast<float>(-(zFar + zNear) / deltaZ);
  At(p, 3, 2) = -1.0f;
  At(p, 2, 3) = static_cast<float>(-2 * zNear * zFar / deltaZ);
  At(p, 3, 3) = 0.0f;
  MultiplyBy(m, p);
}

void LookAt(Matrix& m, double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ,
            double upX, double upY, double upZ) {
  float forward[3] = {static_cast<float>(centreX - eyeX), static_cast<float>(centreY - eyeY),
                      static_cast<float>(centreZ - eyeZ)};
  float up[3] = {static_cast<float>(upX), static_cast<float>(upY), static_cast<float>(upZ)};
  float side[3];
  Normalise(forward);
  Cross(forward, up, side);
  Normalise(side);
  Cross(side, forward, up);
  Matrix v = IdentityMatrix();
  for (int i = 0; i < 3; ++i) {
    At(v, 0, i) = side[i];
    At(v, 1, i) = up[i];
    At(v, 2, i) = -forward[i];
  }
  MultiplyBy(m, v);
  Translate(m, static_cast<float>(-eyeX), static_cast<float>(-eyeY), static_cast<float>(-eyeZ));
}

}  // namespace platform::gles

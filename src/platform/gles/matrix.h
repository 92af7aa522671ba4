#pragma once
// 4 x 4 float matrices stored by columns as GL stores them, and the matrix
// operations of GL and GLU computed the way they are computed by GL itself:
// in single precision, each product summed in the same order, GLU's matrices
// made in double (gluPerspective) or single precision (gluLookAt) and then
// rounded to float, so that a matrix read back matches the system's.
// Private to the layer.

namespace platform::gles {

struct Matrix {
  float m[16];  // column by column: m[column * 4 + row]
  bool operator==(const Matrix&) const = default;
};

Matrix IdentityMatrix();
// a * b: b applied first.
Matrix Multiply(const Matrix& a, const Matrix& b);

// Each of these right-multiplies m by the operation's matrix, as the GL call
// of the same name does to the current matrix.
void Translate(Matrix& m, float x, float y, float z);
void Scale(Matrix& m, float x, float y, float z);
void Rotate(Matrix& m, float degrees, float x, float y, float z);
void Ortho(Matrix& m, double left, double right, double bottom, double top, double zNear, double zFar);
void Perspective(Matrix& m, double fovy, double aspect, double zNear, double zFar);
void LookAt(Matrix& m, double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ,
            double upX, double upY, double upZ);

}  // namespace platform::gles

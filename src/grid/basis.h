#pragma once
// Polynomial interpolation basis in grid coordinates.
//
// Given L points at relative coordinates (dx, dy, dz) (point minus target,
// so the target sits at the origin), the monomials up to the full quadratic
// are made orthonormal over the points by classical Gram-Schmidt with a
// re-orthogonalisation step, term by term in the order of buildBasisTerms.
// Each basis function m is generated from its parent functions (the terms
// with one exponent less) multiplied by dx, dy or dz, which keeps the process
// well conditioned. Evaluating the basis at the target gives weights w_p with
// sum_p w_p f(p) = f(target) for every f in the span of the first L terms;
// with ten points and ten independent terms every quadratic is reproduced.

#include <vector>

namespace brelvik {

struct BasisTerm {
  int ex = 0, ey = 0, ez = 0;                     // exponents of the leading monomial
  int parent_x = -1, parent_y = -1, parent_z = -1;  // term with one exponent less (if > 0)
  int independent = 0;                            // 0: dropped as dependent
  double norm = 0;                                // norm before normalisation (0 if dropped)
  double rawNorm = 0;  // norm of the orthogonalised function, kept also for a dropped term
  std::vector<double> coefficients;               // Gram-Schmidt coefficients on terms 0..m-1
};

// Largest number of points/terms the basis works with (full cubic).
constexpr int kMaxBasisSize = 20;

// The (degree+1)(degree+2)(degree+3)/6 terms in order of total degree d, then
// ex = 0..d, then ey = 0..d-ex (ez = d-ex-ey). Degree 2 gives (0,0,0),
// (0,0,1), (0,1,0), (1,0,0), (0,0,2), (0,1,1), (0,2,0), (1,0,1), (1,1,0), (2,0,0).
std::vector<BasisTerm> buildBasisTerms(int degree);

struct BasisStatus {
  int complete = 0;  // 1 when all L terms are independent
  int dropped = 0;   // number of dependent terms dropped
};

// Orthonormal basis of the first L terms over the L points; basis is an
// L x L row-major matrix (row m: basis function m at the points).
BasisStatus buildBasis(const double* dx, const double* dy, const double* dz,
                       std::vector<BasisTerm>& terms, double* basis, int L);

// The L weights of the point (x, y, z) (relative coordinates) for the basis
// last built by buildBasis. Dropped terms contribute nothing; the weights are
// meaningful only for a complete basis.
void basisWeights(double* weights, const std::vector<BasisTerm>& terms, const double* basis, int L,
                  double x, double y, double z);

// Solves A x = b (A symmetric positive definite, n x n row-major) by
// conjugate gradients from the given x, until the largest residual component
// is at most 1e-8. The loop is capped at kConjugateGradientCap iterations;
// if it stops without converging (cap, breakdown or a non-finite step) x is
// the iterate with the smallest residual seen, starting x included. Returns
// the largest residual component of the returned x.
constexpr int kConjugateGradientCap = 200;
double solveConjugateGradient(int n, const double* A, double* x, const double* b);

// Vector helpers on arrays of doubles.
double dot(int n, const double* a, const double* b);
double norm2(int n, const double* a);                 // sqrt(sum a^2)
void matVec(double* out, const double* A, const double* x, int n);  // out = A x
void combine(double* out, double c, const double* x, double d, const double* y, int n);  // c x + d y
void copyVector(double* out, const double* a, int n);
double maxAbs(int n, const double* a);
double minValue(int n, const double* a);

}  // namespace brelvik

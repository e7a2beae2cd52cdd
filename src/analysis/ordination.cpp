#include "analysis/ordination.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>

namespace ramovia {

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

std::string cellName(const DistanceTable& d, int32_t i, int32_t j) {
  return "row " + std::to_string(i + 1) + ", column " + std::to_string(j + 1) + " (" +
         d.names[static_cast<std::size_t>(i)] + " and " + d.names[static_cast<std::size_t>(j)] + ")";
}

// Gower's centring of a(i, j) = factor · f(d(i, j)).
Eigen::MatrixXd centred(const Eigen::MatrixXd& a) {
  const Eigen::Index n = a.rows();
  const Eigen::VectorXd rowMean = a.rowwise().mean();
  const double grand = rowMean.mean();
  Eigen::MatrixXd b(n, n);
  for (Eigen::Index j = 0; j < n; ++j)
    for (Eigen::Index i = 0; i < n; ++i) b(i, j) = a(i, j) - rowMean(i) - rowMean(j) + grand;
  return b;
}

Eigen::MatrixXd gower(const Eigen::MatrixXd& d) { return centred(-0.5 * d.cwiseProduct(d)); }

// The symmetric tridiagonal matrix (diagonal a, off-diagonal b) less sigma on the diagonal,
// factored with partial pivoting, so that a vector's solve is linear in n.
class TridiagonalSolver {
 public:
  TridiagonalSolver(const Eigen::VectorXd& a, const Eigen::VectorXd& b, double sigma, double tiny)
      : n_(a.size()), d_(a.array() - sigma), dl_(b), du_(b), du2_(std::max<Eigen::Index>(n_ - 2, 0)),
        pivot_(static_cast<std::size_t>(std::max<Eigen::Index>(n_ - 1, 0))) {
    du2_.setZero();
    for (Eigen::Index i = 0; i + 1 < n_; ++i) {
      if (std::fabs(d_(i)) >= std::fabs(dl_(i))) {
        if (d_(i) == 0) d_(i) = tiny;
        const double f = dl_(i) / d_(i);
        dl_(i) = f;
        d_(i + 1) -= f * du_(i);
        pivot_[static_cast<std::size_t>(i)] = false;
      } else {
        const double f = d_(i) / dl_(i);
        d_(i) = dl_(i);
        dl_(i) = f;
        const double t = du_(i);
        du_(i) = d_(i + 1);
        d_(i + 1) = t - f * d_(i + 1);
        if (i + 2 < n_) {
          du2_(i) = du_(i + 1);
          du_(i + 1) = -f * du_(i + 1);
        }
        pivot_[static_cast<std::size_t>(i)] = true;
      }
    }
    for (Eigen::Index i = 0; i < n_; ++i)
      if (d_(i) == 0) d_(i) = tiny;
  }
  void solve(Eigen::VectorXd& x) const {
    for (Eigen::Index i = 0; i + 1 < n_; ++i) {
      if (pivot_[static_cast<std::size_t>(i)]) std::swap(x(i), x(i + 1));
      x(i + 1) -= dl_(i) * x(i);
    }
    x(n_ - 1) /= d_(n_ - 1);
    if (n_ > 1) x(n_ - 2) = (x(n_ - 2) - du_(n_ - 2) * x(n_ - 1)) / d_(n_ - 2);
    for (Eigen::Index i = n_ - 3; i >= 0; --i)
      x(i) = (x(i) - du_(i) * x(i + 1) - du2_(i) * x(i + 2)) / d_(i);
  }

 private:
  Eigen::Index n_;
  Eigen::VectorXd d_, dl_, du_, du2_;
  std::vector<bool> pivot_;
};

// Eigenvectors of the tridiagonal matrix for the given eigenvalues (largest first) by inverse
// iteration; vectors of close eigenvalues are kept orthogonal to each other.
Eigen::MatrixXd tridiagonalVectors(const Eigen::VectorXd& a, const Eigen::VectorXd& b,
                                   const std::vector<double>& values) {
  const Eigen::Index n = a.size();
  const auto k = static_cast<Eigen::Index>(values.size());
  double norm = 0;
  for (Eigen::Index i = 0; i < n; ++i)
    norm = std::max(norm, std::fabs(a(i)) + (i > 0 ? std::fabs(b(i - 1)) : 0.0) +
                              (i + 1 < n ? std::fabs(b(i)) : 0.0));
  if (norm == 0) norm = 1;
  const double close = 1e-3 * norm, step = 10 * kEps * norm;
  Eigen::MatrixXd z(n, k);
  Eigen::Index clusterStart = 0;
  double previous = 0;
  for (Eigen::Index j = 0; j < k; ++j) {
    double sigma = values[static_cast<std::size_t>(j)];
    if (j > 0 && values[static_cast<std::size_t>(j - 1)] - sigma > close) clusterStart = j;
    if (j > 0 && previous - sigma < step) sigma = previous - step;
    previous = sigma;
    const TridiagonalSolver solver(a, b, sigma, kEps * norm);
    Eigen::VectorXd x(n);
    for (Eigen::Index i = 0; i < n; ++i) x(i) = 0.5 + std::fmod(0.6180339887498949 * double(i + 1), 1.0);
    for (int iteration = 0; iteration < 5; ++iteration) {
      solver.solve(x);
      for (Eigen::Index m = clusterStart; m < j; ++m) x -= z.col(m).dot(x) * z.col(m);
      x /= x.norm();
    }
    z.col(j) = x;
  }
  return z;
}

// All eigenvalues, ascending.
Eigen::VectorXd eigenvaluesOf(const Eigen::MatrixXd& b) {
  Eigen::Tridiagonalization<Eigen::MatrixXd> tri(b);
  Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> s;
  s.computeFromTridiagonal(tri.diagonal(), tri.subDiagonal(), Eigen::EigenvaluesOnly);
  return s.eigenvalues();
}

}  // namespace

const char* correctionKeyword(PcoaCorrection c) {
  switch (c) {
    case PcoaCorrection::Lingoes: return "lingoes";
    case PcoaCorrection::Cailliez: return "cailliez";
    case PcoaCorrection::None: break;
  }
  return "none";
}

void checkDistances(const DistanceTable& d, const std::string& what) {
  const int32_t n = d.size();
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) {
      if (i == j) continue;
      if (!std::isfinite(d(i, j)))
        throw ComparisonError(what + ": " + cellName(d, i, j) + " is not a finite number.");
      if (j < i && d(i, j) != d(j, i))
        throw ComparisonError(what + ": " + cellName(d, i, j) +
                              " differs from its mirror cell; the matrix must be symmetric.");
    }
}

PcoaResult principalCoordinates(const DistanceTable& table, PcoaCorrection correction,
                                int32_t maxAxes) {
  const int32_t n = table.size();
  if (n < 3)
    throw ComparisonError("Principal coordinates need three taxa or more; the matrix has " +
                          std::to_string(n) + ".");
  checkDistances(table, "Principal coordinates");
  Eigen::MatrixXd d(n, n);
  for (int32_t j = 0; j < n; ++j)
    for (int32_t i = 0; i < n; ++i) d(i, j) = i == j ? 0.0 : table(i, j);

  PcoaResult r;
  r.correction = correction;
  Eigen::MatrixXd b = gower(d);
  if (correction == PcoaCorrection::Lingoes) {
    const double smallest = eigenvaluesOf(b)(0);
    if (smallest < 0) {
      r.constant = std::fabs(smallest);
      for (int32_t j = 0; j < n; ++j)
        for (int32_t i = 0; i < n; ++i)
          if (i != j) d(i, j) = std::sqrt(d(i, j) * d(i, j) + 2 * r.constant);
      b = gower(d);
    }
  } else if (correction == PcoaCorrection::Cailliez) {
    Eigen::MatrixXd m = Eigen::MatrixXd::Zero(2 * n, 2 * n);
    m.topRightCorner(n, n) = 2 * b;
    m.bottomLeftCorner(n, n) = -Eigen::MatrixXd::Identity(n, n);
    m.bottomRightCorner(n, n) = -4 * centred(-0.5 * d);
    const Eigen::EigenSolver<Eigen::MatrixXd> es(m, false);
    r.constant = es.eigenvalues().real().maxCoeff();
    for (int32_t j = 0; j < n; ++j)
      for (int32_t i = 0; i < n; ++i)
        if (i != j) d(i, j) += r.constant;
    b = gower(d);
  }

  Eigen::Tridiagonalization<Eigen::MatrixXd> tri(b);
  const Eigen::VectorXd diagonal = tri.diagonal();
  const Eigen::VectorXd sub = tri.subDiagonal();
  Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> s;
  s.computeFromTridiagonal(diagonal, sub, Eigen::EigenvaluesOnly);
  const Eigen::VectorXd ascending = s.eigenvalues();
  r.eigenvalues.assign(ascending.data(), ascending.data() + n);
  std::reverse(r.eigenvalues.begin(), r.eigenvalues.end());
  double trace = 0, magnitude = 0;
  for (const double v : r.eigenvalues) {
    trace += v;
    magnitude += std::fabs(v);
  }
  for (const double v : r.eigenvalues) {
    r.explained.push_back(trace != 0 ? v / trace : 0.0);
    if (v < -10 * kEps * magnitude) ++r.negativeCount;
  }
  const double positive = std::sqrt(kEps) * std::max(r.eigenvalues.front(), 0.0);
  std::vector<double> chosen;
  for (const double v : r.eigenvalues) {
    if (!(v > positive) || (maxAxes > 0 && static_cast<int32_t>(chosen.size()) == maxAxes)) break;
    chosen.push_back(v);
  }
  r.axes = static_cast<int32_t>(chosen.size());
  r.coordinates.assign(static_cast<std::size_t>(n), std::vector<double>(chosen.size()));
  if (chosen.empty()) return r;
  const Eigen::MatrixXd v = tri.matrixQ() * tridiagonalVectors(diagonal, sub, chosen);
  for (Eigen::Index k = 0; k < v.cols(); ++k) {
    Eigen::Index top = 0;
    for (Eigen::Index i = 1; i < n; ++i)
      if (std::fabs(v(i, k)) > std::fabs(v(top, k))) top = i;
    const double scale = std::sqrt(chosen[static_cast<std::size_t>(k)]) * (v(top, k) < 0 ? -1.0 : 1.0);
    for (int32_t i = 0; i < n; ++i)
      r.coordinates[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)] = v(i, k) * scale;
  }
  return r;
}

}  // namespace ramovia

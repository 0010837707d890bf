// Deterministic randomness for the generator. Every random quantity is a pure
// function of the seed and of what it describes (time, satellite, signal,
// purpose), so that adding or removing one kind of content never changes the
// values of another and the output depends on the seed alone.
#pragma once

#include <cmath>
#include <cstdint>

namespace kavrino::qdxgen {

inline uint64_t SplitMix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// Mixes up to five keys into one 64-bit hash.
inline uint64_t HashKeys(uint64_t seed, uint64_t a, uint64_t b = 0, uint64_t c = 0,
                         uint64_t d = 0) {
  uint64_t h = SplitMix64(seed ^ 0x5851F42D4C957F2DULL);
  h = SplitMix64(h ^ a);
  h = SplitMix64(h ^ (b + 0x1000193ULL));
  h = SplitMix64(h ^ (c + 0x2000387ULL));
  return SplitMix64(h ^ (d + 0x30005A1ULL));
}

// Uniform in [0, 1) from a hash.
inline double HashUniform(uint64_t h) {
  return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
}

// Standard normal value from a hash (Box-Muller on two derived uniforms).
inline double HashGaussian(uint64_t h) {
  double u1 = HashUniform(SplitMix64(h ^ 0xA5A5A5A5ULL));
  double u2 = HashUniform(SplitMix64(h ^ 0x5A5A5A5AULL));
  if (u1 < 1e-300) u1 = 1e-300;
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
}

// A sequential stream, for places where values are drawn in a fixed order.
struct Rng {
  uint64_t state;
  explicit Rng(uint64_t seed) : state(seed) {}
  uint64_t Next() {
    state += 0x9E3779B97F4A7C15ULL;
    return SplitMix64(state);
  }
  double Uniform() { return HashUniform(Next()); }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
  int Int(int lo, int hi) {  // inclusive
    return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1));
  }
  double Gaussian() { return HashGaussian(Next()); }
};

// Purposes, mixed into hashes so that independent quantities never collide.
enum RandomPurpose : uint64_t {
  RND_ORBIT = 1,
  RND_CLOCK,
  RND_CODE_NOISE,
  RND_PHASE_NOISE,
  RND_DOPPLER_NOISE,
  RND_CN0_NOISE,
  RND_SLIP,
  RND_AMBIGUITY,
  RND_SIGNAL_AVAILABLE,
  RND_SBAS_BITS,
  RND_SBAS_CRC,
  RND_DAMAGE,
  RND_WEATHER,
  RND_RECEIVER,
};

}  // namespace kavrino::qdxgen

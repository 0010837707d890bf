#include "rinex/format.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "core/satellites.h"

namespace kavrino {
namespace {

constexpr uint64_t kPow10[] = {1ULL,      10ULL,      100ULL,      1000ULL,      10000ULL,
                               100000ULL, 1000000ULL, 10000000ULL, 100000000ULL, 1000000000ULL};
constexpr int kFastMaxPrecision = 9;

// "00" "01" ... "99": two decimal digits per table entry.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

int Clamp(int v, int lo, int hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// Stores `text` right-aligned in `width` (padding with `pad`), keeping at most
// `capacity` characters; returns the full length. A sign in front of zero
// padding goes before the zeros, as printf puts it.
size_t Place(char* out, size_t capacity, const char* text, size_t len, int width, char pad) {
  const size_t total = len < static_cast<size_t>(width) ? static_cast<size_t>(width) : len;
  if (total <= capacity && !(pad == '0' && len > 0 && text[0] == '-')) {
    const size_t fill = total - len;
    std::memset(out, pad, fill);
    std::memcpy(out + fill, text, len);
    return total;
  }
  size_t fill = total - len;
  size_t pos = 0;
  auto put = [&](char c) {
    if (pos < capacity) out[pos] = c;
    ++pos;
  };
  size_t start = 0;
  if (pad == '0' && len > 0 && text[0] == '-') {
    put('-');
    start = 1;
  }
  for (size_t i = 0; i < fill; ++i) put(pad);
  for (size_t i = start; i < len; ++i) put(text[i]);
  return total;
}

// Writes the magnitude of a finite value with `precision` decimals using exact
// integer arithmetic: value = m * 2^e, rounded to n / 10^precision with ties to
// even. Returns the end of the text, or nullptr when the value is out of the
// range this routine handles.
char* FixedMagnitudeFast(char* p, double value, int precision) {
  if (precision > kFastMaxPrecision) return nullptr;
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  uint64_t fraction = bits & ((1ULL << 52) - 1);
  int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = biased == 0 ? fraction : (fraction | (1ULL << 52));
  int exponent = (biased == 0 ? 1 : biased) - 1075;

  // mantissa < 2^53 and 10^9 < 2^30: the product stays below 2^83.
  unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * kPow10[precision];
  unsigned __int128 q;
  if (exponent >= 0) {
    if (exponent > 40) return nullptr;
    q = scaled << exponent;
  } else {
    int shift = -exponent;
    if (shift >= 100) {
      q = 0;  // below 2^-17 of a unit: rounds to zero, never a tie
    } else {
      q = scaled >> shift;
      unsigned __int128 rest = scaled - (q << shift);
      unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
      if (rest > half || (rest == half && (q & 1) != 0)) ++q;
    }
  }
  if ((q >> 64) != 0) return nullptr;
  uint64_t n = static_cast<uint64_t>(q);
  uint64_t whole = n / kPow10[precision];
  uint64_t frac = n % kPow10[precision];
  p = std::to_chars(p, p + 24, whole).ptr;
  if (precision > 0) {
    *p++ = '.';
    for (int i = precision - 1; i >= 0; --i) {
      p[i] = static_cast<char>('0' + frac % 10);
      frac /= 10;
    }
    p += precision;
  }
  return p;
}

}  // namespace

size_t FormatFixed(char* out, size_t capacity, double value, int width, int precision) {
  width = Clamp(width, 0, kMaxFixedWidth);
  precision = Clamp(precision, 0, kMaxFixedPrecision);
  char text[kFixedTextMax + 8];
  char* p = text;
  if (std::signbit(value)) *p++ = '-';
  double magnitude = std::fabs(value);
  if (std::isnan(value)) {
    std::memcpy(p, "nan", 3);
    p += 3;
  } else if (std::isinf(value)) {
    std::memcpy(p, "inf", 3);
    p += 3;
  } else {
    char* end = FixedMagnitudeFast(p, magnitude, precision);
    if (end == nullptr) {
      end =
          std::to_chars(p, text + sizeof text, magnitude, std::chars_format::fixed, precision).ptr;
    }
    p = end;
  }
  return Place(out, capacity, text, static_cast<size_t>(p - text), width, ' ');
}

size_t FormatObsFixed(char* out, double value) {
  if (!(std::fabs(value) < 1e9)) return 0;  // also the non-finite values
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((1ULL << 52) - 1);
  const uint64_t mantissa = biased == 0 ? fraction : (fraction | (1ULL << 52));
  // value = mantissa * 2^-shift; below 1e9 < 2^30 the shift is at least 23,
  // and mantissa * 1000 < 2^63. From a shift of 64 on, the value is below
  // 2^-11 and rounds to 0.000 without a tie.
  const int shift = 1075 - (biased == 0 ? 1 : biased);
  uint64_t n = 0;  // thousandths, rounded half to even
  if (shift < 64) {
    const uint64_t scaled = mantissa * 1000;
    n = scaled >> shift;
    const uint64_t rest = scaled - (n << shift);
    const uint64_t half = 1ULL << (shift - 1);
    if (rest > half || (rest == half && (n & 1) != 0)) ++n;
  }
  // n <= 10^12: the whole part is at most 10^9 and fits 32 bits.
  const uint32_t whole = static_cast<uint32_t>(n / 1000);
  const uint32_t thousandths = static_cast<uint32_t>(n % 1000);
  const bool negative = (bits >> 63) != 0;
  if (negative && whole >= 1000000000u) {  // the one text longer than the field
    std::memcpy(out, "-1000000000.000", 15);
    return 15;
  }
  // Right-aligned in 14 columns: blanks first, then the digits from the right.
  std::memset(out, ' ', 14);
  out[13] = static_cast<char>('0' + thousandths % 10);
  std::memcpy(out + 11, kDigitPairs + 2 * (thousandths / 10), 2);
  out[10] = '.';
  char* p = out + 10;
  uint32_t rest = whole;
  while (rest >= 100) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (rest % 100), 2);
    rest /= 100;
  }
  if (rest >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * rest, 2);
  } else {
    *--p = static_cast<char>('0' + rest);
  }
  if (negative) *--p = '-';
  return 14;
}

size_t FormatUnsigned(char* out, size_t capacity, uint64_t value, int width, bool zero_pad) {
  char text[24];
  char* end = std::to_chars(text, text + sizeof text, value).ptr;
  return Place(out, capacity, text, static_cast<size_t>(end - text),
               Clamp(width, 0, kMaxFixedWidth), zero_pad ? '0' : ' ');
}

size_t FormatSigned(char* out, size_t capacity, int64_t value, int width, bool zero_pad) {
  char text[24];
  char* end = std::to_chars(text, text + sizeof text, value).ptr;
  return Place(out, capacity, text, static_cast<size_t>(end - text),
               Clamp(width, 0, kMaxFixedWidth), zero_pad ? '0' : ' ');
}

bool RinexSatId(uint8_t sat_index, char out[4]) {
  const SatSystem* s = FindSatSystem(sat_index);
  if (s == nullptr) {
    std::memcpy(out, "???", 4);
    return false;
  }
  unsigned number = static_cast<unsigned>(sat_index - s->number_offset);
  out[0] = s->letter;
  out[1] = static_cast<char>('0' + number / 10 % 10);
  out[2] = static_cast<char>('0' + number % 10);
  out[3] = '\0';
  return true;
}

}  // namespace kavrino

// Weather sensor sentences (NMEA XDR) in sensor text blocks.
#include <cmath>
#include <cstdio>

#include "generator.h"
#include "gps_time.h"
#include "rng.h"

namespace kavrino::qdxgen {
namespace {

std::string WithChecksum(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", sum);
  return "$" + body + tail;
}

}  // namespace

void EmitWeather(GenContext* ctx, int64_t t_ms) {
  const Scenario& sc = ctx->sc;
  double day = 2 * M_PI * static_cast<double>(t_ms % kDayMs) / kDayMs;
  uint64_t h = HashKeys(sc.seed, RND_WEATHER, t_ms);
  double pressure = 1.01325 * std::exp(-sc.height_m / 8434.0) + 0.002 * std::sin(day * 0.5) +
                    0.0001 * HashGaussian(h);
  double temp = 11.0 + 6.5 * std::sin(day - 2.2) + 0.1 * HashGaussian(h + 1);
  double hum = 68.0 - 18.0 * std::sin(day - 2.2) + 0.5 * HashGaussian(h + 2);
  // Values as the sentence carries them.
  pressure = std::round(pressure * 1e4) / 1e4;
  temp = std::round(temp * 10) / 10;
  hum = std::round(hum * 10) / 10;
  int64_t n = (t_ms - sc.start_ms) / sc.weather_interval_ms;
  char body[160];
  if (n % 5 == 4) {
    // Pressure in pascal now and then, as some sensors send it.
    std::snprintf(body, sizeof body, "WIXDR,P,%.0f,P,BARO,C,%.1f,C,TEMP,H,%.1f,P,RH",
                  pressure * 1e5, temp, hum);
  } else {
    std::snprintf(body, sizeof body, "WIXDR,C,%.1f,C,TEMP,P,%.4f,B,BARO,H,%.1f,P,RH", temp,
                  pressure, hum);
  }
  EmitBlock(&ctx->sink, EncodeSensorText(t_ms, "KVR-MET3", "WEATHER", WithChecksum(body)));
  if (n % 7 == 6) {
    // A wind sentence from the same sensor, which carries no XDR group.
    std::snprintf(body, sizeof body, "WIMWV,%03d.0,R,%.1f,M,A",
                  static_cast<int>(HashUniform(h + 3) * 360), 3.0 * HashUniform(h + 4));
    EmitBlock(&ctx->sink, EncodeSensorText(t_ms, "KVR-MET3", "WEATHER", WithChecksum(body)));
  }
  if (ctx->truth != nullptr) {
    double p = n % 5 == 4
                   ? static_cast<double>(static_cast<float>(std::round(pressure * 1e5)) * 1e-5f)
                   : pressure;
    std::fprintf(ctx->truth, "MET %lld %lld %.5f %.1f %.1f\n", static_cast<long long>(WeekOf(t_ms)),
                 static_cast<long long>(TowMsOf(t_ms)), p, temp, hum);
  }
}

}  // namespace kavrino::qdxgen

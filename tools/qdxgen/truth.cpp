// The truth file: what the generator put into the QDX file, in plain text.
#include <cinttypes>

#include "generator.h"
#include "gps_time.h"
#include "signal_info.h"

namespace kavrino::qdxgen {

void WriteTruthHeader(GenContext* ctx, const std::string& command_line) {
  std::FILE* f = ctx->truth;
  const Scenario& sc = ctx->sc;
  std::fprintf(f, "# qdxgen truth file\n# %s\n", command_line.c_str());
  std::fprintf(f,
               "# RECEIVER x y z (m, reference position)\n"
               "# SAT name svid frequency_number signals...\n"
               "# EPOCH week tow_ms clock_s x y z [x2 y2 z2] (true antenna positions)\n"
               "# SV name channel elevation_deg azimuth_deg range_m sat_x sat_y sat_z "
               "sat_clock_s tropo_m\n"
               "# OBS name antenna signal pseudorange_m carrier_cycles doppler_hz cn0_dbhz "
               "lock_ms no_phase slip ambiguity iono_m\n"
               "#   (values as a decoder reads them back from the blocks)\n"
               "# EPH system name week toe iod ... (parameters as written to the block)\n"
               "# MET week tow_ms pressure_bar temperature_c humidity_pct\n"
               "# EVENT week tow_s source\n");
  std::fprintf(f, "RECEIVER %.4f %.4f %.4f\n", ctx->rx.ref.x, ctx->rx.ref.y, ctx->rx.ref.z);
  std::fprintf(f, "IONO %.6e %.6e %.6e %.6e %.6e %.6e %.6e %.6e\n", ctx->iono.alpha[0],
               ctx->iono.alpha[1], ctx->iono.alpha[2], ctx->iono.alpha[3], ctx->iono.beta[0],
               ctx->iono.beta[1], ctx->iono.beta[2], ctx->iono.beta[3]);
  (void)sc;
  for (const SatModel& sat : ctx->sats) {
    char name[4];
    SatName(sat, name);
    std::fprintf(f, "SAT %s %u %d", name, sat.svid, sat.glo_k);
    for (int s = 0; s < kNumSignals; ++s) {
      if ((sat.signals >> s) & 1) std::fprintf(f, " %s", GetSignal(s).name);
    }
    std::fputc('\n', f);
  }
}

void WriteTruthEpoch(GenContext* ctx) {
  std::FILE* f = ctx->truth;
  const EpochMeas& ep = ctx->epoch;
  std::fprintf(f, "EPOCH %" PRId64 " %" PRId64 " %.12e %.4f %.4f %.4f", WeekOf(ep.t_ms),
               TowMsOf(ep.t_ms), ep.rx_clock_s, ep.rx.pos[0].x, ep.rx.pos[0].y, ep.rx.pos[0].z);
  if (ctx->sc.antennas > 1) {
    std::fprintf(f, " %.4f %.4f %.4f", ep.rx.pos[1].x, ep.rx.pos[1].y, ep.rx.pos[1].z);
  }
  std::fputc('\n', f);
  for (const SatMeas& sm : ep.sats) {
    char name[4];
    SatName(ctx->sats[sm.sat_id], name);
    std::fprintf(f, "SV %s %u %.3f %.3f %.4f %.4f %.4f %.4f %.12e %.4f\n", name, sm.channel,
                 sm.elevation * 180 / kPi, sm.azimuth * 180 / kPi, sm.range_m, sm.sat_pos.x,
                 sm.sat_pos.y, sm.sat_pos.z, sm.sat_clock_s, sm.tropo_m);
    for (const SigMeas& m : sm.sigs) {
      std::fprintf(f, "OBS %s %u %s %.4f %.4f %.4f %.3f %u %d %d %" PRId64 " %.4f\n", name,
                   m.antenna, GetSignal(m.signal).name, m.pr_m, m.carrier_cyc,
                   static_cast<double>(m.doppler_hz), static_cast<double>(m.cn0_dbhz), m.lock_ms,
                   m.no_phase ? 1 : 0, m.slip ? 1 : 0, m.ambiguity, m.iono_m);
    }
  }
}

}  // namespace kavrino::qdxgen

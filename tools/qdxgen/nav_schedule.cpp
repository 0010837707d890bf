#include "generator.h"

namespace kavrino::qdxgen {

void EmitNavigation(GenContext* ctx, int64_t t_ms) {
  (void)ctx;
  (void)t_ms;
}

void EmitSbasRaw(GenContext* ctx, int64_t t_ms) {
  (void)ctx;
  (void)t_ms;
}

}  // namespace kavrino::qdxgen

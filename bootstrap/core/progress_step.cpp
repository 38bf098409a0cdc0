// The creeping step of the progress display.
#include "bootstrap/core/progress_step.h"

namespace qv::bootstrap {

int NextCreepPosition(int position) {
  if (position >= kProgressMax) return kProgressMax;
  const int next = position + (position < kProgressSlowLimit ? 1 : 4);
  return next > kProgressMax ? kProgressMax : next;
}

}  // namespace qv::bootstrap

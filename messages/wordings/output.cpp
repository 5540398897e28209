#include "wordings/wording.h"

namespace charlib {

std::span<const Wording> output_wordings() { return {}; }

}  // namespace charlib

#include "wordings/wording.h"

namespace charlib {

std::span<const Wording> source_wordings() { return {}; }

}  // namespace charlib

#include "wordings/wording.h"

namespace charlib {

std::span<const Wording> font_wordings() { return {}; }

}  // namespace charlib

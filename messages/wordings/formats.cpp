#include "wordings/wording.h"

namespace charlib {

std::span<const Wording> format_wordings() { return {}; }

}  // namespace charlib

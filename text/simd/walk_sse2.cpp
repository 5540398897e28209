// The kernel with SSE2, which every x86-64 processor has: 16 bytes a step.
#include <algorithm>
#include <string_view>

#include "kernels.h"
#include "sse2_steps.h"
#include "walk_rules.h"
// After the steps and the rules it uses.
#include "block_walks.h"

namespace charlib {

const Kernel sse2_kernel = block_kernel<Sse2Steps>(Isa::Sse2, "sse2");

}  // namespace charlib

#pragma once

#include "simd/kernel.h"

// The kernels each file compiles for its instruction set.
namespace charlib {

extern const Kernel scalar_kernel;
#if defined(__x86_64__)
extern const Kernel sse2_kernel;
extern const Kernel avx2_kernel;
#endif

}  // namespace charlib

#include <array>
#include <cstdlib>
#include <vector>

#include "base/ascii.h"
#include "base/outcome.h"
#include "kernels.h"

namespace charlib {

namespace {

#if defined(__x86_64__)
constexpr std::array<const Kernel*, 3> every_kernel = {&scalar_kernel, &sse2_kernel, &avx2_kernel};
#else
constexpr std::array<const Kernel*, 1> every_kernel = {&scalar_kernel};
#endif

bool runs_here(const Kernel& kernel)
{
#if defined(__x86_64__)
    if (kernel.isa == Isa::Avx2) {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
            __builtin_cpu_supports("popcnt");
    }
#endif
    return true;
}

std::string names(std::span<const Kernel* const> kernels)
{
    std::string list;
    for (const Kernel* kernel : kernels)
        list += (list.empty() ? "" : ", ") + std::string(kernel->name);
    return list;
}

}  // namespace

std::span<const Kernel* const> built_kernels()
{
    return every_kernel;
}

std::span<const Kernel* const> runnable_kernels()
{
    static const std::vector<const Kernel*> runnable = [] {
        std::vector<const Kernel*> kernels;
        for (const Kernel* kernel : every_kernel)
            if (runs_here(*kernel)) kernels.push_back(kernel);
        return kernels;
    }();
    return runnable;
}

const Kernel& best_kernel()
{
    return *runnable_kernels().back();
}

std::variant<const Kernel*, Outcome> choose_kernel(
    std::string_view name, std::span<const Kernel* const> runnable)
{
    if (name.empty()) return runnable.back();
    const std::string wanted = ascii_lower(name);
    for (const Kernel* kernel : runnable)
        if (wanted == kernel->name) return kernel;
    for (std::string_view known : {"scalar", "sse2", "avx2"})
        if (wanted == known)
            return Outcome(Code::IsaNotHere, {{"name", wanted}, {"choices", names(runnable)}});
    return Outcome(Code::UnknownIsa, {{"name", std::string(name)}, {"choices", names(runnable)}});
}

std::variant<const Kernel*, Outcome> kernel_from_environment()
{
    const char* name = std::getenv("CHARLIB_ISA");
    return choose_kernel(name ? name : "");
}

}  // namespace charlib

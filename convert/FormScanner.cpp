#include "FormScanner.h"

#include <hwy/highway.h>

#include <atomic>

namespace {
// The best vector target compiled in that this processor runs. The compiler's
// own test of the processor decides, which also asks whether the system saves
// the AVX registers. Highway's choice would need its shared library, which
// spends some 5 ms timing its clock whenever a process loads it.
FormScanner::Target detect()
{
#if HWY_ARCH_X86 && (HWY_TARGETS & HWY_AVX2) && HWY_STATIC_TARGET != HWY_AVX2
    // What Highway's AVX2 target compiles for (see CMakeLists.txt), and the
    // POPCNT that the compilers take SSE4.2 to bring.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1") &&
        __builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("popcnt") &&
        __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2"))
        return HWY_AVX2;
#endif
    return HWY_STATIC_TARGET;
}

FormScanner::Target best()
{
    static const FormScanner::Target target = detect();
    return target;
}

// What a Scope chose, or 0 for the best.
std::atomic<FormScanner::Target> g_chosen{0};
} // namespace

std::vector<FormScanner::Target> FormScanner::targets()
{
    std::vector<Target> all{kScalar, HWY_STATIC_TARGET};
    if (best() != HWY_STATIC_TARGET)
        all.push_back(best());
    return all;
}

std::string FormScanner::name(Target target)
{
    if (target == kScalar)
        return "scalar";
#if HWY_ARCH_X86_64
    if (target == HWY_SCALAR || target == HWY_EMU128)
        return "SSE2"; // see FormScanner-inl.h
#endif
    return hwy::TargetName(target);
}

FormScanner::Target FormScanner::current()
{
    const Target chosen = g_chosen.load(std::memory_order_relaxed);
    return chosen != 0 ? chosen : best();
}

FormScanner::Scope::Scope(Target target) : m_previous(g_chosen.load())
{
    g_chosen.store(target);
}

FormScanner::Scope::~Scope()
{
    g_chosen.store(m_previous);
}

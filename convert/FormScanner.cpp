#include "FormScanner.h"

#include <hwy/highway.h>

#include <atomic>
#include <initializer_list>

#if HWY_ARCH_X86_64
#include <cpuid.h>
#endif

namespace {
#if HWY_ARCH_X86_64 && (HWY_TARGETS & HWY_AVX3_DL)
// Whether this processor runs everything Highway's AVX3_DL target compiles
// for (its AVX2 part aside), and the system saves the AVX-512 registers. Asked
// of the processor itself: the compilers' own test knows only some of these.
bool runsAvx3Dl()
{
    unsigned maxLeaf = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_max(0, nullptr) < 7)
        return false;
    __cpuid_count(7, 0, maxLeaf, ebx, ecx, edx);
    unsigned leaf1eax = 0, leaf1ebx = 0, leaf1ecx = 0, leaf1edx = 0;
    if (maxLeaf >= 1)
        __cpuid_count(7, 1, leaf1eax, leaf1ebx, leaf1ecx, leaf1edx);
    const auto all = [](unsigned bits, std::initializer_list<int> wanted) {
        for (const int bit : wanted)
            if (!(bits >> bit & 1))
                return false;
        return true;
    };
    // AVX512F, DQ, BW, VL; VBMI, VBMI2, VAES, VPCLMULQDQ, BITALG, VPOPCNTDQ;
    // AVX-VNNI.
    if (!all(ebx, {16, 17, 30, 31}) || !all(ecx, {1, 6, 9, 10, 12, 14}) || !all(leaf1eax, {4}))
        return false;
    // The opmask and all of the 512-bit registers, beside SSE and AVX state.
    unsigned xcr0 = 0, xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    return (xcr0 & 0xE6) == 0xE6;
}
#endif

// The best vector target compiled in that this processor runs. For AVX2 the
// compiler's own test of the processor decides, which also asks whether the
// system saves the AVX registers. Highway's choice would need its shared library, which
// spends some 5 ms timing its clock whenever a process loads it.
FormScanner::Target detect()
{
#if HWY_ARCH_X86 && (HWY_TARGETS & HWY_AVX2) && HWY_STATIC_TARGET != HWY_AVX2
    // What Highway's AVX2 target compiles for (see CMakeLists.txt), and the
    // POPCNT that the compilers take SSE4.2 to bring.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1") &&
        __builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("popcnt") &&
        __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2")) {
#if HWY_ARCH_X86_64 && (HWY_TARGETS & HWY_AVX3_DL)
        if (runsAvx3Dl())
            return HWY_AVX3_DL;
#endif
        return HWY_AVX2;
    }
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
#if HWY_ARCH_X86 && (HWY_TARGETS & HWY_AVX2) && HWY_STATIC_TARGET != HWY_AVX2
    if (best() == HWY_AVX3_DL)
        all.push_back(HWY_AVX2);
#endif
    if (best() != HWY_STATIC_TARGET)
        all.push_back(best());
    return all;
}

bool FormScanner::hasAvx2()
{
#if HWY_ARCH_X86 && (HWY_TARGETS & HWY_AVX2)
    const Target target = current();
    return target == HWY_AVX2 || target == HWY_AVX3_DL;
#else
    return false;
#endif
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

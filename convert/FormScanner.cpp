#include "FormScanner.h"

#include <hwy/highway.h>

#include <algorithm>
#include <atomic>

namespace {
// What a Scope chose: kScalar, one target, or 0 for Highway's own choice.
std::atomic<FormScanner::Target> g_chosen{0};

void choose(FormScanner::Target target)
{
    g_chosen.store(target);
    hwy::SetSupportedTargetsForTest(target == FormScanner::kScalar ? 0 : target);
}
} // namespace

std::vector<FormScanner::Target> FormScanner::targets()
{
    // Highway lists only what a Scope allows, so the choice is lifted meanwhile.
    const Target chosen = g_chosen.load();
    choose(0);
    std::vector<Target> all = hwy::SupportedAndGeneratedTargets();
    choose(chosen);
    std::reverse(all.begin(), all.end());
    all.insert(all.begin(), kScalar);
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

bool FormScanner::scalar()
{
    return g_chosen.load(std::memory_order_relaxed) == kScalar;
}

FormScanner::Scope::Scope(Target target) : m_previous(g_chosen.load())
{
    choose(target);
}

FormScanner::Scope::~Scope()
{
    choose(m_previous);
}

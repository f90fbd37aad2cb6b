#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Chooses how the decoders scan a form body for the bytes that matter to
// them ("%", "&", "=" and a few more): with vector instructions, SSE2 on every
// x86-64 processor, AVX2 where it has them and AVX-512 with its byte
// instructions (Highway's AVX3_DL) where it has those, copying everything
// between those bytes in blocks; or with the plain loops that go a byte at a time and
// serve as the reference. The scanning code is in FormScanner-inl.h; each
// decoder compiles its loop around it once for each kind of instructions
// (Highway's foreach_target.h) and calls the one named here.
class FormScanner
{
public:
    // A kind of instructions: one of Highway's target bits, or kScalar for
    // the plain loops.
    using Target = std::int64_t;
    static constexpr Target kScalar = -1;

    // kScalar, then the vector targets compiled in that this processor runs,
    // the best last.
    static std::vector<Target> targets();
    static std::string name(Target target);

    // The target the decoders use: the one a Scope chose, else the best this
    // processor runs.
    static Target current();
    // Whether that target has AVX2's instructions, for other scans to match.
    static bool hasAvx2();

    // Makes the decoders use `target` until it ends; scopes nest. For the
    // tests and benchmarks, which compare the targets.
    class Scope
    {
    public:
        explicit Scope(Target target);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        Target m_previous;
    };
};

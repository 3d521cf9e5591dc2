// Choice of the kernel table.
#include "core/kernels.h"

#if !defined(_WIN32)
#include <atomic>
#include <cstdlib>
#include <cstring>
#endif

namespace velmo {

const char* KernelLevelName(KernelLevel level) {
    switch (level) {
        case KernelLevel::Reference: return "reference";
        case KernelLevel::SSE2: return "sse2";
        case KernelLevel::AVX2: return "avx2";
    }
    return "unknown";
}

#if defined(_WIN32)

// The Windows modules fix their kernels when they are built: no state, nothing to choose.
const KernelTable* KernelsFor(KernelLevel level) {
    switch (level) {
        case KernelLevel::Reference: return &kReferenceKernels;
#if defined(VELMO_HAVE_SSE2_KERNELS)
        case KernelLevel::SSE2: return &kSse2Kernels;
#endif
        default: return nullptr;
    }
}

const KernelTable& ActiveKernels() {
#if defined(VELMO_HAVE_SSE2_KERNELS)
    return kSse2Kernels;
#else
    return kReferenceKernels;
#endif
}

bool ForceKernelLevel(KernelLevel level) { return KernelsFor(level) == &ActiveKernels(); }

#else

namespace {

bool CpuHas(KernelLevel level) {
    switch (level) {
        case KernelLevel::Reference: return true;
        case KernelLevel::SSE2: return __builtin_cpu_supports("sse2");
        case KernelLevel::AVX2: return __builtin_cpu_supports("avx2");
    }
    return false;
}

const KernelTable* TableOf(KernelLevel level) {
    switch (level) {
        case KernelLevel::Reference: return &kReferenceKernels;
#if defined(VELMO_HAVE_SSE2_KERNELS)
        case KernelLevel::SSE2: return &kSse2Kernels;
#endif
#if defined(VELMO_HAVE_AVX2_KERNELS)
        case KernelLevel::AVX2: return &kAvx2Kernels;
#endif
        default: return nullptr;
    }
}

// The highest level available, capped by VELMO_KERNELS when it names a level.
const KernelTable* StartingTable() {
    int cap = kKernelLevels - 1;
    if (const char* env = std::getenv("VELMO_KERNELS")) {
        for (int l = 0; l < kKernelLevels; ++l) {
            if (std::strcmp(env, KernelLevelName(static_cast<KernelLevel>(l))) == 0) cap = l;
        }
    }
    for (int l = cap; l > 0; --l) {
        if (const KernelTable* t = KernelsFor(static_cast<KernelLevel>(l))) return t;
    }
    return &kReferenceKernels;
}

std::atomic<const KernelTable*>& Active() {
    static std::atomic<const KernelTable*> active{StartingTable()};
    return active;
}

}  // namespace

const KernelTable* KernelsFor(KernelLevel level) {
    return CpuHas(level) ? TableOf(level) : nullptr;
}

const KernelTable& ActiveKernels() { return *Active().load(std::memory_order_relaxed); }

bool ForceKernelLevel(KernelLevel level) {
    const KernelTable* t = KernelsFor(level);
    if (t == nullptr) return false;
    Active().store(t, std::memory_order_relaxed);
    return true;
}

#endif

}  // namespace velmo

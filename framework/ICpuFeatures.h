// What the processor offers, for code paths chosen at run time.
//
// Read with cpuid and xgetbv directly rather than through the compiler's
// runtime helpers (__builtin_cpu_supports), which need compiler-rt or
// libgcc symbols that not every target ships (Darwin cross builds).
#pragma once

// [any thread] True when the processor has AVX and the operating system
// saves the YMM registers; false on other architectures. Detected once.
bool CpuHasAvx();

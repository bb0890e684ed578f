// What the processor and the operating system offer that the engine's faster
// forms depend on.
#pragma once

// True when the processor has AVX2 and the operating system saves and restores
// the registers it uses (all of YMM) on a thread switch; only then may code
// using it run. False on other processors.
bool CpuRunsAvx2();

// True when the processor has AVX-512F and AVX-512VL and the operating system
// saves and restores the registers they use (opmask and all of ZMM) on a
// thread switch; only then may code using them run. False on other processors.
bool CpuRunsAvx512Vl();

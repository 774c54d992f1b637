// libFuzzer target over the ECU reply handling (see ecureplies.h):
//   cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBRISCA_FUZZ=ON
//   cmake --build build-fuzz --target fuzz_ecureplies
//   build-fuzz/bin/fuzz_ecureplies -max_total_time=60
// Keep any crash input in tests/comm/fuzz/regressions/.

#include "ecureplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    feedEcuReplies(data, size);
    return 0;
}

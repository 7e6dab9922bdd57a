#include <cstdio>

#include "platform/lumvek_binding.h"

int main() {
    try {
        int32_t in = 117, out = 0;
        LUMVEK(lumvektst)(&out, &in);
        std::printf("halvex: lumvek loaded (%d)\n", out);
        return 0;
    } catch (const halvex::LumvekLoadError& e) {
        std::fprintf(stderr, "halvex: %s\n", e.what());
        return 1;
    }
}

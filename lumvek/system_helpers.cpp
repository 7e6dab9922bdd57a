// Tag search, the machine number, the side buffer, CRC-16 and the two
// one-value test exports.
#include "band_frame.h"
#include "lumvek.h"

using namespace lumvek_detail;

extern "C" {

void lumvektst(int32_t* out, const int32_t* in) { *out = *in; }

void lumvektst2(int16_t* out, const float* in) { *out = low16(trunc_to_int(*in)); }

}

// The DICOM reader's entry points as the loaders call them, on a file made
// of the input: the single-slice header read, the multi-frame read with
// every frame it hands over, and the element-by-element analysis; for a
// compressed file, the decoding, the plain header copy of a deflated one and
// the frame positions.
#include <cmath>
#include <cstdlib>
#include <vector>

#include "dicom/DICOMM.h"
#include "dicom/decoder_process.h"
#include "fuzz_file.h"
#include "workspace/image_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzing::writeInput(data, size, "input.dcm");
    const halvex::SliceGeometry start{-1024, 250.0f, 250.0f / 512};
    halvex::DICOMM dicom;
    // Geometry the loaders pass on must never become infinite or negative.
    auto checkGeometry = [](const halvex::DicomHeader& h) {
        if (!std::isfinite(h.FOV) || h.FOV < 0 || !std::isfinite(h.PixelSpacing) || h.PixelSpacing < 0) std::abort();
    };
    checkGeometry(dicom.DCMHDRREAD(path, start));
    if (dicom.header.Encoding != halvex::PixelEncoding::Plain) {
        const halvex::PixelEncoding encoding = dicom.header.Encoding;
        // The decoding library runs in its helper process, as in the program:
        // what is fuzzed here is our side of it.
        static halvex::DecoderProcess decoder;
        const halvex::DecodedPixels d = decoder.decode(path);
        if (d.refusal.empty() && d.frames.size() != size_t(d.frameCount) * halvex::kSlicePixels) std::abort();
        const std::string copy = fuzzing::scratchFolder() + "header.dcm";
        if (encoding == halvex::PixelEncoding::Deflated && decoder.writePlainHeaderCopy(path, copy))
            checkGeometry(dicom.DCMHDRREAD(copy, start));
        dicom.framePositions(path, 3, 0);
    }
    std::vector<int16_t> frame(halvex::kSlicePixels);
    const std::vector<float> positions = dicom.DCMMULTIREAD(path, start);
    checkGeometry(dicom.header);
    for (size_t k = 0; k < positions.size() && k < 4; ++k) dicom.readFrame(path, static_cast<int>(k), frame.data());
    checkGeometry(dicom.DCMANA(path, start));
    return 0;
}

// Compressed DICOM files, decoded through GDCM: the pixels of encapsulated
// syntaxes (JPEG, JPEG-LS, JPEG 2000, RLE) and of deflated data sets, and a
// plain copy of a deflated file's header, so that our own reader can take it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halvex {

struct DecodedPixels {
    std::vector<int16_t> frames;  // frameCount slices of 512 x 512 stored values
    int frameCount = 0;
    bool lossy = false;           // lossy syntax, or marked lossy in the file
    std::string refusal;          // why the file can't be loaded; empty when decoded
};

// A decoded file holds all its frames in memory at once: more are refused.
inline constexpr int kMaxDecodedFrames = 1024;

// Decodes every frame of the file at `path`. Refused (with the reason): an
// unreadable or undecodable file, a matrix other than 512 x 512, more than
// one sample per pixel, bits allocated other than 16, too many frames. Safe
// to call from several threads at once.
DecodedPixels decodePixels(const std::string& path);

// Writes the file at `path` with its data set in explicit VR little endian,
// and its pixel values zeroed, to `copyPath`: the header of a deflated file
// for our reader, without pixel bytes its tag search could take for an
// element. False when it can't be read or the copy can't be written.
bool writePlainHeaderCopy(const std::string& path, const std::string& copyPath);

}  // namespace halvex

#include "dicom/compressed_pixels.h"

#include <gdcmImage.h>
#include <gdcmImageReader.h>
#include <gdcmReader.h>
#include <gdcmTrace.h>
#include <gdcmWriter.h>

#include <mutex>

#include "dicom/slice_format.h"

namespace halvex {

namespace {


// The library's own warnings go to the error output; we report refusals
// ourselves, once, with the file's name.
void quietLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        gdcm::Trace::SetDebug(false);
        gdcm::Trace::SetWarning(false);
        gdcm::Trace::SetError(false);
    });
}

DecodedPixels refused(std::string why) {
    DecodedPixels d;
    d.refusal = std::move(why);
    return d;
}

}  // namespace

DecodedPixels decodePixels(const std::string& path) {
    quietLibrary();
    gdcm::ImageReader reader;
    reader.SetFileName(path.c_str());
    if (!reader.Read()) return refused("it can't be read as a DICOM image");
    const gdcm::Image& image = reader.GetImage();
    const unsigned* dims = image.GetDimensions();
    const unsigned columns = dims[0], rows = dims[1];
    const unsigned frames = image.GetNumberOfDimensions() > 2 ? dims[2] : 1;
    const gdcm::PixelFormat& format = image.GetPixelFormat();
    if (columns != unsigned(kSide) || rows != unsigned(kSide))
        return refused("its matrix is " + std::to_string(columns) + " x " + std::to_string(rows) + ", not 512 x 512");
    if (format.GetSamplesPerPixel() != 1)
        return refused("it has " + std::to_string(format.GetSamplesPerPixel()) + " samples per pixel (colour)");
    if (format.GetBitsAllocated() != 16)
        return refused("it has " + std::to_string(format.GetBitsAllocated()) + " bits allocated, not 16");
    if (frames < 1 || frames > kMaxDecodedFrames)
        return refused("it has " + std::to_string(frames) + " frames (at most " + std::to_string(kMaxDecodedFrames) +
                       " are read from one file)");

    DecodedPixels d;
    d.frames.resize(frames * size_t(kSlicePixels));
    // The buffer must be exactly the frames we checked for, or the library
    // would write past it.
    if (image.GetBufferLength() != d.frames.size() * sizeof(int16_t) ||
        !image.GetBuffer(reinterpret_cast<char*>(d.frames.data())))
        return refused("its pixel data can't be decoded");
    d.frameCount = static_cast<int>(frames);
    d.lossy = image.IsLossy();
    return d;
}

bool writePlainHeaderCopy(const std::string& path, const std::string& copyPath) {
    quietLibrary();
    gdcm::Reader reader;
    reader.SetFileName(path.c_str());
    if (!reader.Read()) return false;
    gdcm::File& file = reader.GetFile();
    file.GetHeader().SetDataSetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    gdcm::DataSet& dataSet = file.GetDataSet();
    const gdcm::Tag pixelData(0x7FE0, 0x0010);
    if (dataSet.FindDataElement(pixelData)) {
        gdcm::DataElement pixels = dataSet.GetDataElement(pixelData);
        if (const gdcm::ByteValue* values = pixels.GetByteValue()) {
            const std::vector<char> zeros(values->GetLength());
            pixels.SetByteValue(zeros.data(), static_cast<uint32_t>(zeros.size()));
            dataSet.Replace(pixels);
        }
    }
    gdcm::Writer writer;
    writer.SetFile(file);
    writer.SetFileName(copyPath.c_str());
    return writer.Write();
}

}  // namespace halvex

// A series read into memory through the loaders of "Read" (every file form,
// compressed files through the decoder helper), in position order: what the
// evaluation measures and the Python module hands over as arrays.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "evaluation/evaluation.h"
#include "workspace/image_store.h"

namespace halvex {

// A series that can't be read as asked: the one-line reason.
class SeriesError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct LoadedSeries {
    std::vector<std::vector<int16_t>> pixels;  // stored values, one 512 x 512 slice each
    std::vector<SliceImage> slices;            // over `pixels`
    std::vector<SliceInfo> entries;            // each slice's list entry (header values)
    std::vector<std::string> files;            // each file once, as loaded
    SeriesSummary summary;
    std::vector<std::string> notes;  // the loaders' messages: files not loaded, files cut short
};

// Reads the files and folders in `given` (every regular file of a folder)
// with the program folder `programFolder` for the stack file and the
// decoded-slice cache, orders the slices by position and keeps slices
// range.first .. range.second (1-based, inclusive; all by default). Throws
// SeriesError when nothing can be read, the range lies beyond the slices, or
// the slices of the range differ in their field of view.
LoadedSeries readSeries(const std::vector<std::string>& given, const std::optional<std::pair<int, int>>& range,
                        const std::string& programFolder, const std::function<void(int done, int total)>& progress = {});

}  // namespace halvex

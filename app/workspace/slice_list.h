// The slice list as the loaders, the sort and "Clear" change it, free of any
// window: entries filled from a header, the workspace taking a slice's
// geometry, the list's limits, the sort and the removal of slices.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dicom/DICOMM.h"
#include "workspace/image_store.h"

namespace halvex {

// The groups of entry fields a loader takes from a header.
enum EntryFields : unsigned {
    kEntryLocation = 1,   // path, name, pixel offset, slice location
    kEntrySeries = 2,     // series number, CT offset (rescale intercept)
    kEntryScan = 4,       // kernel, DFOV, thickness, kV
    kEntryExposure = 8,   // mA, mAs, CTDIvol, rotation time
    kEntryPatient = 16,   // patient name, z of the image position
    kEntryAll = 31,
};

// Fills the chosen field groups of `entry` from `header`; the other fields
// keep what they hold.
void fillEntry(SliceInfo& entry, const DicomHeader& header, const std::string& path, const std::string& name,
               unsigned fields);

// The sort key of a text: its decimal digits joined, the last nine of them
// read as a number ("IM0012" -> 12, no digits -> 0).
int32_t STONUM(const std::string& text);

// The workspace values a header read starts from.
SliceGeometry sliceGeometry(const ImageStore& store);
// After a header read the workspace takes the slice's intercept, DFOV and
// pixel size; after the whole-file analysis of a readable file also the
// frequency step 1 / DFOV.
void takeGeometry(ImageStore& store, const DicomHeader& header);
void takeAnalysedGeometry(ImageStore& store, const DicomHeader& header);

// True when a list of `count` entries can take no more.
bool sliceListFull(int count);
// True when the header describes a slice whose 524288 pixel bytes lie inside
// the file at `path` (little endian, or big endian for the single-file reads).
bool headerHasSlice(const DicomHeader& header, const std::string& path);

// The keys the list is sorted by.
enum class SortKey { FileNumber, Position, Patient, Kernel, Series };
// Sorts entries first .. last by exchanging every pair out of order (equal
// keys keep the order this exchange gives).
void sortSlices(std::vector<SliceInfo>& slices, int first, int last, SortKey key, bool descending);
// The runs of equal series numbers in first .. last (at most 255 runs).
std::vector<std::pair<int, int>> seriesRuns(const std::vector<SliceInfo>& slices, int first, int last);

// Removes entries from .. to (0-based, inside the list); the sort keys stay
// with the index.
void removeSlices(ImageStore& store, int from, int to);
// The stack-file slot after the highest one the first sliceCount entries use.
int16_t nextTempSlot(const ImageStore& store);

}  // namespace halvex

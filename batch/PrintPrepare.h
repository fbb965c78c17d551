// Print preparation: every photo of a batch print brought to every print size its copies need
// (turned to the photo's orientation, cropped or padded to the size's proportions, resampled to
// 300 pixels per inch) and written to a temporary picture that the printing only reads back.
#pragma once

#include "algorithms/Algorithm.h"
#include "imaging/ImageBuffer.h"
#include "platform/Text.h"

#include <vector>

enum PrintCropMode : int32_t {
    kPrintCropFill = 0,   // crop to fill
    kPrintCropBorder = 1, // fit with a white border
    kPrintCropSmart = 2,  // crop where the detail is
};

// The photo as the batch print dialog lists it; the path comes first.
struct PrintPhoto {
    platform::String16 path;
};

struct PrintItem {
    const PrintPhoto* photo = nullptr;
    platform::String16 tempPath; // made when the item is prepared, unique in the temp folder
    int32_t width = 0;           // pixels: inches x 300
    int32_t height = 0;
    int32_t cropMode = kPrintCropFill;
    int32_t photoIndex = 0;
};

// The part of the photo that becomes the picture; may reach outside the photo (a border).
struct PrintWindow {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const PrintWindow&) const = default;
};

// W x H turned to the photo's orientation.
void OrientPrintSize(int photoWidth, int photoHeight, int& width, int& height);
// The window of modes 0 and 1, and of mode 2 before it is placed (placed at 0 there).
PrintWindow ComputePrintWindow(int photoWidth, int photoHeight, int width, int height, int mode);
// Edge strength profiles of a grey plane: the integer mean of each row's and each column's
// edge values.
void ComputeEdgeProfiles(const Plane8& grey, std::vector<uint8_t>& rows, std::vector<uint8_t>& columns);
// The first start of a window of `length` with the largest profile sum.
int BestWindowStart(const std::vector<uint8_t>& profile, int length);

class CPrintPrepare : public CAlgorithm {
public:
    CPrintPrepare() = default;
    ~CPrintPrepare() override;

    std::vector<PrintItem> items;
    int failingIndex = -1;

    // 1 on success or cancel; 0 when an item failed (failingIndex tells which).
    int Run() override;
    int PrepareItem(int index);
    // The prepared picture of that photo (the same object, or the same path: Linux names keep case)
    // at that pixel size in either orientation; null when none.
    const char16_t* FindItem(const PrintPhoto* photo, int width, int height) const;
    // Removes the prepared pictures.
    void DeleteTempFiles();

private:
    int LoadPhoto(const PrintItem& item);
    int m_lastPhoto = -1;
    ImageBuffer16 m_photo;
    std::vector<uint8_t> m_rowProfile, m_columnProfile;
    bool m_profilesReady = false;
};

// The program's link to a printer: the chosen printer and its paper, a print job, and 8-bit
// pictures put on pages. The print dialogs own one each and lay the pages out themselves.
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Printing.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Lets the user choose among the system's printers; true with a choice, false when cancelled.
class IPrintSetupDialog {
public:
    virtual ~IPrintSetupDialog() = default;
    virtual bool ChoosePrinter(const std::vector<std::u16string>& printers, const std::u16string& preselected,
                               std::u16string& chosen) = 0;
};

// What the print layout needs of the printer's settings.
struct PrinterSettings {
    uint32_t paperWidth = 0;  // printable width, 0.1 mm
    uint32_t paperLength = 0; // printable height, 0.1 mm
    int32_t dpiX = 0;
    int32_t dpiY = 0;
    int32_t scale = 100;      // percent, used while no printer is chosen
};

// One page record of the print layout, freed with the manager.
struct PrintPageRecord {
    uint32_t kind = 0;
    uint8_t block[1024] = {};
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
};

class CPrintManage {
public:
    explicit CPrintManage(platform::PrintBackend* backend = nullptr);
    virtual ~CPrintManage();
    CPrintManage(const CPrintManage&) = delete;
    CPrintManage& operator=(const CPrintManage&) = delete;

    // 1 chosen, 0 cancelled or unusable.
    int SelectPrinter(IPrintSetupDialog* dialog = nullptr);
    void GetPaperSizeInches(double& width, double& height) const;
    double TenthMmToInches(double length) const;
    // Nonzero when the job started, or when no printer is chosen (nothing to do then).
    int StartDocument();
    int StartPage();
    int EndPage();
    int EndDocument();
    // Stretches the picture onto the page rectangle (device pixels). The picture is not changed.
    int DrawImage(const ImageBuffer8& picture, int left, int top, int right, int bottom);
    bool HasPrinter() const { return m_hasPrinter; }

    char16_t printerName[512] = {};
    ImageBuffer8 picture;
    PrinterSettings settings;
    int32_t physicalWidth = 0;
    int32_t physicalHeight = 0;
    int32_t layoutFlag = 1;
    std::vector<std::unique_ptr<PrintPageRecord>> pages;

private:
    platform::PrintBackend* m_backend;
    std::unique_ptr<platform::PrintBackend> m_ownBackend;
    platform::PrinterSetup m_setup;
    bool m_hasPrinter = false;
    platform::PrintJob m_job;
};

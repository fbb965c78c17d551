// Printers and print jobs. Printers, paper and resolution come from CUPS; pages are drawn in
// device pixels onto a page canvas, the document becomes a PDF (cairo) and that PDF the job.
// A file backend writes each finished document to a folder instead, for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct PrinterSetup {
    std::string name;
    double paperWidthMm = 0;      // whole sheet
    double paperHeightMm = 0;
    double printableWidthMm = 0;  // inside the margins
    double printableHeightMm = 0;
    double marginLeftMm = 0;
    double marginTopMm = 0;
    int dpiX = 0;
    int dpiY = 0;

    int PhysicalWidthPx() const;
    int PhysicalHeightPx() const;
};

class PrintBackend {
public:
    virtual ~PrintBackend() = default;
    virtual std::vector<std::string> ListPrinters() = 0;
    virtual std::string DefaultPrinter() = 0;
    virtual bool QueryPrinter(const std::string& name, PrinterSetup& setup) = 0;
    // Hands a finished PDF to the printer; the file may be removed after the call.
    virtual bool SubmitPdf(const std::string& printer, const std::string& pdfPath, const std::string& title) = 0;
};

// The system's printers through CUPS.
std::unique_ptr<PrintBackend> MakeCupsPrintBackend();

// One printer with a fixed setup; every submitted document is copied into the folder as
// <title>-<n>.pdf. For tests and for "print to file".
class FilePrintBackend final : public PrintBackend {
public:
    FilePrintBackend(std::string folder, PrinterSetup setup);
    std::vector<std::string> ListPrinters() override;
    std::string DefaultPrinter() override;
    bool QueryPrinter(const std::string& name, PrinterSetup& setup) override;
    bool SubmitPdf(const std::string& printer, const std::string& pdfPath, const std::string& title) override;
    const std::vector<std::string>& Written() const { return m_written; }

private:
    std::string m_folder;
    PrinterSetup m_setup;
    std::vector<std::string> m_written;
};

// One print job. Coordinates are device pixels of the printable area, as a printer device
// context has them: (0, 0) is the top-left printable pixel.
class PrintJob {
public:
    PrintJob();
    ~PrintJob();
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    bool Begin(PrintBackend& backend, const PrinterSetup& setup, const std::string& title);
    bool StartPage();
    // Stretches a B, G, R, A picture (alpha ignored, as a plain copy onto paper) into the
    // device rectangle. The picture is read, never changed.
    bool DrawImage(const uint8_t* bgra, int width, int height, int left, int top, int right, int bottom);
    bool EndPage();
    // Finishes the PDF and submits it; false when nothing could be printed.
    bool End();
    void Abort();
    bool Active() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace platform

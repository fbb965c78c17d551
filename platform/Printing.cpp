#include "platform/Printing.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <cups/cups.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace platform {

namespace {
constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72.0;
} // namespace

int PrinterSetup::PhysicalWidthPx() const
{
    return static_cast<int>(std::lround(paperWidthMm / kMmPerInch * dpiX));
}

int PrinterSetup::PhysicalHeightPx() const
{
    return static_cast<int>(std::lround(paperHeightMm / kMmPerInch * dpiY));
}

// ---- CUPS ----

namespace {

class CupsPrintBackend final : public PrintBackend {
public:
    std::vector<std::string> ListPrinters() override
    {
        std::vector<std::string> names;
        cups_dest_t* dests = nullptr;
        int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        for (int i = 0; i < n; ++i)
            if (!dests[i].instance)
                names.emplace_back(dests[i].name);
        cupsFreeDests(n, dests);
        return names;
    }

    std::string DefaultPrinter() override
    {
        std::string name;
        cups_dest_t* dests = nullptr;
        int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        if (cups_dest_t* d = cupsGetDest(nullptr, nullptr, n, dests))
            name = d->name;
        cupsFreeDests(n, dests);
        return name;
    }

    bool QueryPrinter(const std::string& name, PrinterSetup& setup) override
    {
        cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(), nullptr);
        if (!dest)
            return false;
        bool ok = false;
        if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
            cups_size_t size{};
            if (cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest, info, 0, &size)) {
                // CUPS sizes are hundredths of a millimetre.
                setup.name = name;
                setup.paperWidthMm = size.width / 100.0;
                setup.paperHeightMm = size.length / 100.0;
                setup.marginLeftMm = size.left / 100.0;
                setup.marginTopMm = size.top / 100.0;
                setup.printableWidthMm = (size.width - size.left - size.right) / 100.0;
                setup.printableHeightMm = (size.length - size.top - size.bottom) / 100.0;
                setup.dpiX = setup.dpiY = 300;
                if (ipp_attribute_t* res = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest, info, "printer-resolution")) {
                    ipp_res_t units;
                    int y = 0;
                    int x = ippGetResolution(res, 0, &y, &units);
                    if (units == IPP_RES_PER_CM) {
                        x = static_cast<int>(std::lround(x * 2.54));
                        y = static_cast<int>(std::lround(y * 2.54));
                    }
                    if (x > 0 && y > 0) {
                        setup.dpiX = x;
                        setup.dpiY = y;
                    }
                }
                ok = setup.printableWidthMm > 0 && setup.printableHeightMm > 0;
            }
            cupsFreeDestInfo(info);
        }
        cupsFreeDests(1, dest);
        return ok;
    }

    bool SubmitPdf(const std::string& printer, const std::string& pdfPath, const std::string& title) override
    {
        int num = 0;
        cups_option_t* options = nullptr;
        num = cupsAddOption("document-format", "application/pdf", num, &options);
        int job = cupsPrintFile(printer.c_str(), pdfPath.c_str(), title.c_str(), num, options);
        cupsFreeOptions(num, options);
        return job > 0;
    }
};

} // namespace

std::unique_ptr<PrintBackend> MakeCupsPrintBackend()
{
    return std::make_unique<CupsPrintBackend>();
}

// ---- files ----

FilePrintBackend::FilePrintBackend(std::string folder, PrinterSetup setup)
    : m_folder(std::move(folder)), m_setup(std::move(setup))
{
}

std::vector<std::string> FilePrintBackend::ListPrinters()
{
    return {m_setup.name};
}

std::string FilePrintBackend::DefaultPrinter()
{
    return m_setup.name;
}

bool FilePrintBackend::QueryPrinter(const std::string& name, PrinterSetup& setup)
{
    if (name != m_setup.name)
        return false;
    setup = m_setup;
    return true;
}

bool FilePrintBackend::SubmitPdf(const std::string&, const std::string& pdfPath, const std::string& title)
{
    std::string safe;
    for (char c : title)
        safe.push_back(c == '/' ? '_' : c);
    std::string out = m_folder + "/" + safe + "-" + std::to_string(m_written.size() + 1) + ".pdf";
    std::error_code ec;
    std::filesystem::copy_file(pdfPath, out, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec)
        return false;
    m_written.push_back(out);
    return true;
}

// ---- the job ----

struct PrintJob::Impl {
    PrintBackend* backend = nullptr;
    PrinterSetup setup;
    std::string title;
    std::string pdfPath;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    bool inPage = false;
    bool failed = false;
    int pages = 0;

    void Release()
    {
        if (cr)
            cairo_destroy(cr);
        if (surface)
            cairo_surface_destroy(surface);
        cr = nullptr;
        surface = nullptr;
        if (!pdfPath.empty())
            std::remove(pdfPath.c_str());
        pdfPath.clear();
        inPage = false;
    }
};

PrintJob::PrintJob() : m(std::make_unique<Impl>()) {}

PrintJob::~PrintJob()
{
    Abort();
}

bool PrintJob::Active() const
{
    return m->surface != nullptr;
}

bool PrintJob::Begin(PrintBackend& backend, const PrinterSetup& setup, const std::string& title)
{
    Abort();
    if (setup.dpiX <= 0 || setup.dpiY <= 0 || setup.paperWidthMm <= 0 || setup.paperHeightMm <= 0)
        return false;
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec)
        return false;
    std::string tmpl = dir + "/zendra-print-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back(0);
    int fd = mkstemp(name.data());
    if (fd < 0)
        return false;
    close(fd);
    m->pdfPath = name.data();
    m->backend = &backend;
    m->setup = setup;
    m->title = title;
    m->failed = false;
    m->pages = 0;
    double w = setup.paperWidthMm / kMmPerInch * kPointsPerInch;
    double h = setup.paperHeightMm / kMmPerInch * kPointsPerInch;
    m->surface = cairo_pdf_surface_create(m->pdfPath.c_str(), w, h);
    if (cairo_surface_status(m->surface) != CAIRO_STATUS_SUCCESS) {
        m->Release();
        return false;
    }
    cairo_pdf_surface_set_metadata(m->surface, CAIRO_PDF_METADATA_TITLE, title.c_str());
    m->cr = cairo_create(m->surface);
    return cairo_status(m->cr) == CAIRO_STATUS_SUCCESS;
}

bool PrintJob::StartPage()
{
    if (!m->cr || m->inPage)
        return false;
    m->inPage = true;
    cairo_save(m->cr);
    // Device pixels of the printable area: the printer's origin lies inside the margins.
    cairo_translate(m->cr, m->setup.marginLeftMm / kMmPerInch * kPointsPerInch,
                    m->setup.marginTopMm / kMmPerInch * kPointsPerInch);
    cairo_scale(m->cr, kPointsPerInch / m->setup.dpiX, kPointsPerInch / m->setup.dpiY);
    return true;
}

bool PrintJob::DrawImage(const uint8_t* bgra, int width, int height, int left, int top, int right, int bottom)
{
    if (!m->cr || !m->inPage || !bgra || width <= 0 || height <= 0 || right == left || bottom == top)
        return false;
    int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
    if (stride != width * 4)
        return false;
    // RGB24 is B, G, R, unused in memory on little-endian machines: the picture as it is.
    cairo_surface_t* img = cairo_image_surface_create_for_data(const_cast<uint8_t*>(bgra), CAIRO_FORMAT_RGB24,
                                                               width, height, stride);
    if (cairo_surface_status(img) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(img);
        return false;
    }
    cairo_save(m->cr);
    cairo_translate(m->cr, left, top);
    cairo_scale(m->cr, double(right - left) / width, double(bottom - top) / height);
    cairo_set_source_surface(m->cr, img, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(m->cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(m->cr, 0, 0, width, height);
    cairo_fill(m->cr);
    cairo_restore(m->cr);
    // The PDF keeps its own copy of the pixels once the surface is released.
    cairo_surface_finish(img);
    cairo_surface_destroy(img);
    bool ok = cairo_status(m->cr) == CAIRO_STATUS_SUCCESS;
    if (!ok)
        m->failed = true;
    return ok;
}

bool PrintJob::EndPage()
{
    if (!m->cr || !m->inPage)
        return false;
    cairo_restore(m->cr);
    cairo_show_page(m->cr);
    m->inPage = false;
    ++m->pages;
    return cairo_status(m->cr) == CAIRO_STATUS_SUCCESS;
}

bool PrintJob::End()
{
    if (!m->cr)
        return false;
    if (m->inPage)
        EndPage();
    cairo_destroy(m->cr);
    m->cr = nullptr;
    cairo_surface_finish(m->surface);
    bool ok = cairo_surface_status(m->surface) == CAIRO_STATUS_SUCCESS && !m->failed && m->pages > 0;
    cairo_surface_destroy(m->surface);
    m->surface = nullptr;
    if (ok)
        ok = m->backend->SubmitPdf(m->setup.name, m->pdfPath, m->title);
    m->Release();
    return ok;
}

void PrintJob::Abort()
{
    if (m)
        m->Release();
}

} // namespace platform

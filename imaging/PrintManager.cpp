#include "imaging/PrintManager.h"

#include "imaging/DocumentUi.h"
#include "platform/Text.h"

#include <cmath>

namespace {
// The single-precision value of 2.54, as the layout's conversions have always used it.
constexpr double kCmPerInch = 2.5399999618530273;
} // namespace

CPrintManage::CPrintManage(platform::PrintBackend* backend) : m_backend(backend) {}

CPrintManage::~CPrintManage()
{
    m_job.Abort();
    pages.clear();
    FreeImageBuffer(picture);
}

int CPrintManage::SelectPrinter(IPrintSetupDialog* dialog)
{
    m_job.Abort();
    m_hasPrinter = false;
    if (!m_backend) {
        m_ownBackend = platform::MakeCupsPrintBackend();
        m_backend = m_ownBackend.get();
    }
    std::vector<std::u16string> names;
    for (const std::string& n : m_backend->ListPrinters())
        names.push_back(platform::Utf8ToUtf16(n));
    std::u16string chosen = printerName[0] ? std::u16string(printerName)
                                           : platform::Utf8ToUtf16(m_backend->DefaultPrinter());
    if (dialog) {
        if (!dialog->ChoosePrinter(names, chosen, chosen))
            return 0;
    }
    if (chosen.empty())
        return 0;
    platform::PrinterSetup setup;
    if (!m_backend->QueryPrinter(platform::Utf16ToUtf8(chosen), setup) || setup.dpiX <= 0 || setup.dpiY <= 0) {
        if (IMessageBoxes* box = TheDocumentUi().messages)
            box->ShowError(u"Printer does not support StretchDIBits.");
        return 0;
    }
    m_setup = setup;
    CopyTextBounded(printerName, 512, chosen.c_str());
    settings.paperWidth = uint32_t(std::lround(setup.printableWidthMm * 10));
    settings.paperLength = uint32_t(std::lround(setup.printableHeightMm * 10));
    settings.dpiX = setup.dpiX;
    settings.dpiY = setup.dpiY;
    physicalWidth = setup.PhysicalWidthPx();
    physicalHeight = setup.PhysicalHeightPx();
    m_hasPrinter = true;
    return 1;
}

double CPrintManage::TenthMmToInches(double length) const
{
    if (m_hasPrinter)
        return length / 100 / kCmPerInch;
    // Without a printer the settings' scale stands in; a missing scale counts as 100.
    const double scale = settings.scale > 0 ? settings.scale : 100;
    return length / scale / kCmPerInch;
}

void CPrintManage::GetPaperSizeInches(double& width, double& height) const
{
    width = TenthMmToInches(settings.paperWidth);
    height = TenthMmToInches(settings.paperLength);
}

int CPrintManage::StartDocument()
{
    if (!m_hasPrinter)
        return 1;
    std::u16string title = u"zendraprtfile";
    if (IStringLookup* strings = TheDocumentUi().strings) {
        std::u16string text = strings->LookupText(u"zendraprtfile");
        if (!text.empty())
            title = text;
    }
    return m_job.Begin(*m_backend, m_setup, platform::Utf16ToUtf8(title)) ? 1 : 0;
}

int CPrintManage::StartPage()
{
    return m_job.StartPage() ? 1 : 0;
}

int CPrintManage::EndPage()
{
    return m_job.EndPage() ? 1 : 0;
}

int CPrintManage::EndDocument()
{
    return m_job.End() ? 1 : 0;
}

int CPrintManage::DrawImage(const ImageBuffer8& image, int left, int top, int right, int bottom)
{
    if (!image.data)
        return 0;
    return m_job.DrawImage(image.data, image.width, image.height, left, top, right, bottom) ? image.height : 0;
}

#include "app/ServerNotify.h"

#include "ui/Registry.h"
#include "platform/Format.h"
#include "platform/Shell.h"
#include "ui/MessageBox.h"
#include "ui/UiSeams.h"

using platform::String16;
using platform::StringView16;

namespace {

// Used when the table's text does not take a number and a text.
constexpr char16_t kNewVersionFallback[] = u"Zendra %.1f is available.\\n%s\\nDo you want to visit the download page?";

bool StartsWithNoCase(StringView16 text, StringView16 prefix)
{
    return text.size() >= prefix.size() && platform::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

} // namespace

int ShownVersionTenths(uint32_t wireVersion, int offsetTenths)
{
    // Hundredths, then the nearest tenth (halves away from zero).
    const int64_t hundredths = static_cast<int64_t>(wireVersion) - static_cast<int64_t>(offsetTenths) * 10;
    return static_cast<int>(hundredths >= 0 ? (hundredths + 5) / 10 : -((-hundredths + 5) / 10));
}

std::optional<String16> FormatNewVersionText(StringView16 format, uint32_t wireVersion, int offsetTenths,
                                             StringView16 replyText)
{
    // One decimal place is exact for a whole number of tenths.
    const double shown = ShownVersionTenths(wireVersion, offsetTenths) / 10.0;
    return platform::Format(format, shown, replyText);
}

bool IsWebAddress(StringView16 text)
{
    size_t start = 0;
    if (StartsWithNoCase(text, u"http://"))
        start = 7;
    else if (StartsWithNoCase(text, u"https://"))
        start = 8;
    else
        return false;
    // A host must follow.
    if (start >= text.size() || text[start] == u'/' || text[start] == u'?' || text[start] == u'#')
        return false;
    for (char16_t c : text) {
        if (c <= 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))
            return false;
    }
    return true;
}

bool OpenWebAddress(StringView16 url)
{
    if (!IsWebAddress(url))
        return false;
    return platform::ShellOpen(url).Succeeded();
}

namespace {

int AskUser(const ServerNotifyHooks& hooks, const char16_t* text, int kind, int buttons)
{
    return hooks.messageBox ? hooks.messageBox(text, kind, buttons) : SpriteMessageBox(text, kind, buttons);
}

void OpenWith(const ServerNotifyHooks& hooks, StringView16 url)
{
    if (!IsWebAddress(url))
        return;
    if (hooks.openUrl)
        hooks.openUrl(url);
    else
        OpenWebAddress(url);
}

} // namespace

int ShowNoticeMessage(const ServerNotice& notice, const ServerNotifyHooks& hooks)
{
    const bool offer = notice.webAddress.size() > 4 && IsWebAddress(notice.webAddress);
    const int answer = AskUser(hooks, notice.message.c_str(), kMbInformation, offer ? kMbYesNo : kMbOk);
    if (offer && answer == 6)
        OpenWith(hooks, notice.webAddress);
    return answer;
}

int HandleServerNotify(uintptr_t code, const ServerNotifyContext& context)
{
    if (!context.server)
        return 0;
    if (code == SERVER_NEW_VERSION) {
        const VersionReply reply = context.server->StoredVersionReply();
        if (reply.newestVersion == 0)
            return 0;
        std::optional<String16> text = FormatNewVersionText(UiText(u"newversionfind"), reply.newestVersion,
                                                            context.versionOffsetTenths, reply.text);
        if (!text)
            text = FormatNewVersionText(kNewVersionFallback, reply.newestVersion, context.versionOffsetTenths,
                                        reply.text);
        if (!text)
            return 0;
        const int answer = AskUser(context.hooks, text->c_str(), kMbInformation, kMbYesNo);
        if (answer == 6) {
            OpenWith(context.hooks, UiText(u"productpage"));
        } else if (answer == 7) {
            WriteRegistryDword(u"Program", u"LastCheckVersion", reply.newestVersion);
        }
        // A box that could not be shown, or was closed, answered nothing: asked again next run.
    } else if (code == SERVER_NOTICE) {
        const ServerNotice notice = context.server->StoredNotice();
        if (context.album && !notice.line.empty())
            context.album(notice);
    }
    return 0;
}

// Condition merge, the slot tests and the photo match.
#include "album/CatalogCondition.h"

#include "album/PhotoDatabase.h"

#include <cmath>
#include <cstring>

namespace {

size_t Len(const char16_t* s, size_t cap)
{
    size_t n = 0;
    while (n < cap && s[n])
        ++n;
    return n;
}

platform::String16 Widen(const char* text, size_t maxChars)
{
    platform::String16 out;
    for (size_t i = 0; i < maxChars && text[i]; ++i)
        out += char16_t(uint8_t(text[i]));
    return out;
}

} // namespace

CSearchNode* CSearchNode::AddChild(std::unique_ptr<CSearchNode> child)
{
    child->parent = this;
    children.push_back(std::move(child));
    return children.back().get();
}

void ConditionEntry::Merge(const ConditionEntry& other)
{
    if (kind == kConditionNone) {
        *this = other;
        return;
    }
    if (kind == kConditionWords && other.kind == kConditionWords) {
        const size_t a = Len(text, kConditionTextChars), b = Len(other.text, kConditionTextChars);
        if (a + 1 + b <= 62) {
            text[a] = u' ';
            std::memcpy(text + a + 1, other.text, b * sizeof(char16_t));
            text[a + 1 + b] = 0;
        }
        return;
    }
    if (kind == kConditionBits && other.kind == kConditionBits)
        first |= other.first;
}

int ConditionEntry::Test(int32_t value, const char16_t* tested) const
{
    switch (kind) {
    case kConditionEqual:
        return value == first;
    case kConditionRange:
    case kConditionDateRange:
        return first <= value && value < second;
    case kConditionWords: {
        if (!tested)
            return 0;
        TagSlot words[kMaxTagSlots];
        const int n = SplitTags(platform::StringView16(text, Len(text, kConditionTextChars)), words);
        const platform::StringView16 whole(tested);
        for (int i = 0; i < n; ++i) {
            const platform::StringView16 w(words[i].text);
            if (whole.find(w) == platform::StringView16::npos && !platform::EqualsNoCase(w, whole))
                return 0;
        }
        return 1;
    }
    case kConditionNear:
        return first == 0 || std::llabs(int64_t(value) - int64_t(first)) <= int64_t(second);
    default:
        return 1;
    }
}

void CatalogCondition::Store(uint8_t (&out)[kCatalogConditionBytes]) const
{
    std::memset(out, 0, sizeof(out));
    for (int s = 0; s < kConditionSlots; ++s) {
        uint8_t* p = out + s * kConditionEntryBytes;
        photorecord::Put<int32_t>(p, slots[s].kind);
        photorecord::Put<int32_t>(p + 4, slots[s].first);
        photorecord::Put<int32_t>(p + 8, slots[s].second);
        for (size_t i = 0; i < kConditionTextChars; ++i)
            photorecord::Put<uint16_t>(p + 12 + 2 * i, slots[s].text[i]);
    }
    for (size_t i = 0; i < kConditionKeywordChars; ++i)
        photorecord::Put<uint16_t>(out + 3500 + 2 * i, keywords[i]);
    photorecord::Put<int32_t>(out + 4012, allKeywords);
}

void CatalogCondition::Load(const uint8_t* bytes, size_t n)
{
    uint8_t full[kCatalogConditionBytes] = {};
    std::memcpy(full, bytes, n < kCatalogConditionBytes ? n : kCatalogConditionBytes);
    for (int s = 0; s < kConditionSlots; ++s) {
        const uint8_t* p = full + s * kConditionEntryBytes;
        slots[s].kind = photorecord::Get<int32_t>(p);
        slots[s].first = photorecord::Get<int32_t>(p + 4);
        slots[s].second = photorecord::Get<int32_t>(p + 8);
        for (size_t i = 0; i < kConditionTextChars; ++i)
            slots[s].text[i] = char16_t(photorecord::Get<uint16_t>(p + 12 + 2 * i));
        slots[s].text[kConditionTextChars - 1] = 0;
    }
    for (size_t i = 0; i < kConditionKeywordChars; ++i)
        keywords[i] = char16_t(photorecord::Get<uint16_t>(full + 3500 + 2 * i));
    keywords[kConditionKeywordChars - 1] = 0;
    allKeywords = photorecord::Get<int32_t>(full + 4012);
}

void MergeCatalogCondition(const CSearchNode& node, CatalogCondition& out)
{
    out = CatalogCondition{};
    for (const CSearchNode* n = &node; n && n->isAlbum; n = n->parent)
        for (int s = 0; s < kConditionSlots; ++s)
            out.slots[s].Merge(n->condition.slots[s]);
}

platform::String16 CatalogFileName(platform::StringView16 path)
{
    size_t start = path.find_last_of(u"/\\");
    start = start == platform::StringView16::npos ? 0 : start + 1;
    platform::StringView16 name = path.substr(start);
    const size_t dot = name.rfind(u'.');
    if (dot != platform::StringView16::npos)
        name = name.substr(0, dot);
    return platform::String16(name);
}

int MatchCatalogCondition(const PhotoRecord& r, platform::StringView16 fileName, int typeCode,
                          const CatalogCondition& c)
{
    const bool camera = r.HasCameraData();
    const int32_t w = r.Width(), h = r.Height();
    const uint8_t exif = r.ExifBits(), extra = r.ExtraBits();
    const int32_t date = camera ? r.Year() * 10000 + r.Month() * 100 + r.Day() : 0;
    const int32_t shutter = r.ExposureDen() ? int32_t(double(r.ExposureNum()) / r.ExposureDen() * 10000.0) : 0;
    const int32_t values[kConditionSlots] = {
        0, typeCode, w, h, w > h ? w : h, w > h ? 1 : 0, int32_t(r.FileLength()), camera ? 1 : 0, date, 0, 0,
        camera ? (exif & 3) : 65535, camera ? ((exif >> 2) & 15) : 65535, camera ? (exif >> 6) : 65535,
        camera ? r.IsoDiv50() : 65535, r.FNumberX10(), shutter, extra & 7, (extra >> 3) & 3, (extra >> 5) & 1,
        (extra >> 6) & 1, (extra >> 7) & 1, 0, int32_t(std::trunc(r.Latitude() * 10000.0)),
        int32_t(std::trunc(r.Longitude() * 10000.0)),
    };
    // Names are tested as capitals, as the database compares paths, so a word typed in
    // capitals matches inside a name whatever case the file has.
    const platform::String16 name = UpperCasePhotoPath(fileName);
    const platform::String16 maker = Widen(r.Maker(), photorecord::kMakerBytes - 1);
    const platform::String16 model = Widen(r.Model(), photorecord::kModelBytes - 1);
    for (int s = 0; s < kConditionSlots; ++s) {
        if (s == kSlotUnused)
            continue;
        const char16_t* text = nullptr;
        if (s == kSlotFileName)
            text = name.c_str();
        else if (s == kSlotMaker)
            text = maker.c_str();
        else if (s == kSlotModel)
            text = model.c_str();
        if (!c.slots[s].Test(values[s], text))
            return 0;
    }
    return 1;
}

int MatchCatalogTags(platform::StringView16 photoTags, const CSearchNode& start)
{
    TagSlot tags[kMaxTagSlots];
    const int m = SplitTags(photoTags, tags);
    for (const CSearchNode* node = &start; node;) {
        TagSlot keys[kMaxTagSlots];
        const platform::StringView16 keywords(node->condition.keywords, Len(node->condition.keywords, kConditionKeywordChars));
        const int n = SplitTags(keywords, keys);
        const CSearchNode* next = node->parent && node->parent->isCatalogue ? node->parent : nullptr;
        if (n > 0) {
            if (m == 0)
                return 0;
            int found = 0;
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < m; ++j)
                    if (platform::EqualsNoCase(keys[i].text, tags[j].text)) {
                        ++found;
                        break;
                    }
            if (node->condition.allKeywords ? found != n : found == 0)
                return 0;
        }
        node = next;
    }
    return 1;
}

// The four registry functions of the program on the platform settings store.
#include "ui/Registry.h"

#include "imaging/ImageBuffer.h"
#include "platform/Settings.h"

using namespace platform;

namespace {

String16 KeyOf(const char16_t* section)
{
    String16 key = kRegistryRoot;
    if (section && *section) {
        key += u'\\';
        key += section;
    }
    return key;
}

SettingsStore& StoreOf(int user)
{
    return Settings(user ? SettingsScope::User : SettingsScope::Machine);
}

// "Last Path" keeps up to 1024 characters, so a value may take 2050 bytes with its terminator.
constexpr size_t kMaxValueBytes = 4096;

} // namespace

uint32_t ReadRegistryDword(const char16_t* section, const char16_t* name, uint32_t defaultValue, int user)
{
    uint32_t value = defaultValue;
    if (!name || !StoreOf(user).ReadDword(KeyOf(section), name, value))
        return defaultValue;
    return value;
}

int ReadRegistryString(const char16_t* section, const char16_t* name, const char16_t* defaultValue,
                       char16_t* out, int capacity, int user)
{
    if (!out || capacity <= 0)
        return 0;
    if (defaultValue)
        CopyTextBounded(out, capacity, defaultValue);
    String16 value;
    if (!name || !StoreOf(user).ReadString(KeyOf(section), name, value))
        return 0;
    // The registry value counts its terminator.
    if ((value.size() + 1) * sizeof(char16_t) > kMaxValueBytes)
        return 0;
    CopyTextBounded(out, capacity, value.c_str());
    return 1;
}

int WriteRegistryDword(const char16_t* section, const char16_t* name, uint32_t value)
{
    return name && Settings(SettingsScope::User).WriteDword(KeyOf(section), name, value) ? 1 : 0;
}

int WriteRegistryString(const char16_t* section, const char16_t* name, const char16_t* value)
{
    return name && value && Settings(SettingsScope::User).WriteString(KeyOf(section), name, value) ? 1 : 0;
}

// Known folders, the program's own folder, the private temporary folder, free space and volumes.
// Folder paths come without a trailing separator. The environment is read at every call, so
// tests can point these at their own folders.
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace platform {

// $HOME, else the password database's home.
String16 HomeFolder();
// Per-user data: $XDG_DATA_HOME, else ~/.local/share (relative values are ignored).
String16 UserDataFolder();
// Per-user configuration: $XDG_CONFIG_HOME, else ~/.config.
String16 UserConfigFolder();
// Pictures: XDG_PICTURES_DIR from user-dirs.dirs in the configuration folder, else ~/Pictures.
String16 PicturesFolder();

// The running program's file, from /proc/self/exe; empty when unknown.
String16 ProgramPath();
// The program folder (string tables, skins, templates, help, schemes): the executable's own
// folder in the build (build/zendra/zendra), PREFIX/share/zendra for an executable installed as
// PREFIX/bin/zendra. Empty when the executable is unknown.
String16 ProgramFolder();
// The same for any executable path.
String16 ProgramFolderOf(StringView16 programPath);

// The private temporary folder: $TMPDIR/zendra-<uid> when TMPDIR is set and usable, else the
// cache folder's zendra/tmp (XDG_CACHE_HOME or ~/.cache: on disk, kept across reboots for crash
// recovery); $XDG_RUNTIME_DIR/zendra when that place is unusable too. Created with mode 0700; an existing one is used only when it is
// a real folder (not a link) owned by this user with no rights for others. Empty when neither
// is usable.
String16 PrivateTempFolder();

// Creates a new empty file with mode 0600 in the private temporary folder, named
// prefix + a number unique in this run and in the folder + suffix. Safe from any number of
// threads at once. Empty on failure.
String16 CreateUniqueTempFile(StringView16 prefix, StringView16 suffix);

struct DiskSpace {
    uint64_t freeToUser = 0; // what this user may still write
    uint64_t total = 0;
    uint64_t totalFree = 0;  // including space reserved for the administrator
};
bool GetDiskSpace(StringView16 path, DiskSpace& out);

struct Volume {
    String16 mountPoint;
    String16 device;       // the mount source, e.g. /dev/sda1
    String16 fileSystem;   // e.g. ext4, vfat
    uint32_t major = 0, minor = 0;
    bool removable = false;
};

// Mount points that hold user files (block devices and network shares; the kernel's own
// file systems are left out), from /proc/self/mountinfo. "/" is always listed, also where it is
// no mount point of its own (a chroot, some containers).
std::vector<Volume> ListVolumes();
// The parse itself, for any mountinfo text; removable is decided from the mount point only
// (under /media, /run/media or /mnt/removable). A text without "/" gets one in front, with no
// device.
std::vector<Volume> ParseMountInfo(std::string_view text);
// The volume whose mount point holds the path (the longest match); false when none does.
bool VolumeOfPath(StringView16 path, const std::vector<Volume>& volumes, Volume& out);

} // namespace platform

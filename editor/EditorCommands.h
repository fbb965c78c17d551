// The editor's command vocabulary: the EditorCommandId values the menus, panels, keys and the
// auto wizard send to an editor tab, how each is carried out (the table in EditCommands.cpp),
// the one-click corrections' parameter records, and the wizard's choices.
#pragma once

#include "platform/Text.h"
#include "ui/StringTable.h"

#include <cstdint>
#include <vector>

class CSMenu;

enum EditorCommandId : int32_t {
    kCmdCrop = 10001,
    kCmdRotateRight = 10002,
    kCmdRotateLeft = 10003,
    kCmdRotateFree = 10004,
    kCmdFlipH = 10005,
    kCmdFlipV = 10006,
    kCmdBarrel = 10007,
    kCmdFreeCrop = 10008,
    kCmdImageSize = 10009,
    kCmdCanvasSize = 10010,
    kCmdContentResize = 10011,
    kCmdShape = 10012,
    kCmdVisualExposure = 11000,
    kCmdAutoLevel = 11001,
    kCmdAutoContrast = 11002,
    kCmdSpotMetering = 11003,
    kCmdFilm = 11007,
    kCmdAutoLevelLinear = 11011,
    kCmdAutoContrastLinear = 11012,
    kCmdAutoWhiteBalance = 12001,
    kCmdRepair = 13003,
    kCmdQuickSharpen = 13004,
    kCmdSharpenDialog = 13005,
    kCmdEdgeSharpen = 13006,
    kCmdQuickBlur = 13007,
    kCmdRedEye = 13014,
    kCmdSmartEraseSelection = 13015,
    kCmdSharpenTexture = 13019,
    kCmdAntiShake = 13020,
    kCmdDeblur = 13021,
    // 16001-16010: the canvas's selection commands (CanvasCommand, CanvasCommands.h).
    kCmdWizard = 18001,
    kCmdPhotoProperty = 18002,
    kCmdSave = 20001,
    kCmdPrint = 20002,
    kCmdMultiHdr = 20003,
    kCmdClose = 21001,
    kCmdAbout = 21003,
    kCmdHelp = 21004,
    kCmdNothing = 21005,
    kCmdSettings = 21006,
    kLanguageDefaultCommand = 21500,
    kLanguageFirstCommand = 21501,
    kLanguageLastCommand = 21599,
    kCmdUndo = 22001,
    kCmdRedo = 22002,
    kCmdApplyOnOthers = 22003,
    kCmdCopy = 22004,
    kCmdPaste = 22005,
    kCmdLoadLayer = 23012,
};

// The language files installed with the program, in the order of the language list.
std::vector<LanguageEntry> InstalledLanguages();

// The curve of the quick sharpen commands (13004, 13019): 65536 strengths by the absolute
// difference.
std::vector<uint16_t> QuickSharpenCurve(int id);

// ---- the auto wizard's hand-over ----

// What a wizard choice leads to: an EditorCommandId to post to the tab, kWizardSharpenDialog
// (the sharpen dialog in its second mode, opened directly), or 0 for nothing.
constexpr int32_t kWizardSharpenDialog = -1;
int32_t WizardChoiceCommand(int choice, bool hasSelection);

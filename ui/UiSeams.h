// What the sprite engine needs of the string table, the UI resources and the log, kept behind
// a few functions so that the engine builds and is tested before those arrive. Each has one
// replaceable source; the defaults read the program folder.
#pragma once

#include "imaging/ImageBuffer.h"
#include "platform/Text.h"

enum class UiImageFolder { Basic, Skin };

// Loads "<program folder>/basic/<name>" or ".../skin/<name>"; 1 on success.
using UiImageSource = int (*)(UiImageFolder folder, const char16_t* name, ImageBuffer8& out);
void SetUiImageSource(UiImageSource source); // null restores the files
int LoadUiImage(UiImageFolder folder, const char16_t* name, ImageBuffer8& out);
// A skin image first, the basic folder second (button icons).
int LoadSkinOrBasicImage(const char16_t* name, ImageBuffer8& out);
// A strip of equal frames `frameWidth` wide (the digit strip, the icon frames).
int LoadUiImageStrip(UiImageFolder folder, const char16_t* name, int frameWidth, ImageList8& out);

// Images every widget shares ("btn.png", "frame.png", the icon frames, the digit strip),
// loaded once and kept for the run; null when missing.
const ImageBuffer8* SharedUiImage(const char16_t* name);
const ImageList8* SharedIconFrames();
const ImageList8* SharedDigitStrip();
void ResetSharedUiImages(); // after SetUiImageSource, and at the end of tests

// The text of a string-table key; a missing key gives the key itself, never null.
using UiTextSource = const char16_t* (*)(const char16_t* key);
void SetUiTextSource(UiTextSource source);
const char16_t* UiText(const char16_t* key);

// The program log; the default writes nothing.
using UiLogSink = void (*)(const char16_t* line);
void SetUiLogSink(UiLogSink sink);
void WriteUiLog(const char16_t* line);

// The program's own sources: texts from theAppResources' string table (after a successful
// `theAppResources.Init`), log lines to its log. Images keep their source (the program folder's
// basic and skin files by default).
void UseAppResourcesForUi();

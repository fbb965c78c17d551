// Image lists filled from files: skin strips cut into frames, single pictures appended.
#pragma once

struct ImageList8;

// Cuts the picture into floor(width / frameWidth) frames, left to right; columns beyond the
// last whole frame are dropped. The list must be empty. 0 when loading or a frame fails.
int LoadImageStrip8(ImageList8& list, const char16_t* path, int frameWidth);
// The same for a list that already holds frames.
int AppendImageStrip8(ImageList8& list, const char16_t* path, int frameWidth);
// Loads one picture and appends it; nothing is appended on failure.
int AppendImageFile8(ImageList8& list, const char16_t* path);

// Reading the screen of an X server straight from a test, apart from the X headers (their names
// clash with ours).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testx {

// The screen's pixels in x, y, w, h as 0x00RRGGBB, through a connection of its own; empty when
// the display cannot be read. Fast enough to poll while another thread draws.
std::vector<uint32_t> ReadScreen(const std::string& display, int x, int y, int w, int h);

} // namespace testx

namespace testx {

// A plain mapped window of its own connection, for drawing into from elsewhere; closing the
// connection destroys the window.
struct PlainWindow;
PlainWindow* OpenPlainWindow(const std::string& display, int x, int y, int w, int h, unsigned long& id);
void ClosePlainWindow(PlainWindow* window);

} // namespace testx

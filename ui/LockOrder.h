// The toolkit's lock order as ranks of platform::CriticalSection (debug builds check them; see
// ui/README.md "Threads and locks"). A thread takes locks in ascending rank only.
#pragma once

#include <cstdint>

namespace lockorder {

constexpr uint32_t kRender = 100;     // CRenderWindow::RenderLock
constexpr uint32_t kPresent = 105;    // the frame being presented: its copy out, a UI-thread compose into it
constexpr uint32_t kDrawList = 110;   // the z-sorted draw list, taken inside RenderLock
constexpr uint32_t kSprite = 1000;    // a top-level sprite; each level below adds one
constexpr uint32_t kSpriteDeepest = 2999;
constexpr uint32_t kDocument = 3000;  // an editor document, then its layers
constexpr uint32_t kLayer = 3100;
constexpr uint32_t kFirstLoader = 4000;  // the thumbnail loaders' queues, after the item list
constexpr uint32_t kSecondLoader = 4001;
constexpr uint32_t kLeaf = 9000;      // locks that never hold another: messages, exit events

} // namespace lockorder

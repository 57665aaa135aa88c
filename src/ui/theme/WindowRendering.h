#pragma once
// How the window is drawn, set before the first window exists: Qt Quick's software scene
// graph, which repaints only what changed (a busy mark's few pixels rather than the whole
// window), needs no GL context or shader compiler at start-up and keeps no GL driver in
// memory. Glyphs through the font engine, as the desktop draws them.

namespace qm {

void configureWindowRendering();

} // namespace qm

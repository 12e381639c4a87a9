#pragma once

namespace tarnwick::platform {

// While the window manager frames a window of ours, the window sits for a moment inside a frame
// not yet placed, at the desk's top left corner. Qt reads the place of a window the server says
// has changed from the server itself, and read then, it takes the window to be on the monitor
// there, maybe of another scale: it scales the window for that monitor and later moves it there.
// From the first call on, until the window manager has placed the frame and shows it, such news
// reaches Qt with the place Qt asked for; the window manager tells Qt where the window went once
// it has placed it. Applies to every top-level window of the program; nothing off X11. GUI thread.
void holdPlacesWhileFraming();

} // namespace tarnwick::platform

#pragma once

namespace tarnwick::inpainting {

// The sizes exemplar filling uses for an image of width × height pixels.
struct Scale {
    int block;  // half-size of the copied block and of the confidence window
    int patch;  // half-size of the matched patch, twice `block`
    int stride; // spacing of the candidate grid and radius of the refinement search
};

Scale scale(int width, int height);

} // namespace tarnwick::inpainting

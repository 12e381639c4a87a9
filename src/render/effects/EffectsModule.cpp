// The effects module's entry: the program looks this function up when it loads the module.
#include "render/Engines.h"
#include "render/effects/ObjectRemoval.h"
#include "render/effects/OpenCvEffects.h"

extern "C" __attribute__((visibility("default"))) const void* tarnwick_effects_engine()
{
    using namespace tarnwick;
    static const EffectsEngine entries{
        .blurredRegion = &effects::blurredRegion,
        .blurInPlace = &effects::blurInPlace,
        .useOpenCL = &effects::useOpenCL,
        .removeObject = &ObjectRemoval::remove,
        .pixelateObject = &ObjectRemoval::pixelate,
        .removeBackground = &effects::removeBackground,
    };
    return &entries;
}

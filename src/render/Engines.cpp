#include "render/Engines.h"

#include "platform/EngineModule.h"

namespace tarnwick {

const EffectsEngine& effectsEngine()
{
    return platform::engine<EffectsEngine>(effectsLibrary, "tarnwick_effects_engine");
}

const RecognitionEngine& recognitionEngine()
{
    return platform::engine<RecognitionEngine>(recognitionLibrary, "tarnwick_recognition_engine");
}

} // namespace tarnwick

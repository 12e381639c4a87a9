// The recognition module's entry: the program looks this function up when it loads the module.
#include "render/Engines.h"
#include "render/recognition/QRCodeRecognizer.h"
#include "render/recognition/ScreenTextRecognizer.h"
#include "render/recognition/WordRegions.h"

extern "C" __attribute__((visibility("default"))) const void* tarnwick_recognition_engine()
{
    using namespace tarnwick;
    static const RecognitionEngine entries{
        .recognizeText = &ScreenTextRecognizer::recognize,
        .recognizeCode = &QRCodeRecognizer::recognize,
        .wordRegions = &ScreenTextRecognizer::wordRegions,
    };
    return &entries;
}

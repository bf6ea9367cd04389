// The FileCR3Analyser over hostile input.
#include "Analysers/KivAnalyserFactories.h"
#include "KivFuzzAnalyser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return KivFuzzAnalyser(CreateFileCR3Analyser, data, size);
}

#include "KivFatSettings.h"

KivFatSettings& KivFatSettings::Get() {
    static KivFatSettings s;
    return s;
}

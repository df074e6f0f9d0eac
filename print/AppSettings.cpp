#include "print/AppSettings.h"

AppSettings& appSettings() {
    static AppSettings settings;
    return settings;
}

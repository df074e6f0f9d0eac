#include "receipt/MainWindowHooks.h"

MainWindowHooks& mainWindowHooks() {
    static MainWindowHooks hooks;
    return hooks;
}

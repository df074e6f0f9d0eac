#pragma once

namespace settings {

// Lets the main window's "设置(&T)..." open the settings dialog.
void installSettingsHooks();

} // namespace settings

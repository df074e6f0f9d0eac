#pragma once

// Installs the main window's way into the overview ("收支统计").
void InstallOverviewHooks();

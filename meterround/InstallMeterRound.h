#pragma once

// Installs "抄表开单" (Ctrl+R) among the main window's commands.
void InstallMeterRound();

#pragma once

// Installs the main window's way into the tenant register ("租户管理(&R)..." and "查询租户(&C)").
void InstallTenantHooks();

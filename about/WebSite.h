#pragma once

// Our web site: the help pages and the version file of the update check live there.

#include <QString>

// "https://rentbook.example.org" unless set otherwise (tests point it at a server of their own).
QString VendorSite();
void SetVendorSite(const QString& site);
// The site followed by a path such as "/help.htm".
QString VendorPage(const QString& path);

// Opens a page of the site with the desktop's browser; when none opens it, a message names the
// address.
void OpenVendorPage(const QString& path);
// "定制软件(&O)" in the main window.
void OnCustomize();

#include "about/WebSite.h"

#include "platform/Services.h"

namespace {

// The one place that names our site.
const char kDefaultSite[] = "https://rentbook.example.org";

QString& site() {
    static QString s = QString::fromLatin1(kDefaultSite);
    return s;
}

} // namespace

QString VendorSite() {
    return site();
}

void SetVendorSite(const QString& s) {
    site() = s.isEmpty() ? QString::fromLatin1(kDefaultSite) : s;
}

QString VendorPage(const QString& path) {
    return site() + path;
}

void OpenVendorPage(const QString& path) {
    const QString url = VendorPage(path);
    // Without a browser nothing would happen at all; the address lets the operator go there.
    if (!platform::openUrl(url))
        platform::messageBox(nullptr, QStringLiteral("无法打开网页，请用浏览器访问：\n%1").arg(url),
                             QString(), platform::MsgIcon::Exclamation);
}

void OnCustomize() {
    OpenVendorPage(QStringLiteral("/help.htm"));
}

#include "platform/FontChooser.h"

#include <QFontDialog>

namespace platform {

namespace {

class QtFontChooser : public FontChooserService {
public:
    std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial) override {
        bool ok = false;
        const QFont font = QFontDialog::getFont(&ok, initial, owner);
        if (!ok)
            return std::nullopt;
        return font;
    }
};

QtFontChooser g_qtFontChooser;
FontChooserService* g_fontChooser = &g_qtFontChooser;

} // namespace

std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial) {
    return g_fontChooser->chooseFont(owner, initial);
}

void setFontChooserService(FontChooserService* service) {
    g_fontChooser = service ? service : &g_qtFontChooser;
}

ScopedFontChooser::ScopedFontChooser() : m_previous(g_fontChooser) {
    g_fontChooser = this;
}
ScopedFontChooser::~ScopedFontChooser() {
    g_fontChooser = m_previous;
}

std::optional<QFont> ScopedFontChooser::chooseFont(QWidget*, const QFont& initial) {
    m_requests.append(initial);
    if (m_answers.isEmpty())
        return std::nullopt;
    return m_answers.takeFirst();
}

} // namespace platform

#pragma once

// The font chooser as a platform service, so that a test answers it from a script instead of
// waiting for a click that cannot come. The real service is a QFontDialog and is in place unless
// a ScopedFontChooser is installed.

#include <QFont>
#include <QList>

#include <optional>

class QWidget;

namespace platform {

class FontChooserService {
public:
    virtual ~FontChooserService() = default;
    // Shows the chooser starting from a font; nothing when the operator cancels.
    virtual std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial) = 0;
};

std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial);
void setFontChooserService(FontChooserService* service);

// Records the font each request starts from and answers from a script: a font or a cancel. An
// exhausted script cancels.
class ScopedFontChooser : public FontChooserService {
public:
    ScopedFontChooser();
    ~ScopedFontChooser() override;
    ScopedFontChooser(const ScopedFontChooser&) = delete;
    ScopedFontChooser& operator=(const ScopedFontChooser&) = delete;

    void answer(const QFont& font) { m_answers.append(font); }
    void answerCancel() { m_answers.append(std::nullopt); }

    std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial) override;
    const QList<QFont>& requests() const { return m_requests; }

private:
    QList<std::optional<QFont>> m_answers;
    QList<QFont> m_requests;
    FontChooserService* m_previous;
};

} // namespace platform

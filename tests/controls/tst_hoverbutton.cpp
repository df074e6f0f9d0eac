// The hover button as the operator sees it, read pixel by pixel from grabbed images: the face
// gradient in each state, the hover and focus frames, the focus rectangle, the pushed and
// disabled captions and the "&" of a caption.

#include "controls/HoverButton.h"
#include "tests/support/DataColumns.h"

#include <QPushButton>
#include <QTest>

namespace {

constexpr int kWidth = 100;
constexpr int kHeight = 32;

enum class State { Plain, Hover, Focus, HoverAndFocus, Pressed, ReleasedAndLeft, Disabled };

// The rectangle of the caption's ink: pixels much darker than any face colour.
QRect inkBox(const QImage& image, int threshold = 128) {
    QRect box;
    for (int y = 3; y < image.height() - 3; ++y)
        for (int x = 4; x < image.width() - 4; ++x)
            if (qGray(image.pixel(x, y)) < threshold)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

Q_DECLARE_METATYPE(State)

class TestHoverButton : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_host;
    CHoverButton* m_button = nullptr;
    QPushButton* m_other = nullptr;

    QImage shot() const { return m_button->grab().toImage(); }
    void pointerOver(bool over) {
        if (over)
            QTest::mouseMove(m_button, m_button->rect().center());
        else
            QTest::mouseMove(m_host.get(), QPoint(m_host->width() - 2, m_host->height() - 2));
        QTRY_COMPARE(m_button->isHovered(), over);
    }

private slots:
    void init() {
        m_host = std::make_unique<QWidget>();
        m_host->resize(240, 120);
        m_button = new CHoverButton(QStringLiteral("OK"), m_host.get());
        m_button->setGeometry(60, 10, kWidth, kHeight);
        m_other = new QPushButton(QStringLiteral("x"), m_host.get());
        m_other->setGeometry(10, 80, 40, 20);
        // The pointer is left where the last test put it, over no window.
        QCursor::setPos(QPoint(1000, 1000));
        m_host->show();
        QVERIFY(QTest::qWaitForWindowActive(m_host.get()));
        pointerOver(false);
    }
    void cleanup() {
        if (m_button->isDown())
            QTest::mouseRelease(m_button, Qt::LeftButton, {}, m_button->rect().center());
        m_host.reset();
    }

    // Face rows left of the caption (below the frames, the middle, the last gradient step, and
    // that step at the right edge), then the inner frame where the focus dots do not run (left,
    // right, top, bottom) and the outline; whether the dotted focus rectangle is drawn.
    void look_data() {
        columns<State, QStringList, bool>("state", "colours", "dotted");
        const QStringList plainFace{"#fcfcfe", "#ededf8", "#e0e0f3", "#e0e0f3"};
        const QStringList hoverFace{"#fcfcf9", "#ededdb", "#e0e0c0", "#e0e0c0"};
        const QStringList hoverFrame{"#fac458", "#fbca6a", "#fcd279", "#e59700", "#3264a0"};
        // No frame: the face and, above it, the white inside of the outline.
        const QStringList noFrame{"#ededf8", "#ededf8", "#ffffff", "#e0e0f3", "#3264a0"};
        QTest::newRow("plain") << State::Plain << plainFace + noFrame << false;
        const QStringList focusFrame{"#99c6fc", "#a2bdfc", "#a2c9ff", "#a2c9ff", "#3264a0"};
        QTest::newRow("focus") << State::Focus << plainFace + focusFrame << true;
        QTest::newRow("hover") << State::Hover << hoverFace + hoverFrame << false;
        QTest::newRow("hover outranks focus") << State::HoverAndFocus << hoverFace + hoverFrame << false;
        // Held down: the hover gradient upside down, dark on top.
        QTest::newRow("pressed") << State::Pressed
                                 << QStringList{"#e0e0c0", "#ededdb", "#fefefd", "#fefefd"} + hoverFrame
                                 << false;
        // The click gave it the focus.
        QTest::newRow("released and left") << State::ReleasedAndLeft << plainFace + focusFrame << true;
        // No hover frame over a disabled button, the gradient kept.
        QTest::newRow("disabled") << State::Disabled << plainFace + noFrame << false;
    }
    void look() {
        auto [state, colours, dotted] = fetch<State, QStringList, bool>("state", "colours", "dotted");
        const QRect up = inkBox(shot());
        (state == State::Focus || state == State::HoverAndFocus ? m_button : m_other)->setFocus();
        if (state == State::Disabled) {
            m_button->setEnabled(false);
            QTest::mouseMove(m_button, m_button->rect().center());
            QTest::qWait(20);
            QVERIFY(!m_button->isHovered());
        } else if (state != State::Plain && state != State::Focus) {
            pointerOver(true);
        }
        if (state == State::Pressed || state == State::ReleasedAndLeft)
            QTest::mousePress(m_button, Qt::LeftButton, {}, m_button->rect().center());
        if (state == State::ReleasedAndLeft) {
            QTest::mouseRelease(m_button, Qt::LeftButton, {}, m_button->rect().center());
            pointerOver(false);
        }
        const QImage image = shot();
        QStringList seen;
        for (const QPoint p : {QPoint(10, 3), QPoint(10, 16), QPoint(10, kHeight - 1),
                               QPoint(kWidth - 1, kHeight - 1), QPoint(3, 16), QPoint(kWidth - 2, 16),
                               QPoint(kWidth / 2, 1), QPoint(kWidth / 2, kHeight - 2), QPoint(kWidth / 2, 0)})
            seen << image.pixelColor(p).name();
        QCOMPARE(seen, colours);

        // The dotted focus rectangle inverts every other pixel of the face's border, along the
        // top and down the left side.
        int changes = 0;
        for (int x = 10; x < 30; ++x)
            changes += image.pixelColor(x, 2) != image.pixelColor(x + 1, 2);
        QCOMPARE(changes, dotted ? 20 : 0);
        if (dotted) {
            QCOMPARE(image.pixelColor(image.pixelColor(10, 2) == QColor("#a2c9ff") ? 11 : 10, 2).name(),
                     "#5d3600");
            QVERIFY(image.pixelColor(2, 15) != image.pixelColor(2, 16));
        }
        // A pushed caption sinks one pixel; a disabled one is grey: no black ink, but a caption
        // still there.
        if (state == State::Pressed)
            QCOMPARE(inkBox(image), up.translated(1, 1));
        QCOMPARE(inkBox(image, 60).isEmpty(), state == State::Disabled);
        QVERIFY(!inkBox(image, 200).isEmpty());
    }

    void ampersandUnderlinesTheNextLetter() {
        m_button->setText(QStringLiteral("S"));
        const QRect plain = inkBox(shot());
        m_button->setText(QStringLiteral("&S"));
        const QRect marked = inkBox(shot());
        // No "&" drawn: the ink starts where it did; a line below the letter.
        QVERIFY(qAbs(marked.left() - plain.left()) <= 1);
        QCOMPARE(marked.top(), plain.top());
        QVERIFY(marked.right() <= plain.right() + 2);
        QVERIFY(marked.bottom() > plain.bottom());
        // The caption stays centred on the face.
        QVERIFY(qAbs((plain.left() + plain.right()) / 2 - kWidth / 2) <= 2);
    }

    // A face with no height left inside the edges: the gradient has no rows to divide by.
    void flatButtonDraws() {
        m_button->setFixedSize(kWidth, 4);
        QCOMPARE(shot().pixelColor(10, 3), QColor(224, 224, 243));
    }
};

QTEST_MAIN(TestHoverButton)
#include "tst_hoverbutton.moc"

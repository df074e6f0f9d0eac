// The hover button as the operator sees it, read pixel by pixel from grabbed images: the face
// gradient in each state, the hover and focus frames, the focus rectangle, the pushed and
// disabled captions and the "&" of a caption.

#include "controls/HoverButton.h"

#include <QPushButton>
#include <QTest>

namespace {

constexpr int kWidth = 100;
constexpr int kHeight = 32;

enum class State { Plain, Hover, Focus, HoverAndFocus, Pressed };

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

    void pointerOver() {
        QTest::mouseMove(m_button, m_button->rect().center());
        QTRY_VERIFY(m_button->isHovered());
    }
    void pointerAway() {
        QTest::mouseMove(m_host.get(), QPoint(m_host->width() - 2, m_host->height() - 2));
        QTRY_VERIFY(!m_button->isHovered());
    }

    void enterState(State state) {
        if (state == State::Focus || state == State::HoverAndFocus)
            m_button->setFocus();
        else
            m_other->setFocus();
        if (state == State::Hover || state == State::HoverAndFocus || state == State::Pressed)
            pointerOver();
        if (state == State::Pressed)
            QTest::mousePress(m_button, Qt::LeftButton, {}, m_button->rect().center());
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
        pointerAway();
    }
    void cleanup() {
        if (m_button->isDown())
            QTest::mouseRelease(m_button, Qt::LeftButton, {}, m_button->rect().center());
        m_host.reset();
    }

    // Rows of the face left of the caption: the first below the frames, one in the middle and
    // the bottom row, where the gradient has reached its last step.
    void faceGradient_data() {
        QTest::addColumn<State>("state");
        QTest::addColumn<QColor>("top");
        QTest::addColumn<QColor>("middle");
        QTest::addColumn<QColor>("bottom");
        QTest::newRow("plain") << State::Plain << QColor(252, 252, 254) << QColor(237, 237, 248)
                               << QColor(224, 224, 243);
        QTest::newRow("focus") << State::Focus << QColor(252, 252, 254) << QColor(237, 237, 248)
                               << QColor(224, 224, 243);
        QTest::newRow("hover") << State::Hover << QColor(252, 252, 249) << QColor(237, 237, 219)
                               << QColor(224, 224, 192);
        // Held down: the hover gradient upside down, dark on top.
        QTest::newRow("pressed") << State::Pressed << QColor(224, 224, 192) << QColor(237, 237, 219)
                                 << QColor(254, 254, 253);
    }
    void faceGradient() {
        QFETCH(State, state);
        QFETCH(QColor, top);
        QFETCH(QColor, middle);
        QFETCH(QColor, bottom);
        enterState(state);
        const QImage image = shot();
        QCOMPARE(image.pixelColor(10, 3), top);
        QCOMPARE(image.pixelColor(10, 16), middle);
        QCOMPARE(image.pixelColor(10, kHeight - 1), bottom);
        // The same gradient across the face, up to the right edge.
        QCOMPARE(image.pixelColor(kWidth - 1, kHeight - 1), bottom);
    }

    // The inner frame, sampled where the dotted focus rectangle does not run.
    void frame_data() {
        QTest::addColumn<State>("state");
        QTest::addColumn<QColor>("left");
        QTest::addColumn<QColor>("right");
        QTest::addColumn<QColor>("top");
        QTest::addColumn<QColor>("bottom");
        QTest::newRow("hover") << State::Hover << QColor(250, 196, 88) << QColor(251, 202, 106)
                               << QColor(252, 210, 121) << QColor(229, 151, 0);
        QTest::newRow("focus") << State::Focus << QColor(153, 198, 252) << QColor(162, 189, 252)
                               << QColor(162, 201, 255) << QColor(162, 201, 255);
        QTest::newRow("hover outranks focus")
            << State::HoverAndFocus << QColor(250, 196, 88) << QColor(251, 202, 106) << QColor(252, 210, 121)
            << QColor(229, 151, 0);
        // No frame: the face and, above it, the white inside of the outline.
        QTest::newRow("plain") << State::Plain << QColor(237, 237, 248) << QColor(237, 237, 248)
                               << QColor(255, 255, 255) << QColor(224, 224, 243);
    }
    void frame() {
        QFETCH(State, state);
        QFETCH(QColor, left);
        QFETCH(QColor, right);
        QFETCH(QColor, top);
        QFETCH(QColor, bottom);
        enterState(state);
        const QImage image = shot();
        QCOMPARE(image.pixelColor(3, 16), left);
        QCOMPARE(image.pixelColor(kWidth - 2, 16), right);
        QCOMPARE(image.pixelColor(kWidth / 2, 1), top);
        QCOMPARE(image.pixelColor(kWidth / 2, kHeight - 2), bottom);
        // The outline along the top.
        QCOMPARE(image.pixelColor(kWidth / 2, 0), QColor(50, 100, 160));
    }

    // The dotted focus rectangle inverts every other pixel of the face's border.
    void focusRectangle_data() {
        QTest::addColumn<State>("state");
        QTest::addColumn<bool>("dotted");
        QTest::newRow("focus") << State::Focus << true;
        QTest::newRow("hover and focus") << State::HoverAndFocus << false;
        QTest::newRow("plain") << State::Plain << false;
    }
    void focusRectangle() {
        QFETCH(State, state);
        QFETCH(bool, dotted);
        enterState(state);
        const QImage image = shot();
        // Along the top row of the face: dots alternate with the frame beneath, inverted.
        int changes = 0;
        for (int x = 10; x < 30; ++x)
            changes += image.pixelColor(x, 2) != image.pixelColor(x + 1, 2);
        QCOMPARE(changes, dotted ? 20 : 0);
        if (dotted) {
            const QColor dot = image.pixelColor(10, 2) == QColor(162, 201, 255) ? image.pixelColor(11, 2)
                                                                                : image.pixelColor(10, 2);
            QCOMPARE(dot, QColor(255 - 162, 255 - 201, 255 - 255));
        }
        // Down the left side too.
        if (dotted)
            QVERIFY(image.pixelColor(2, 15) != image.pixelColor(2, 16));
    }

    void pushedCaptionSinksOnePixel() {
        const QRect up = inkBox(shot());
        QVERIFY(!up.isEmpty());
        m_button->setDown(true);
        QCOMPARE(inkBox(shot()), up.translated(1, 1));
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

    void disabledLook() {
        QVERIFY(!inkBox(shot(), 60).isEmpty());
        m_button->setEnabled(false);
        QTest::mouseMove(m_button, m_button->rect().center());
        QTest::qWait(20);
        QVERIFY(!m_button->isHovered());
        const QImage image = shot();
        // No black ink, but a caption still there in grey; no hover frame, the gradient kept.
        QVERIFY(inkBox(image, 60).isEmpty());
        QVERIFY(!inkBox(image, 200).isEmpty());
        QCOMPARE(image.pixelColor(3, 16), QColor(237, 237, 248));
        QCOMPARE(image.pixelColor(10, kHeight - 1), QColor(224, 224, 243));
    }

    // A face with no height left inside the edges: the gradient has no rows to divide by.
    void flatButtonDraws() {
        m_button->setFixedSize(kWidth, 4);
        QCOMPARE(shot().pixelColor(10, 3), QColor(224, 224, 243));
    }

    void leavingEndsHoverAndPress() {
        enterState(State::Pressed);
        QVERIFY(m_button->isLButtonDown());
        QTest::mouseRelease(m_button, Qt::LeftButton, {}, m_button->rect().center());
        QVERIFY(!m_button->isLButtonDown());
        pointerAway();
        QCOMPARE(shot().pixelColor(10, kHeight - 1), QColor(224, 224, 243));
    }
};

QTEST_MAIN(TestHoverButton)
#include "tst_hoverbutton.moc"

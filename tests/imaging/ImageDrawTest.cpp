// The drawing routines on QPainter/QImage and DrawTo.

#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/draw/ImageDraw.h"

#include <QGuiApplication>
#include <QImageReader>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Fonts need a GUI application (offscreen in tests). It is made and torn
// down by a global test environment, so that it goes before Qt's own
// statics do.
class GuiEnvironment : public testing::Environment {
public:
    void SetUp() override {
        if (!QGuiApplication::instance()) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
            }
            m_app = std::make_unique<QGuiApplication>(m_argc, m_argv);
        }
    }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[24] = "orvanta_imaging_tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QGuiApplication> m_app;
};

[[maybe_unused]] testing::Environment* const kGuiEnvironment =
    testing::AddGlobalTestEnvironment(new GuiEnvironment);

void EnsureGuiApplication() {
    ASSERT_NE(QGuiApplication::instance(), nullptr);
}

QImage Canvas(int w, int h, QColor fill) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

int CountNot(const QImage& image, QRgb colour, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += image.pixel(x, y) != colour;
        }
    }
    return count;
}

} // namespace

TEST(DrawTo, NearestStretchWithoutSmoothing) {
    CxImage image(2, 2, 24);
    image.SetPixelColor(0, 1, MakeRgb(255, 0, 0)); // top-left
    image.SetPixelColor(1, 1, MakeRgb(0, 255, 0));
    image.SetPixelColor(0, 0, MakeRgb(0, 0, 255));
    image.SetPixelColor(1, 0, MakeRgb(255, 255, 255));
    image.AlphaCreate();
    image.AlphaSet(0, 1, 0); // ignored when drawing
    QImage canvas = Canvas(8, 8, Qt::black);
    {
        QPainter painter(&canvas);
        ASSERT_TRUE(imaging::DrawTo(image, painter, QRect(0, 0, 8, 8)));
    }
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const QRgb expected = y < 4 ? (x < 4 ? qRgb(255, 0, 0) : qRgb(0, 255, 0))
                                        : (x < 4 ? qRgb(0, 0, 255) : qRgb(255, 255, 255));
            ASSERT_EQ(canvas.pixel(x, y), expected) << x << "," << y;
        }
    }
    CxImage empty;
    QPainter painter(&canvas);
    EXPECT_FALSE(imaging::DrawTo(empty, painter, QRect(0, 0, 8, 8)));
}

TEST(DrawTo, TransparentColourIsLeftOut) {
    CxImage palette = imagingtest::Pattern(4, 1, 8);
    palette.SetTransIndex(palette.GetPixelIndex(1, 0));
    CxImage rgb(2, 1, 24);
    rgb.SetPixelColor(0, 0, MakeRgb(9, 8, 7));
    rgb.SetPixelColor(1, 0, MakeRgb(200, 100, 50));
    rgb.SetTransIndex(0);
    rgb.SetTransColor(MakeRgb(9, 8, 7));
    QImage canvas = Canvas(4, 2, QColor(1, 2, 3));
    {
        QPainter painter(&canvas);
        imaging::DrawTo(palette, painter, QRect(0, 0, 4, 1));
        imaging::DrawTo(rgb, painter, QRect(0, 1, 2, 1));
    }
    EXPECT_EQ(canvas.pixel(1, 0), qRgb(1, 2, 3));
    const RgbQuad c = palette.GetPixelColor(0, 0);
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(c.red, c.green, c.blue));
    EXPECT_EQ(canvas.pixel(0, 1), qRgb(1, 2, 3));
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(200, 100, 50));
}

TEST(DrawRoutines, RoundRectanglesFillOnlyTheirCorners) {
    QImage canvas = Canvas(40, 40, Qt::white);
    {
        QPainter painter(&canvas);
        imaging::FillRoundRect(painter, 0, 0xff000000, QRect(0, 0, 10, 10));
        imaging::FillRoundRect(painter, 8, 0xff000000, QRect(20, 20, 20, 20),
                               imaging::kCornerTopLeft);
    }
    EXPECT_EQ(CountNot(canvas, qRgb(255, 255, 255), QRect(0, 0, 10, 10)), 100);
    EXPECT_EQ(canvas.pixel(20, 20), qRgb(255, 255, 255)); // rounded away
    EXPECT_EQ(canvas.pixel(39, 20), qRgb(0, 0, 0));       // square corners
    EXPECT_EQ(canvas.pixel(20, 39), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(39, 39), qRgb(0, 0, 0));
}

TEST(DrawRoutines, GlassGradientBands) {
    const QColor base(0, 0, 100);
    for (auto form : {imaging::GlassForm::First, imaging::GlassForm::Second}) {
        QImage canvas = Canvas(20, 100, Qt::black);
        {
            QPainter painter(&canvas);
            imaging::FillGlassGradient(painter, base, nullptr, QRect(0, 0, 20, 100), form);
        }
        const int topAlpha = form == imaging::GlassForm::First ? 150 : 75;
        // Top row: white at the band's first alpha over the base colour.
        EXPECT_NEAR(qRed(canvas.pixel(5, 0)), 255 * topAlpha / 255, 3);
        EXPECT_NEAR(qBlue(canvas.pixel(5, 0)), 100 + (255 - 100) * topAlpha / 255, 3);
        // Between the bands the base shows plain.
        EXPECT_EQ(canvas.pixel(5, 50), base.rgb());
    }
    // Nothing below the rectangle.
    QImage below = Canvas(20, 60, Qt::black);
    {
        QPainter painter(&below);
        imaging::FillGlassGradient(painter, base, nullptr, QRect(0, 0, 20, 40));
    }
    EXPECT_EQ(below.pixel(5, 40), qRgb(0, 0, 0));
    EXPECT_NE(below.pixel(5, 39), qRgb(0, 0, 0));
    // Clipped to a path: nothing outside it changes.
    QImage canvas = Canvas(20, 20, Qt::black);
    QPainterPath clip;
    clip.addRect(0, 0, 10, 20);
    {
        QPainter painter(&canvas);
        imaging::FillGlassGradient(painter, base, &clip, QRect(0, 0, 20, 20));
    }
    EXPECT_EQ(canvas.pixel(15, 10), qRgb(0, 0, 0));
    EXPECT_NE(canvas.pixel(5, 10), qRgb(0, 0, 0));
}

TEST(DrawRoutines, TextStaysInItsRectangleInWholeLines) {
    EnsureGuiApplication();
    QImage canvas = Canvas(300, 100, Qt::white);
    const QRect box(10, 10, 120, 40);
    {
        QPainter painter(&canvas);
        imaging::DrawText(Qt::black, imaging::kTextBold, painter,
                          QStringLiteral("A rather long caption that will not fit in one line"), 12,
                          Qt::AlignLeft, Qt::AlignTop, box);
    }
    EXPECT_GT(CountNot(canvas, qRgb(255, 255, 255), box), 20);
    EXPECT_EQ(CountNot(canvas, qRgb(255, 255, 255), QRect(0, 0, 300, 100)),
              CountNot(canvas, qRgb(255, 255, 255), box));
    // A rectangle lower than one line shows nothing.
    QImage low = Canvas(100, 20, Qt::white);
    {
        QPainter painter(&low);
        imaging::DrawText(Qt::black, 0, painter, QStringLiteral("Hello"), 12, Qt::AlignLeft,
                          Qt::AlignTop, QRect(0, 0, 100, 4));
    }
    EXPECT_EQ(CountNot(low, qRgb(255, 255, 255), QRect(0, 0, 100, 20)), 0);
}

TEST(DrawRoutines, ImageWithOpacityBlends) {
    QImage white = Canvas(4, 4, Qt::white);
    QImage canvas = Canvas(4, 4, Qt::black);
    {
        QPainter painter(&canvas);
        imaging::DrawImageWithOpacity(white, painter, 0.5, QRectF(0, 0, 4, 4));
    }
    EXPECT_NEAR(qRed(canvas.pixel(2, 2)), 128, 2);
}

TEST(DrawRoutines, EncodersSavingAndTheScaledJpegCopy) {
    testsupport::ScopedTestHome home;
    QByteArray id;
    EXPECT_GE(imaging::FindEncoder(QStringLiteral("image/png"), &id), 0);
    EXPECT_EQ(id, "png");
    EXPECT_GE(imaging::FindEncoder(QStringLiteral("image/jpeg")), 0);
    EXPECT_EQ(imaging::FindEncoder(QStringLiteral("image/x-nothing")), -1);
    EXPECT_EQ(imaging::FindEncoder(QStringLiteral("IMAGE/PNG")), -1);

    const QImage picture = imaging::ToQImage(imagingtest::Pattern(400, 200, 24));
    const QString png = QString::fromStdString(home.Temp() + "/source.png");
    ASSERT_TRUE(imaging::SaveAsPng(picture, png));
    CxImage back;
    ASSERT_TRUE(back.LoadFile(png.toStdString()));
    EXPECT_EQ(back.GetType(), imaging::kFormatPng);
    EXPECT_TRUE(imagingtest::SamePixels(back, imagingtest::Pattern(400, 200, 24)));

    const QString jpeg = QString::fromStdString(home.Temp() + "/copy.jpg");
    ASSERT_TRUE(imaging::ScaledJpegCopy(png, jpeg, 100));
    ASSERT_TRUE(back.LoadFile(jpeg.toStdString()));
    EXPECT_EQ(back.GetType(), imaging::kFormatJpg);
    EXPECT_EQ(back.Width(), 100u);
    EXPECT_EQ(back.Height(), 50u);
    ASSERT_TRUE(imaging::ScaledJpegCopy(png, jpeg, 1000)); // never enlarged
    ASSERT_TRUE(back.LoadFile(jpeg.toStdString()));
    EXPECT_EQ(back.Width(), 400u);
    EXPECT_FALSE(
        imaging::ScaledJpegCopy(QString::fromStdString(home.Temp() + "/none.png"), jpeg, 100));
}

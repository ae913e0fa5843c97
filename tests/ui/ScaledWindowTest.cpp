// The main window on a screen scaled by two: twice the size, the same layout, the background
// picture scaled smoothly and the text drawn at the larger size. The test runs itself twice, at
// factor 1 and 2, as the scale factor is read when the application starts.
#include "base/ProgramDir.h"
#include "support/ScriptedDesktop.h"
#include "support/TempDir.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QProcess>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr char kShotVariable[] = "TURNEX_TEST_SHOT";

QImage Shoot(const std::string& executable, const std::string& file, const char* factor)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(factor));
    environment.insert(QString::fromLatin1(kShotVariable), QString::fromStdString(file));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QString::fromStdString(executable), {QStringLiteral("--gtest_filter=ScaledWindow.SaveShot")});
    if (!child.waitForFinished(30000) || child.exitCode() != 0)
        return {};
    return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32);
}

int Gray(QRgb c) { return (qRed(c) * 11 + qGreen(c) * 16 + qBlue(c) * 5) / 32; }

// Mean absolute difference of two same-sized pictures within a rectangle, in grey levels.
double MeanDifference(const QImage& a, const QImage& b, const QRect& area)
{
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += std::abs(Gray(a.pixel(x, y)) - Gray(b.pixel(x, y)));
    return sum / (double(area.width()) * area.height());
}

// Share of 2 x 2 blocks whose pixels are not all alike: zero for a picture whose pixels were
// merely repeated.
double UnevenBlocks(const QImage& image, const QRect& area)
{
    int uneven = 0, blocks = 0;
    for (int y = area.top(); y + 1 <= area.bottom(); y += 2)
        for (int x = area.left(); x + 1 <= area.right(); x += 2) {
            const QRgb c = image.pixel(x, y);
            ++blocks;
            if (image.pixel(x + 1, y) != c || image.pixel(x, y + 1) != c || image.pixel(x + 1, y + 1) != c)
                ++uneven;
        }
    return blocks ? double(uneven) / blocks : 0;
}

}  // namespace

// Run by the test below in a process of its own; skipped when run on its own.
TEST(ScaledWindow, SaveShot)
{
    const QByteArray file = qgetenv(kShotVariable);
    if (file.isEmpty())
        GTEST_SKIP() << "run by ScaledWindow.TwiceTheSizeSameLayoutSmoothPictureSharpText";
    TempDir tmp;
    fs::create_directories(tmp / "prog");
    base::SetProgramDirectory(tmp / "prog");
    ScopedWinePrefix prefix {tmp / "wine"};
    ScriptedDesktop desktop;
    MainWindow window;
    window.show();
    ASSERT_TRUE(window.grab().save(QString::fromUtf8(file)));
}

TEST(ScaledWindow, TwiceTheSizeSameLayoutSmoothPictureSharpText)
{
    TempDir tmp;
    const std::string self = fs::read_symlink("/proc/self/exe");
    const QImage one = Shoot(self, tmp / "one.png", "1");
    const QImage two = Shoot(self, tmp / "two.png", "2");
    ASSERT_FALSE(one.isNull());
    ASSERT_FALSE(two.isNull());
    ASSERT_EQ(one.size(), QSize(640, 480));
    ASSERT_EQ(two.size(), one.size() * 2);

    // The same layout: the factor-1 picture scaled up is close to the factor-2 one everywhere.
    const QImage scaledUp = one.scaled(two.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(MeanDifference(two, scaledUp, two.rect()), 8.0);

    // The background picture, away from text (the window's top band): scaled smoothly, so close
    // to the smooth scaling and with uneven 2 x 2 blocks where the picture has shades.
    const QRect band(40, 20, 1200, 100);
    EXPECT_LT(MeanDifference(two, scaledUp, band), 4.0);
    EXPECT_GT(UnevenBlocks(two, band), 0.2);

    // The text of the labels, drawn at the larger size: a repeated or smoothed factor-1 text
    // would be far blurrier. Its strokes have pixels of full contrast next to each other, which
    // the scaled-up text lacks: compare the darkest pixels of both.
    const QRect labels(2 * 264, 2 * 86, 2 * 120, 2 * 20);  // "User comments"
    auto darkest = [](const QImage& image, const QRect& area) {
        int dark = 255;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                dark = std::min(dark, Gray(image.pixel(x, y)));
        return dark;
    };
    EXPECT_NE(MeanDifference(two, scaledUp, labels), 0.0);
    EXPECT_LE(darkest(two, labels), darkest(scaledUp, labels));
}

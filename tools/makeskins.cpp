// Draws the background pictures of the skinned windows and saves them as 8-bit, 256-colour BMPs:
//   makeskins OUTDIR  ->  OUTDIR/main.bmp (640 x 480), OUTDIR/dialog.bmp (250 x 300)
// The main picture is an earth-toned texture with title artwork along the top and a dark engraved
// line framing the working area; the dialog picture is a stone-coloured frame with a title plate
// around a dark grey inner panel. Deterministic: the same pictures on every run.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>
#include <cstdint>
#include <cstdio>

namespace {

// Smooth value noise in [0, 1] from a fixed hash, several octaves.
double Hash(int x, int y, int seed)
{
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                 static_cast<uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

double Smooth(double x, double y, int seed)
{
    int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    double fx = x - xi, fy = y - yi;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    double a = Hash(xi, yi, seed), b = Hash(xi + 1, yi, seed), c = Hash(xi, yi + 1, seed),
           d = Hash(xi + 1, yi + 1, seed);
    return (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
}

double Noise(double x, double y, int seed)
{
    double sum = 0, amp = 0.5, freq = 1.0 / 48;
    for (int o = 0; o < 5; ++o) {
        sum += amp * Smooth(x * freq, y * freq, seed + o);
        amp *= 0.5;
        freq *= 2;
    }
    return sum / 0.97;
}

QColor Mix(const QColor& a, const QColor& b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

void Texture(QImage& img, QRect r, const QColor& dark, const QColor& light, int seed, double grain)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            double n = Noise(x, y, seed) + (Hash(x, y, seed + 99) - 0.5) * grain;
            img.setPixelColor(x, y, Mix(dark, light, n));
        }
}

// A groove cut into the surface: a dark line with a light one below and right of it.
void Engrave(QPainter& p, QRect r, const QColor& dark, const QColor& light)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(light, 1));
    p.drawRect(r.translated(1, 1));
    p.setPen(QPen(dark, 1));
    p.drawRect(r);
}

void Bevel(QPainter& p, QRect r, const QColor& light, const QColor& dark, int width)
{
    for (int i = 0; i < width; ++i) {
        QRect q = r.adjusted(i, i, -i, -i);
        p.setPen(light);
        p.drawLine(q.topLeft(), q.topRight());
        p.drawLine(q.topLeft(), q.bottomLeft());
        p.setPen(dark);
        p.drawLine(q.bottomLeft(), q.bottomRight());
        p.drawLine(q.topRight(), q.bottomRight());
    }
}

// A stylised bird of prey in flight, for the title artwork.
void Kestrel(QPainter& p, QPointF at, double s, const QColor& c)
{
    QPainterPath bird;
    bird.moveTo(at + QPointF(0, 0));
    bird.cubicTo(at + QPointF(-10 * s, -6 * s), at + QPointF(-22 * s, -4 * s), at + QPointF(-30 * s, 2 * s));
    bird.cubicTo(at + QPointF(-20 * s, 0), at + QPointF(-10 * s, 2 * s), at + QPointF(-3 * s, 6 * s));
    bird.lineTo(at + QPointF(-2 * s, 14 * s));
    bird.lineTo(at + QPointF(0, 11 * s));
    bird.lineTo(at + QPointF(2 * s, 14 * s));
    bird.lineTo(at + QPointF(3 * s, 6 * s));
    bird.cubicTo(at + QPointF(10 * s, 2 * s), at + QPointF(20 * s, 0), at + QPointF(30 * s, 2 * s));
    bird.cubicTo(at + QPointF(22 * s, -4 * s), at + QPointF(10 * s, -6 * s), at + QPointF(0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(bird);
}

QImage MainPicture()
{
    QImage img(640, 480, QImage::Format_RGB32);
    // Sand and clay: light enough behind the black labels.
    Texture(img, img.rect(), QColor(150, 118, 78), QColor(206, 178, 132), 7, 0.08);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // Title band: darker earth with a lighter plate behind the game's name.
    QLinearGradient band(0, 0, 0, 72);
    band.setColorAt(0, QColor(92, 66, 40, 200));
    band.setColorAt(1, QColor(92, 66, 40, 0));
    p.fillRect(QRect(0, 0, 640, 72), band);
    QRect plate(206, 6, 262, 38);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(222, 200, 156));
    p.drawRoundedRect(plate, 6, 6);
    p.setRenderHint(QPainter::Antialiasing, false);
    Bevel(p, plate, QColor(244, 230, 196), QColor(120, 92, 58), 2);
    p.setRenderHint(QPainter::Antialiasing);
    Kestrel(p, QPointF(160, 22), 1.2, QColor(58, 40, 24));
    Kestrel(p, QPointF(514, 22), 1.2, QColor(58, 40, 24));
    QFont title(QStringLiteral("DejaVu Serif"));
    title.setPixelSize(14);
    title.setBold(true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(title);
    p.setPen(QColor(236, 220, 186));
    p.drawText(QRect(14, 12, 120, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("KESTREL"));
    p.drawText(QRect(540, 12, 90, 20), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("SERIES"));
    QFont sub(QStringLiteral("DejaVu Serif"));
    sub.setPixelSize(10);
    sub.setItalic(true);
    p.setFont(sub);
    p.setPen(QColor(70, 50, 30));
    p.drawText(QRect(206, 46, 262, 14), Qt::AlignCenter, QStringLiteral("turn by turn, by mail"));
    p.setRenderHint(QPainter::Antialiasing, false);
    // The engraved frame around the working area, and a second one around the buttons.
    Engrave(p, QRect(8, 78, 620, 390), QColor(66, 46, 26), QColor(226, 204, 160));
    Engrave(p, QRect(484, 90, 130, 370), QColor(66, 46, 26), QColor(226, 204, 160));
    p.end();
    return img;
}

QImage DialogPicture()
{
    QImage img(250, 300, QImage::Format_RGB32);
    Texture(img, img.rect(), QColor(118, 114, 104), QColor(176, 170, 156), 21, 0.18);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    Bevel(p, QRect(0, 0, 250, 300).adjusted(0, 0, -3, -3), QColor(204, 198, 184), QColor(80, 76, 68), 2);
    // Title plate behind the title label.
    QRect plate(26, 4, 197, 22);
    Texture(img, plate, QColor(170, 162, 140), QColor(208, 200, 178), 33, 0.05);
    Bevel(p, plate, QColor(232, 226, 210), QColor(92, 86, 74), 1);
    // The dark inner panel the controls sit on, sunk into the stone.
    QRect panel(12, 34, 224, 252);
    p.fillRect(panel, QColor(41, 41, 41));
    Bevel(p, panel.adjusted(-2, -2, 2, 2), QColor(80, 76, 68), QColor(204, 198, 184), 2);
    p.end();
    return img;
}

// A palette of the picture's own colours: the most frequent 15-bit colour cells, each as the mean
// of its pixels, plus the colours that must come out exactly.
QList<QRgb> Palette(const QImage& img, const QList<QRgb>& exact)
{
    struct Cell {
        long n = 0, r = 0, g = 0, b = 0;
    };
    std::vector<Cell> cells(32768);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            QRgb c = img.pixel(x, y);
            Cell& cell = cells[((qRed(c) >> 3) << 10) | ((qGreen(c) >> 3) << 5) | (qBlue(c) >> 3)];
            ++cell.n;
            cell.r += qRed(c);
            cell.g += qGreen(c);
            cell.b += qBlue(c);
        }
    std::vector<int> order(cells.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return cells[a].n > cells[b].n; });
    QList<QRgb> palette = exact;
    for (int i : order) {
        if (palette.size() >= 256 || cells[i].n == 0)
            break;
        const Cell& c = cells[i];
        QRgb mean = qRgb(int(c.r / c.n), int(c.g / c.n), int(c.b / c.n));
        if (!palette.contains(mean))
            palette << mean;
    }
    while (palette.size() < 256)
        palette << qRgb(0, 0, 0);
    return palette;
}

bool SaveIndexed(const QImage& img, const QString& file, const QList<QRgb>& exact)
{
    // 256 colours, as the windows' pictures have always been.
    QImage rgb = img.convertToFormat(QImage::Format_RGB32);
    QImage indexed = rgb.convertToFormat(QImage::Format_Indexed8, Palette(rgb, exact), Qt::DiffuseDither);
    return indexed.save(file, "BMP");
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: makeskins OUTDIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    return SaveIndexed(MainPicture(), dir + QStringLiteral("/main.bmp"), {}) &&
                   SaveIndexed(DialogPicture(), dir + QStringLiteral("/dialog.bmp"), {qRgb(41, 41, 41)})
               ? 0
               : 1;
}

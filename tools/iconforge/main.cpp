// iconforge - draws VexaHost's tool bar image list (tool00 to tool15) as
// PNG files at 1x, 2x and 3x, and the application icon (vexahost-N.png at
// the desktop's usual sizes), from vector shapes only.
//
// Every image is drawn on a 20 x 20 logical grid and scaled, so the three
// scales match exactly. Edges that carry the outline sit on half pixels and
// the outline is one logical pixel wide: it then covers whole device pixels
// at every integer scale and stays crisp. Shapes are filled with mid-tone
// colours and ringed with a dark outline, so they read on light and on dark
// tool bars alike.
//
// Usage: iconforge OUTPUT_FOLDER
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kBase = 20;

const QColor kOutline(0x1b, 0x23, 0x2c);
const QColor kGreen(0x4c, 0xb8, 0x4f);
const QColor kTeal(0x26, 0xa6, 0x9a);
const QColor kBlue(0x4a, 0x90, 0xe2);
const QColor kRed(0xe5, 0x4b, 0x4b);
const QColor kOrange(0xf0, 0x7a, 0x3a);
const QColor kAmber(0xf6, 0xb9, 0x33);
const QColor kPaleAmber(0xfb, 0xd8, 0x6b);
const QColor kGrey(0x9c, 0xa8, 0xb4);
const QColor kSlate(0x6b, 0x7f, 0x91);
const QColor kPaper(0xf5, 0xf7, 0xfa);
const QColor kPink(0xf0, 0x6e, 0x9c);
const QColor kPurple(0x9c, 0x6a, 0xde);
const QColor kGold(0xe8, 0xc0, 0x4a);

constexpr double kPi = 3.14159265358979323846;

// Fills a shape and rings it with the outline.
void shape(QPainter &p, const QPainterPath &path, const QColor &fill)
{
    p.setPen(QPen(kOutline, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPath(path);
}

// A plain stroke without outline, for small details inside or beside a shape.
void line(QPainter &p, QPointF a, QPointF b, const QColor &colour, double width)
{
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(a, b);
}

// The area covered by a thick stroke, so that it can be filled and outlined
// like any other shape.
QPainterPath band(const QPainterPath &centre, double width, Qt::PenCapStyle cap = Qt::FlatCap)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(centre).simplified();
}

QPainterPath rect(double x0, double y0, double x1, double y1, double radius = 0)
{
    QPainterPath p;
    if (radius > 0)
        p.addRoundedRect(QRectF(QPointF(x0, y0), QPointF(x1, y1)), radius, radius);
    else
        p.addRect(QRectF(QPointF(x0, y0), QPointF(x1, y1)));
    return p;
}

QPainterPath polygon(std::initializer_list<QPointF> points)
{
    QPainterPath p;
    p.addPolygon(QPolygonF(QList<QPointF>(points)));
    p.closeSubpath();
    return p;
}

QPainterPath circle(QPointF centre, double radius)
{
    QPainterPath p;
    p.addEllipse(centre, radius, radius);
    return p;
}

// Point on a circle; angles in degrees, counter-clockwise on screen.
QPointF onCircle(QPointF c, double r, double degrees)
{
    const double a = degrees * kPi / 180.0;
    return c + QPointF(r * std::cos(a), -r * std::sin(a));
}

QPainterPath arc(QPointF c, double r, double from, double span)
{
    QPainterPath p;
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    p.arcMoveTo(box, from);
    p.arcTo(box, from, span);
    return p;
}

// An arc band ending in an arrow head that points along the direction of travel.
QPainterPath arcArrow(QPointF c, double r, double from, double span, double width)
{
    QPainterPath body = band(arc(c, r, from, span), width);
    const double end = from + span;
    const QPointF tip = onCircle(c, r, end);
    const double a = end * kPi / 180.0;
    const QPointF radial(std::cos(a), -std::sin(a));
    const QPointF travel(-std::sin(a), -std::cos(a));
    const double half = width * 1.45;
    return body.united(polygon({tip + radial * half, tip + travel * 4.6, tip - radial * half})).simplified();
}

// ---- The images -----------------------------------------------------------

void goArrow(QPainter &p) // 0
{
    shape(p, polygon({{4.5, 2.5}, {17.5, 10}, {4.5, 17.5}}), kGreen);
}

void pauseBars(QPainter &p) // 1
{
    shape(p, rect(4.5, 3.5, 8.5, 16.5, 1), kBlue);
    shape(p, rect(11.5, 3.5, 15.5, 16.5, 1), kBlue);
}

void repeatArrows(QPainter &p) // 2
{
    const QPointF c(10, 10);
    shape(p, arcArrow(c, 6, 35, 115, 2.6).united(arcArrow(c, 6, 215, 115, 2.6)).simplified(), kTeal);
}

void stopSquare(QPainter &p) // 3
{
    shape(p, rect(4.5, 4.5, 15.5, 15.5, 1.5), kRed);
}

void eraser(QPainter &p) // 4
{
    // The surface being wiped, then the eraser resting on it.
    line(p, {2.5, 17.5}, {17.5, 17.5}, kSlate, 1.0);
    p.save();
    p.translate(11, 9.6);
    p.rotate(-45);
    const QPainterPath whole = rect(-7.5, -3.5, 7.5, 3.5, 1);
    shape(p, whole, kBlue);
    p.setClipPath(whole);
    shape(p, rect(-8, -4, -2.5, 4), kPink);
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.drawPath(whole);
    p.restore();
}

void printer(QPainter &p) // 5
{
    shape(p, rect(5.5, 2.5, 14.5, 8.5), kPaper);
    shape(p, rect(2.5, 7.5, 17.5, 14.5, 1.5), kGrey);
    shape(p, rect(5.5, 11.5, 14.5, 17.5), kPaper);
    line(p, {7.5, 13.5}, {12.5, 13.5}, kSlate, 1.0);
    line(p, {7.5, 15.5}, {11.5, 15.5}, kSlate, 1.0);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawRect(QRectF(14, 9, 2, 1.5));
}

void disk(QPainter &p) // 6
{
    shape(p, polygon({{2.5, 2.5}, {15, 2.5}, {17.5, 5}, {17.5, 17.5}, {2.5, 17.5}}), kBlue);
    shape(p, rect(5.5, 2.5, 13.5, 7.5), kGrey);
    p.setPen(Qt::NoPen);
    p.setBrush(kOutline);
    p.drawRect(QRectF(10, 3.5, 2, 3));
    shape(p, rect(4.5, 10.5, 15.5, 17.5), kPaper);
    line(p, {6.5, 13}, {13.5, 13}, kGrey, 1.0);
    line(p, {6.5, 15}, {13.5, 15}, kGrey, 1.0);
}

void openFolder(QPainter &p) // 7
{
    shape(p, polygon({{1.5, 4.5}, {7, 4.5}, {9, 6.5}, {15.5, 6.5}, {15.5, 16.5}, {1.5, 16.5}}), kAmber);
    shape(p, polygon({{5, 9.5}, {19, 9.5}, {15.5, 16.5}, {1.5, 16.5}}), kPaleAmber);
}

void power(QPainter &p) // 8
{
    // Both strokes 3 wide on whole-pixel centres, so their edges land on half pixels.
    const QPointF c(10, 10.5);
    QPainterPath stem;
    stem.moveTo(10, 3.5);
    stem.lineTo(10, 9.5);
    shape(p, band(arc(c, 7, 135, 270), 3, Qt::RoundCap).united(band(stem, 3, Qt::RoundCap)).simplified(), kOrange);
}

void infoSign(QPainter &p) // 9
{
    shape(p, circle({10, 10}, 7.5), kBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(10, 6), 1.35, 1.35);
    QPainterPath glyph;
    glyph.addPolygon(QPolygonF(QList<QPointF>{{8, 8.5}, {11, 8.5}, {11, 14}, {12, 14}, {12, 15.5},
                                               {8, 15.5}, {8, 14}, {9, 14}, {9, 10}, {8, 10}}));
    glyph.closeSubpath();
    p.drawPath(glyph);
}

void ledLamp(QPainter &p) // 10
{
    const QPointF c(10, 9.5);
    for (double a : {160.0, 120.0, 60.0, 20.0})
        line(p, onCircle(c, 5.6, a), onCircle(c, 7.8, a), kAmber, 1.4);
    line(p, {8, 15}, {8, 19}, kSlate, 1.4);
    line(p, {12, 15}, {12, 19}, kSlate, 1.4);
    QPainterPath dome;
    dome.moveTo(6.5, 14.5);
    dome.lineTo(6.5, 9.5);
    dome.arcTo(QRectF(6.5, 6, 7, 7), 180, -180);
    dome.lineTo(13.5, 14.5);
    dome.closeSubpath();
    shape(p, dome, kRed);
    shape(p, rect(5.5, 13.5, 14.5, 15.5), kGrey);
    line(p, {8.5, 8.5}, {8.5, 11}, QColor(255, 255, 255, 200), 1.0);
}

void wiegandCard(QPainter &p) // 11
{
    // The card, then its two data lines leaving it.
    for (double y : {7.0, 14.0})
        shape(p, polygon({{11, y - 1.5}, {15.5, y - 1.5}, {15.5, y - 3}, {19, y}, {15.5, y + 3}, {15.5, y + 1.5}, {11, y + 1.5}}),
              kGreen);
    shape(p, rect(1.5, 3.5, 12.5, 16.5, 1.5), kPaper);
    shape(p, rect(3.5, 6.5, 7.5, 9.5, 0.5), kGold);
    line(p, {3.5, 13.5}, {9.5, 13.5}, kSlate, 1.0);
}

void gear(QPainter &p) // 12
{
    const QPointF c(10, 10);
    const int teeth = 8;
    QPolygonF outline;
    for (int i = 0; i < teeth; ++i) {
        const double step = 360.0 / teeth;
        const double mid = i * step + step / 4;
        outline << onCircle(c, 6.2, mid - step / 2 + 4) << onCircle(c, 8.3, mid - 9) << onCircle(c, 8.3, mid + 9)
                << onCircle(c, 6.2, mid + step / 2 - 4);
    }
    QPainterPath gear;
    gear.addPolygon(outline);
    gear.closeSubpath();
    shape(p, gear.subtracted(circle(c, 2.6)), kGrey);
}

void speaker(QPainter &p) // 13
{
    shape(p, polygon({{2.5, 7.5}, {5.5, 7.5}, {10.5, 3.5}, {10.5, 16.5}, {5.5, 12.5}, {2.5, 12.5}}), kSlate);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kBlue, 1.5, Qt::SolidLine, Qt::RoundCap));
    for (double r : {3.5, 6.5})
        p.drawPath(arc({10.5, 10}, r, -45, 90));
}

void firmwareChip(QPainter &p) // 14
{
    for (double x : {5.5, 8.0, 10.5})
        line(p, {x, 16}, {x, 19}, kSlate, 1.2);
    for (double y : {9.5, 12.0, 14.5})
        line(p, {1, y}, {4, y}, kSlate, 1.2);
    shape(p, rect(3.5, 7.5, 12.5, 16.5, 1), kSlate);
    p.setPen(Qt::NoPen);
    p.setBrush(kPaper);
    p.drawEllipse(QPointF(5.8, 9.8), 0.9, 0.9);
    shape(p, polygon({{15, 1.5}, {19.5, 6.5}, {16.5, 6.5}, {16.5, 12.5}, {13.5, 12.5}, {13.5, 6.5}, {10.5, 6.5}}), kGreen);
}

void testTube(QPainter &p) // 15
{
    p.save();
    p.translate(10, 10);
    p.rotate(30);
    QPainterPath tube;
    tube.moveTo(-2.5, -7.5);
    tube.lineTo(-2.5, 5);
    tube.arcTo(QRectF(-2.5, 2.5, 5, 5), 180, 180);
    tube.lineTo(2.5, -7.5);
    tube.closeSubpath();
    shape(p, tube, kPaper);
    p.setClipPath(tube);
    shape(p, rect(-4, -0.5, 4, 9), kPurple);
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tube);
    shape(p, rect(-3.5, -8.5, 3.5, -6.5, 0.5), kGrey);
    p.restore();
}

struct Image {
    int index;
    void (*draw)(QPainter &);
};

bool write(const QString &folder, const Image &image, int scale)
{
    QImage img(kBase * scale, kBase * scale, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        image.draw(p);
    }
    const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
    const QString name = QStringLiteral("tool%1%2.png").arg(image.index, 2, 10, QLatin1Char('0')).arg(suffix);
    // Drop the premultiplication and any stray metadata so that rebuilding
    // gives the same bytes.
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    out.setDotsPerMeterX(3780);
    out.setDotsPerMeterY(3780);
    return out.save(QDir(folder).filePath(name), "PNG", 9);
}

// The application icon on a 64 x 64 grid: a reader's blue housing with a
// tag card resting on it and the field's waves rising from the antenna.
void appIcon(QPainter &p)
{
    shape(p, rect(6.5, 30.5, 57.5, 57.5, 7), kBlue);
    shape(p, rect(12.5, 36.5, 51.5, 44.5, 2), kPaper);
    shape(p, circle(QPointF(18.5, 51), 2.5), kGreen);
    shape(p, circle(QPointF(26.5, 51), 2.5), kAmber);
    const QPointF antenna(32, 30);
    for (int i = 0; i < 3; ++i) {
        const double r = 9 + 8 * i;
        p.setPen(QPen(i == 0 ? kTeal : kSlate, 3.5 - i * 0.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(arc(antenna, r, 40, 100));
    }
    shape(p, circle(antenna, 4), kGold);
}

bool writeAppIcon(const QString &folder, int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        appIcon(p);
    }
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    out.setDotsPerMeterX(3780);
    out.setDotsPerMeterY(3780);
    return out.save(QDir(folder).filePath(QStringLiteral("vexahost-%1.png").arg(size)), "PNG", 9);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "iconforge: cannot create %s\n", argv[1]);
        return 1;
    }
    const Image images[] = {
        {0, goArrow},     {1, pauseBars},   {2, repeatArrows}, {3, stopSquare},    {4, eraser},   {5, printer},
        {6, disk},        {7, openFolder},  {8, power},        {9, infoSign},      {10, ledLamp}, {11, wiegandCard},
        {12, gear},       {13, speaker},    {14, firmwareChip}, {15, testTube},
    };
    int written = 0;
    for (const Image &image : images) {
        for (int scale : {1, 2, 3}) {
            if (!write(folder, image, scale)) {
                std::fprintf(stderr, "iconforge: cannot write image %d at %dx\n", image.index, scale);
                return 1;
            }
            ++written;
        }
    }
    for (int size : {16, 32, 48, 64, 128, 256}) {
        if (!writeAppIcon(folder, size)) {
            std::fprintf(stderr, "iconforge: cannot write the application icon at %d pixels\n", size);
            return 1;
        }
        ++written;
    }
    std::printf("iconforge: wrote %d images to %s\n", written, argv[1]);
    return 0;
}

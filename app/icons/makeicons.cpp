// Draws the toolbar pictures once; the PNGs it writes are committed and
// compiled into the program as resources. Run: brisca-make-icons <folder>.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kChip(70, 78, 90);
const QColor kPin(160, 165, 172);
const QColor kBlue(30, 110, 200);
const QColor kGreen(30, 150, 60);
const QColor kOrange(230, 120, 20);

QImage canvas(int w = 40, int h = 40)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

void chip(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(kPin, 1.6));
    const int pins = 3;
    for (int i = 0; i < pins; ++i) {
        const qreal y = r.top() + r.height() * (i + 1) / (pins + 1);
        const qreal x = r.left() + r.width() * (i + 1) / (pins + 1);
        p.drawLine(QPointF(r.left() - 3, y), QPointF(r.right() + 3, y));
        p.drawLine(QPointF(x, r.top() - 3), QPointF(x, r.bottom() + 3));
    }
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(kChip);
    p.drawRoundedRect(r, 2, 2);
    p.setBrush(QColor(120, 200, 255));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(r.left() + 3, r.top() + 3, 3, 3));
}

void page(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawRect(r);
    p.setPen(QPen(QColor(120, 140, 170), 1.2));
    for (qreal y = r.top() + 4; y < r.bottom() - 2; y += 4)
        p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
}

// A thick arrow from a to b.
void arrow(QPainter &p, QPointF a, QPointF b, const QColor &c)
{
    QLineF line(a, b);
    const qreal len = line.length();
    QPainterPath path;
    const qreal shaft = 3.0, head = 7.5, headLen = 9.0;
    path.moveTo(0, -shaft);
    path.lineTo(len - headLen, -shaft);
    path.lineTo(len - headLen, -head);
    path.lineTo(len, 0);
    path.lineTo(len - headLen, head);
    path.lineTo(len - headLen, shaft);
    path.lineTo(0, shaft);
    path.closeSubpath();
    p.save();
    p.translate(a);
    p.rotate(-line.angle());
    p.setPen(QPen(c.darker(150), 1));
    p.setBrush(c);
    p.drawPath(path);
    p.restore();
}

// A page and a chip with an arrow between them: the configuration on its way.
QImage configurationTransfer(const QRectF &pageAt, const QRectF &chipAt, QPointF from, QPointF to, const QColor &color)
{
    QImage img = canvas();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    page(p, pageAt);
    chip(p, chipAt);
    arrow(p, from, to, color);
    return img;
}

QImage sendConfiguration()
{
    return configurationTransfer(QRectF(2.5, 2.5, 14, 18), QRectF(21.5, 21.5, 14, 14), QPointF(12, 16),
                                 QPointF(23, 27), kBlue);
}

QImage readConfiguration()
{
    return configurationTransfer(QRectF(23.5, 17.5, 14, 18), QRectF(5.5, 5.5, 14, 14), QPointF(16, 20),
                                 QPointF(26, 30), kGreen);
}

QImage readData()
{
    QImage img = canvas();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    chip(p, QRectF(13.5, 4.5, 13, 11));
    // A strip of logged samples under the arrow.
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 26.5, 35, 11));
    p.setPen(QPen(kOrange, 1.6));
    const QPointF trace[] = {{4, 35}, {9, 30}, {14, 33}, {19, 28}, {24, 34}, {29, 29}, {36, 31}};
    p.drawPolyline(trace, 7);
    arrow(p, QPointF(20, 15), QPointF(20, 28), kGreen);
    return img;
}

QImage pitlaneDownload()
{
    QImage img = canvas();
    QPainter p(&img);
    // Chequered flag on a pole.
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.drawLine(QPointF(4, 3), QPointF(4, 37));
    const int cell = 4;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c)
            p.fillRect(5 + c * cell, 3 + r * cell, cell, cell, (r + c) % 2 ? Qt::white : Qt::black);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(5, 3, 5 * cell - 1, 4 * cell - 1);
    p.setRenderHint(QPainter::Antialiasing);
    arrow(p, QPointF(31, 6), QPointF(31, 30), kGreen);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(230, 230, 230));
    p.drawRoundedRect(QRectF(18.5, 31.5, 20, 6), 1.5, 1.5);
    return img;
}

QImage searchEcu()
{
    QImage img = canvas();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    chip(p, QRectF(5.5, 5.5, 16, 16));
    // Magnifier over the chip.
    p.setPen(QPen(QColor(50, 50, 50), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(29, 29), QPointF(37, 37));
    p.setPen(QPen(QColor(40, 40, 40), 2.5));
    p.setBrush(QColor(180, 220, 255, 150));
    p.drawEllipse(QPointF(22, 22), 9, 9);
    return img;
}

QImage infoLogo()
{
    QImage img = canvas(79, 47);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 47);
    g.setColorAt(0, QColor(40, 120, 210));
    g.setColorAt(1, QColor(15, 55, 120));
    p.setPen(QPen(QColor(10, 40, 90), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, 78, 46), 7, 7);
    // A logged trace across the badge.
    p.setPen(QPen(QColor(255, 190, 60), 2));
    const QPointF trace[] = {{6, 38}, {16, 30}, {24, 34}, {34, 24}, {44, 31}, {54, 20}, {62, 26}, {73, 16}};
    p.drawPolyline(trace, 8);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(16);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 2, 79, 20), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Brisca"));
    // The "i" of information in the corner.
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(70, 38), 6, 6);
    p.setPen(QPen(QColor(20, 80, 160), 2));
    p.drawLine(QPointF(70, 36.5), QPointF(70, 41.5));
    p.drawPoint(QPointF(70, 34));
    return img;
}

// A plot with a cursor line: the quick look at a download.
QImage viewData()
{
    QImage img = canvas();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 5.5, 33, 29));
    p.setPen(QPen(kBlue, 2));
    const QPointF a[] = {{5, 28}, {11, 20}, {16, 24}, {22, 12}, {28, 18}, {35, 9}};
    p.drawPolyline(a, 6);
    p.setPen(QPen(kGreen, 2));
    const QPointF b[] = {{5, 31}, {12, 29}, {18, 31}, {25, 26}, {30, 28}, {35, 25}};
    p.drawPolyline(b, 6);
    p.setPen(QPen(kOrange, 1.5, Qt::DashLine));
    p.drawLine(QPointF(24, 6), QPointF(24, 34));
    return img;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    const struct { const char *name; QImage image; } icons[] = {
        {"send_config.png", sendConfiguration()}, {"read_config.png", readConfiguration()},
        {"read_data.png", readData()},            {"pitlane_download.png", pitlaneDownload()},
        {"search_ecu.png", searchEcu()},          {"info_logo.png", infoLogo()},
        {"view_data.png", viewData()},
    };
    for (const auto &icon : icons)
        if (!icon.image.save(dir + QLatin1Char('/') + QLatin1String(icon.name)))
            return 1;
    return 0;
}

// Draws the program's images: the 79 x 20 logo with transparency and the program icon.
//   scoutcam_draw_images FOLDER               logo.png and the 128 x 128 scoutcam.png, for
//                                             app/res (commit what it writes)
//   scoutcam_draw_images --icons FOLDER SIZE...
//                                             the icon at each size, as the icon theme lays
//                                             it out: FOLDER/SIZExSIZE/apps/scoutcam.png
//                                             (the build runs this for the installed icons)
//   scoutcam_draw_images --ico FILE           the Windows icon: 16, 24, 32, 48 and 256 pixels,
//                                             each a PNG inside one .ico, for win/res
#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

// A camera: rounded body, lens rings, a small light; drawn into a square of side s at (x, y).
void DrawCamera(QPainter& p, qreal x, qreal y, qreal s) {
    QLinearGradient body(x, y, x, y + s);
    body.setColorAt(0, QColor(58, 120, 196));
    body.setColorAt(1, QColor(22, 64, 128));
    p.setPen(QPen(QColor(16, 44, 92), s / 32.0));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(x + s * 0.06, y + s * 0.22, s * 0.88, s * 0.62), s * 0.12, s * 0.12);
    p.drawRoundedRect(QRectF(x + s * 0.18, y + s * 0.12, s * 0.26, s * 0.14), s * 0.04, s * 0.04);
    p.setBrush(QColor(235, 242, 250));
    p.drawEllipse(QPointF(x + s * 0.5, y + s * 0.53), s * 0.25, s * 0.25);
    QRadialGradient lens(QPointF(x + s * 0.45, y + s * 0.48), s * 0.2);
    lens.setColorAt(0, QColor(110, 170, 230));
    lens.setColorAt(1, QColor(12, 30, 60));
    p.setBrush(lens);
    p.drawEllipse(QPointF(x + s * 0.5, y + s * 0.53), s * 0.17, s * 0.17);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 190, 60));
    p.drawEllipse(QPointF(x + s * 0.82, y + s * 0.32), s * 0.045, s * 0.045);
}

QImage DrawLogo() {
    QImage image(79, 20, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    DrawCamera(p, 0, 1, 18);
    // The largest bold face whose name fits beside the camera.
    const QString name = QStringLiteral("Scoutcam");
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setBold(true);
    for (int px = 14; px > 6; --px) {
        font.setPixelSize(px);
        if (QFontMetrics(font).horizontalAdvance(name) <= 58) {
            break;
        }
    }
    p.setFont(font);
    p.setPen(QColor(22, 64, 128));
    p.drawText(QRectF(20, 0, 59, 20), Qt::AlignLeft | Qt::AlignVCenter, name);
    return image;
}

QImage DrawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawCamera(p, 0, 0, size);
    return image;
}

// Writes the icon at each size given; false on a size outside 1..1024 or a failed write.
bool DrawIconSizes(const QString& dir, const QStringList& sizes) {
    for (const QString& text : sizes) {
        bool number = false;
        const int size = text.toInt(&number);
        if (!number || size < 1 || size > 1024) {
            std::fprintf(stderr, "not an icon size: %s\n", qPrintable(text));
            return false;
        }
        const QString sub = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
        if (!QDir().mkpath(sub) ||
            !DrawIcon(size).save(sub + QStringLiteral("/scoutcam.png"), "PNG")) {
            std::fprintf(stderr, "cannot write %s/scoutcam.png\n", qPrintable(sub));
            return false;
        }
    }
    return true;
}

// An .ico of PNG images (Windows Vista and later read them): the directory of entries, then
// each image's PNG bytes. Sizes of 256 are written as 0, as the format has one byte for them.
bool WriteIco(const QString& path) {
    const int sizes[] = {16, 24, 32, 48, 256};
    QList<QByteArray> images;
    for (int size : sizes) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!DrawIcon(size).save(&buffer, "PNG")) {
            return false;
        }
        images << png;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    const int count = static_cast<int>(images.size());
    out << quint16(0) << quint16(1) << quint16(count);
    quint32 offset = 6 + 16 * count;
    for (int i = 0; i < count; ++i) {
        const quint8 side = sizes[i] >= 256 ? 0 : static_cast<quint8>(sizes[i]);
        out << side << side << quint8(0) << quint8(0) << quint16(1) << quint16(32)
            << quint32(images[i].size()) << offset;
        offset += static_cast<quint32>(images[i].size());
    }
    for (const QByteArray& png : images) {
        out.writeRawData(png.constData(), static_cast<int>(png.size()));
    }
    return out.status() == QDataStream::Ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    // The icon has no text: it needs no fonts, hence no application object nor display.
    if (args.size() >= 3 && args[0] == QStringLiteral("--icons")) {
        return DrawIconSizes(args[1], args.mid(2)) ? 0 : 1;
    }
    if (args.size() == 2 && args[0] == QStringLiteral("--ico")) {
        return WriteIco(args[1]) ? 0 : 1;
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: %s FOLDER | --icons FOLDER SIZE... | --ico FILE\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString dir = args[0];
    bool ok = DrawLogo().save(dir + QStringLiteral("/logo.png"), "PNG") &&
              DrawIcon(128).save(dir + QStringLiteral("/scoutcam.png"), "PNG");
    return ok ? 0 : 1;
}

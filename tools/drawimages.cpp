// Draws Kestrune's own artwork: the two link-button images and the
// application icon, the latter also as the PNG files of an icon theme.
// Usage: drawimages <image directory> <icon theme directory> <icon name>
//
// NetOff.png / NetOn.png: 128x128 RGBA, a plug and a socket on a diagonal,
// apart and grey for a closed link, joined and green/blue for an open one.
// icon.ico: the joined plug on a rounded gradient square, one image per size.
// Qt's ico writer stores a single image per file, so the ICO container is
// written here: sizes below 256 as 32-bit BMP DIBs with an AND mask, 256 as
// an embedded PNG stream.
// <icon theme directory>/hicolor/<n>x<n>/apps/<icon name>.png: the same icon
// design at each size, for the desktop's launcher and task bar.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSaveFile>
#include <QtEndian>

#include <cstdio>
#include <vector>

namespace {

struct Tone
{
    QColor light;
    QColor dark;
    QColor edge;
};

struct LinkStyle
{
    Tone plug;
    Tone socket;
    qreal edgeWidth = 4.0;
};

// Fills a shape with a gradient across the link axis so the parts read as
// solid bodies rather than flat outlines.
void fillPart(QPainter &p, const QPainterPath &shape, const Tone &tone, qreal edgeWidth)
{
    const QRectF box = shape.boundingRect();
    QLinearGradient grad(0, box.top(), 0, box.bottom());
    grad.setColorAt(0.0, tone.light);
    grad.setColorAt(1.0, tone.dark);
    p.setBrush(grad);
    if (edgeWidth > 0)
        p.setPen(QPen(tone.edge, edgeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    else
        p.setPen(Qt::NoPen);
    p.drawPath(shape);
}

QPainterPath roundedRect(qreal x1, qreal y1, qreal x2, qreal y2, qreal r)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(x1, y1), QPointF(x2, y2)), r, r);
    return path;
}

// Draws the plug (left) and socket (right) in a 128x128 design space, along
// the rising diagonal. `gap` is the distance of each front face from the
// centre: 0 joins them, with the prongs hidden inside the socket.
void drawLink(QPainter &p, qreal gap, const LinkStyle &style)
{
    p.save();
    p.translate(64, 64);
    p.rotate(-45);

    const qreal reach = 78;     // cable ends, from the centre
    const qreal cableHalf = 6;
    const qreal bodyLen = 30;
    const qreal bodyHalf = 22;
    const qreal gripLen = 12;
    const qreal gripHalf = 14;

    const qreal plugFace = -gap;
    const qreal socketFace = gap;

    // Cables first so the bodies cover their inner ends.
    const auto cable = [&](qreal from, qreal to, const Tone &tone) {
        QPainterPath path;
        path.moveTo(from, 0);
        path.lineTo(to, 0);
        p.setBrush(Qt::NoBrush);
        if (style.edgeWidth > 0) {
            p.setPen(QPen(tone.edge, 2 * cableHalf + style.edgeWidth, Qt::SolidLine, Qt::RoundCap));
            p.drawPath(path);
        }
        p.setPen(QPen(tone.dark, 2 * cableHalf, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(path);
    };
    cable(-reach, plugFace - bodyLen, style.plug);
    cable(socketFace + bodyLen, reach, style.socket);

    // Plug: two prongs, body, grip.
    for (const qreal y : {-14.0, 6.0})
        fillPart(p, roundedRect(plugFace - 4, y, plugFace + 16, y + 8, 2), style.plug, style.edgeWidth);
    fillPart(p, roundedRect(plugFace - bodyLen - gripLen + 2, -gripHalf, plugFace - bodyLen + 4, gripHalf, 5),
             style.plug, style.edgeWidth);
    fillPart(p, roundedRect(plugFace - bodyLen, -bodyHalf, plugFace, bodyHalf, 8), style.plug, style.edgeWidth);

    // Socket: body, grip, and two dark slots on its face when they show.
    fillPart(p, roundedRect(socketFace + bodyLen - 4, -gripHalf, socketFace + bodyLen + gripLen - 2, gripHalf, 5),
             style.socket, style.edgeWidth);
    fillPart(p, roundedRect(socketFace, -bodyHalf, socketFace + bodyLen, bodyHalf, 8), style.socket,
             style.edgeWidth);
    if (gap > 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(style.socket.edge);
        for (const qreal y : {-15.0, 5.0})
            p.drawRoundedRect(QRectF(socketFace - 1, y, 6, 10), 2, 2);
    }

    p.restore();
}

const LinkStyle offStyle{
    {QColor(0xc4, 0xc8, 0xcc), QColor(0x86, 0x8c, 0x92), QColor(0x55, 0x5a, 0x60)},
    {QColor(0xc4, 0xc8, 0xcc), QColor(0x86, 0x8c, 0x92), QColor(0x55, 0x5a, 0x60)},
};

const LinkStyle onStyle{
    {QColor(0x5d, 0xe0, 0x7a), QColor(0x17, 0xa3, 0x4a), QColor(0x0b, 0x5e, 0x2a)},
    {QColor(0x5c, 0xb8, 0xff), QColor(0x15, 0x6f, 0xe0), QColor(0x0b, 0x3f, 0x8a)},
};

QImage blankImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

QImage drawButtonImage(bool on)
{
    QImage image = blankImage(128);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawLink(p, on ? 0 : 20, on ? onStyle : offStyle);
    p.end();
    return image;
}

QImage drawIcon(int size)
{
    QImage image = blankImage(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);

    const QRectF tile(4, 4, 120, 120);
    QLinearGradient back(tile.topLeft(), tile.bottomRight());
    back.setColorAt(0.0, QColor(0x1e, 0x88, 0xe5));
    back.setColorAt(1.0, QColor(0x12, 0xb8, 0x6a));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(tile, 26, 26);

    // Gloss on the upper half of the tile.
    QLinearGradient gloss(0, tile.top(), 0, tile.center().y());
    gloss.setColorAt(0.0, QColor(255, 255, 255, 70));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawRoundedRect(tile.adjusted(0, 0, 0, -tile.height() / 2), 26, 26);

    // The joined plug in white with a faint shadow, scaled into the tile; a
    // thin dark edge keeps the seam between plug and socket visible.
    const QColor edge(0x0c, 0x4f, 0x6e, 150);
    const Tone plug{QColor(255, 255, 255), QColor(0xe6, 0xf4, 0xec), edge};
    const Tone socket{QColor(255, 255, 255), QColor(0xe2, 0xee, 0xfa), edge};
    const Tone shadow{QColor(0, 0, 0, 60), QColor(0, 0, 0, 60), QColor(0, 0, 0, 0)};
    const auto placed = [&](qreal dx, qreal dy, const LinkStyle &style) {
        p.save();
        p.translate(64 + dx, 64 + dy);
        p.scale(0.74, 0.74);
        p.translate(-64, -64);
        drawLink(p, 0, style);
        p.restore();
    };
    placed(2.5, 3.5, LinkStyle{shadow, shadow, 0});
    placed(0, 0, LinkStyle{plug, socket, 3});
    p.end();
    return image;
}

void putLe16(QByteArray &out, quint16 v)
{
    const quint16 le = qToLittleEndian(v);
    out.append(reinterpret_cast<const char *>(&le), sizeof le);
}

void putLe32(QByteArray &out, quint32 v)
{
    const quint32 le = qToLittleEndian(v);
    out.append(reinterpret_cast<const char *>(&le), sizeof le);
}

// One ICO entry as a Windows DIB: BITMAPINFOHEADER with doubled height, the
// BGRA rows bottom-up, then the 1-bit AND mask (set where fully transparent).
QByteArray dibEntry(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const int maskStride = ((w + 31) / 32) * 4;

    QByteArray out;
    putLe32(out, 40);
    putLe32(out, quint32(w));
    putLe32(out, quint32(2 * h));
    putLe16(out, 1);
    putLe16(out, 32);
    putLe32(out, 0);
    putLe32(out, quint32(w * h * 4 + maskStride * h));
    putLe32(out, 0);
    putLe32(out, 0);
    putLe32(out, 0);
    putLe32(out, 0);

    for (int y = h - 1; y >= 0; --y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            out.append(char(qBlue(row[x])));
            out.append(char(qGreen(row[x])));
            out.append(char(qRed(row[x])));
            out.append(char(qAlpha(row[x])));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QByteArray mask(maskStride, '\0');
        for (int x = 0; x < w; ++x) {
            if (qAlpha(row[x]) == 0)
                mask[x / 8] = char(mask[x / 8] | (0x80 >> (x % 8)));
        }
        out.append(mask);
    }
    return out;
}

QByteArray pngEntry(const QImage &image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return out;
}

QByteArray icoFile(const std::vector<QImage> &images)
{
    std::vector<QByteArray> payloads;
    for (const QImage &image : images)
        payloads.push_back(image.width() >= 256 ? pngEntry(image) : dibEntry(image));

    QByteArray out;
    putLe16(out, 0);
    putLe16(out, 1);
    putLe16(out, quint16(images.size()));
    quint32 offset = quint32(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const QImage &image = images[i];
        out.append(char(image.width() >= 256 ? 0 : image.width()));
        out.append(char(image.height() >= 256 ? 0 : image.height()));
        out.append(char(0));
        out.append(char(0));
        putLe16(out, 1);
        putLe16(out, 32);
        putLe32(out, quint32(payloads[i].size()));
        putLe32(out, offset);
        offset += quint32(payloads[i].size());
    }
    for (const QByteArray &payload : payloads)
        out.append(payload);
    return out;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size()
        && file.commit();
}

// Reads the icon back through Qt's own ico plugin and QIcon, as the program
// will at run time.
bool checkIcon(const QString &path, int expected)
{
    QImageReader reader(path);
    const int count = reader.imageCount();
    std::printf("%s: %d images\n", qPrintable(path), count);
    bool ok = count == expected;
    for (int i = 0; i < count; ++i) {
        reader.jumpToImage(i);
        const QImage image = reader.read();
        std::printf("  #%d %dx%d %s\n", i, image.width(), image.height(), image.isNull() ? "INVALID" : "ok");
        ok = ok && !image.isNull();
    }
    const QPixmap pixmap = QIcon(path).pixmap(32, 32);
    std::printf("  QIcon pixmap 32: %s\n", pixmap.isNull() ? "null" : "ok");
    return ok && !pixmap.isNull();
}

// Writes one theme PNG per size and reads each back to confirm its size.
bool writeThemeIcons(const QDir &themeRoot, const QString &name, const std::vector<QImage> &images)
{
    bool ok = true;
    for (const QImage &image : images) {
        const QString size = QStringLiteral("%1x%1").arg(image.width());
        const QString folder = themeRoot.filePath(QStringLiteral("hicolor/%1/apps").arg(size));
        const QString path = folder + u'/' + name + QStringLiteral(".png");
        const bool written = QDir().mkpath(folder) && image.save(path, "PNG");
        const bool readBack = written && QImage(path).size() == image.size();
        std::printf("%s: %s\n", qPrintable(path), readBack ? "ok" : "FAILED");
        ok = ok && readBack;
    }
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: drawimages <image directory> <icon theme directory> <icon name>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QDir themeRoot(QString::fromLocal8Bit(argv[2]));
    const QString iconName = QString::fromLocal8Bit(argv[3]);
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    bool ok = drawButtonImage(false).save(dir.filePath(QStringLiteral("NetOff.png")), "PNG");
    ok = drawButtonImage(true).save(dir.filePath(QStringLiteral("NetOn.png")), "PNG") && ok;

    std::vector<QImage> sizes;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        sizes.push_back(drawIcon(size));
    const QString iconPath = dir.filePath(QStringLiteral("icon.ico"));
    ok = writeFile(iconPath, icoFile(sizes)) && ok;
    ok = ok && checkIcon(iconPath, int(sizes.size()));
    ok = writeThemeIcons(themeRoot, iconName, sizes) && ok;

    if (!ok) {
        std::fprintf(stderr, "drawimages: writing or checking the images failed\n");
        return 1;
    }
    return 0;
}

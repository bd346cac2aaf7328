// Draws the pictures that ship inside the application bundle.
//
//   make_bundle_pictures <output-dir>          write all pictures
//   make_bundle_pictures --check <output-dir>  load them back and verify
//
// Everything is drawn from geometry (no text) so the output does not depend on
// the fonts installed on the build machine.

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QColor kBubbleFill(0x23, 0x23, 0x23);

QImage transparentCanvas(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void smooth(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
}

// ---------------------------------------------------------------- shapes

// A jigsaw piece: knobs on top and right, sockets on left and bottom.
QPainterPath puzzlePiece(const QRectF &body, qreal knob)
{
    const qreal corner = knob * 0.45;
    const qreal reach = knob * 0.6;
    const qreal socket = knob * 0.78;

    QPainterPath piece;
    piece.addRoundedRect(body, corner, corner);

    QPainterPath add;
    add.addEllipse(QPointF(body.center().x(), body.top() - reach), knob, knob);
    add.addEllipse(QPointF(body.right() + reach, body.center().y()), knob, knob);
    piece = piece.united(add);

    QPainterPath cut;
    cut.addEllipse(QPointF(body.left() + reach, body.center().y()), socket, socket);
    cut.addEllipse(QPointF(body.center().x(), body.bottom() - reach + socket * 0.1), socket, socket);
    return piece.subtracted(cut).simplified();
}

void paintPuzzlePiece(QPainter &p, const QPainterPath &piece, const QColor &light,
                      const QColor &dark, const QColor &edge, qreal edgeWidth)
{
    const QRectF r = piece.boundingRect();

    // Soft drop shadow so the piece lifts off both light and dark rows.
    p.save();
    p.translate(0, edgeWidth * 1.2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 45));
    p.drawPath(piece);
    p.restore();

    QLinearGradient fill(r.topLeft(), r.bottomRight());
    fill.setColorAt(0.0, light);
    fill.setColorAt(1.0, dark);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(piece);

    // Gloss on the upper half, kept inside the outline.
    p.save();
    p.setClipPath(piece);
    QLinearGradient gloss(r.topLeft(), QPointF(r.left(), r.center().y()));
    gloss.setColorAt(0.0, QColor(255, 255, 255, 110));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawRect(QRectF(r.left(), r.top(), r.width(), r.height() * 0.55));
    p.restore();

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(edge, edgeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(piece);
}

// A closed manila-style folder filling `box`; used for the row icon and the
// add/remove buttons so they read as the same object.
void paintFolder(QPainter &p, const QRectF &box)
{
    const qreal w = box.width();
    const qreal h = box.height();
    const qreal x = box.left();
    const qreal y = box.top();
    const qreal tabH = h * 0.16;
    const qreal frontTop = y + h * 0.26;
    const qreal round = w * 0.05;
    const QColor edge(150, 100, 18);

    QPainterPath back;
    back.moveTo(x, y + round);
    back.quadTo(x, y, x + round, y);
    back.lineTo(x + w * 0.34, y);
    back.lineTo(x + w * 0.34 + tabH, y + tabH);
    back.lineTo(x + w - round, y + tabH);
    back.quadTo(x + w, y + tabH, x + w, y + tabH + round);
    back.lineTo(x + w, y + h);
    back.lineTo(x, y + h);
    back.closeSubpath();

    p.setPen(QPen(edge, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(QColor(224, 162, 40));
    p.drawPath(back);

    QPainterPath front;
    front.addRoundedRect(QRectF(x, frontTop, w, y + h - frontTop), round, round);
    QLinearGradient g(QPointF(x, frontTop), QPointF(x, y + h));
    g.setColorAt(0.0, QColor(254, 212, 96));
    g.setColorAt(1.0, QColor(238, 176, 52));
    p.setBrush(g);
    p.drawPath(front);

    // A lit top rim gives the front flap some thickness.
    p.setPen(QPen(QColor(255, 234, 160), 1.0));
    p.drawLine(QPointF(x + 1.0, frontTop + 1.0), QPointF(x + w - 1.0, frontTop + 1.0));
}

void paintBadge(QPainter &p, const QPointF &c, qreal r, const QColor &light,
                const QColor &dark)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(c, r + 1.2, r + 1.2);

    QLinearGradient g(c - QPointF(0, r), c + QPointF(0, r));
    g.setColorAt(0.0, light);
    g.setColorAt(1.0, dark);
    p.setBrush(g);
    p.setPen(QPen(dark.darker(130), 0.8));
    p.drawEllipse(c, r, r);
}

// ---------------------------------------------------------------- pictures

QImage appIcon()
{
    QImage img = transparentCanvas(64, 64);
    QPainter p(&img);
    smooth(p);

    const QPainterPath piece = puzzlePiece(QRectF(5.5, 17.5, 36, 36), 7.0);
    paintPuzzlePiece(p, piece, QColor(96, 150, 255), QColor(104, 56, 206),
                     QColor(52, 36, 128), 1.6);

    // Conversion badge: a pair of opposed arrows.
    const QPointF c(47, 47);
    paintBadge(p, c, 14, QColor(255, 178, 64), QColor(232, 100, 24));

    QPen arrowPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(arrowPen);
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(39.5, 42.5), QPointF(54, 42.5));
    p.drawPolyline(QPolygonF({QPointF(50, 38.5), QPointF(54.5, 42.5), QPointF(50, 46.5)}));
    p.drawLine(QPointF(54.5, 51.5), QPointF(40, 51.5));
    p.drawPolyline(QPolygonF({QPointF(44, 47.5), QPointF(39.5, 51.5), QPointF(44, 55.5)}));
    return img;
}

QImage abortButton(bool pressed)
{
    QImage img = transparentCanvas(30, 30);
    QPainter p(&img);
    smooth(p);

    const QPointF c(15, 15);
    const qreal r = 11.5;
    QLinearGradient g(c - QPointF(0, r), c + QPointF(0, r));
    if (pressed) {
        g.setColorAt(0.0, QColor(150, 150, 150));
        g.setColorAt(1.0, QColor(120, 120, 120));
    } else {
        g.setColorAt(0.0, QColor(236, 236, 236));
        g.setColorAt(1.0, QColor(198, 198, 198));
    }
    p.setPen(QPen(pressed ? QColor(96, 96, 96) : QColor(160, 160, 160), 1.0));
    p.setBrush(g);
    p.drawEllipse(c, r, r);

    const qreal arm = 4.6;
    p.setPen(QPen(pressed ? QColor(18, 18, 18) : QColor(40, 40, 40), 2.6, Qt::SolidLine,
                  Qt::RoundCap));
    p.drawLine(c + QPointF(-arm, -arm), c + QPointF(arm, arm));
    p.drawLine(c + QPointF(-arm, arm), c + QPointF(arm, -arm));
    return img;
}

// Row icons are keyed on pure white at load time, so the artwork is drawn on
// white and must never use pure white itself.
QImage onWhite(const QImage &art)
{
    QImage out(art.size(), QImage::Format_RGB888);
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(0, 0, art);
    p.end();
    return out;
}

QImage fileIcon()
{
    QImage art = transparentCanvas(32, 32);
    QPainter p(&art);
    smooth(p);

    const qreal l = 7.5, t = 2.5, r = 24.5, b = 28.5, ear = 6.0;
    QPainterPath sheet;
    sheet.moveTo(l, t);
    sheet.lineTo(r - ear, t);
    sheet.lineTo(r, t + ear);
    sheet.lineTo(r, b);
    sheet.lineTo(l, b);
    sheet.closeSubpath();

    // Shadow on the right and bottom, one pixel out.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(206, 210, 218));
    p.drawPath(sheet.translated(1, 1));

    QLinearGradient paper(QPointF(0, t), QPointF(0, b));
    paper.setColorAt(0.0, QColor(250, 251, 253));
    paper.setColorAt(1.0, QColor(232, 238, 246));
    p.setPen(QPen(QColor(104, 116, 134), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(paper);
    p.drawPath(sheet);

    QPainterPath fold;
    fold.moveTo(r - ear, t);
    fold.lineTo(r - ear, t + ear);
    fold.lineTo(r, t + ear);
    fold.closeSubpath();
    p.setBrush(QColor(208, 216, 228));
    p.drawPath(fold);

    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor ink(128, 152, 190);
    const int lineEnds[] = {17, 21, 21, 19, 21, 15};
    for (int i = 0; i < 6; ++i) {
        const int y = 8 + i * 3 + (i > 0 ? 3 : 0);
        p.fillRect(10, y, lineEnds[i] - 10 + 1, 1, i == 0 ? ink.darker(120) : ink);
    }
    p.end();
    return onWhite(art);
}

QImage folderIcon()
{
    QImage art = transparentCanvas(32, 32);
    QPainter p(&art);
    smooth(p);
    paintFolder(p, QRectF(2.5, 5.5, 27, 22));
    p.end();
    return onWhite(art);
}

QImage pluginIcon(bool classic)
{
    QImage img = transparentCanvas(32, 32);
    QPainter p(&img);
    smooth(p);

    const QPainterPath piece = puzzlePiece(QRectF(3.5, 9.5, 19, 19), 3.8);
    if (!classic) {
        paintPuzzlePiece(p, piece, QColor(72, 200, 240), QColor(28, 104, 210),
                         QColor(16, 64, 140), 1.0);
        return img;
    }

    paintPuzzlePiece(p, piece, QColor(244, 190, 96), QColor(176, 104, 36),
                     QColor(104, 60, 16), 1.0);

    // The "classic" mark: a small clock face.
    const QPointF c(24.5, 24.5);
    const qreal r = 6.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawEllipse(c, r + 1.2, r + 1.2);
    p.setPen(QPen(QColor(88, 52, 14), 1.2));
    p.setBrush(QColor(252, 244, 222));
    p.drawEllipse(c, r, r);
    p.setPen(QPen(QColor(60, 36, 10), 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(0, -3.6));
    p.drawLine(c, c + QPointF(2.6, 0));
    return img;
}

QImage folderButton(bool add)
{
    QImage img = transparentCanvas(28, 28);
    QPainter p(&img);
    smooth(p);
    paintFolder(p, QRectF(1.5, 3.5, 23, 18));

    const QPointF c(20.5, 20.5);
    if (add)
        paintBadge(p, c, 6.2, QColor(110, 210, 90), QColor(34, 140, 40));
    else
        paintBadge(p, c, 6.2, QColor(248, 104, 92), QColor(196, 30, 30));

    p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(c + QPointF(-3.5, 0), c + QPointF(3.5, 0));
    if (add)
        p.drawLine(c + QPointF(0, -3.5), c + QPointF(0, 3.5));
    return img;
}

// The bubble's rounded body begins at x = 18 in this picture's coordinates.
// From there on the pointer continues as a straight band of the same height,
// short enough to stay clear of the body's rounded corners, so the join has
// no seam.
QImage bubbleArrow()
{
    QImage img = transparentCanvas(24, 24);
    QPainter p(&img);
    smooth(p);
    QPainterPath shape;
    shape.moveTo(18, 5);
    shape.lineTo(24, 5);
    shape.lineTo(24, 19);
    shape.lineTo(18, 19);
    shape.lineTo(5.0, 12.8);
    shape.quadTo(3.4, 12, 5.0, 11.2);
    shape.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kBubbleFill);
    p.drawPath(shape);
    return img;
}

// ---------------------------------------------------------------- table

struct Picture {
    const char *name;
    int size;
    QByteArray format;
    bool alpha;
    std::function<QImage()> draw;
};

std::vector<Picture> pictures()
{
    return {
        {"appIcon.png", 64, "png", true, appIcon},
        {"abort.tiff", 30, "tiff", true, [] { return abortButton(false); }},
        {"abort-P.tiff", 30, "tiff", true, [] { return abortButton(true); }},
        {"fileicon.bmp", 32, "bmp", false, fileIcon},
        {"foldericon.bmp", 32, "bmp", false, folderIcon},
        {"kvxplugin.png", 32, "png", true, [] { return pluginIcon(true); }},
        {"kvplugin.png", 32, "png", true, [] { return pluginIcon(false); }},
        {"FolderAdd.png", 28, "png", true, [] { return folderButton(true); }},
        {"FolderRemove.png", 28, "png", true, [] { return folderButton(false); }},
        {"arrow.png", 24, "png", true, bubbleArrow},
    };
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

int write(const QDir &dir)
{
    for (const Picture &pic : pictures()) {
        QImage img = pic.draw();
        if (pic.alpha)
            img = img.convertToFormat(QImage::Format_ARGB32);
        const QString path = dir.filePath(QString::fromLatin1(pic.name));
        if (!img.save(path, pic.format.constData())) {
            err() << "cannot write " << path << Qt::endl;
            return 1;
        }
    }
    return 0;
}

// White pixels are keyed out at load time; any white pixel not reachable from
// the border would punch a hole in the artwork.
int enclosedWhitePixels(const QImage &img)
{
    const int w = img.width(), h = img.height();
    std::vector<char> seen(size_t(w) * size_t(h), 0);
    std::vector<QPoint> todo;
    auto isWhite = [&](int x, int y) { return img.pixel(x, y) == qRgb(255, 255, 255); };
    auto push = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return;
        char &s = seen[size_t(y) * size_t(w) + size_t(x)];
        if (s || !isWhite(x, y))
            return;
        s = 1;
        todo.emplace_back(x, y);
    };
    for (int x = 0; x < w; ++x) {
        push(x, 0);
        push(x, h - 1);
    }
    for (int y = 0; y < h; ++y) {
        push(0, y);
        push(w - 1, y);
    }
    while (!todo.empty()) {
        const QPoint q = todo.back();
        todo.pop_back();
        push(q.x() + 1, q.y());
        push(q.x() - 1, q.y());
        push(q.x(), q.y() + 1);
        push(q.x(), q.y() - 1);
    }
    int enclosed = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (isWhite(x, y) && !seen[size_t(y) * size_t(w) + size_t(x)])
                ++enclosed;
    return enclosed;
}

int bmpBitsPerPixel(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = f.read(30);
    if (head.size() < 30 || !head.startsWith("BM"))
        return -1;
    return uchar(head[28]) | (uchar(head[29]) << 8);
}

int check(const QDir &dir)
{
    int failures = 0;
    auto fail = [&](const QString &name, const QString &why) {
        err() << name << ": " << why << Qt::endl;
        ++failures;
    };

    for (const Picture &pic : pictures()) {
        const QString name = QString::fromLatin1(pic.name);
        const QString path = dir.filePath(name);
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        const QByteArray format = reader.format();
        const QImage img = reader.read();
        if (img.isNull()) {
            fail(name, QStringLiteral("unreadable: ") + reader.errorString());
            continue;
        }
        if (format != pic.format)
            fail(name, QStringLiteral("format is ") + QString::fromLatin1(format));
        if (img.width() != pic.size || img.height() != pic.size)
            fail(name, QStringLiteral("size is %1x%2").arg(img.width()).arg(img.height()));
        if (img.hasAlphaChannel() != pic.alpha)
            fail(name, pic.alpha ? QStringLiteral("no alpha channel")
                                 : QStringLiteral("unexpected alpha channel"));

        if (pic.alpha) {
            const QImage argb = img.convertToFormat(QImage::Format_ARGB32);
            if (qAlpha(argb.pixel(0, 0)) != 0)
                fail(name, QStringLiteral("corner is not transparent"));
        } else {
            const int bpp = bmpBitsPerPixel(path);
            if (bpp != 24)
                fail(name, QStringLiteral("stored with %1 bits per pixel").arg(bpp));
            const int enclosed = enclosedWhitePixels(img);
            if (enclosed)
                fail(name, QStringLiteral("%1 pure-white pixels inside the artwork").arg(enclosed));
            if (img.pixel(pic.size / 2, pic.size / 2) == qRgb(255, 255, 255))
                fail(name, QStringLiteral("centre is background"));
        }

        if (name == QLatin1String("arrow.png")) {
            const QImage argb = img.convertToFormat(QImage::Format_ARGB32);
            for (int x = 18; x < 24; ++x)
                if (argb.pixel(x, 12) != kBubbleFill.rgba())
                    fail(name, QStringLiteral("band at x=%1 is not the bubble fill").arg(x));
            if (argb.pixel(8, 12) != kBubbleFill.rgba())
                fail(name, QStringLiteral("triangle is not the bubble fill"));
        }
        if (!failures)
            QTextStream(stdout) << "ok  " << name << "  " << img.width() << 'x' << img.height()
                                << "  " << format << (img.hasAlphaChannel() ? "  alpha" : "")
                                << Qt::endl;
    }
    return failures ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);

    const bool checking = !args.isEmpty() && args.first() == QLatin1String("--check");
    const QStringList rest = checking ? args.mid(1) : args;
    if (rest.size() != 1) {
        err() << "usage: make_bundle_pictures [--check] <output-dir>" << Qt::endl;
        return 2;
    }
    const QDir dir(rest.first());
    if (!dir.exists()) {
        err() << "no such directory: " << rest.first() << Qt::endl;
        return 2;
    }
    return checking ? check(dir) : write(dir);
}

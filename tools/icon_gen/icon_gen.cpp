// Draws the program's button images and its application icon.
//
//   kv-icon-gen <image dir> [--qrc <file.qrc>] [--sheet <contact_sheet.png>]
//   kv-icon-gen --hicolor <icon theme dir>
//
// Every image is drawn with QPainter on a 64-unit square canvas (antialiased vector shapes, no
// bitmaps from anywhere else) and saved as a 64x64 PNG with a transparent background. The
// application icon is drawn at 256, 48, 32 and 16 pixels and packed into an .ico file
// (an ICONDIR followed by PNG-compressed entries), which is read back through Qt to check it.
// --qrc writes the resource file listing every image; --sheet writes a contact sheet that shows
// every image at 64, 32 and 16 pixels on a light and on a dark background.
// --hicolor draws only the application icon, at each size of the hicolor icon theme, as
// <dir>/<n>x<n>/apps/kv-cloudscope.png (the build does this for the installed package).
#include "icon_list.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSaveFile>
#include <QTextStream>
#include <QtMath>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Palette and basic strokes
// ---------------------------------------------------------------------------------------------

const QColor kSlate(0x2B, 0x3A, 0x4A);   // outlines and primary glyphs
const QColor kTeal(0x12, 0x9C, 0x95);    // accent
const QColor kWarm(0xE0, 0x4E, 0x39);    // record, stop, warnings
const QColor kGreen(0x2E, 0x9E, 0x58);   // confirmation only
const QColor kPaper(0xF7, 0xF9, 0xFA);   // fill inside outlined shapes
const qreal kStroke = 4.0;               // at 64 units: 2 px at the 32 px button size

using Painter = std::function<void(QPainter&)>;

QPen roundPen(const QColor& c, qreal w = kStroke) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Fills and/or outlines a path. An invalid colour means "none".
void shape(QPainter& p, const QPainterPath& path, const QColor& fill, const QColor& edge = QColor(),
           qreal w = kStroke) {
    p.setPen(edge.isValid() ? roundPen(edge, w) : QPen(Qt::NoPen));
    p.setBrush(fill.isValid() ? QBrush(fill) : QBrush(Qt::NoBrush));
    p.drawPath(path);
}

// A solid shape with softened corners: filled and outlined in the same colour.
void blob(QPainter& p, const QPainterPath& path, const QColor& c, qreal soften = 3.0) {
    shape(p, path, c, c, soften);
}

void strokeLine(QPainter& p, QPointF a, QPointF b, const QColor& c, qreal w = kStroke) {
    p.setPen(roundPen(c, w));
    p.drawLine(a, b);
}

void dot(QPainter& p, QPointF c, qreal r, const QColor& color) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(c, r, r);
}

QPainterPath polygon(std::initializer_list<QPointF> pts) {
    QPainterPath path;
    path.addPolygon(QPolygonF(QVector<QPointF>(pts)));
    path.closeSubpath();
    return path;
}

QPainterPath roundRect(qreal x, qreal y, qreal w, qreal h, qreal r) {
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), r, r);
    return path;
}

QPainterPath circle(QPointF c, qreal r) {
    QPainterPath path;
    path.addEllipse(c, r, r);
    return path;
}

// Clears the canvas under a path and a margin around it, so that an overlaid badge stands apart
// from the glyph beneath it.
void knockout(QPainter& p, const QPainterPath& path, qreal margin) {
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(QPen(Qt::black, 2 * margin, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::black);
    p.drawPath(path);
    p.restore();
}

QFont boldFont(qreal pixelSize) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(qRound(pixelSize));
    return f;
}

// Text as a filled path, centred on a point.
void centredText(QPainter& p, const QString& text, QPointF centre, qreal pixelSize, const QColor& c,
                 qreal stretch = 1.0) {
    QPainterPath path;
    path.addText(0, 0, boldFont(pixelSize), text);
    const QRectF box = path.boundingRect();
    p.save();
    p.translate(centre);
    p.scale(stretch, 1.0);
    p.translate(-box.center());
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(path);
    p.restore();
}

// Runs a painter inside a scaled and moved frame.
void placed(QPainter& p, const Painter& draw, qreal dx, qreal dy, qreal scale) {
    p.save();
    p.translate(dx, dy);
    p.scale(scale, scale);
    draw(p);
    p.restore();
}

// ---------------------------------------------------------------------------------------------
// Shared motifs
// ---------------------------------------------------------------------------------------------

// A small scattered cloud of points inside a box of the given size at the origin.
void pointCloud(QPainter& p, qreal scale, const QColor& c) {
    static const QPointF pts[] = {{14, 30}, {24, 22}, {36, 18}, {48, 24}, {20, 40}, {32, 32},
                                  {44, 36}, {54, 34}, {28, 46}, {40, 48}, {10, 44}, {52, 46}};
    for (const QPointF& q : pts) dot(p, q * scale, 3.6 * scale, c);
}

// The mouse pointer with its tip at the origin, 36 units tall.
QPainterPath pointer() {
    return polygon({{0, 0}, {0, 34}, {8, 26}, {14, 39}, {20, 36.5}, {14, 24}, {25, 24}});
}

// An open folder; the front flap takes the given fill.
void folder(QPainter& p, const QColor& flapFill) {
    QPainterPath back;
    back.moveTo(6, 52);
    back.lineTo(6, 14);
    back.lineTo(22, 14);
    back.lineTo(27, 19);
    back.lineTo(50, 19);
    back.lineTo(50, 27);
    shape(p, back, kPaper, kSlate);
    shape(p, polygon({{14, 28}, {60, 28}, {52, 52}, {6, 52}}), flapFill, kSlate);
}

// The cube used by the three view images; the highlighted face is drawn in the accent colour.
enum class Face { Front, Top, Left };

void viewCube(QPainter& p, Face face) {
    // Oblique projection with the depth going up-right (or up-left for the left view).
    const bool mirror = face == Face::Left;
    const qreal d = 14;
    const qreal fx = mirror ? 24 : 8, fy = 22, s = 32;
    const qreal dx = mirror ? -d : d;
    const QPointF a(fx, fy), b(fx + s, fy), c(fx + s, fy + s), e(fx, fy + s);
    QPainterPath front = polygon({a, b, c, e});
    QPainterPath top = polygon({a, a + QPointF(dx, -d), b + QPointF(dx, -d), b});
    QPainterPath side = mirror ? polygon({a, a + QPointF(dx, -d), e + QPointF(dx, -d), e})
                               : polygon({b, b + QPointF(dx, -d), c + QPointF(dx, -d), c});
    shape(p, front, face == Face::Front ? kTeal : kPaper);
    shape(p, top, face == Face::Top ? kTeal : kPaper);
    shape(p, side, face == Face::Left ? kTeal : kPaper);
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(kSlate, 3.5));
    p.drawPath(front);
    p.drawPath(top);
    p.drawPath(side);
}

// Transport glyphs (solid slate triangles and bars).
QPainterPath triangleRight(qreal x0, qreal x1, qreal cy, qreal halfH) {
    return polygon({{x0, cy - halfH}, {x1, cy}, {x0, cy + halfH}});
}
QPainterPath triangleLeft(qreal x0, qreal x1, qreal cy, qreal halfH) {
    return polygon({{x1, cy - halfH}, {x0, cy}, {x1, cy + halfH}});
}

void drawSeekForward(QPainter& p) {
    blob(p, triangleRight(8, 32, 32, 17), kSlate);
    blob(p, triangleRight(32, 56, 32, 17), kSlate);
}

void drawSeekBackward(QPainter& p) {
    blob(p, triangleLeft(8, 32, 32, 17), kSlate);
    blob(p, triangleLeft(32, 56, 32, 17), kSlate);
}

// The base glyph moved up and left, and a speed badge in the lower right corner.
Painter speedVariant(Painter base, QString label) {
    return [base, label](QPainter& p) {
        placed(p, base, 0, -4, 0.78);
        const QPainterPath badge = roundRect(22, 38, 41, 25, 7);
        knockout(p, badge, 2.5);
        shape(p, badge, kTeal);
        centredText(p, label, QPointF(42.5, 50.5), label.size() == 1 ? 30 : 21, Qt::white);
    };
}

// A record disc: outer ring and solid centre.
void recordDisc(QPainter& p, QPointF c, qreal r) {
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(kWarm, r * 0.16));
    p.drawEllipse(c, r, r);
    dot(p, c, r * 0.62, kWarm);
}

// The sensor: a rounded body with a lens window and four fanned beams.
void sensor(QPainter& p, const QColor& body, const QColor& lens, const QColor& beam, qreal beamWidth) {
    shape(p, roundRect(5, 14, 24, 36, 7), body);
    shape(p, roundRect(21, 20, 6, 24, 3), lens);
    const QPointF origin(22, 32);
    const qreal angles[] = {-30, -10, 10, 30};
    for (qreal a : angles) {
        const qreal rad = qDegreesToRadians(a);
        const QPointF dir(std::cos(rad), std::sin(rad));
        strokeLine(p, origin + dir * 18, origin + dir * 38, beam, beamWidth);
    }
}

// ---------------------------------------------------------------------------------------------
// The images
// ---------------------------------------------------------------------------------------------

void drawSensor(QPainter& p) { sensor(p, kSlate, kTeal, kTeal, kStroke); }

// Live scanning: a range ring, the sweep and the points it has hit, around the sensor.
void drawLidar(QPainter& p) {
    const QPointF c(32, 32);
    QColor wedge = kTeal;
    wedge.setAlpha(70);
    p.setPen(Qt::NoPen);
    p.setBrush(wedge);
    p.drawPie(QRectF(c.x() - 26, c.y() - 26, 52, 52), 45 * 16, 65 * 16);
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(kSlate, 3.5));
    p.drawEllipse(c, 26, 26);
    const qreal rad = qDegreesToRadians(-110.0);
    strokeLine(p, c, c + QPointF(std::cos(rad), std::sin(rad)) * 26, kTeal);
    const QPointF hits[] = {{43, 17}, {48, 24}, {38, 14}, {17, 42}, {22, 48}, {46, 44}};
    for (const QPointF& h : hits) dot(p, h, 3.2, kTeal);
    dot(p, c, 6, kSlate);
}

// A measuring grid laid on the ground, in perspective.
void drawGrid(QPainter& p) {
    const qreal topY = 14, botY = 54, topL = 18, topR = 46, botL = 4, botR = 60;
    auto xAt = [&](qreal t, qreal y) {
        const qreal k = (y - topY) / (botY - topY);
        const qreal l = topL + (botL - topL) * k, r = topR + (botR - topR) * k;
        return l + (r - l) * t;
    };
    p.setPen(roundPen(kTeal, 3));
    for (qreal t : {1.0 / 3, 2.0 / 3}) p.drawLine(QPointF(xAt(t, topY), topY), QPointF(xAt(t, botY), botY));
    for (qreal y : {25.0, 38.0}) p.drawLine(QPointF(xAt(0, y), y), QPointF(xAt(1, y), y));
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(kSlate));
    p.drawPath(polygon({{topL, topY}, {topR, topY}, {botR, botY}, {botL, botY}}));
}

// Pick a point: the pointer on a highlighted point.
void drawSelect(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(kTeal, 3));
    p.drawEllipse(QPointF(20, 18), 11, 11);
    dot(p, QPointF(20, 18), 4.5, kTeal);
    p.save();
    p.translate(26, 24);
    shape(p, pointer(), kPaper, kSlate);
    p.restore();
}

// Suspend data: a red disc with a pause sign.
void drawRed(QPainter& p) {
    shape(p, circle({32, 32}, 27), kWarm);
    shape(p, roundRect(21, 19, 8, 26, 2.5), Qt::white);
    shape(p, roundRect(35, 19, 8, 26, 2.5), Qt::white);
}

// Select a range: a dashed frame with the pointer at its corner.
void drawSelectRange(QPainter& p) {
    QPen dash(kTeal, 4, Qt::CustomDashLine, Qt::RoundCap, Qt::RoundJoin);
    dash.setDashPattern({1.6, 2.0});
    p.setPen(dash);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(6, 8, 40, 32));
    p.save();
    p.translate(36, 28);
    p.scale(0.85, 0.85);
    shape(p, pointer(), kPaper, kSlate, kStroke / 0.85);
    p.restore();
}

// Clear: an eraser over a base line.
void drawClear(QPainter& p) {
    p.save();
    p.translate(34, 31);
    p.rotate(-40);
    const QPainterPath body = roundRect(-22, -11, 44, 22, 4);
    QPainterPath tip = roundRect(-22, -11, 18, 22, 4);
    tip.addRect(QRectF(-10, -11, 6, 22));
    shape(p, body, kPaper);
    shape(p, tip.simplified(), kWarm);
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(kSlate));
    p.drawPath(body);
    p.drawLine(QPointF(-4, -11), QPointF(-4, 11));
    p.restore();
    strokeLine(p, {8, 56}, {56, 56}, kSlate);
}

// Three axes from one origin, each with an arrow head.
void axis(QPainter& p, QPointF from, QPointF to, const QColor& c) {
    const QPointF d = to - from;
    const qreal len = std::hypot(d.x(), d.y());
    const QPointF u = d / len, n(-u.y(), u.x());
    strokeLine(p, from, to - u * 8, c);
    blob(p, polygon({to, to - u * 12 + n * 6.5, to - u * 12 - n * 6.5}), c, 2.5);
}

void drawCoordinate(QPainter& p) {
    const QPointF o(20, 44);
    axis(p, o, {20, 5}, kTeal);    // up
    axis(p, o, {59, 44}, kWarm);   // right
    axis(p, o, {45, 20}, kSlate);  // into the scene
}

// The data table: a header row in the accent colour and ruled rows below.
void drawLidarDataList(QPainter& p) {
    const QPainterPath frame = roundRect(6, 9, 52, 46, 5);
    shape(p, frame, kPaper);
    p.save();
    p.setClipPath(frame);
    p.fillRect(QRectF(6, 9, 52, 13), kTeal);
    p.restore();
    p.setPen(roundPen(kSlate, 3));
    for (qreal y : {33.0, 44.0}) p.drawLine(QPointF(6, y), QPointF(58, y));
    p.drawLine(QPointF(24, 22), QPointF(24, 55));
    p.drawLine(QPointF(41, 22), QPointF(41, 55));
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(kSlate));
    p.drawPath(frame);
}

void drawFront(QPainter& p) { viewCube(p, Face::Front); }
void drawTop(QPainter& p) { viewCube(p, Face::Top); }
void drawLeft(QPainter& p) { viewCube(p, Face::Left); }

// Open a capture file: a folder whose front carries a signal trace.
void drawOpenCaptureFile(QPainter& p) {
    folder(p, kTeal);
    p.setPen(roundPen(Qt::white, 3.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath trace;
    trace.moveTo(14, 41);
    trace.lineTo(22, 41);
    trace.lineTo(27, 32);
    trace.lineTo(33, 48);
    trace.lineTo(38, 37);
    trace.lineTo(42, 41);
    trace.lineTo(50, 41);
    p.drawPath(trace);
}

// Open a point cloud file: a folder holding points.
void drawOpenPCD(QPainter& p) {
    folder(p, kPaper);
    static const QPointF pts[] = {{25, 35}, {36, 34}, {47, 36}, {19, 45}, {30, 44}, {41, 45}};
    for (const QPointF& q : pts) dot(p, q, 4, kTeal);
}

void drawGotostart(QPainter& p) {
    blob(p, roundRect(9, 15, 7, 34, 1.5), kSlate);
    blob(p, triangleLeft(20, 42, 32, 17), kSlate);
    blob(p, triangleLeft(36, 58, 32, 17), kSlate);
}

void drawGotostop(QPainter& p) {
    blob(p, triangleRight(6, 28, 32, 17), kSlate);
    blob(p, triangleRight(22, 44, 32, 17), kSlate);
    blob(p, roundRect(48, 15, 7, 34, 1.5), kSlate);
}

void drawPlay(QPainter& p) { blob(p, triangleRight(17, 53, 32, 22), kTeal, 4); }

void drawPause(QPainter& p) {
    blob(p, roundRect(16, 11, 11, 42, 2.5), kSlate);
    blob(p, roundRect(37, 11, 11, 42, 2.5), kSlate);
}

void drawRecord(QPainter& p) { recordDisc(p, {32, 32}, 25); }

// Record point clouds: the cloud with a record disc.
void drawRecordPCD(QPainter& p) {
    placed(p, [](QPainter& q) { pointCloud(q, 1.0, kTeal); }, -2, -12, 1.0);
    const QPainterPath disc = circle({46, 46}, 15);
    knockout(p, disc, 2.5);
    recordDisc(p, {46, 46}, 14);
}

// Parameters: three sliders.
void drawInteractionSetUp(QPainter& p) {
    const qreal ys[] = {15, 32, 49};
    const qreal knobs[] = {40, 20, 34};
    for (int i = 0; i < 3; ++i) {
        strokeLine(p, {7, ys[i]}, {57, ys[i]}, kSlate);
        shape(p, circle({knobs[i], ys[i]}, 6.5), kTeal, kSlate, 3.5);
    }
}

// Advanced settings: a gear.
void drawAdvancedSetting(QPainter& p) {
    const QPointF c(32, 32);
    const int teeth = 8;
    const qreal rOut = 27, rIn = 20, half = 0.20;  // half a tooth, radians at the tip
    QPolygonF poly;
    for (int i = 0; i < teeth; ++i) {
        const qreal a = 2 * M_PI * i / teeth;
        const qreal step = M_PI / teeth;
        auto at = [&](qreal ang, qreal r) { return c + QPointF(std::cos(ang), std::sin(ang)) * r; };
        poly << at(a - step + 0.06, rIn) << at(a - half, rOut) << at(a + half, rOut) << at(a + step - 0.06, rIn);
    }
    QPainterPath gear;
    gear.addPolygon(poly);
    gear.closeSubpath();
    gear.addEllipse(c, 9, 9);
    gear.setFillRule(Qt::OddEvenFill);
    blob(p, gear, kSlate, 2.5);
    dot(p, c, 4.5, kTeal);
}

// Laser lines: four parallel beams leaving an emitter, each ending on a point.
void drawChanel(QPainter& p) {
    shape(p, roundRect(5, 8, 14, 48, 5), kSlate);
    const qreal ys[] = {15, 26.5, 38, 49.5};
    const qreal ends[] = {52, 44, 56, 48};
    for (int i = 0; i < 4; ++i) {
        strokeLine(p, {24, ys[i]}, {ends[i] - 6, ys[i]}, kTeal);
        dot(p, {ends[i], ys[i]}, 4, kTeal);
        dot(p, {14, ys[i]}, 2.6, kTeal);
    }
}

// CSV export: a page with a label band.
void drawCsv(QPainter& p) {
    const QPainterPath page = polygon({{14, 5}, {40, 5}, {54, 19}, {54, 59}, {14, 59}});
    shape(p, page, kPaper, kSlate);
    QPainterPath fold;
    fold.moveTo(40, 5);
    fold.lineTo(40, 19);
    fold.lineTo(54, 19);
    p.setPen(roundPen(kSlate));
    p.setBrush(Qt::NoBrush);
    p.drawPath(fold);
    shape(p, roundRect(4, 29, 46, 22, 4), kTeal);
    centredText(p, QStringLiteral("CSV"), {27, 40}, 17, Qt::white, 0.95);
}

void drawAbout(QPainter& p) {
    shape(p, circle({32, 32}, 27), kTeal);
    dot(p, {32, 18}, 4.5, Qt::white);
    blob(p, roundRect(28, 27, 8, 22, 2), Qt::white);
}

void drawUser(QPainter& p) {
    shape(p, circle({32, 20}, 12), kSlate);
    QPainterPath body;
    body.moveTo(8, 58);
    body.cubicTo(8, 40, 18, 35, 32, 35);
    body.cubicTo(46, 35, 56, 40, 56, 58);
    body.closeSubpath();
    blob(p, body, kSlate);
    // A gap between head and shoulders.
    knockout(p, circle({32, 20}, 12), 3);
    shape(p, circle({32, 20}, 12), kSlate);
}

// Development: code brackets.
void drawDevelop(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(kSlate, 5.5));
    p.drawPolyline(QPolygonF({{19, 17}, {5, 32}, {19, 47}}));
    p.drawPolyline(QPolygonF({{45, 17}, {59, 32}, {45, 47}}));
    strokeLine(p, {37, 10}, {27, 54}, kTeal, 5.5);
}

void drawYes(QPainter& p) {
    shape(p, circle({32, 32}, 27), kGreen);
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(Qt::white, 6.5));
    p.drawPolyline(QPolygonF({{19, 33}, {28, 42}, {45, 23}}));
}

void drawNo(QPainter& p) {
    shape(p, circle({32, 32}, 27), kWarm);
    strokeLine(p, {22, 22}, {42, 42}, Qt::white, 6.5);
    strokeLine(p, {42, 22}, {22, 42}, Qt::white, 6.5);
}

// The application icon: the sensor on a dark tile. Small sizes get heavier beams.
void drawAppIcon(QPainter& p, int pixels) {
    shape(p, roundRect(1, 1, 62, 62, 13), kSlate);
    const QColor beam(0x3F, 0xD1, 0xC6);
    const qreal w = pixels <= 16 ? 6.5 : pixels <= 32 ? 5.0 : kStroke;
    placed(p, [&](QPainter& q) { sensor(q, kPaper, kTeal, beam, w / 0.8); }, 7, 6.4, 0.8);
}

std::map<std::string, Painter> painters() {
    return {
        {"Sensor.png", drawSensor},
        {"Lidar.png", drawLidar},
        {"Grid.png", drawGrid},
        {"select.png", drawSelect},
        {"Red.png", drawRed},
        {"SelectRange.png", drawSelectRange},
        {"clear.png", drawClear},
        {"Coordinate.png", drawCoordinate},
        {"LidarDataList.png", drawLidarDataList},
        {"zhengshi.png", drawFront},
        {"fushi.png", drawTop},
        {"zuoshi.png", drawLeft},
        {"OpenCaptureFile.png", drawOpenCaptureFile},
        {"OpenPCD.png", drawOpenPCD},
        {"Record.png", drawRecord},
        {"RecordPCD.png", drawRecordPCD},
        {"Gotostart.png", drawGotostart},
        {"Seekbackward.png", drawSeekBackward},
        {"Play.png", drawPlay},
        {"Pause.png", drawPause},
        {"Seekforward.png", drawSeekForward},
        {"Gotostop.png", drawGotostop},
        {"Seekbackward_0.25x.png", speedVariant(drawSeekBackward, QString::fromUtf8("¼"))},
        {"Seekbackward_0.5x.png", speedVariant(drawSeekBackward, QString::fromUtf8("½"))},
        {"Seekbackward_2x.png", speedVariant(drawSeekBackward, QStringLiteral("2x"))},
        {"Seekbackward_3x.png", speedVariant(drawSeekBackward, QStringLiteral("3x"))},
        {"Seekforward_0.25x.png", speedVariant(drawSeekForward, QString::fromUtf8("¼"))},
        {"Seekforward_0.5x.png", speedVariant(drawSeekForward, QString::fromUtf8("½"))},
        {"Seekforward_2x.png", speedVariant(drawSeekForward, QStringLiteral("2x"))},
        {"Seekforward_3x.png", speedVariant(drawSeekForward, QStringLiteral("3x"))},
        {"InteractionSetUp.png", drawInteractionSetUp},
        {"AdvancedSetting.png", drawAdvancedSetting},
        {"Chanel.png", drawChanel},
        {"Csv.png", drawCsv},
        {"About.png", drawAbout},
        {"User.png", drawUser},
        {"Develop.png", drawDevelop},
        {"YES.png", drawYes},
        {"NO.png", drawNo},
    };
}

// ---------------------------------------------------------------------------------------------
// Rendering and files
// ---------------------------------------------------------------------------------------------

QImage render(const Painter& draw, int pixels) {
    QImage img(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.scale(pixels / 64.0, pixels / 64.0);
    draw(p);
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}

QByteArray pngBytes(const QImage& img) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(bytes);
    return f.commit();
}

void putLE16(QByteArray& out, int v) {
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}
void putLE32(QByteArray& out, quint32 v) {
    for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xff));
}

// An .ico file: ICONDIR, one ICONDIRENTRY per image, then each image as PNG data.
QByteArray icoBytes(const std::vector<QImage>& images) {
    std::vector<QByteArray> pngs;
    for (const QImage& img : images) pngs.push_back(pngBytes(img));
    QByteArray out;
    putLE16(out, 0);  // reserved
    putLE16(out, 1);  // type: icon
    putLE16(out, int(images.size()));
    quint32 offset = quint32(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int w = images[i].width(), h = images[i].height();
        out.append(char(w >= 256 ? 0 : w));
        out.append(char(h >= 256 ? 0 : h));
        out.append(char(0));  // palette colours
        out.append(char(0));  // reserved
        putLE16(out, 1);      // planes
        putLE16(out, 32);     // bits per pixel
        putLE32(out, quint32(pngs[i].size()));
        putLE32(out, offset);
        offset += quint32(pngs[i].size());
    }
    for (const QByteArray& png : pngs) out.append(png);
    return out;
}

// Reads the icon back through Qt's image readers and checks that every size is there.
bool checkIco(const QString& path) {
    QImageReader reader(path);
    std::set<int> found;
    const int count = reader.imageCount();
    for (int i = 0; i < count; ++i) {
        if (!reader.jumpToImage(i)) break;
        const QImage img = reader.read();
        if (img.isNull() || img.width() != img.height()) {
            std::fprintf(stderr, "icon_gen: %s: image %d unreadable: %s\n", qPrintable(path), i,
                         qPrintable(reader.errorString()));
            return false;
        }
        found.insert(img.width());
    }
    for (int s : kv_icons::kAppIconSizes) {
        if (!found.count(s)) {
            std::fprintf(stderr, "icon_gen: %s: no %dx%d image readable\n", qPrintable(path), s, s);
            return false;
        }
    }
    const QIcon icon(path);
    if (icon.isNull() || icon.pixmap(32, 32).isNull()) {
        std::fprintf(stderr, "icon_gen: %s: QIcon cannot use it\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writeQrc(const QString& qrcPath, const QString& imageDir) {
    const QDir qrcDir = QFileInfo(qrcPath).absoluteDir();
    QByteArray text;
    QTextStream ts(&text);
    ts << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n";
    ts << "  <!-- Written by tools/icon_gen (scripts/make_icons.sh). Files are reachable as\n"
          "       :/image/Resources/images/<name>. -->\n";
    ts << "  <qresource prefix=\"/image/Resources\">\n";
    auto entry = [&](const char* name) {
        ts << "    <file>" << qrcDir.relativeFilePath(QDir(imageDir).absoluteFilePath(QString::fromUtf8(name)))
           << "</file>\n";
    };
    entry(kv_icons::kAppIcon);
    for (const char* name : kv_icons::kPngIcons) entry(name);
    ts << "  </qresource>\n</RCC>\n";
    ts.flush();
    return writeFile(qrcPath, text);
}

// All images at 64, 32 and 16 px on a light background, the 32 px version enlarged twice without
// smoothing (to judge the button size pixel by pixel), and 32 and 16 px on a dark background.
bool writeContactSheet(const QString& path, const QString& imageDir) {
    std::vector<QString> names;
    names.push_back(QString::fromUtf8(kv_icons::kAppIcon));
    for (const char* n : kv_icons::kPngIcons) names.push_back(QString::fromUtf8(n));
    const int cols = 5, cellW = 256, cellH = 104;
    const int rows = int((names.size() + cols - 1) / cols);
    QImage sheet(cols * cellW, rows * cellH, QImage::Format_ARGB32);
    sheet.fill(QColor(0xEE, 0xEF, 0xF1));
    QPainter p(&sheet);
    QFont label(QStringLiteral("DejaVu Sans"));
    label.setPixelSize(11);
    p.setFont(label);
    for (size_t i = 0; i < names.size(); ++i) {
        const int x = int(i % cols) * cellW, y = int(i / cols) * cellH;
        p.setPen(QColor(0xC8, 0xCC, 0xD0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(x, y, cellW - 1, cellH - 1);
        const QIcon icon(QDir(imageDir).filePath(names[i]));
        const QPixmap px32 = icon.pixmap(32, 32);
        p.drawPixmap(x + 6, y + 8, icon.pixmap(64, 64));
        p.drawPixmap(QRect(x + 76, y + 8, 64, 64), px32);
        p.drawPixmap(x + 146, y + 8, px32);
        p.drawPixmap(x + 154, y + 50, icon.pixmap(16, 16));
        p.fillRect(QRect(x + 186, y + 4, 64, 72), QColor(0x33, 0x36, 0x3B));
        p.drawPixmap(x + 202, y + 8, px32);
        p.drawPixmap(x + 210, y + 50, icon.pixmap(16, 16));
        p.setPen(QColor(0x20, 0x24, 0x28));
        p.drawText(QRect(x + 6, y + cellH - 26, cellW - 12, 22), Qt::AlignLeft | Qt::AlignVCenter, names[i]);
    }
    p.end();
    return sheet.save(path, "PNG");
}

int usage() {
    std::fprintf(stderr, "usage: kv-icon-gen <image dir> [--qrc <file.qrc>] [--sheet <sheet.png>]\n"
                         "       kv-icon-gen --hicolor <icon theme dir>\n");
    return 2;
}

// The application icon in the hicolor theme's sizes.
int writeHicolor(const QString& themeDir) {
    for (int s : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QString("%1/%2x%2/apps").arg(themeDir).arg(s);
        const QImage img = render([s](QPainter& p) { drawAppIcon(p, s); }, s);
        if (!QDir().mkpath(dir) || !writeFile(dir + "/kv-cloudscope.png", pngBytes(img))) {
            std::fprintf(stderr, "icon_gen: cannot write the %d px icon into %s\n", s, qPrintable(dir));
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Fonts need a QGuiApplication; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString outDir, qrcPath, sheetPath;
    if (args.size() == 3 && args[1] == QLatin1String("--hicolor")) return writeHicolor(args[2]);
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--qrc") && i + 1 < args.size()) {
            qrcPath = args[++i];
        } else if (args[i] == QLatin1String("--sheet") && i + 1 < args.size()) {
            sheetPath = args[++i];
        } else if (!args[i].startsWith(QLatin1String("--")) && outDir.isEmpty()) {
            outDir = args[i];
        } else {
            return usage();
        }
    }
    if (outDir.isEmpty()) return usage();
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "icon_gen: cannot create %s\n", qPrintable(outDir));
        return 1;
    }
    const QDir dir(outDir);

    const std::map<std::string, Painter> all = painters();
    for (const char* name : kv_icons::kPngIcons) {
        const auto it = all.find(name);
        if (it == all.end()) {
            std::fprintf(stderr, "icon_gen: nothing draws %s\n", name);
            return 1;
        }
        const QImage img = render(it->second, kv_icons::kPngSize);
        if (!writeFile(dir.filePath(QString::fromUtf8(name)), pngBytes(img))) {
            std::fprintf(stderr, "icon_gen: cannot write %s\n", name);
            return 1;
        }
    }
    if (all.size() != std::size(kv_icons::kPngIcons)) {
        std::fprintf(stderr, "icon_gen: drawn images and the image list differ\n");
        return 1;
    }

    std::vector<QImage> sizes;
    for (int s : kv_icons::kAppIconSizes) sizes.push_back(render([s](QPainter& p) { drawAppIcon(p, s); }, s));
    const QString icoPath = dir.filePath(QString::fromUtf8(kv_icons::kAppIcon));
    if (!writeFile(icoPath, icoBytes(sizes)) || !checkIco(icoPath)) {
        std::fprintf(stderr, "icon_gen: application icon failed\n");
        return 1;
    }

    if (!qrcPath.isEmpty() && !writeQrc(qrcPath, outDir)) {
        std::fprintf(stderr, "icon_gen: cannot write %s\n", qPrintable(qrcPath));
        return 1;
    }
    if (!sheetPath.isEmpty() && !writeContactSheet(sheetPath, outDir)) {
        std::fprintf(stderr, "icon_gen: cannot write %s\n", qPrintable(sheetPath));
        return 1;
    }
    std::printf("icon_gen: %zu images and %s written to %s\n", std::size(kv_icons::kPngIcons),
                kv_icons::kAppIcon, qPrintable(dir.absolutePath()));
    return 0;
}

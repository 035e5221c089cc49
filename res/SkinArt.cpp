#include "res/SkinArt.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>

#include "res/SkinLayout.h"

namespace {

enum class Look { Normal, Pressed, Hover, Disabled };

enum class Glyph { Digits, Cross, Speaker };

// The palette of the skin. Faces and rings are flat fills of these exact
// values so the controls match the background pixel for pixel.
const QColor Yellow(255, 255, 0);
const QColor Orange(255, 159, 0);
const QColor Gold(255, 218, 0);
const QColor NearWhite(252, 254, 252);
const QColor BadgeRing(236, 238, 236);
const QColor PlateRing(204, 206, 204);
const QColor BadgeCorner(212, 214, 212);
const QColor PanelFace(228, 230, 228);
const QColor FieldFill(236, 238, 236);
const QColor Ink(0, 0, 0);
const QColor Groove(168, 170, 168);
const QColor Highlight(246, 248, 246);
const QColor LogoFace(38, 40, 38);

QColor FaceOf(Look look) {
    switch (look) {
    case Look::Pressed: return Orange;
    case Look::Disabled: return NearWhite;
    case Look::Normal:
    case Look::Hover: break;
    }
    return Yellow;
}

QColor RingOf(Look look, bool plate) {
    switch (look) {
    case Look::Pressed: return Yellow;
    case Look::Hover: return Gold;
    case Look::Normal:
    case Look::Disabled: break;
    }
    return plate ? PlateRing : BadgeRing;
}

QFont ArtFont(qreal pixelSize, int weight = QFont::Bold, qreal spacing = 0.0,
              bool condensed = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    if (condensed) {
        font.setStretch(QFont::SemiCondensed);
    }
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(static_cast<int>(std::lround(pixelSize)));
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    if (spacing != 0.0) {
        font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    }
    return font;
}

// Draws text centred on (cx, cy) by its ink, not its line box, so capitals
// and digits sit in the optical middle of a badge or plate.
void DrawCentredText(QPainter& p, const QString& text, const QFont& font, QPointF centre,
                     const QColor& colour) {
    p.setFont(font);
    p.setPen(colour);
    const QFontMetricsF fm(font);
    const QRectF ink = fm.tightBoundingRect(text);
    const qreal x = std::round(centre.x() - ink.width() / 2.0 - ink.left());
    const qreal y = std::round(centre.y() - (ink.top() + ink.bottom()) / 2.0);
    p.drawText(QPointF(x, y), text);
}

void FillCircle(QPainter& p, QPointF c, qreal r, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(c, r, r);
}

void DrawCross(QPainter& p, QPointF c) {
    QPen pen(Ink, 2.3, Qt::SolidLine, Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const qreal d = 3.9;
    p.drawLine(QPointF(c.x() - d, c.y() - d), QPointF(c.x() + d, c.y() + d));
    p.drawLine(QPointF(c.x() - d, c.y() + d), QPointF(c.x() + d, c.y() - d));
}

void DrawSpeaker(QPainter& p, QPointF c) {
    const qreal x = c.x() - 1.2;
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawRect(QRectF(x - 4.6, c.y() - 1.9, 2.4, 3.8));
    QPainterPath cone;
    cone.moveTo(x - 2.2, c.y() - 1.9);
    cone.lineTo(x + 1.4, c.y() - 5.0);
    cone.lineTo(x + 1.4, c.y() + 5.0);
    cone.lineTo(x - 2.2, c.y() + 1.9);
    cone.closeSubpath();
    p.drawPath(cone);
    QPen wave(Ink, 1.2, Qt::SolidLine, Qt::FlatCap);
    p.setPen(wave);
    p.setBrush(Qt::NoBrush);
    for (const qreal r : {2.6, 4.8}) {
        const QRectF arc(x + 1.4 - r, c.y() - r, 2 * r, 2 * r);
        p.drawArc(arc, -50 * 16, 100 * 16);
    }
}

// A round badge filling the 25 x 25 square at origin: black rim, ring,
// black line, face, glyph.
void DrawBadge(QPainter& p, QPoint origin, Look look, Glyph glyph, int number) {
    const QPointF c(origin.x() + 12.5, origin.y() + 12.5);
    FillCircle(p, c, 12.3, Ink);
    FillCircle(p, c, 11.2, RingOf(look, false));
    FillCircle(p, c, 8.9, Ink);
    FillCircle(p, c, 8.0, FaceOf(look));
    switch (glyph) {
    case Glyph::Digits:
        DrawCentredText(p, QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0')),
                        ArtFont(10, QFont::Bold, -0.3, true), c, Ink);
        break;
    case Glyph::Cross: DrawCross(p, c); break;
    case Glyph::Speaker: DrawSpeaker(p, c); break;
    }
}

// A rounded word plate filling rect: black rim, ring, black line, face and
// one or two lines of capitals.
void DrawPlate(QPainter& p, const QRect& rect, Look look, const QStringList& lines, qreal fontPx) {
    const QRectF r(rect);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawRoundedRect(r.adjusted(0.3, 0.3, -0.3, -0.3), 7.5, 7.5);
    p.setBrush(RingOf(look, true));
    p.drawRoundedRect(r.adjusted(1.3, 1.3, -1.3, -1.3), 6.5, 6.5);
    p.setBrush(Ink);
    p.drawRoundedRect(r.adjusted(3.7, 3.7, -3.7, -3.7), 4.3, 4.3);
    p.setBrush(FaceOf(look));
    p.drawRoundedRect(r.adjusted(4.7, 4.7, -4.7, -4.7), 3.4, 3.4);

    const QFont font = ArtFont(fontPx, QFont::Black, 0.0);
    const QPointF centre = r.center();
    const qreal lineStep = fontPx + 1.0;
    const qreal first = centre.y() - lineStep * (static_cast<qreal>(lines.size()) - 1) / 2.0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        DrawCentredText(p, lines[i], font,
                        QPointF(centre.x(), first + lineStep * static_cast<qreal>(i)), Ink);
    }
}

void DrawExitPlate(QPainter& p, QPoint origin, Look look) {
    DrawPlate(p, QRect(origin, QSize(58, 25)), look, {QStringLiteral("EXIT")}, 10);
}

void DrawSavePlate(QPainter& p, QPoint origin, Look look) {
    DrawPlate(p, QRect(origin, QSize(100, 39)), look,
              {QStringLiteral("MAKE"), QStringLiteral("USER VOICE")}, 10);
}

// A screw head, for the corners of the panel.
void DrawScrew(QPainter& p, QPointF c) {
    FillCircle(p, c, 5.0, Groove);
    FillCircle(p, c, 4.2, QColor(214, 216, 214));
    p.setPen(QPen(QColor(120, 122, 120), 1.3));
    p.drawLine(QPointF(c.x() - 2.8, c.y() + 1.2), QPointF(c.x() + 2.8, c.y() - 1.2));
}

// Horizontal pin stripes inside rect, 1 px grooves every 3 px.
void DrawStripes(QPainter& p, const QRect& rect) {
    p.setPen(Qt::NoPen);
    for (int y = rect.top(); y < rect.bottom(); y += 3) {
        p.setBrush(Groove);
        p.drawRect(QRect(rect.left(), y, rect.width(), 1));
        p.setBrush(Highlight);
        p.drawRect(QRect(rect.left(), y + 1, rect.width(), 1));
    }
}

// Panel edge: a light bevel inside a dark rim.
void DrawPanelEdge(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 122, 120));
    p.drawRect(QRect(0, 0, 640, 1));
    p.drawRect(QRect(0, 639, 640, 1));
    p.drawRect(QRect(0, 0, 1, 640));
    p.drawRect(QRect(639, 0, 1, 640));
    p.setBrush(Highlight);
    p.drawRect(QRect(1, 1, 638, 1));
    p.drawRect(QRect(1, 1, 1, 638));
    for (const QPointF c :
         {QPointF(18, 18), QPointF(622, 18), QPointF(18, 622), QPointF(622, 622)}) {
        DrawScrew(p, c);
    }
}

// Top: stripes either side of the EXIT plate.
void DrawTopStrip(QPainter& p) {
    const QRect exitRect = SkinCloseButtonRect();
    DrawStripes(p, QRect(40, 52, exitRect.left() - 52, 13));
    DrawStripes(p, QRect(exitRect.right() + 13, 52, 600 - exitRect.right() - 13, 13));
    DrawExitPlate(p, exitRect.topLeft(), Look::Normal);
}

// The framed list of rows; returns the top of the frame.
int DrawListFrame(QPainter& p) {
    const int listTop = SkinRowTop(SkinSlotCount - 1) - 6;
    const int listBottom = SkinRowTop(0) + 25 + 6;
    const QRectF list(99.5, listTop + 0.5, 443, listBottom - listTop);
    p.setPen(QPen(Highlight, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(list.adjusted(-1, -1, 1, 1), 8, 8);
    p.setPen(QPen(Groove, 1.0));
    p.setBrush(BadgeCorner);
    p.drawRoundedRect(list, 7, 7);
    return listTop;
}

// Column captions above the list.
void DrawColumnCaptions(QPainter& p, int listTop) {
    const QFont caption = ArtFont(9, QFont::Bold, 0.6);
    const qreal captionY = listTop - 9.5;
    DrawCentredText(p, QStringLiteral("LOAD"), caption,
                    QPointF(SkinLoadButtonRect(0).center().x() + 0.5, captionY), Ink);
    DrawCentredText(p, QStringLiteral("FILENAME"), caption,
                    QPointF(SkinLabelRect(0).center().x() + 0.5, captionY), Ink);
    DrawCentredText(p, QStringLiteral("DELETE"), caption,
                    QPointF(SkinClearButtonRect(0).center().x() - 10.0, captionY), Ink);
    DrawCentredText(p, QStringLiteral("PLAY"), caption,
                    QPointF(SkinPlayButtonRect(0).center().x() + 8.0, captionY), Ink);
}

// Each row's load, label, clear and play controls.
void DrawRows(QPainter& p) {
    for (int slot = 0; slot < SkinSlotCount; ++slot) {
        const int top = SkinRowTop(slot);
        if (slot < SkinSlotCount - 1) {
            // Hairline between this row and the one above it.
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(200, 202, 200));
            p.drawRect(QRect(106, top - 2, 430, 1));
        }
        DrawBadge(p, SkinLoadButtonRect(slot).topLeft(), Look::Normal, Glyph::Digits, slot + 1);
        const QRect label = SkinLabelRect(slot);
        p.setPen(QPen(Groove, 1.0));
        p.setBrush(FieldFill);
        p.drawRoundedRect(QRectF(label).adjusted(-2.5, -2.5, 1.5, 1.5), 5, 5);
        // Square the label's own area so the control covers the field exactly.
        p.fillRect(label, FieldFill);
        DrawBadge(p, SkinClearButtonRect(slot).topLeft(), Look::Normal, Glyph::Cross, 0);
        DrawBadge(p, SkinPlayButtonRect(slot).topLeft(), Look::Normal, Glyph::Speaker, 0);
    }
}

// Bottom: striped panel with the logo plate and the MAKE USER VOICE plate.
void DrawBottomStrip(QPainter& p) {
    DrawStripes(p, QRect(40, 548, 560, 52));
    const QRect save = SkinSaveButtonRect();
    const QRect logo(100, 550, 326, 47);
    p.setPen(Qt::NoPen);
    p.setBrush(PanelFace);
    p.drawRoundedRect(QRectF(logo).adjusted(-6, -3, 6, 3), 9, 9);
    p.drawRoundedRect(QRectF(save).adjusted(-6, -5, 6, 5), 9, 9);
    p.setBrush(Ink);
    p.drawRoundedRect(QRectF(logo), 8, 8);
    p.setBrush(PlateRing);
    p.drawRoundedRect(QRectF(logo).adjusted(1.3, 1.3, -1.3, -1.3), 7, 7);
    p.setBrush(Ink);
    p.drawRoundedRect(QRectF(logo).adjusted(3.7, 3.7, -3.7, -3.7), 5, 5);
    p.setBrush(LogoFace);
    p.drawRoundedRect(QRectF(logo).adjusted(4.7, 4.7, -4.7, -4.7), 4, 4);
    const QPointF logoCentre = QRectF(logo).center();
    DrawCentredText(p, QStringLiteral("GRIDLUME"), ArtFont(19, QFont::Black, 3.0),
                    QPointF(logoCentre.x(), logoCentre.y() - 5.5), Yellow);
    DrawCentredText(p, QStringLiteral("USER VOICE MANAGER"), ArtFont(8, QFont::Bold, 2.2),
                    QPointF(logoCentre.x(), logoCentre.y() + 11.5), QColor(236, 238, 236));
    DrawSavePlate(p, save.topLeft(), Look::Normal);
}

void DrawBackground(QPainter& p) {
    p.fillRect(QRect(0, 0, SkinPanelSize, SkinPanelSize), PanelFace);
    DrawPanelEdge(p);
    DrawTopStrip(p);
    DrawColumnCaptions(p, DrawListFrame(p));
    DrawRows(p);
    DrawBottomStrip(p);
}

struct ArtEntry {
    int id;
    QSize size;
};

QImage NewCanvas(QSize size, int scale, const QColor& fill) {
    QImage image(size * scale, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

void PrepPainter(QPainter& p, int scale) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.scale(scale, scale);
}

}  // namespace

QSize SkinArtSize(int id) {
    switch (id) {
    case 149: return {640, 640};
    case 130:
    case 132:
    case 138: return {58, 25};
    case 137:
    case 139:
    case 140:
    case 170: return {100, 39};
    case 134:
    case 135:
    case 142:
    case 143:
    case 144:
    case 146:
    case 147:
    case 148:
    case 163: return {25, 25};
    default: break;
    }
    if (id >= 171 && id <= 218) {
        return {25, 25};
    }
    return {};
}

QImage RenderSkinArt(int id, int scale) {
    const QSize size = SkinArtSize(id);
    if (size.isEmpty() || scale < 1) {
        return {};
    }
    const bool plate = size.width() != size.height();
    QImage image = NewCanvas(size, scale, plate || id == 149 ? PanelFace : BadgeCorner);
    QPainter p(&image);
    PrepPainter(p, scale);
    const QPoint o(0, 0);
    switch (id) {
    case 149: DrawBackground(p); break;
    case 132: DrawExitPlate(p, o, Look::Normal); break;
    case 138: DrawExitPlate(p, o, Look::Pressed); break;
    case 130: DrawExitPlate(p, o, Look::Hover); break;
    case 137: DrawSavePlate(p, o, Look::Normal); break;
    case 139: DrawSavePlate(p, o, Look::Pressed); break;
    case 140: DrawSavePlate(p, o, Look::Hover); break;
    case 170: DrawSavePlate(p, o, Look::Disabled); break;
    case 134: DrawBadge(p, o, Look::Normal, Glyph::Cross, 0); break;
    case 142: DrawBadge(p, o, Look::Pressed, Glyph::Cross, 0); break;
    case 143: DrawBadge(p, o, Look::Hover, Glyph::Cross, 0); break;
    case 146: DrawBadge(p, o, Look::Disabled, Glyph::Cross, 0); break;
    case 135: DrawBadge(p, o, Look::Normal, Glyph::Speaker, 0); break;
    case 144: DrawBadge(p, o, Look::Pressed, Glyph::Speaker, 0); break;
    case 163: DrawBadge(p, o, Look::Hover, Glyph::Speaker, 0); break;
    case 148: DrawBadge(p, o, Look::Pressed, Glyph::Speaker, 0); break;
    case 147: DrawBadge(p, o, Look::Disabled, Glyph::Speaker, 0); break;
    default:
        if (id >= 171 && id <= 186) {
            DrawBadge(p, o, Look::Pressed, Glyph::Digits, id - 171 + 1);
        } else if (id >= 187 && id <= 202) {
            DrawBadge(p, o, Look::Normal, Glyph::Digits, id - 187 + 1);
        } else {
            DrawBadge(p, o, Look::Hover, Glyph::Digits, id - 203 + 1);
        }
        break;
    }
    p.end();
    return image;
}

QImage RenderAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal s = size / 32.0;
    p.scale(s, s);
    p.setPen(Qt::NoPen);
    p.setBrush(LogoFace);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 7, 7);
    const QPointF c(16, 16);
    FillCircle(p, c, 13.0, Ink);
    FillCircle(p, c, 12.2, Gold);
    FillCircle(p, c, 9.8, Ink);
    FillCircle(p, c, 9.0, Yellow);
    p.translate(c);
    p.scale(1.15, 1.15);
    DrawSpeaker(p, QPointF(0.6, 0));
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

#pragma once

// The program's own drawing routines on QPainter/QImage: drawing an image
// object into a rectangle, rounded rectangles, the glass gradient, text in
// the message font, images with opacity, the scaled JPEG copy, saving as
// PNG and finding an encoder. Drawing happens on whichever thread owns the
// painter; a QGuiApplication must exist for text (fonts).

#include "imaging/Image.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRect>
#include <QString>

namespace imaging {

// Corners of a rounded rectangle.
constexpr int kCornerTopLeft = 1;
constexpr int kCornerTopRight = 2;
constexpr int kCornerBottomLeft = 4;
constexpr int kCornerBottomRight = 8;
constexpr int kCornerAll = 15;

// Text style flags.
constexpr int kTextBold = 1;
constexpr int kTextItalic = 2;
constexpr int kTextUnderline = 4;

// Stretches the picture to the rectangle, repeating or dropping pixels (no
// smoothing). A picture with a transparent colour is drawn with that
// colour left out; the alpha plane is not used. False for an empty picture.
bool DrawTo(const CxImage& image, QPainter& painter, const QRect& rect);

// The picture as a QImage (RGB32, or ARGB32 with the transparent colour
// cleared when keepTransparent and the picture has one).
QImage ToQImage(const CxImage& image, bool keepTransparent = false);

// Fills a rectangle whose selected corners are quarter circles of `radius`
// (radius 0: a plain rectangle). `argb` is 0xAARRGGBB.
void FillRoundRect(QPainter& painter, int radius, QRgb argb, const QRect& rect,
                   int corners = kCornerAll);

// The glass gradient: the base colour with a white sheen over its upper
// half. The second form is the softer variant. Optionally clipped.
enum class GlassForm { First, Second };
void FillGlassGradient(QPainter& painter, QColor base, const QPainterPath* clip, const QRect& rect,
                       GlassForm form = GlassForm::First);

// Text in the application's (message) font at a point size, weight 700 when
// bold, aligned in the rectangle, trimmed with an ellipsis at a character
// and drawn in whole lines only. Unless keepRendering, antialiased rendering
// is chosen above 10 points or for bold alone, hinted rendering otherwise.
void DrawText(QColor colour, int style, QPainter& painter, const QString& text, double pointSize,
              Qt::Alignment horizontal, Qt::Alignment vertical, const QRect& rect,
              bool keepRendering = false);

// Draws the image into the rectangle with its alpha scaled by opacity.
void DrawImageWithOpacity(const QImage& image, QPainter& painter, double opacity,
                          const QRectF& rect);

// Writes `target` as a JPEG (quality 85) of `source` scaled down to fit
// maximumSize × maximumSize (never enlarged). `device`, when given, decides
// the depth of the intermediate bitmap.
bool ScaledJpegCopy(const QString& source, const QString& target, int maximumSize,
                    const QPaintDevice* device = nullptr);

// Writes the image with the PNG encoder.
bool SaveAsPng(const QImage& image, const QString& path);

// The index of the first encoder whose MIME type is exactly `mimeType`, or
// -1; `id`, when given, receives the encoder's format name.
int FindEncoder(const QString& mimeType, QByteArray* id = nullptr);

} // namespace imaging

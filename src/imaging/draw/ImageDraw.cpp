#include "imaging/draw/ImageDraw.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QLinearGradient>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace imaging {

QImage ToQImage(const CxImage& image, bool keepTransparent) {
    if (!image.IsValid()) {
        return {};
    }
    const int width = static_cast<int>(image.Width());
    const int height = static_cast<int>(image.Height());
    const bool transparent = keepTransparent && image.IsTransparent();
    QImage out(width, height, transparent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull()) {
        return {};
    }
    const bool palette = image.GetBpp() <= 8;
    const RgbQuad clear = image.GetTransColor();
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        const auto row = static_cast<std::uint32_t>(height - 1 - y);
        const std::uint8_t* bits = image.GetBits(row);
        for (int x = 0; x < width; ++x) {
            RgbQuad c;
            bool hidden = false;
            if (palette) {
                const std::uint8_t index = image.GetPixelIndex(x, row);
                c = image.GetPaletteColor(index);
                hidden = transparent && index == image.GetTransIndex();
            } else {
                c = RgbQuad{bits[3 * x], bits[3 * x + 1], bits[3 * x + 2], 0};
                hidden = transparent && c.red == clear.red && c.green == clear.green &&
                         c.blue == clear.blue;
            }
            line[x] = hidden ? qRgba(0, 0, 0, 0) : qRgb(c.red, c.green, c.blue);
        }
    }
    return out;
}

bool DrawTo(const CxImage& image, QPainter& painter, const QRect& rect) {
    const QImage picture = ToQImage(image, true);
    if (picture.isNull() || rect.isEmpty()) {
        return false;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(rect, picture);
    painter.restore();
    return true;
}

void FillRoundRect(QPainter& painter, int radius, QRgb argb, const QRect& rect, int corners) {
    const QColor colour = QColor::fromRgba(argb);
    if (radius <= 0) {
        painter.fillRect(rect, colour);
        return;
    }
    const QRectF r(rect);
    const qreal d = 2.0 * radius;
    QPainterPath path;
    // Clockwise from the top-left corner.
    if (corners & kCornerTopLeft) {
        path.moveTo(r.left(), r.top() + radius);
        path.arcTo(QRectF(r.left(), r.top(), d, d), 180, -90);
    } else {
        path.moveTo(r.topLeft());
    }
    if (corners & kCornerTopRight) {
        path.lineTo(r.right() - radius, r.top());
        path.arcTo(QRectF(r.right() - d, r.top(), d, d), 90, -90);
    } else {
        path.lineTo(r.topRight());
    }
    if (corners & kCornerBottomRight) {
        path.lineTo(r.right(), r.bottom() - radius);
        path.arcTo(QRectF(r.right() - d, r.bottom() - d, d, d), 0, -90);
    } else {
        path.lineTo(r.right(), r.bottom());
    }
    if (corners & kCornerBottomLeft) {
        path.lineTo(r.left() + radius, r.bottom());
        path.arcTo(QRectF(r.left(), r.bottom() - d, d, d), 270, -90);
    } else {
        path.lineTo(r.left(), r.bottom());
    }
    path.closeSubpath();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(path, colour);
    painter.restore();
}

namespace {

void FillVertical(QPainter& painter, const QRect& band, QColor from, QColor to) {
    if (band.height() <= 0 || band.width() <= 0) {
        return;
    }
    QLinearGradient gradient(band.left(), band.top(), band.left(), band.top() + band.height());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(band, gradient);
}

QColor WithAlpha(QColor colour, int alpha) {
    colour.setAlpha(alpha);
    return colour;
}

} // namespace

void FillGlassGradient(QPainter& painter, QColor base, const QPainterPath* clip, const QRect& rect,
                       GlassForm form) {
    painter.save();
    // The lower band starts one row below the middle and is half the height
    // high, so it would reach one row past the rectangle: keep it inside.
    painter.setClipRect(rect, Qt::IntersectClip);
    if (clip) {
        painter.setClipPath(*clip, Qt::IntersectClip);
    }
    painter.fillRect(rect, base);
    const int height = rect.height();
    const QColor white(255, 255, 255);
    const QRect lower(rect.left(), rect.top() + height / 2 + 1, rect.width(), height - height / 2);
    if (form == GlassForm::First) {
        FillVertical(painter, QRect(rect.left(), rect.top(), rect.width(), height / 2 - 2),
                     WithAlpha(white, 150), WithAlpha(white, 60));
        FillVertical(painter, lower, WithAlpha(base, 0), WithAlpha(white, 30));
    } else {
        const int upper = static_cast<int>(height / 2.2);
        FillVertical(painter, QRect(rect.left(), rect.top(), rect.width(), upper),
                     WithAlpha(white, 75), WithAlpha(white, 40));
        FillVertical(painter, lower, WithAlpha(white, 0), WithAlpha(white, 20));
    }
    painter.restore();
}

namespace {

QFont MessageFont(int style, double pointSize, const QPaintDevice* device) {
    QFont font = QGuiApplication::font();
    const int dpi = device ? device->logicalDpiY() : 96;
    // The character height in pixels: size × vertical dots per inch / 72.
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pointSize * dpi / 72.0))));
    font.setWeight((style & kTextBold) ? QFont::Bold : QFont::Normal);
    font.setItalic((style & kTextItalic) != 0);
    font.setUnderline((style & kTextUnderline) != 0);
    return font;
}

} // namespace

void DrawText(QColor colour, int style, QPainter& painter, const QString& text, double pointSize,
              Qt::Alignment horizontal, Qt::Alignment vertical, const QRect& rect,
              bool keepRendering) {
    if (text.isEmpty() || rect.isEmpty()) {
        return;
    }
    QFont font = MessageFont(style, pointSize, painter.device());
    if (!keepRendering) {
        // Smooth antialiasing for large or bold-only text; hinted glyphs
        // (the closest to subpixel rendering on an image) otherwise.
        const bool smooth = pointSize > 10 || style == kTextBold;
        font.setStyleStrategy(smooth ? QFont::PreferAntialias : QFont::PreferQuality);
        font.setHintingPreference(smooth ? QFont::PreferNoHinting : QFont::PreferFullHinting);
    }
    QTextLayout layout(text, font, painter.device());
    QTextOption option(horizontal);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const QFontMetricsF metrics(font, painter.device());
    // Lay out only the lines that fit whole; the last one shown is trimmed
    // with an ellipsis when text remains.
    std::vector<std::pair<QString, qreal>> lines;
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(rect.width());
        if (height + line.height() > rect.height()) {
            break;
        }
        QString part = text.mid(line.textStart(), line.textLength());
        const bool last = line.textStart() + line.textLength() < text.size() &&
                          height + 2 * line.height() > rect.height();
        if (last) {
            part = metrics.elidedText(text.mid(line.textStart()), Qt::ElideRight, rect.width());
        }
        lines.emplace_back(part.trimmed(), line.height());
        height += line.height();
        if (last) {
            break;
        }
    }
    layout.endLayout();
    qreal y = rect.top();
    if (vertical & Qt::AlignVCenter) {
        y += (rect.height() - height) / 2;
    } else if (vertical & Qt::AlignBottom) {
        y += rect.height() - height;
    }
    painter.save();
    painter.setFont(font);
    painter.setPen(colour);
    painter.setClipRect(rect, Qt::IntersectClip);
    for (const auto& [part, lineHeight] : lines) {
        painter.drawText(QRectF(rect.left(), y, rect.width(), lineHeight),
                         static_cast<int>(horizontal | Qt::AlignTop | Qt::TextSingleLine), part);
        y += lineHeight;
    }
    painter.restore();
}

void DrawImageWithOpacity(const QImage& image, QPainter& painter, double opacity,
                          const QRectF& rect) {
    painter.save();
    if (opacity < 1.0) {
        painter.setOpacity(painter.opacity() * std::max(0.0, opacity));
    }
    painter.drawImage(rect, image);
    painter.restore();
}

int FindEncoder(const QString& mimeType, QByteArray* id) {
    const QList<QByteArray> types = QImageWriter::supportedMimeTypes();
    for (int i = 0; i < types.size(); ++i) {
        if (QString::fromLatin1(types[i]) != mimeType) {
            continue;
        }
        if (id) {
            const QList<QByteArray> formats = QImageWriter::imageFormatsForMimeType(types[i]);
            *id = formats.isEmpty() ? QByteArray() : formats.first();
        }
        return i;
    }
    return -1;
}

bool SaveAsPng(const QImage& image, const QString& path) {
    QByteArray format;
    if (image.isNull() || FindEncoder(QStringLiteral("image/png"), &format) < 0) {
        return false;
    }
    QImageWriter writer(path, format);
    return writer.write(image);
}

bool ScaledJpegCopy(const QString& source, const QString& target, int maximumSize,
                    const QPaintDevice* device) {
    QImageReader reader(source);
    if (!reader.canRead() || maximumSize <= 0) {
        return false;
    }
    const QImage picture = reader.read();
    if (picture.isNull()) {
        return false;
    }
    const double factor = std::min({1.0, static_cast<double>(maximumSize) / picture.width(),
                                    static_cast<double>(maximumSize) / picture.height()});
    const QSize size(std::max(1, static_cast<int>(std::lround(picture.width() * factor))),
                     std::max(1, static_cast<int>(std::lround(picture.height() * factor))));
    const QImage::Format format =
        device && device->depth() == 16 ? QImage::Format_RGB16 : QImage::Format_RGB32;
    // Qt's smooth scaling averages the covered area when shrinking, the
    // high-quality path it has in place of bicubic interpolation.
    QImage scaled(size, format);
    scaled.fill(Qt::white);
    {
        QPainter painter(&scaled);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(QRect(QPoint(0, 0), size),
                          picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    QByteArray jpeg;
    if (FindEncoder(QStringLiteral("image/jpeg"), &jpeg) < 0) {
        return false;
    }
    QImageWriter writer(target, jpeg);
    writer.setQuality(85);
    return writer.write(scaled);
}

} // namespace imaging

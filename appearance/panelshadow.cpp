#include "appearance/panelshadow.h"

#include <QPainter>
#include <QPixmap>

// Qt's own blur, the one its drop shadow uses: exported, but declared only in private headers.
// Its public door, QGraphicsBlurEffect, needs a scene of its own and blurs all four channels
// where the shadow needs the alpha alone: four times the work on every size change.
void qt_blurImage(QPainter *painter, QImage &blurImage, qreal radius, bool quality, bool alphaOnly,
                  int transposed = 0);

namespace {

// The stock shadow filter's steps, in its order, on the padded source pixmap.
QImage blurredShadow(const QPixmap &source, qreal radius, const QColor &colour)
{
    QImage copy(source.size(), QImage::Format_ARGB32_Premultiplied);
    copy.setDevicePixelRatio(source.devicePixelRatio());
    copy.fill(0);
    QPainter painter(&copy);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(QPointF(0, 0), source);
    painter.end();

    QImage blurred(copy.size(), QImage::Format_ARGB32_Premultiplied);
    blurred.setDevicePixelRatio(source.devicePixelRatio());
    blurred.fill(0);
    QPainter blurPainter(&blurred);
    qt_blurImage(&blurPainter, copy, radius, false, true);
    blurPainter.end();

    painter.begin(&blurred);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(blurred.rect(), colour);
    painter.end();
    return blurred;
}

} // namespace

PanelShadow::PanelShadow(QObject *parent) : QGraphicsDropShadowEffect(parent)
{
    connect(this, &QGraphicsDropShadowEffect::blurRadiusChanged, this, &PanelShadow::forget);
    connect(this, &QGraphicsDropShadowEffect::colorChanged, this, &PanelShadow::forget);
}

PanelShadow::~PanelShadow() = default;

void PanelShadow::draw(QPainter *painter)
{
    // An offset shadow shows through translucent children; the stock effect handles that case.
    if (!offset().isNull() || blurRadius() <= 0)
        return QGraphicsDropShadowEffect::draw(painter);
    // The widget still goes through a pixmap: drawSource() would paint it twice offset when
    // the window is rendered into an image (grab(), render()).
    QPoint at;
    const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &at, PadToEffectiveBoundingRect);
    if (source.isNull())
        return;
    if (shadow.size() != source.size() || shadow.devicePixelRatio() != source.devicePixelRatio())
        shadow = blurredShadow(source, blurRadius(), color());
    const QTransform world = painter->worldTransform();
    painter->setWorldTransform(QTransform());
    painter->drawImage(at, shadow);
    painter->drawPixmap(at, source);
    painter->setWorldTransform(world);
}

void PanelShadow::forget()
{
    shadow = QImage();
}

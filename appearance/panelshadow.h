#pragma once

#include <QGraphicsDropShadowEffect>
#include <QImage>

// Qt's drop shadow, blurred once per size. The stock effect blurs its widget's pixmap on every
// paint, so each step of the progress bar cost a full blur of the window. The shadow depends
// only on the panel's outline, which the children, lying inside it, never change.
class PanelShadow : public QGraphicsDropShadowEffect
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PanelShadow)

public:
    explicit PanelShadow(QObject *parent = nullptr);
    ~PanelShadow() override;

protected:
    void draw(QPainter *painter) override;

private:
    void forget();

    QImage shadow; // blurred and coloured, the size of the padded source pixmap
};

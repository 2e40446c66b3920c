#include "elidedlabel.h"

#include <QResizeEvent>

void ElidedLabel::setFullText(const QString &text)
{
    m_fullText = text;
    updateGeometry();
    elide();
}

QSize ElidedLabel::sizeHint() const
{
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(m_fullText) + margins.left() + margins.right(),
            QLabel::sizeHint().height()};
}

// Room for a few characters either side of the "…", so that it never shrinks to nothing.
QSize ElidedLabel::minimumSizeHint() const
{
    const QMargins margins = contentsMargins();
    return {fontMetrics().averageCharWidth() * 8 + margins.left() + margins.right(),
            QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    const QString shown =
        fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, contentsRect().width());
    if (shown != text())
        setText(shown);
    setToolTip(shown == m_fullText ? QString() : m_fullText);
}

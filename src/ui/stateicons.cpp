#include "stateicons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QColor colorOf(SessionState state)
{
    if (state == SessionState::connected)
        return QColor(0x2e, 0x9e, 0x44);
    if (state == SessionState::abnormalDisconnect)
        return QColor(0xd9, 0x38, 0x2e);
    if (isInProgress(state))
        return QColor(0xe8, 0x9a, 0x10);
    return QColor(0x9a, 0x9a, 0x9a);
}

void paintPin(QPainter &painter, const QRectF &box)
{
    const QColor ink(0x5a, 0x5a, 0x5a);
    painter.setPen(QPen(ink, box.width() / 7, Qt::SolidLine, Qt::RoundCap));
    const QPointF tip(box.center().x(), box.bottom());
    const QPointF neck(box.center().x(), box.top() + box.height() * 0.55);
    painter.drawLine(tip, neck);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    const qreal radius = box.width() * 0.3;
    painter.drawEllipse(QPointF(box.center().x(), box.top() + radius), radius, radius);
    painter.drawRect(QRectF(box.left() + box.width() * 0.15, neck.y() - box.height() * 0.12,
                            box.width() * 0.7, box.height() * 0.12));
}

QPixmap paint(SessionState state, bool pinned, qreal scale)
{
    QPixmap pixmap(stateIconSize * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal height = stateIconSize.height();
    const QColor color = colorOf(state);
    painter.setPen(QPen(color.darker(130), 1));
    painter.setBrush(state == SessionState::notConnected ? QColor(Qt::transparent) : color);
    painter.drawEllipse(QRectF(3.5, 3.5, height - 7, height - 7));
    if (pinned)
        paintPin(painter, QRectF(height + 1, 2, height * 0.5, height - 4));
    return pixmap;
}

} // namespace

QIcon stateIcon(SessionState state, bool pinned)
{
    static QHash<int, QIcon> icons;
    const int key = int(state) * 2 + int(pinned);
    auto it = icons.find(key);
    if (it != icons.end())
        return *it;
    QIcon icon;
    icon.addPixmap(paint(state, pinned, 1));
    icon.addPixmap(paint(state, pinned, 2));
    return *icons.insert(key, icon);
}

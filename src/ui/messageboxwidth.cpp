#include "messageboxwidth.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

void widenForReading(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    const int width = box.fontMetrics().averageCharWidth() * 50;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

#include "forwardinglistmodel.h"

#include "forwarding.h"
#include "forwardingtype.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileedit.h"
#include "profilevalidationform.h"
#include "queries.h"
#include "sshinvocation.h"

#include <QApplication>
#include <QIcon>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace {

QString endpoint(const std::optional<QString> &address, qint32 port)
{
    if ((!address || address->trimmed().isEmpty()) && port == 0)
        return u"…"_s;
    return endpointSpec(address, port);
}

QIcon warningIcon()
{
    return QIcon::fromTheme(u"dialog-warning"_s,
                            QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning));
}

} // namespace

ForwardingListModel::ForwardingListModel(QObject *parent) : QAbstractListModel(parent) {}

void ForwardingListModel::setProfile(ObjectContext *context, Profile *profile)
{
    beginResetModel();
    if (m_context)
        disconnect(m_context, nullptr, this, nullptr);
    m_context = context;
    m_profile = profile;
    if (m_context)
        connect(m_context, &ObjectContext::objectsDidChange, this,
                &ForwardingListModel::contextChanged);
    m_rows = currentRows();
    endResetModel();
}

QList<Forwarding *> ForwardingListModel::currentRows() const
{
    return m_profile && !m_profile->isDeleted() ? m_profile->sortedForwardings()
                                                : QList<Forwarding *>();
}

void ForwardingListModel::contextChanged(const ObjectsDidChange &)
{
    if (m_changing)
        return;
    // Edits made here keep the rows in step as they happen; a merge of outside changes may
    // add, remove or reorder rows at any place.
    if (currentRows() != m_rows) {
        beginResetModel();
        m_rows = currentRows();
        endResetModel();
    } else if (!m_rows.isEmpty()) {
        Q_EMIT dataChanged(index(0), index(int(m_rows.size()) - 1));
    }
}

Forwarding *ForwardingListModel::forwardingAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : nullptr;
}

int ForwardingListModel::rowOf(const Forwarding *forwarding) const
{
    return int(m_rows.indexOf(forwarding));
}

bool ForwardingListModel::allAcceptable() const
{
    return std::all_of(m_rows.cbegin(), m_rows.cend(), [](const Forwarding *f) {
        return !f->enabled() || ProfileValidationForm::isAcceptable(f->data());
    });
}

Forwarding *ForwardingListModel::appendForwarding()
{
    if (!m_profile)
        return nullptr;
    const int row = int(m_rows.size());
    const QScopedValueRollback changing(m_changing, true);
    beginInsertRows({}, row, row);
    ForwardingData data;
    data.enabled = true;
    Forwarding *forwarding = ::appendForwarding(*m_context, *m_profile, data);
    m_rows = currentRows();
    endInsertRows();
    return forwarding;
}

Forwarding *ForwardingListModel::duplicateRow(int row)
{
    Forwarding *source = forwardingAt(row);
    if (!source)
        return nullptr;
    const QScopedValueRollback changing(m_changing, true);
    beginInsertRows({}, row + 1, row + 1);
    Forwarding *copy = duplicateForwarding(source, m_profile, *m_context);
    moveForwarding(*m_profile, copy, row + 1);
    m_rows = currentRows();
    endInsertRows();
    return copy;
}

QString ForwardingListModel::sshWords(int row) const
{
    const Forwarding *forwarding = forwardingAt(row);
    return forwarding ? forwardingArguments(forwarding->data()).join(u' ') : QString();
}

QString ForwardingListModel::summary(const Forwarding &f)
{
    const ForwardingType kind = f.kind();
    const QString bind = endpoint(f.bindAddress(), f.bindPort());
    const bool hasTarget =
        kind == ForwardingType::local ||
        (kind == ForwardingType::remote &&
         (f.targetPort() != 0 || !f.targetAddress().value_or(QString()).isEmpty()));
    if (!hasTarget)
        return localized("%1: %2").arg(shortName(kind), bind);
    return localized("%1: %2 → %3")
        .arg(shortName(kind), bind, endpoint(f.targetAddress(), f.targetPort()));
}

int ForwardingListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ForwardingListModel::data(const QModelIndex &index, int role) const
{
    const Forwarding *f = forwardingAt(index.row());
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        !f)
        return {};
    const bool acceptable = !f->enabled() || ProfileValidationForm::isAcceptable(f->data());
    switch (role) {
    case Qt::DisplayRole:
        return summary(*f);
    case Qt::ToolTipRole: {
        QStringList lines{longTitle(f->kind())};
        if (f->note() && !f->note()->isEmpty())
            lines.append(*f->note());
        if (!acceptable)
            lines.append(ProfileValidationForm::invalidForwardingsMessage());
        return lines.join(u'\n');
    }
    case Qt::AccessibleTextRole:
        return f->enabled() ? summary(*f) : localized("%1 (disabled)").arg(summary(*f));
    case Qt::CheckStateRole:
        return f->enabled() ? Qt::Checked : Qt::Unchecked;
    case Qt::DecorationRole:
        return acceptable ? QVariant() : QVariant(warningIcon());
    case acceptableRole:
        return acceptable;
    default:
        return {};
    }
}

bool ForwardingListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    Forwarding *f = forwardingAt(index.row());
    if (!f || role != Qt::CheckStateRole)
        return false;
    const bool enabled = value.value<Qt::CheckState>() == Qt::Checked;
    f->edit([enabled](ForwardingData &d) { d.enabled = enabled; });
    Q_EMIT dataChanged(index, index);
    return true;
}

Qt::ItemFlags ForwardingListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
           Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

bool ForwardingListModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count < 1 || row + count > m_rows.size())
        return false;
    const QScopedValueRollback changing(m_changing, true);
    beginRemoveRows({}, row, row + count - 1);
    removeForwardings(*m_context, m_rows.mid(row, count));
    m_rows = currentRows();
    endRemoveRows();
    return true;
}

bool ForwardingListModel::moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                                   const QModelIndex &destinationParent, int destinationChild)
{
    const int size = int(m_rows.size());
    if (sourceParent.isValid() || destinationParent.isValid() || count != 1 || sourceRow < 0 ||
        sourceRow >= size || destinationChild < 0 || destinationChild > size ||
        destinationChild == sourceRow || destinationChild == sourceRow + 1)
        return false;
    if (!beginMoveRows({}, sourceRow, sourceRow, {}, destinationChild))
        return false;
    const QScopedValueRollback changing(m_changing, true);
    const qsizetype to = destinationChild > sourceRow ? destinationChild - 1 : destinationChild;
    moveForwarding(*m_profile, m_rows.at(sourceRow), to);
    m_rows.move(sourceRow, to);
    endMoveRows();
    return true;
}

Qt::DropActions ForwardingListModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

QStringList ForwardingListModel::mimeTypes() const
{
    return {rowMimeType};
}

QMimeData *ForwardingListModel::mimeData(const QModelIndexList &indexes) const
{
    if (indexes.size() != 1 || !indexes.first().isValid())
        return nullptr;
    auto *data = new QMimeData;
    data->setData(rowMimeType, QByteArray::number(indexes.first().row()));
    return data;
}

bool ForwardingListModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int,
                                          const QModelIndex &parent) const
{
    return action == Qt::MoveAction && !parent.isValid() && data && data->hasFormat(rowMimeType);
}

bool ForwardingListModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row,
                                       int column, const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    bool ok = false;
    const int source = data->data(rowMimeType).toInt(&ok);
    if (!ok)
        return false;
    moveRows({}, source, 1, {}, row < 0 ? rowCount() : row);
    // The rows are moved already: the view must not remove the dragged one afterwards.
    return false;
}

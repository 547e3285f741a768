#include "filelist/FileListModel.h"

#include <QSet>

#include "common/FileNameCodec.h"
#include "common/ByteText.h"

void FileListModel::reset(const QString &folder, const QStringList &lines, ListState state,
                          const std::vector<qint64> &sizes)
{
    beginResetModel();
    m_folder = folder;
    m_state = state;
    m_lines.clear();
    m_lines.reserve(std::size_t(lines.size()));
    for (const QString &line : lines)
        m_lines.push_back({line, false});
    m_sizes = sizes;
    m_sizes.resize(m_lines.size(), -1);
    m_messages.assign(m_lines.size(), 0);
    endResetModel();
}

void FileListModel::tickAll()
{
    if (m_lines.empty())
        return;
    for (FileLine &line : m_lines)
        line.ticked = true;
    emit dataChanged(index(0, NameColumn), index(rowCount() - 1, NameColumn), {Qt::CheckStateRole});
}

void FileListModel::untick(const QStringList &names)
{
    if (names.isEmpty())
        return;
    const QSet<QString> gone(names.begin(), names.end());
    for (std::size_t row = 0; row < m_lines.size(); ++row) {
        FileLine &line = m_lines[row];
        if (!line.ticked || !gone.contains(line.name))
            continue;
        line.ticked = false;
        const QModelIndex at = index(int(row), NameColumn);
        emit dataChanged(at, at, {Qt::CheckStateRole});
    }
}

void FileListModel::setMessageNumbers(std::vector<int> numbers)
{
    numbers.resize(m_lines.size(), 0);
    if (numbers == m_messages)
        return;
    m_messages = std::move(numbers);
    if (!m_lines.empty())
        emit dataChanged(index(0, MessageColumn), index(rowCount() - 1, MessageColumn),
                         {Qt::DisplayRole});
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

int FileListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const auto row = std::size_t(index.row());
    const FileLine &line = m_lines[row];
    switch (index.column()) {
    case NameColumn:
        if (role == Qt::DisplayRole)
            return displayFileName(line.name);
        if (role == Qt::CheckStateRole)
            return line.ticked ? Qt::Checked : Qt::Unchecked;
        return {};
    case SizeColumn:
        if (role == Qt::DisplayRole && m_sizes[row] >= 0)
            return byteText(m_sizes[row]);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case MessageColumn:
        if (role == Qt::DisplayRole && m_messages[row] > 0)
            return m_messages[row];
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("Name");
    case SizeColumn:
        return QStringLiteral("Size");
    case MessageColumn:
        return QStringLiteral("Message");
    default:
        return {};
    }
}

bool FileListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != NameColumn ||
        index.row() >= rowCount())
        return false;
    m_lines[std::size_t(index.row())].ticked = value.value<Qt::CheckState>() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.column() != NameColumn)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

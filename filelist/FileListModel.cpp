#include "filelist/FileListModel.h"

#include "common/FileNameCodec.h"

void FileListModel::reset(const QString &folder, const QStringList &lines, ListState state)
{
    beginResetModel();
    m_folder = folder;
    m_state = state;
    m_lines.clear();
    m_lines.reserve(std::size_t(lines.size()));
    for (const QString &line : lines)
        m_lines.push_back({line, false});
    endResetModel();
}

void FileListModel::tickAll()
{
    if (m_lines.empty())
        return;
    for (FileLine &line : m_lines)
        line.ticked = true;
    emit dataChanged(index(0), index(rowCount() - 1), {Qt::CheckStateRole});
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const FileLine &line = m_lines[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return displayFileName(line.name);
    case Qt::CheckStateRole:
        return line.ticked ? Qt::Checked : Qt::Unchecked;
    default:
        return {};
    }
}

bool FileListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= rowCount())
        return false;
    m_lines[std::size_t(index.row())].ticked = value.value<Qt::CheckState>() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

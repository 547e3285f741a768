#pragma once

#include "filelist/FileLine.h"
#include "filelist/Sentinels.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

// The lines of the file list, each with a tick box, its size and the message it would go in,
// and the folder they were listed from.
class FileListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        NameColumn,
        SizeColumn,
        MessageColumn,
        ColumnCount
    };

    using QAbstractTableModel::QAbstractTableModel;

    // Replaces every line with the given texts, all unticked, in the given order. `sizes` holds
    // each line's size in bytes (-1 when unknown), or is empty when no line is a file.
    void reset(const QString &folder, const QStringList &lines, ListState state = ListState::Files,
               const std::vector<qint64> &sizes = {});
    void tickAll();
    // Unticks the lines of these names; the others keep their ticks.
    void untick(const QStringList &names);
    // The message each line goes in (0: none); shown in the message column.
    void setMessageNumbers(std::vector<int> numbers);

    const std::vector<FileLine> &lines() const { return m_lines; }
    // The folder whose files the lines are; what a Send attaches from.
    QString folder() const { return m_folder; }
    ListState state() const { return m_state; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    std::vector<FileLine> m_lines;
    std::vector<qint64> m_sizes;
    std::vector<int> m_messages;
    QString m_folder;
    ListState m_state = ListState::Files;
};

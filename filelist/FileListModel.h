#pragma once

#include "filelist/FileLine.h"
#include "filelist/Sentinels.h"

#include <QAbstractListModel>
#include <QStringList>
#include <vector>

// The lines of the file list, each with a tick box, and the folder they were listed from.
class FileListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    // Replaces every line with the given texts, all unticked, in the given order.
    void reset(const QString &folder, const QStringList &lines, ListState state = ListState::Files);
    void tickAll();

    const std::vector<FileLine> &lines() const { return m_lines; }
    // The folder whose files the lines are; what a Send attaches from.
    QString folder() const { return m_folder; }
    ListState state() const { return m_state; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    std::vector<FileLine> m_lines;
    QString m_folder;
    ListState m_state = ListState::Files;
};

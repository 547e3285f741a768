#include "filelist/FileListRefresh.h"

#include "filelist/FileListModel.h"
#include "filelist/FileNameOrder.h"
#include "filelist/FileSystem.h"
#include "filelist/Sentinels.h"

void refreshFileList(const QString &folderText, const FileSystem &files, FileListModel &list)
{
    list.reset(folderText, {});
    if (!files.FolderExists(folderText)) {
        list.reset(folderText, {notAValidPathLine()}, ListState::NotAValidPath);
        return;
    }
    QStringList names = files.FileNames(folderText);
    if (names.isEmpty()) {
        list.reset(folderText, {noFilesLine()}, ListState::NoFiles);
        return;
    }
    sortFileNames(names);
    list.reset(folderText, names);
}

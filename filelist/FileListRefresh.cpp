#include "filelist/FileListRefresh.h"

#include "filelist/AttachmentPath.h"
#include "common/Failure.h"
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
    std::vector<qint64> sizes;
    sizes.reserve(std::size_t(names.size()));
    for (const QString &name : std::as_const(names)) {
        // A file that goes between listing and sizing shows no size; a Send says why.
        try {
            sizes.push_back(files.FileSize(attachmentPath(folderText, name)));
        } catch (const Failure &) {
            sizes.push_back(-1);
        }
    }
    list.reset(folderText, names, ListState::Files, sizes);
}

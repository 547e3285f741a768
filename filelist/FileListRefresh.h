#pragma once

#include <QString>

class FileListModel;
class FileSystem;

// Lists the files of the folder the text names, sorted, all unticked; or the single line
// "Not a Valid Path" or "No files" when there is nothing to list. Throws Failure when an
// existing folder cannot be read, leaving the list empty.
void refreshFileList(const QString &folderText, const FileSystem &files, FileListModel &list);

#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kestrion {

// The files the main window's list commands ask the user for. An empty text
// means the user cancelled. dialogs() asks with file dialogs; a test answers
// with functions of its own.
struct FileChoices
{
    // The list File > Open List opens (or the Access file it imports from).
    std::function<QString()> openList;
    // The name File > Create New List makes.
    std::function<QString()> newList;
    // The file File > Import List reads.
    std::function<QString()> importFile;
    // Where a list imported from an Access file is saved, starting from the
    // proposed path.
    std::function<QString(const QString& proposed)> importedListName;

    // File dialogs over the parent window.
    static FileChoices dialogs(QWidget* parent);
};

} // namespace kestrion

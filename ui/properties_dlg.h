#pragma once

#include <QDialog>
#include <QString>
#include <string>

namespace geminor {

/// What the properties sheet shows of one file, gathered off the window's thread.
struct FileFacts
{
    QString name, folder;
    bool exists = false;  // else only the name and folder are known
    QString size, type, modified, accessed, permissions, owner;
};

/// Looks at the file at `path` (lstat, a look at its contents for its type, the user and group
/// databases). Any thread.
FileFacts FileFactsOf(const std::string &path);

/// A small sheet of one file's properties: name, folder, size, type, modified and accessed
/// times, permissions and owner.
class PropertiesDlg : public QDialog
{
    Q_OBJECT
public:
    explicit PropertiesDlg(const FileFacts &facts, QWidget *parent = nullptr);
};

}  // namespace geminor

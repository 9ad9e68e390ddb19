#pragma once

#include <QDialog>
#include <string>

namespace geminor {

/// A small sheet of one file's properties: name, folder, size, type, modified and accessed
/// times, permissions and owner.
class PropertiesDlg : public QDialog
{
    Q_OBJECT
public:
    PropertiesDlg(const std::string &path, QWidget *parent = nullptr);
};

}  // namespace geminor

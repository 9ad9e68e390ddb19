#include "ui/folder_frm.h"

#include <QStyle>

#include <QCheckBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace geminor {
namespace {
constexpr int kTypeNameRole = Qt::UserRole;
}  // namespace

const char *const FolderFrm::kBuiltInTypes[10] = {".mp3", ".wma", ".jpg", ".gif", ".exe",
                                                  ".zip", ".mpg", ".wav", ".ra",  ".avi"};

QString FileTypeName(const QString &extension)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(extension, QMimeDatabase::MatchExtension);
    return type.isDefault() ? QString() : type.comment();
}

FolderFrm::FolderFrm(Prompter &prompter, SettingsStore &settings, QWidget *parent)
    : QDialog(parent), m_prompter(prompter), m_settings(settings)
{
    setObjectName(QStringLiteral("FolderFrm"));
    setWindowTitle(QStringLiteral("Add/Exclude Folders"));
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buildPathRow());
    buildLocationChecks(*layout);
    m_option1 = new QRadioButton(QStringLiteral("Scan All Files"), this);
    m_option1->setObjectName(QStringLiteral("Option1"));
    m_option2 = new QRadioButton(QStringLiteral("Scans the following files"), this);
    m_option2->setObjectName(QStringLiteral("Option2"));
    connect(m_option1, &QRadioButton::toggled, this, &FolderFrm::typesChosen);
    layout->addWidget(m_option1);
    layout->addWidget(m_option2);

    layout->addLayout(buildTypeList());
    auto *buttons = new QDialogButtonBox(this);
    m_cmdOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setEnabled(false);
    m_cmdOK->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &FolderFrm::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &FolderFrm::reject);
    layout->addWidget(buttons);
    fillTypes();
    m_option1->setChecked(true);
    typesChosen();
}

QLayout *FolderFrm::buildPathRow()
{
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(new QLabel(QStringLiteral("Path :"), this));
    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setPlaceholderText(QStringLiteral("Type a folder or choose one"));
    auto *folders = new QFileSystemModel(this);
    folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    folders->setRootPath(QString());
    auto *completer = new QCompleter(folders, this);
    m_text1->setCompleter(completer);
    connect(m_text1, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_cmdOK->setEnabled(!text.trimmed().isEmpty()); });
    pathRow->addWidget(m_text1, 1);
    auto *command2 = new QToolButton(this);
    command2->setObjectName(QStringLiteral("Command2"));
    command2->setIcon(
        QIcon::fromTheme(QStringLiteral("folder-open"), style()->standardIcon(QStyle::SP_DirOpenIcon)));
    command2->setToolTip(QStringLiteral("Choose Folder to Search"));
    connect(command2, &QToolButton::clicked, this, &FolderFrm::browse);
    pathRow->addWidget(command2);
    return pathRow;
}

void FolderFrm::buildLocationChecks(QVBoxLayout &layout)
{
    m_includeSubFolders = new QCheckBox(QStringLiteral("Include Sub Folders"), this);
    m_includeSubFolders->setObjectName(QStringLiteral("Check1"));
    m_includeSubFolders->setChecked(true);
    m_excludeFolder = new QCheckBox(QStringLiteral("Exclude Folder"), this);
    m_excludeFolder->setObjectName(QStringLiteral("Check2"));
    connect(m_excludeFolder, &QCheckBox::toggled, this, &FolderFrm::excludeClicked);
    m_reference = new QCheckBox(QStringLiteral("Reference: keep everything here"), this);
    m_reference->setObjectName(QStringLiteral("Check3"));
    m_reference->setToolTip(
        QStringLiteral("Files in this folder are never marked; the copies elsewhere are"));
    connect(m_excludeFolder, &QCheckBox::toggled, m_reference, [this](bool excluded) {
        m_reference->setEnabled(!excluded);
        if (excluded)
            m_reference->setChecked(false);
    });
    layout.addWidget(m_includeSubFolders);
    layout.addWidget(m_excludeFolder);
    layout.addWidget(m_reference);
}

QLayout *FolderFrm::buildTypeList()
{
    auto *typesRow = new QHBoxLayout;
    m_ftype = new QListWidget(this);
    m_ftype->setObjectName(QStringLiteral("FType"));
    typesRow->addWidget(m_ftype, 1);
    auto *typeButtons = new QVBoxLayout;
    m_cmdFileAdd = new QToolButton(this);
    m_cmdFileAdd->setObjectName(QStringLiteral("cmdFileAdd"));
    m_cmdFileAdd->setText(QStringLiteral("+"));  // shown when the icon theme has no picture
    m_cmdFileAdd->setIcon(QIcon::fromTheme(QStringLiteral("list-add")));
    m_cmdFileAdd->setToolTip(QStringLiteral("Add a file type"));
    connect(m_cmdFileAdd, &QToolButton::clicked, this, &FolderFrm::addFileType);
    m_cmdFileDelete = new QToolButton(this);
    m_cmdFileDelete->setObjectName(QStringLiteral("cmdFileDelete"));
    m_cmdFileDelete->setText(QStringLiteral("\u2212"));
    m_cmdFileDelete->setIcon(QIcon::fromTheme(QStringLiteral("list-remove")));
    m_cmdFileDelete->setToolTip(QStringLiteral("Remove the file type"));
    connect(m_cmdFileDelete, &QToolButton::clicked, this, &FolderFrm::removeFileType);
    typeButtons->addWidget(m_cmdFileAdd);
    typeButtons->addWidget(m_cmdFileDelete);
    typeButtons->addStretch();
    typesRow->addLayout(typeButtons);
    return typesRow;
}

void FolderFrm::fillTypes()
{
    std::vector<FileTypeEntry> types;
    if (auto stored = m_settings.LoadFileTypes()) {
        types = std::move(*stored);
    } else {
        for (const char *extension : kBuiltInTypes)
            types.push_back({QString::fromLatin1(extension), FileTypeName(QString::fromLatin1(extension))});
    }
    for (const FileTypeEntry &type : types) {
        auto *item = new QListWidgetItem(type.extension, m_ftype);
        item->setData(kTypeNameRole, type.typeName);
        item->setToolTip(type.typeName);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

void FolderFrm::setLocation(const SearchLocation &location)
{
    m_browsed = true;  // the folder is known: no browser first
    m_folderBytes = location.Folder;
    m_text1->setText(QFile::decodeName(location.Folder.c_str()));
    m_includeSubFolders->setChecked(location.SubFolder == "Yes");
    m_excludeFolder->setChecked(location.Exclude);
    m_reference->setChecked(location.Reference && !location.Exclude);
    const QString types = QString::fromStdString(location.FileTypes);
    if (types == QStringLiteral("*.*") || location.Exclude) {
        m_option1->setChecked(true);
        return;
    }
    m_option2->setChecked(true);
    for (const QString &type : types.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const auto found = m_ftype->findItems(type, Qt::MatchFixedString);
        QListWidgetItem *item = found.value(0);
        if (!item) {  // a type since removed from the list still counts for this location
            item = new QListWidgetItem(type, m_ftype);
            item->setData(kTypeNameRole, FileTypeName(type));
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        }
        item->setCheckState(Qt::Checked);
    }
}

void FolderFrm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_browsed) {
        m_browsed = true;
        QTimer::singleShot(0, this, &FolderFrm::browse);  // the folder browser comes first
    }
}

void FolderFrm::browse()
{
    const std::string folder = m_prompter.chooseFolder(this, QStringLiteral("Choose Folder to Search"));
    if (folder.empty() && !m_text1->text().isEmpty())
        return;  // cancelled: what was typed stays
    m_text1->setText(QFile::decodeName(folder.c_str()));
    m_folderBytes = folder;
    m_cmdOK->setEnabled(!m_text1->text().trimmed().isEmpty());
}

void FolderFrm::excludeClicked()
{
    QFont font = m_excludeFolder->font();
    font.setBold(m_excludeFolder->isChecked());
    m_excludeFolder->setFont(font);
    if (m_excludeFolder->isChecked())
        m_option1->setChecked(true);
    m_option1->setEnabled(!m_excludeFolder->isChecked());
    m_option2->setEnabled(!m_excludeFolder->isChecked());
}

void FolderFrm::typesChosen()
{
    const bool listed = m_option2->isChecked();
    m_cmdFileAdd->setEnabled(listed);
    m_cmdFileDelete->setEnabled(listed);
    m_ftype->setEnabled(listed);
}

void FolderFrm::addFileType()
{
    QString answer =
        m_prompter.askText(this, QStringLiteral("File Types"), QStringLiteral("Please type File Extention"));
    answer.remove(QLatin1Char('*')).remove(QLatin1Char('.')).remove(QLatin1Char(','));
    ++m_addCounter;
    if (!answer.isEmpty()) {
        const QString extension = QLatin1Char('.') + answer;
        auto *item = new QListWidgetItem(extension);
        item->setData(kTypeNameRole, FileTypeName(extension));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        m_ftype->insertItem(std::min(m_addCounter - 1, m_ftype->count()), item);  // past the end: at the end
    }
    SaveFileTypes();
}

void FolderFrm::removeFileType()
{
    QListWidgetItem *item = m_ftype->currentItem();
    if (!item && m_ftype->count() > 0)
        return;  // nothing chosen: nothing removed
    delete item;
    m_cmdFileDelete->setEnabled(m_ftype->count() > 0);
    SaveFileTypes();
}

void FolderFrm::SaveFileTypes()
{
    std::vector<FileTypeEntry> types;
    for (int i = 0; i < m_ftype->count(); ++i)
        types.push_back({m_ftype->item(i)->text(), m_ftype->item(i)->data(kTypeNameRole).toString()});
    m_settings.SaveFileTypes(types);
}

std::string FolderFrm::typedFolder() const
{
    QString text = m_text1->text().trimmed();
    if (text == QFile::decodeName(m_folderBytes.c_str()))
        return m_folderBytes;  // picked: the bytes as the file system has them
    if (text == QStringLiteral("~") || text.startsWith(QStringLiteral("~/")))
        text = QDir::homePath() + text.mid(1);
    if (!QDir::isAbsolutePath(text))
        return {};
    return QFile::encodeName(QDir::cleanPath(text)).toStdString();
}

void FolderFrm::accept()
{
    const std::string folder = typedFolder();
    if (folder.empty()) {
        m_prompter.inform(this, QStringLiteral("Error"),
                          QStringLiteral("Please type the full path of a folder, starting with / or ~/"));
        return;
    }
    m_location.Folder = folder;
    m_location.SubFolder = m_includeSubFolders->isChecked() ? "Yes" : "No";
    m_location.Exclude = m_excludeFolder->isChecked();
    m_location.Reference = m_reference->isChecked() && !m_location.Exclude;
    if (m_option1->isChecked()) {
        m_location.FileTypes = "*.*";
    } else {
        QStringList checked;
        for (int i = 0; i < m_ftype->count(); ++i)
            if (m_ftype->item(i)->checkState() == Qt::Checked)
                checked << m_ftype->item(i)->text();
        if (checked.isEmpty()) {
            m_prompter.inform(this, QStringLiteral("Error"),
                              QStringLiteral("Please select at least one file type"));
            return;
        }
        m_location.FileTypes = checked.join(QLatin1Char(';')).toStdString();
    }
    QDialog::accept();
}

}  // namespace geminor

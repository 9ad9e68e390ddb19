#include "ui/request_panel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/image_list.h"
#include "ui/shown_text.h"

namespace geminor {
namespace {

const char *const kOptionCaptions[] = {"Byte to Byte", "Cyclic Redundancy Check (CRC32)", "Same Name Files",
                                       "Zero Size Files", "Similar Pictures"};
const char *const kSimilarityCaptions[] = {"Very High", "High", "Medium", "Low"};

}  // namespace

RequestPanel::RequestPanel(Prompter &prompter, QWidget *parent) : QWidget(parent), m_prompter(prompter)
{
    auto *top = new QHBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(buildLocationList(), 1);
    top->addLayout(buildLocationButtons());
    top->addWidget(buildSearchEngine());
}

QWidget *RequestPanel::buildLocationList()
{
    m_searchList = new QTreeWidget(this);
    m_searchList->setObjectName(QStringLiteral("SearchList"));
    m_searchList->setHeaderLabels(
        {QStringLiteral("Search Locations"), QStringLiteral("Sub Folders"), QStringLiteral("File Type")});
    m_searchList->setRootIsDecorated(false);
    m_searchList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto *removeKey = new QAction(m_searchList);  // Del in the location list removes the location
    removeKey->setShortcut(Qt::Key_Delete);
    removeKey->setShortcutContext(Qt::WidgetShortcut);
    m_searchList->addAction(removeKey);
    connect(removeKey, &QAction::triggered, this, [this] {
        if (m_cmdRemove->isEnabled())
            removeLocation();
    });
    connect(m_searchList, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { emit editRequested(m_searchList->indexOfTopLevelItem(item)); });
    return m_searchList;
}

QLayout *RequestPanel::buildLocationButtons()
{
    auto *buttons = new QVBoxLayout;
    m_cmdAdd = new QToolButton(this);
    m_cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    m_cmdAdd->setIcon(QIcon::fromTheme(QStringLiteral("list-add"), ImageListIcon(kPictureLocation)));
    m_cmdAdd->setToolTip(QStringLiteral("Add/Exclude Folders"));
    m_cmdRemove = new QToolButton(this);
    m_cmdRemove->setObjectName(QStringLiteral("cmdRemove"));
    m_cmdRemove->setIcon(QIcon::fromTheme(QStringLiteral("list-remove"), ImageListIcon(kPictureDelete)));
    m_cmdRemove->setToolTip(QStringLiteral("Remove"));
    connect(m_cmdRemove, &QToolButton::clicked, this, &RequestPanel::removeLocation);
    connect(m_cmdAdd, &QToolButton::clicked, this, &RequestPanel::addRequested);
    buttons->addWidget(m_cmdAdd);
    buttons->addWidget(m_cmdRemove);
    buttons->addStretch();
    return buttons;
}

QWidget *RequestPanel::buildSearchEngine()
{
    auto *frame1 = new QGroupBox(QStringLiteral("Search Engine"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto *frame1Layout = new QVBoxLayout(frame1);
    auto *frame2 = new QGroupBox(frame1);
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto *frame2Layout = new QVBoxLayout(frame2);
    for (std::size_t i = 0; i < m_options.size(); ++i) {
        m_options[i] = new QRadioButton(QString::fromLatin1(kOptionCaptions[i]), frame2);
        m_options[i]->setObjectName(QStringLiteral("Option%1").arg(i + 1));
        connect(m_options[i], &QRadioButton::toggled, this, &RequestPanel::showMethodBold);
        frame2Layout->addWidget(m_options[i]);
    }
    m_similarity = new QComboBox(frame2);
    m_similarity->setObjectName(QStringLiteral("cboSimilarity"));
    m_similarity->setToolTip(QStringLiteral("How alike two pictures must look"));
    for (const char *caption : kSimilarityCaptions)
        m_similarity->addItem(QString::fromLatin1(caption));
    m_similarity->setCurrentIndex(static_cast<int>(Similarity::High));
    m_similarity->setEnabled(false);
    auto *similarRow = new QHBoxLayout;
    similarRow->setContentsMargins(20, 0, 0, 0);  // under its method, as its own choice
    similarRow->addWidget(m_similarity);
    similarRow->addStretch();
    frame2Layout->addLayout(similarRow);
    frame1Layout->addWidget(frame2);
    m_chkProtect = new QCheckBox(QStringLiteral("Protect System Folders"), frame1);
    m_chkProtect->setObjectName(QStringLiteral("chkProtect"));
    connect(m_chkProtect, &QCheckBox::clicked, this, &RequestPanel::protectClicked);
    m_chkIncludeHidden = new QCheckBox(QStringLiteral("Include Hidden Folders and Files"), frame1);
    m_chkIncludeHidden->setObjectName(QStringLiteral("chkIncludeHidden"));
    frame1Layout->addWidget(m_chkProtect);
    frame1Layout->addWidget(m_chkIncludeHidden);
    return frame1;
}

void RequestPanel::protectClicked()
{
    if (m_chkProtect->isChecked() || m_protectMarker != QStringLiteral("Direct"))
        return;
    if (m_prompter.askYesNo(
            this, QStringLiteral("Confirm"),
            QStringLiteral("It is highly recommended to leave this option checked to prevent loss of "
                           "data.\r\nDo you want to leave this option"),
            QMessageBox::Critical))
        m_chkProtect->setChecked(true);
}

void RequestPanel::showMethodBold()
{
    for (QRadioButton *option : m_options) {
        QFont font = option->font();
        font.setBold(option->isChecked());
        option->setFont(font);
    }
    m_similarity->setEnabled(
        m_options[static_cast<std::size_t>(SearchMethod::SimilarPictures)]->isChecked() &&
        m_options.back()->isEnabled());
}

SearchRequest RequestPanel::request() const
{
    SearchRequest request;
    for (std::size_t i = 0; i < m_options.size(); ++i)
        if (m_options[i]->isChecked())
            request.Method = static_cast<SearchMethod>(i);
    request.ProtectWindowsFolders = m_chkProtect->isChecked();
    request.IncludeHidden = m_chkIncludeHidden->isChecked();
    request.similarity = static_cast<Similarity>(m_similarity->currentIndex());
    for (int i = 0; i < m_searchList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_searchList->topLevelItem(i);
        request.Locations.push_back({item->data(0, Qt::UserRole).toByteArray().toStdString(),
                                     item->text(1).toStdString(), item->text(2).toStdString(),
                                     item->data(1, Qt::UserRole).toInt() == kPictureExcludedFolder,
                                     item->data(1, Qt::UserRole).toInt() == kPictureReferenceRow});
    }
    return request;
}

void RequestPanel::setRequest(const SearchRequest &request)
{
    m_searchList->clear();
    const auto method = static_cast<std::size_t>(request.Method);
    m_options[method < m_options.size() ? method : 0]->setChecked(true);
    m_similarity->setCurrentIndex(static_cast<int>(request.similarity));
    m_protectMarker = QStringLiteral("ThruFile");  // no warning for a state that comes from a file
    m_chkProtect->setChecked(request.ProtectWindowsFolders);
    m_protectMarker = QStringLiteral("Direct");
    m_chkIncludeHidden->setChecked(request.IncludeHidden);
    for (const SearchLocation &row : request.Locations)
        addLocation(row);
    m_cmdRemove->setEnabled(m_searchList->topLevelItemCount() > 0);
}

void RequestPanel::addLocation(const SearchLocation &row)
{
    auto *item = new QTreeWidgetItem(
        m_searchList, {ShownText(row.Folder), ShownText(row.SubFolder), ShownText(row.FileTypes)});
    item->setData(0, Qt::UserRole,
                  QByteArray::fromStdString(row.Folder));  // the bytes, for names that are not UTF-8
    const int icon = row.Exclude     ? kPictureExcludedFolder
                     : row.Reference ? kPictureReferenceRow
                                     : kPictureLocation;
    item->setData(1, Qt::UserRole, icon);
    item->setIcon(0, ImageListIcon(icon));
    if (row.Reference)
        item->setToolTip(0, QStringLiteral("Reference location: its files are kept and never marked"));
    m_cmdRemove->setEnabled(true);
}

void RequestPanel::replaceLocation(int index, const SearchLocation &row)
{
    addLocation(row);
    QTreeWidgetItem *added = m_searchList->takeTopLevelItem(m_searchList->topLevelItemCount() - 1);
    delete m_searchList->takeTopLevelItem(index);
    m_searchList->insertTopLevelItem(index, added);
    m_searchList->setCurrentItem(added);
}

void RequestPanel::removeLocation()
{
    delete m_searchList->currentItem();
    m_cmdRemove->setEnabled(m_searchList->topLevelItemCount() > 0);
}

SearchMethod RequestPanel::method() const
{
    for (std::size_t i = 0; i < m_options.size(); ++i)
        if (m_options[i]->isChecked())
            return static_cast<SearchMethod>(i);
    return SearchMethod::ByteToByte;
}

void RequestPanel::setControlsEnabled(bool enabled)
{
    for (QWidget *control : std::initializer_list<QWidget *>{m_searchList, m_cmdAdd, m_cmdRemove,
                                                             m_chkProtect, m_chkIncludeHidden})
        control->setEnabled(enabled);
    for (QRadioButton *option : m_options)
        option->setEnabled(enabled);
    showMethodBold();  // the similarity follows the methods
    if (enabled)
        m_cmdRemove->setEnabled(m_searchList->topLevelItemCount() > 0);
}

}  // namespace geminor

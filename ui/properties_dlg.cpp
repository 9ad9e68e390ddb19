#include "ui/properties_dlg.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <grp.h>
#include <pwd.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "engine/file_system.h"
#include "results/format_size.h"

namespace geminor {
namespace {

QString permissions(mode_t mode)
{
    QString text;
    const char *letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? QLatin1Char(letters[bit]) : QLatin1Char('-');
    return text + QStringLiteral(" (%1)").arg(mode & 07777, 4, 8, QLatin1Char('0'));
}

QString owner(uid_t uid, gid_t gid)
{
    const passwd *user = ::getpwuid(uid);
    const group *grp = ::getgrgid(gid);
    return (user ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid)) + QLatin1Char(':') +
           (grp ? QString::fromLocal8Bit(grp->gr_name) : QString::number(gid));
}

}  // namespace

FileFacts FileFactsOf(const std::string &path)
{
    FileFacts facts;
    const auto slash = path.rfind('/');
    facts.name = QFile::decodeName(path.substr(slash + 1).c_str());
    facts.folder = QFile::decodeName(path.substr(0, slash + 1).c_str());
    struct stat st = {};
    if (StatPath(path, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return facts;
    const QLocale locale;
    facts.exists = true;
    facts.size = FormatSize(static_cast<double>(st.st_size)) +
                 QStringLiteral(" (%1 bytes)").arg(locale.toString(qint64(st.st_size)));
    facts.type = QMimeDatabase().mimeTypeForFile(QFile::decodeName(path.c_str())).comment();
    facts.modified = locale.toString(QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec), QLocale::LongFormat);
    facts.accessed = locale.toString(QDateTime::fromSecsSinceEpoch(st.st_atim.tv_sec), QLocale::LongFormat);
    facts.permissions = permissions(st.st_mode);
    facts.owner = owner(st.st_uid, st.st_gid);
    return facts;
}

PropertiesDlg::PropertiesDlg(const FileFacts &facts, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PropertiesDlg"));
    setWindowTitle(facts.name + QStringLiteral(" Properties"));
    auto *form = new QFormLayout(this);
    auto add = [&](const QString &label, const QString &value) {
        auto *field = new QLabel(value, this);
        field->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(label, field);
    };
    add(QStringLiteral("Name:"), facts.name);
    add(QStringLiteral("Folder:"), facts.folder);
    if (!facts.exists) {
        add(QStringLiteral("State:"), QStringLiteral("The file is no longer there."));
    } else {
        add(QStringLiteral("Size:"), facts.size);
        add(QStringLiteral("Type:"), facts.type);
        add(QStringLiteral("Modified:"), facts.modified);
        add(QStringLiteral("Accessed:"), facts.accessed);
        add(QStringLiteral("Permissions:"), facts.permissions);
        add(QStringLiteral("Owner:"), facts.owner);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

}  // namespace geminor

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
#include <sys/stat.h>

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

PropertiesDlg::PropertiesDlg(const std::string &path, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PropertiesDlg"));
    const QString shown = QFile::decodeName(path.c_str());
    const auto slash = path.rfind('/');
    setWindowTitle(QFile::decodeName(path.substr(slash + 1).c_str()) + QStringLiteral(" Properties"));
    auto *form = new QFormLayout(this);
    auto add = [&](const QString &label, const QString &value) {
        auto *field = new QLabel(value, this);
        field->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(label, field);
    };
    add(QStringLiteral("Name:"), QFile::decodeName(path.substr(slash + 1).c_str()));
    add(QStringLiteral("Folder:"), QFile::decodeName(path.substr(0, slash + 1).c_str()));
    struct stat st = {};
    if (::lstat(path.c_str(), &st) != 0) {
        add(QStringLiteral("State:"), QStringLiteral("The file is no longer there."));
    } else {
        const QLocale locale;
        add(QStringLiteral("Size:"),
            FormatSize(static_cast<double>(st.st_size)) +
                QStringLiteral(" (%1 bytes)").arg(locale.toString(qint64(st.st_size))));
        add(QStringLiteral("Type:"), QMimeDatabase().mimeTypeForFile(shown).comment());
        add(QStringLiteral("Modified:"),
            locale.toString(QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec), QLocale::LongFormat));
        add(QStringLiteral("Accessed:"),
            locale.toString(QDateTime::fromSecsSinceEpoch(st.st_atim.tv_sec), QLocale::LongFormat));
        add(QStringLiteral("Permissions:"), permissions(st.st_mode));
        add(QStringLiteral("Owner:"), owner(st.st_uid, st.st_gid));
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

}  // namespace geminor

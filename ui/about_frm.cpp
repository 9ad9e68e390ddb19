#include "ui/about_frm.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>
#include <QVBoxLayout>

#include "results/exports.h"
#include "ui/image_list.h"

namespace geminor {

AboutFrm::AboutFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutFrm"));
    setWindowTitle(QStringLiteral("About Geminor"));
    auto *layout = new QVBoxLayout(this);
    auto *image2 = new QLabel(this);
    image2->setObjectName(QStringLiteral("Image2"));
    image2->setPixmap(QApplication::windowIcon().isNull() ? ImageListIcon(kPictureScan).pixmap(64, 64)
                                                          : QApplication::windowIcon().pixmap(64, 64));
    image2->setAlignment(Qt::AlignCenter);
    layout->addWidget(image2);
    auto *title =
        new QLabel(QStringLiteral("<h2>Geminor %1</h2>").arg(QStringLiteral(GEMINOR_VERSION)), this);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    auto *label1 = new QLabel(
        QStringLiteral("Geminor finds duplicate files.\n\nCopyright \u00A9 2026 the Geminor developers.\n"
                       "Geminor is free software under the GNU General Public License, version 3 or later.\n"
                       "It comes with no warranty: keep a copy of what you cannot lose."),
        this);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setAlignment(Qt::AlignCenter);
    label1->setWordWrap(true);
    layout->addWidget(label1);
    const QString site = QString::fromUtf8(kProductSite.data(), static_cast<qsizetype>(kProductSite.size()));
    auto *label2 = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(site), this);
    label2->setObjectName(QStringLiteral("Label2"));
    auto *label3 =
        new QLabel(QStringLiteral("<a href=\"mailto:%1\">%1</a>").arg(QLatin1String(kSupportAddress)), this);
    label3->setObjectName(QStringLiteral("Label3"));
    for (QLabel *link : {label2, label3}) {
        link->setOpenExternalLinks(true);  // the desktop opens the site or a new mail
        link->setAlignment(Qt::AlignCenter);
        layout->addWidget(link);
    }
}

void AboutFrm::mousePressEvent(QMouseEvent *event)
{
    QDialog::mousePressEvent(event);
    accept();
}

}  // namespace geminor

#include "ui/shipped_files.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

namespace geminor {

QString ShippedFile(const QString &name)
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    for (const QString &folder : {programFolder, programFolder + QStringLiteral("/../share/geminor")}) {
        const QString path = folder + QLatin1Char('/') + name;
        if (QFile::exists(path))
            return QFileInfo(path).canonicalFilePath();
    }
    return {};
}

void OpenHelp(QWidget &window, Prompter &prompter)
{
    const QString help = ShippedFile(QStringLiteral("help.html"));
    if (!help.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(help)))
        return;
    prompter.inform(&window, QStringLiteral("Help Topics"),
                    help.isEmpty() ? QStringLiteral("The help page is not installed.")
                                   : QStringLiteral("No web browser could open the help page:\n%1").arg(help),
                    QMessageBox::Warning);
}

void PlayEndSound(QObject &owner)
{
    const QString sound = ShippedFile(QStringLiteral("end.wav"));
    if (sound.isEmpty())
        return;
    auto *effect = new QSoundEffect(&owner);
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying())
            effect->deleteLater();
    });
    effect->setSource(QUrl::fromLocalFile(sound));
    effect->play();
}

}  // namespace geminor

#include "ui/shipped_files.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QSoundEffect>
#include <QTimer>
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

void OpenOnDesktop(QWidget &window, Prompter &prompter, const QString &path, const QString &title,
                   const QString &what)
{
    // xdg-open itself, not a detached start: only its exit status tells whether a program
    // took the path. Not owned by the window: a browser it waits for outlives the window.
    auto *opener = new QProcess;
    const QPointer<QWidget> parent(&window);
    const auto fail = [opener, parent, &prompter, title, text = QStringLiteral("%1:\n%2").arg(what, path)] {
        opener->disconnect();
        opener->deleteLater();
        // Asked from the window's own loop, not from inside the process's signal.
        if (parent)
            QTimer::singleShot(0, parent, [parent, &prompter, title, text] {
                prompter.inform(parent, title, text, QMessageBox::Warning);
            });
    };
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, fail](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail();
    });
    QObject::connect(opener, &QProcess::finished, opener,
                     [opener, fail](int status, QProcess::ExitStatus how) {
                         if (status != 0 || how != QProcess::NormalExit)
                             fail();
                         else
                             opener->deleteLater();
                     });
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->start(QStringLiteral("xdg-open"), {path});
}

void OpenHelp(QWidget &window, Prompter &prompter)
{
    const QString help = ShippedFile(QStringLiteral("help.html"));
    if (help.isEmpty()) {
        prompter.inform(&window, QStringLiteral("Help Topics"),
                        QStringLiteral("The help page is not installed."), QMessageBox::Warning);
        return;
    }
    OpenOnDesktop(window, prompter, help, QStringLiteral("Help Topics"),
                  QStringLiteral("No web browser could open the help page"));
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

#include <QApplication>
#include <QIcon>

#include "engine/file_system.h"
#include "persist/default_session.h"
#include "persist/settings_store.h"
#include "ui/main_frm.h"
#include "ui/shipped_files.h"
#include "ui/prompter.h"

int main(int argc, char *argv[])
{
    geminor::PrepareProcess();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Geminor"));
    QApplication::setOrganizationName(QStringLiteral("Geminor"));
    QApplication::setDesktopFileName(QStringLiteral("org.geminor.Geminor"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("geminor"),
                                                 QIcon(geminor::ShippedFile(QStringLiteral("geminor.png")))));
    geminor::MessageBoxPrompter prompter;
    geminor::SettingsStore settings;
    geminor::MainFrm window(prompter, settings, geminor::DefaultSessionPath());
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    window.setCommandLine(arguments.join(QLatin1Char(' ')));
    window.show();
    return app.exec();
}

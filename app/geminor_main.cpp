#include <string>
#include <sys/stat.h>

#include <QApplication>
#include <QFile>
#include <QIcon>

#include "engine/file_system.h"
#include "persist/default_session.h"
#include "persist/settings_store.h"
#include "ui/main_frm.h"
#include "ui/shipped_files.h"
#include "ui/prompter.h"

namespace {

/// Each argument is a path as the system handed it over (QApplication has taken out its own
/// options): the first that names a file, else the first, which the window then reports as not
/// found; "" for none.
std::string SessionArgument(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        struct stat st = {};
        if (geminor::StatPath(argv[i], &st) == 0 && S_ISREG(st.st_mode))
            return argv[i];
    }
    return argc > 1 ? argv[1] : "";
}

}  // namespace

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
    window.setCommandLine(QFile::decodeName(SessionArgument(argc, argv).c_str()));
    window.show();
    return app.exec();
}

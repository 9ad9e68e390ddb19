// The window's side of sessions: new, load, save, the default session and the command line.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QTimer>

#include "persist/session_file.h"
#include "texts/file_texts.h"
#include "texts/session_texts.h"
#include "ui/main_frm.h"
#include "ui/undo_command.h"
#include "ui/folder_view.h"
#include "ui/job_runner.h"
#include "ui/result_model.h"
#include "ui/scan_runner.h"
#include "ui/status_panels.h"
#include "ui/window_layout.h"
#include "ui/viewer_control.h"

namespace geminor {

void MainFrm::NewSession()
{
    m_model->setRows({});
    m_folders->clear();
    m_viewer->close();
    setRequest(SearchRequest{});
    panel(1)->setText(QStringLiteral("Add search path and click on the scan button to start search."));
    m_status->reset();
    panel(5)->setText(QStringLiteral("00:00:00"));
}

bool MainFrm::LoadSession(const std::string &FileName)
{
    NewSession();  // from the menu the window is reset first, whether the file opens or not
    return readSession(FileName).loaded;
}

SessionRead MainFrm::readSession(const std::string &FileName)
{
    SessionRead read = LoadSessionFile(FileName);
    if (read.loaded) {  // one named on the command line that cannot be opened leaves the request as it was
        NewSession();
        setRequest(read.request);  // the rows before a bad line stay
    }
    if (read.error)
        m_prompter.inform(this, QString::number(static_cast<int>(read.error->number)),
                          QString::fromStdString(SessionErrorText(*read.error)));
    return read;
}

void MainFrm::SaveSession(std::string FileName, bool quiet)
{
    if (FileName.empty())
        FileName =
            m_prompter.saveFileName(this, QStringLiteral("Search Session"), QStringLiteral("Geminor|*.gmr"));
    if (FileName.empty())
        return;
    const Status saved = SaveSessionFile(FileName, request());
    if (!saved && !quiet)
        m_prompter.inform(this, QStringLiteral("Error"),
                          QStringLiteral("The session could not be saved to %1:\n%2")
                              .arg(QFile::decodeName(FileName.c_str()),
                                   QString::fromStdString(WriteErrorText(saved.error()))),
                          QMessageBox::Critical);
}

void MainFrm::closeEvent(QCloseEvent *event)
{
    m_scan->cancelAndWait();  // a running scan and file work end with the window
    m_jobs->cancelAndWait();
    SaveWindowLayout(*this, *m_resultList, m_settings);
    if (!m_defaultSession.empty())
        SaveSession(m_defaultSession, true);  // silently: closing is never refused
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible())
            window->close();  // the dialogs and the picture viewer go with the main window
    event->accept();
}

void MainFrm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_activated)
        return;
    // The first time the window comes up: not every desktop activates a new window, so this
    // does not wait for the activation itself.
    m_activated = true;
    const QString path = m_commandLine;  // a path as the system handed it over, quotes and all
    // The session named on the command line is scanned once the interrupted operations are dealt with.
    OfferInterruptedUndo(*m_context, [this, path] {
        if (path.isEmpty())
            return;
        const SessionRead read = readSession(QFile::encodeName(path).toStdString());
        if (read.loaded)
            ScanCommand();  // a damaged row line keeps the rows before it, and they are scanned
        else                // after the reading's own failure, when it had one (a missing folder)
            m_prompter.inform(this, QStringLiteral("File Not Found"),
                              QLatin1Char('"') + path + QLatin1Char('"'), QMessageBox::Critical);
    });
}

}  // namespace geminor

#pragma once

#include <QString>

#include "ui/prompter.h"

class QObject;
class QWidget;

namespace geminor {

/// A file that ships with Geminor (help.html, end.wav): next to the program, or in the
/// installed data folder; "" when there is none.
QString ShippedFile(const QString &name);

/// Opens `path` (a page, a file or a folder) with the desktop's program for it (xdg-open). When
/// nothing opens it (no such program, or it fails), one message says so, naming `what` and
/// the path. Returns at once: the message may come later.
void OpenOnDesktop(QWidget &window, Prompter &prompter, const QString &path, const QString &title,
                   const QString &what);

/// Opens the help page in the user's browser, or says why it cannot.
void OpenHelp(QWidget &window, Prompter &prompter);

/// Plays end.wav once; a missing or unplayable sound says nothing.
void PlayEndSound(QObject &owner);

}  // namespace geminor

#pragma once

#include <QString>

#include "ui/prompter.h"

class QObject;
class QWidget;

namespace geminor {

/// A file that ships with Geminor (help.html, end.wav): next to the program, or in the
/// installed data folder; "" when there is none.
QString ShippedFile(const QString &name);

/// Opens the help page in the user's browser, or says why it cannot.
void OpenHelp(QWidget &window, Prompter &prompter);

/// Plays end.wav once; a missing or unplayable sound says nothing.
void PlayEndSound(QObject &owner);

}  // namespace geminor

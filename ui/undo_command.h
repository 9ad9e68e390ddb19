#pragma once

class QLabel;
class QWidget;

namespace geminor {

class Prompter;

/// "Undo Last Operation": finds the newest operation not undone in the journal, asks, and puts
/// back what can be put back, reading and moving files only off the window's thread.
void UndoLastOperation(QWidget &window, Prompter &prompter, QLabel &status);

/// At start: when an operation stopped part-way (the program was killed or the machine went
/// down), offers to put back what it did.
void OfferInterruptedUndo(QWidget &window, Prompter &prompter, QLabel &status);

}  // namespace geminor

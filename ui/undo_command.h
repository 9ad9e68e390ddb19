#pragma once

class QLabel;
class QWidget;

namespace geminor {

class Prompter;
class ResultModel;

/// "Undo Last Operation": finds the newest operation not undone in the journal that changed
/// something, asks, and puts back what can be put back, reading and moving files only off the
/// window's thread; the files put back come back into `model`'s rows as they are now.
void UndoLastOperation(QWidget &window, Prompter &prompter, QLabel &status, ResultModel *model = nullptr);

/// At start: when an operation stopped part-way (the program was killed or the machine went
/// down), offers to put back what it did.
void OfferInterruptedUndo(QWidget &window, Prompter &prompter, QLabel &status);

}  // namespace geminor

#pragma once

#include <functional>

namespace geminor {

struct CommandContext;

/// "Undo Last Operation": finds the newest operation not undone in the journal that changed
/// something, asks, and puts back what can be put back, reading and moving files only in jobs
/// of the window's runner; the files put back come back into the model's rows as they are now.
void UndoLastOperation(const CommandContext &context);

/// At start: when an operation stopped part-way (the program was killed or the machine went
/// down), offers to put back what it did; then runs `then`.
void OfferInterruptedUndo(const CommandContext &context, std::function<void()> then);

}  // namespace geminor

#pragma once

#include <string>

#include "engine/error.h"
#include "engine/file_identity.h"

namespace geminor {

/// Renames a file inside its folder without ever replacing another file (renameat2 with
/// RENAME_NOREPLACE; where that is missing, a hard link and an unlink). Nothing is changed on
/// failure. Paths of any length: the rename is made relative to the folder. `renamed`, when
/// given, gets the file's state after the rename.
Status RenameFile(const std::string &oldPath, const std::string &newPath, FileIdentity *renamed = nullptr);

/// RenameFile, written to a journal in `journalFolder` first, so that undo can name it back;
/// no rename when the journal cannot be written (JournalUnwritable).
Status RenameJournaled(const std::string &oldPath, const FileIdentity &seen, const std::string &newPath,
                       const std::string &journalFolder, FileIdentity *renamed = nullptr);

/// Whether a typed name can be a file name: not empty, ".", ".." (InvalidName), no '/' or NUL
/// (NameWithSlashOrNul), at most 255 bytes (NameTooLong; a file system that allows less refuses
/// the rename itself, with its reason). '\\', ':', '*', '?', '"', '<', '>' and '|' are ordinary
/// characters.
Status CheckFileName(const std::string &name);

}  // namespace geminor

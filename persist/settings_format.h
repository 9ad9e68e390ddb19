#pragma once

#include <QSettings>

namespace geminor {

/// The settings file's format: the same INI text as Qt's own, but every value is read as
/// plain text. Qt's own reader decodes "@Variant(...)" values with QDataStream, so one
/// hand-edited or damaged line could make it allocate gigabytes; here such a line is just
/// text that is not a number, and the default applies.
QSettings::Format TextSettingsFormat();

}  // namespace geminor

#pragma once

class QWidget;

namespace geminor {

struct MainActions;
class Prompter;
class SettingsStore;

/// The File menu's "Use Checksum Cache" (kept in the settings) and "Clear Checksum Cache", whose
/// caption shows the cache's size each time the menu opens.
void ConnectCacheOptions(const MainActions &actions, SettingsStore &settings, Prompter &prompter,
                         QWidget &window);

}  // namespace geminor

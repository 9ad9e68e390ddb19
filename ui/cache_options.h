#pragma once

namespace geminor {

struct CommandContext;
struct MainActions;
class SettingsStore;

/// The File menu's "Use Checksum Cache" (kept in the settings) and "Clear Checksum Cache", whose
/// caption shows the cache's size each time the menu opens; the cache is measured and cleared in
/// jobs of the window's runner.
void ConnectCacheOptions(const MainActions &actions, SettingsStore &settings, const CommandContext &context);

}  // namespace geminor

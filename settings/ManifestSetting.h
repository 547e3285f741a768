#pragma once

class SettingsStore;

// Whether each message of a Send opens with what it holds of the batch and ends with its files'
// checksums: [Settings] Manifest, on unless it says false, no, off or 0.
bool manifestWanted(const SettingsStore &store);

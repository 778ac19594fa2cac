// A legacy (MME) audio driver module: registered in numbered entries such as wave3 or mixer1
// under the Drivers32 keys, told DRV_INSTALL, and told DRV_REMOVE and unregistered again.
#pragma once
#include <windows.h>
#include "support/runstate.h"
#include "system/registry.h"

const BYTE kCategoryWave = 1;
const BYTE kCategoryMixer = 2;
const BYTE kAllCategories = kCategoryWave | kCategoryMixer;
const UINT kCategoryTokenSize = 128;

const LPARAM kInstallMessageParameter = 0x696E7374;   // "inst"
const LPARAM kRemoveMessageParameter = 0x72656D76;    // "remv"

// The four keys under HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion, opened on demand and
// released in reverse.
struct DriverKey {
    RegKey key;
    const char *shortName;
    bool optional;
};

enum DriverKeyIndex { kDrivers32, kUserInstallable, kDriversDesc, kRdpDrivers, kDriverKeyCount };

struct DriverKeySet {
    DriverKey keys[kDriverKeyCount];
};

void DriverKeySetInit(DriverKeySet *set);
void DriverKeySetRelease(DriverKeySet *set);
bool DriverKeyOpen(DriverKey *key);

// "wave", "mixer" or both, joined by commas; 0 after a box.
BYTE ParseMmeCategories(const char *text);
// entryName (MAX_PATH bytes): the first free numbered entry, or the highest of two or more that
// hold wdmaud.drv.
bool FindFreeDriverEntry(DriverKey *key, const char *category, char *entryName);
bool FindDriverEntryByModule(DriverKey *key, const char *category, const char *module, char *valueName);
// True only when the module answered DRVCNF_OK.
bool SendDriverModuleMessage(const char *module, UINT message, LPARAM parameter1, LPARAM parameter2);
// Registers and installs the module; anything written is deleted again when a step fails.
bool RegisterDriverModule(const char *description, const char *module, const char *categories);
bool UnregisterDriverModule(DriverKeySet *set, const char *module, BYTE categories);

// The installation step: under the progress window, registered and recorded as InstallMmeDriver.
bool InstallLegacyAudioDriver();
bool IsLegacyAudioDriverRegistered(const char *module);
// Never fails: problems are warnings.
RunStatus RemoveLegacyAudioDriver(const char *module);

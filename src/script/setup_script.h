// The product description read from setup.ini.
#pragma once
#include <windows.h>

struct ScriptEntry {
    char *Name;    // [Files]: file name; [Links]: shortcut name
    char *Path;    // [Files]: destination folder; [Links]: target
    char *Extra;   // [Files]: source folder; [Links]: arguments; never null
};

const UINT kScriptEntryLimit = 50;                     // entries the script may bring per list
const UINT kEntryListCapacity = kScriptEntryLimit + 1; // plus the one the installer appends

// The [Main] values (null until read) and the two entry lists.
struct SetupScript {
    char *AppName;
    char *AppVersion;
    char *DefaultProgramGroup;
    char *DefaultInstallDir;
    char *StartMenuFolder;
    char *DeviceName;
    char *DeviceHardwareId;
    char *WdmDriverInfFile;
    char *MmeDriverModule;
    char *MmeDriverCategories;
    char *ServiceName;
    char *ServiceImage;
    char *ServiceType;
    char *ServiceStartup;
    char *ReadmeFile;
    char *LicenseFile;
    char *HelpFile;
    char *RegisterUninstaller;
    char *Publisher;
    ScriptEntry *FileList;
    DWORD FileCount;
    ScriptEntry *LinkList;
    DWORD LinkCount;
};

extern SetupScript Script;

// Room for kEntryListCapacity entries in each list, for the whole run.
void AllocateEntryLists();

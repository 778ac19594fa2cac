// The files a driver package brings beside its INF, as Windows looks for them, and the checked
// copy of the package that a program made for one product installs from.
#pragma once
#include <windows.h>

// [SourceDisksFiles] and its .amd64 twin, each name relative to the INF's folder (the disk's
// path from [SourceDisksNames], the file's own subfolder): a heap block of names, each ended by
// a zero, the last one empty (MemFree it); empty when the INF cannot be read.
char *ListDriverFiles(const char *inf);
// [Version] CatalogFile.NTamd64, else CatalogFile (MAX_PATH bytes); false when there is none.
bool DriverCatalog(const char *inf, char *name);
// A bound program copies the INF, its files and its catalog into the work folder, which only
// administrators can change, checking each against the binding as it copies, and installs from
// there: inf (MAX_PATH bytes) then names that copy. An unbound program leaves it as it is. False
// after a box.
bool TakeCheckedDriverPackage(char *inf);

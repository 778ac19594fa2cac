// A setup.exe made for one product (by tools/package.sh) is bound to it: it carries the SHA-256
// digest of the product's setup.ini and of every file the installation copies or hands to
// Windows, as the RCDATA resource named BINDING, one line per file, "DIGEST NAME": 64 hex digits
// and the name relative to the product folder, in UTF-8. A setup.exe without it is unbound and
// checks nothing.
#pragma once
#include <windows.h>
#include "support/work_meter.h"

bool IsBound();
// Whether the file at path (in Run.SourceDir) is the one the binding names with this digest: true
// for an unbound program; false after a box that names the file (one the binding does not name
// is not its file either).
bool CheckBoundDigest(const char *path, const BYTE *digest);
// The same for the file's bytes as read; false also after a box when they cannot be hashed.
bool CheckBoundBytes(const char *path, const void *bytes, DWORD size);
// CopyOneFile, and for a bound program a check of the file as it is copied: a copy that is not
// of the bound file is deleted again (no journal line names it) after a box that names the file.
// The program's own file is covered by its signature, not by the binding.
bool CopyBoundFile(const char *source, const char *destination, bool failIfExists, WorkMeter *meter = NULL);
// The box for a bound program started without its files (from inside a .zip file).
void ExtractFilesFirst(const char *missing);

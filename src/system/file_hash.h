// SHA-256 by the system's own cryptography (CryptoAPI, in advapi32): the digests that bind a
// product's setup.exe to its files, computed over the bytes as they are read.
#pragma once
#include <windows.h>
#include <wincrypt.h>

const DWORD kDigestSize = 32;
extern const char kCannotHashFile[];   // the file's path, the system's error

struct FileHash {
    HCRYPTHASH hash;
};

// False, with the system's error, when the system offers no SHA-256. The first hash acquires the
// system's provider, which the run keeps until ReleaseHashProvider.
bool StartHash(FileHash *hash);
bool AddToHash(FileHash *hash, const void *data, DWORD size);
// The digest (kDigestSize bytes); the hash is released either way.
bool FinishHash(FileHash *hash, BYTE *digest);
void ReleaseHash(FileHash *hash);
bool HashBytes(const void *data, DWORD size, BYTE *digest);
void ReleaseHashProvider();

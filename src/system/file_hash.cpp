#include "system/file_hash.h"

const char kCannotHashFile[] = "Cannot compute the SHA-256 digest of \"%s\" (%s)";

// One provider serves every hash of the run: acquiring it costs milliseconds (about 9 under
// Wine, per file of a product), a hash next to nothing.
static HCRYPTPROV provider;

bool StartHash(FileHash *hash)
{
    hash->hash = 0;
    // The AES provider is the one that knows SHA-256 (Windows XP SP3 and later).
    if (provider == 0 && !CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
        provider = 0;
        return false;
    }
    if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash->hash))
        return true;
    hash->hash = 0;
    return false;
}

bool AddToHash(FileHash *hash, const void *data, DWORD size)
{
    return CryptHashData(hash->hash, (const BYTE *)data, size, 0) != FALSE;
}

bool FinishHash(FileHash *hash, BYTE *digest)
{
    DWORD size = kDigestSize;
    bool ok = CryptGetHashParam(hash->hash, HP_HASHVAL, digest, &size, 0) && size == kDigestSize;
    DWORD error = GetLastError();
    ReleaseHash(hash);
    SetLastError(error);
    return ok;
}

void ReleaseHash(FileHash *hash)
{
    if (hash->hash != 0)
        CryptDestroyHash(hash->hash);
    hash->hash = 0;
}

void ReleaseHashProvider()
{
    if (provider != 0)
        CryptReleaseContext(provider, 0);
    provider = 0;
}

bool HashBytes(const void *data, DWORD size, BYTE *digest)
{
    FileHash hash;
    if (!StartHash(&hash))
        return false;
    bool added = AddToHash(&hash, data, size);
    DWORD error = GetLastError();
    bool finished = FinishHash(&hash, digest);
    if (!added)
        SetLastError(error);
    return added && finished;
}

#include "png.h"

#include <stdio.h>
#include <string.h>

namespace robot {

namespace {

const unsigned char kSignature[8] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
const size_t kStoredBlockMax = 65535;  // the largest stored deflate block
const unsigned char kBitDepth = 8;
const unsigned char kColourTypeRgb = 2;

void PutBe32(std::vector<unsigned char> *out, uint32_t v)
{
    out->push_back((unsigned char)(v >> 24));
    out->push_back((unsigned char)(v >> 16));
    out->push_back((unsigned char)(v >> 8));
    out->push_back((unsigned char)v);
}

uint32_t GetBe32(const unsigned char *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

void PutChunk(std::vector<unsigned char> *out, const char *type, const std::vector<unsigned char> &data)
{
    PutBe32(out, (uint32_t)data.size());
    size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data.begin(), data.end());
    PutBe32(out, Crc32(out->data() + start, out->size() - start));
}

// The zlib stream of the filtered scan lines: header, stored blocks, Adler-32.
std::vector<unsigned char> ZlibStored(const std::vector<unsigned char> &raw)
{
    std::vector<unsigned char> z;
    z.push_back(0x78);  // deflate, 32 KiB window
    z.push_back(0x01);  // no dictionary, lowest level; 0x7801 is a multiple of 31
    size_t pos = 0;
    do {
        size_t n = raw.size() - pos < kStoredBlockMax ? raw.size() - pos : kStoredBlockMax;
        bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00 (stored)
        z.push_back((unsigned char)n);
        z.push_back((unsigned char)(n >> 8));
        z.push_back((unsigned char)~n);
        z.push_back((unsigned char)(~n >> 8));
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
    } while (pos < raw.size());
    PutBe32(&z, Adler32(raw.data(), raw.size()));
    return z;
}

bool Fail(std::string *error, const std::string &why)
{
    if (error)
        *error = why;
    return false;
}

// Undoes ZlibStored; any compressed block is an error.
bool UnzlibStored(const std::vector<unsigned char> &z, std::vector<unsigned char> *raw, std::string *error)
{
    if (z.size() < 6 || (z[0] & 0x0F) != 8 || ((z[0] << 8) | z[1]) % 31 != 0)
        return Fail(error, "bad zlib header");
    size_t pos = 2;
    bool last = false;
    while (!last) {
        if (pos + 5 > z.size())
            return Fail(error, "zlib stream ends inside a block header");
        last = z[pos] & 1;
        if ((z[pos] >> 1 & 3) != 0)
            return Fail(error, "compressed deflate block (only stored blocks are read)");
        size_t n = z[pos + 1] | z[pos + 2] << 8;
        size_t notN = z[pos + 3] | z[pos + 4] << 8;
        if ((n ^ 0xFFFF) != notN)
            return Fail(error, "stored block length check fails");
        pos += 5;
        if (pos + n > z.size())
            return Fail(error, "stored block runs past the data");
        raw->insert(raw->end(), z.begin() + pos, z.begin() + pos + n);
        pos += n;
    }
    if (pos + 4 != z.size())
        return Fail(error, "zlib stream has a wrong length");
    if (GetBe32(&z[pos]) != Adler32(raw->data(), raw->size()))
        return Fail(error, "Adler-32 mismatch");
    return true;
}

}  // namespace

uint32_t Crc32(const unsigned char *data, size_t size, uint32_t crc)
{
    static uint32_t table[256];
    if (!table[1]) {
        for (uint32_t n = 0; n < 256; n++) {
            uint32_t c = n;
            for (int k = 0; k < 8; k++)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    }
    crc = ~crc;
    for (size_t i = 0; i < size; i++)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t Adler32(const unsigned char *data, size_t size, uint32_t adler)
{
    const uint32_t kMod = 65521;
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    for (size_t i = 0; i < size; i++) {
        a = (a + data[i]) % kMod;
        b = (b + a) % kMod;
    }
    return b << 16 | a;
}

std::vector<unsigned char> EncodePng(const Picture &picture)
{
    std::vector<unsigned char> out(kSignature, kSignature + sizeof kSignature);
    std::vector<unsigned char> ihdr;
    PutBe32(&ihdr, (uint32_t)picture.width);
    PutBe32(&ihdr, (uint32_t)picture.height);
    ihdr.push_back(kBitDepth);
    ihdr.push_back(kColourTypeRgb);
    ihdr.push_back(0);  // deflate
    ihdr.push_back(0);  // adaptive filtering (every line uses filter 0, none)
    ihdr.push_back(0);  // no interlace
    PutChunk(&out, "IHDR", ihdr);

    size_t stride = (size_t)picture.width * 3;
    std::vector<unsigned char> raw;
    raw.reserve((stride + 1) * picture.height);
    for (int y = 0; y < picture.height; y++) {
        raw.push_back(0);
        raw.insert(raw.end(), picture.rgb.begin() + y * stride, picture.rgb.begin() + (y + 1) * stride);
    }
    PutChunk(&out, "IDAT", ZlibStored(raw));
    PutChunk(&out, "IEND", std::vector<unsigned char>());
    return out;
}

bool WritePng(const std::string &path, const Picture &picture)
{
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.rgb.size() != (size_t)picture.width * picture.height * 3)
        return false;
    std::vector<unsigned char> bytes = EncodePng(picture);
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fclose(f) == 0 && ok;
    return ok;
}

bool DecodePng(const std::vector<unsigned char> &bytes, Picture *picture, std::string *error)
{
    if (bytes.size() < 8 || memcmp(bytes.data(), kSignature, 8) != 0)
        return Fail(error, "no PNG signature");
    size_t pos = 8;
    bool haveHeader = false, haveEnd = false;
    std::vector<unsigned char> z;
    Picture p;
    while (!haveEnd) {
        if (pos + 12 > bytes.size())
            return Fail(error, "file ends inside a chunk header");
        size_t len = GetBe32(&bytes[pos]);
        if (len > bytes.size() - pos - 12)
            return Fail(error, "chunk runs past the end of the file");
        std::string type(bytes.begin() + pos + 4, bytes.begin() + pos + 8);
        const unsigned char *data = &bytes[pos + 8];
        if (GetBe32(data + len) != Crc32(&bytes[pos + 4], len + 4))
            return Fail(error, "CRC mismatch in chunk " + type);
        if (!haveHeader && type != "IHDR")
            return Fail(error, "first chunk is " + type + ", not IHDR");
        if (type == "IHDR") {
            if (len != 13)
                return Fail(error, "IHDR has a wrong length");
            p.width = (int)GetBe32(data);
            p.height = (int)GetBe32(data + 4);
            if (p.width <= 0 || p.height <= 0)
                return Fail(error, "empty picture");
            if (data[8] != kBitDepth || data[9] != kColourTypeRgb || data[10] || data[11] || data[12])
                return Fail(error, "not 8-bit RGB without interlace");
            haveHeader = true;
        } else if (type == "IDAT") {
            z.insert(z.end(), data, data + len);
        } else if (type == "IEND") {
            haveEnd = true;
        }
        pos += len + 12;
    }
    if (pos != bytes.size())
        return Fail(error, "data after IEND");
    std::vector<unsigned char> raw;
    if (!UnzlibStored(z, &raw, error))
        return false;
    size_t stride = (size_t)p.width * 3;
    if (raw.size() != (stride + 1) * p.height)
        return Fail(error, "image data size does not match IHDR");
    for (int y = 0; y < p.height; y++) {
        const unsigned char *line = &raw[y * (stride + 1)];
        if (line[0] != 0)
            return Fail(error, "scan line filter other than none");
        p.rgb.insert(p.rgb.end(), line + 1, line + 1 + stride);
    }
    *picture = p;
    return true;
}

bool ReadPng(const std::string &path, Picture *picture, std::string *error)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return Fail(error, "cannot open " + path);
    std::vector<unsigned char> bytes;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    return DecodePng(bytes, picture, error);
}

}  // namespace robot

// A minimal PNG writer and reader for window pictures: 8-bit RGB, no interlace, the image data
// in zlib "stored" (uncompressed) deflate blocks. No dependencies.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

namespace robot {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // height rows of width * 3 bytes, top row first
};

uint32_t Crc32(const unsigned char *data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const unsigned char *data, size_t size, uint32_t adler = 1);

// The bytes of a PNG file holding the picture.
std::vector<unsigned char> EncodePng(const Picture &picture);
bool WritePng(const std::string &path, const Picture &picture);

// Reads back what EncodePng writes (8-bit RGB, filter 0, stored deflate blocks), checking the
// signature, every chunk's CRC, the IHDR fields and the zlib checksum. False with a reason in
// *error otherwise; compressed PNGs from other writers are rejected.
bool DecodePng(const std::vector<unsigned char> &bytes, Picture *picture, std::string *error);
bool ReadPng(const std::string &path, Picture *picture, std::string *error);

}  // namespace robot

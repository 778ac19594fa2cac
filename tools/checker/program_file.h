// A program or library as Windows loads it, read from its PE headers: its machine, whether it is
// a DLL or a kernel driver, and what it exports.
#pragma once
#include <set>
#include <string>

struct ProgramFile {
    bool image = false;     // a PE file at all
    bool is64 = false;      // AMD64
    bool isDll = false;
    bool native = false;    // the native subsystem: a kernel driver (.sys)
    std::set<std::string> exports;
};

// False when the file cannot be read; a file that is no PE image comes back with image false.
bool ReadProgramFile(const std::string &path, ProgramFile *program);
// "a 32-bit DLL", "a 64-bit program", "a 64-bit kernel driver", "no program at all".
std::string ProgramKind(const ProgramFile &program);

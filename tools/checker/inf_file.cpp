#include "inf_file.h"
#include <windows.h>
#include "audio/driver_files.h"
#include "support/memory.h"
#include <algorithm>

namespace {

std::string Trimmed(const std::string &text)
{
    size_t first = text.find_first_not_of(" \t\""), last = text.find_last_not_of(" \t\"");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::vector<std::string> Fields(const std::string &value)
{
    std::vector<std::string> fields;
    size_t at = 0;
    for (size_t comma; (comma = value.find(',', at)) != std::string::npos; at = comma + 1)
        fields.push_back(Trimmed(value.substr(at, comma - at)));
    fields.push_back(Trimmed(value.substr(at)));
    return fields;
}

// The section's lines as "key" and "value", in order; a line without '=' has an empty key.
std::vector<std::pair<std::string, std::string>> Section(const std::string &path, const std::string &name)
{
    std::vector<char> buffer(65536);
    DWORD length = GetPrivateProfileSectionA(name.c_str(), buffer.data(), (DWORD)buffer.size(), path.c_str());
    std::vector<std::pair<std::string, std::string>> lines;
    for (const char *line = buffer.data(); line < buffer.data() + length && *line != '\0'; line += lstrlenA(line) + 1) {
        std::string text = line;
        size_t equals = text.find('=');
        if (equals == std::string::npos)
            lines.push_back({ "", Trimmed(text) });
        else
            lines.push_back({ Trimmed(text.substr(0, equals)), Trimmed(text.substr(equals + 1)) });
    }
    return lines;
}

std::string Value(const std::string &path, const char *section, const char *key)
{
    char value[MAX_PATH] = "";
    GetPrivateProfileStringA(section, key, "", value, MAX_PATH, path.c_str());
    return Trimmed(value);
}

bool Is64BitDecoration(const std::string &decoration)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, decoration.c_str(), (int)std::min<size_t>(7, decoration.size()),
                          "NTamd64", 7) == CSTR_EQUAL;
}

// The models sections 64-bit Windows reads: those [Manufacturer] names with an NTamd64 decoration
// (an undecorated one it passes over).
void ReadModels(const std::string &path, InfPackage *package)
{
    for (const auto &maker : Section(path, "Manufacturer")) {
        std::vector<std::string> fields = Fields(maker.second);
        for (size_t i = 1; i < fields.size(); i++) {
            if (!Is64BitDecoration(fields[i]))
                continue;
            package->has64BitModels = true;
            for (const auto &model : Section(path, fields[0] + "." + fields[i])) {
                std::vector<std::string> ids = Fields(model.second);
                package->hardwareIds.insert(package->hardwareIds.end(), ids.begin() + 1, ids.end());
            }
        }
    }
}

}  // namespace

InfPackage ReadInfPackage(const std::string &path)
{
    InfPackage package;
    package.readable = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!package.readable)
        return package;
    ReadModels(path, &package);
    // The files and the catalog as the installer copies them.
    char catalog[MAX_PATH];
    if (DriverCatalog(path.c_str(), catalog))
        package.catalog = Trimmed(catalog);
    char *files = ListDriverFiles(path.c_str());
    for (const char *file = files; *file != '\0'; file += lstrlenA(file) + 1)
        package.sourceFiles.push_back(file);
    MemFree(files);
    package.className = Value(path, "Version", "Class");
    package.classGuid = Value(path, "Version", "ClassGuid");
    package.driverVer = Value(path, "Version", "DriverVer");
    return package;
}

#include "program_file.h"
#include <windows.h>
#include "machine.h"

namespace {

// The file offset of a relative virtual address, through the section table.
DWORD OffsetOf(const IMAGE_SECTION_HEADER *sections, WORD count, DWORD rva)
{
    for (WORD i = 0; i < count; i++) {
        DWORD size = sections[i].Misc.VirtualSize > sections[i].SizeOfRawData ? sections[i].Misc.VirtualSize : sections[i].SizeOfRawData;
        if (rva >= sections[i].VirtualAddress && rva < sections[i].VirtualAddress + size)
            return rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
    }
    return 0;
}

template <typename T>
const T *At(const std::string &bytes, size_t offset)
{
    return offset + sizeof(T) <= bytes.size() ? (const T *)(bytes.data() + offset) : nullptr;
}

void ReadExports(const std::string &bytes, const IMAGE_SECTION_HEADER *sections, WORD count, const IMAGE_DATA_DIRECTORY &directory,
                 std::set<std::string> *exports)
{
    const IMAGE_EXPORT_DIRECTORY *table = directory.VirtualAddress != 0
        ? At<IMAGE_EXPORT_DIRECTORY>(bytes, OffsetOf(sections, count, directory.VirtualAddress)) : nullptr;
    if (table == nullptr)
        return;
    DWORD names = OffsetOf(sections, count, table->AddressOfNames);
    for (DWORD i = 0; i < table->NumberOfNames; i++) {
        const DWORD *name = At<DWORD>(bytes, names + i * sizeof(DWORD));
        DWORD offset = name != nullptr ? OffsetOf(sections, count, *name) : 0;
        if (offset != 0 && offset < bytes.size())
            exports->insert(std::string(bytes.c_str() + offset));
    }
}

}  // namespace

bool ReadProgramFile(const std::string &path, ProgramFile *program)
{
    *program = ProgramFile();
    if (!PathExists(path))
        return false;
    std::string bytes = ReadFileText(path);
    const IMAGE_DOS_HEADER *dos = At<IMAGE_DOS_HEADER>(bytes, 0);
    const IMAGE_NT_HEADERS32 *nt = dos != nullptr && dos->e_magic == IMAGE_DOS_SIGNATURE ? At<IMAGE_NT_HEADERS32>(bytes, dos->e_lfanew) : nullptr;
    if (nt == nullptr || nt->Signature != IMAGE_NT_SIGNATURE)
        return true;
    program->image = true;
    program->is64 = nt->FileHeader.Machine == IMAGE_FILE_MACHINE_AMD64;
    program->isDll = (nt->FileHeader.Characteristics & IMAGE_FILE_DLL) != 0;
    size_t sectionsAt = dos->e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader;
    const IMAGE_SECTION_HEADER *sections = At<IMAGE_SECTION_HEADER>(bytes, sectionsAt);
    WORD count = sections != nullptr && sectionsAt + nt->FileHeader.NumberOfSections * sizeof(IMAGE_SECTION_HEADER) <= bytes.size()
                     ? nt->FileHeader.NumberOfSections : 0;
    if (nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        const IMAGE_NT_HEADERS64 *nt64 = At<IMAGE_NT_HEADERS64>(bytes, dos->e_lfanew);
        if (nt64 == nullptr)
            return true;
        program->native = nt64->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_NATIVE;
        ReadExports(bytes, sections, count, nt64->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT], &program->exports);
    } else {
        program->native = nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_NATIVE;
        ReadExports(bytes, sections, count, nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT], &program->exports);
    }
    return true;
}

std::string ProgramKind(const ProgramFile &program)
{
    if (!program.image)
        return "no program at all";
    return std::string(program.is64 ? "a 64-bit " : "a 32-bit ") + (program.native ? "kernel driver" : program.isDll ? "DLL" : "program");
}

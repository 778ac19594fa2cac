// A driver package's INF as 64-bit Windows reads it for one hardware id: the models sections of
// the 64-bit decoration, the catalog, the files the package brings, the class and the version.
#pragma once
#include <string>
#include <vector>

struct InfPackage {
    bool readable = false;
    bool has64BitModels = false;            // [Manufacturer] names a models section for NTamd64
    std::vector<std::string> hardwareIds;   // those the 64-bit models sections install
    std::string catalog;                    // CatalogFile (or CatalogFile.NTamd64)
    std::vector<std::string> sourceFiles;   // [SourceDisksFiles] and its .amd64 twin, relative to the INF
    std::string className, classGuid, driverVer;
};

InfPackage ReadInfPackage(const std::string &path);

// Files, folders and trace logs as the tests and the demo look at them.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

std::string ReadFileText(const std::string &path);   // "" when it cannot be read
bool WriteTextFile(const std::string &path, const std::string &content);
std::vector<std::string> ListFolder(const std::string &pattern);   // names, sorted, without . and ..
void RemoveTree(const std::string &path);
bool PathExists(const std::string &path);
std::vector<std::string> SplitLines(const std::string &text);      // at CR LF
std::string TempFolder();                                          // without the trailing backslash
std::vector<std::string> TraceLogs();                              // full paths, in the temp folder
std::vector<std::string> NewTraceLogs(const std::vector<std::string> &before);
void DeleteNewTraceLogs(const std::vector<std::string> &before);   // a test's clean-up

// The files queued for deletion at the next restart (PendingFileRenameOperations, as raw
// text), and a way to empty that queue so the shared prefix is never asked to carry it out.
std::string PendingRenames();
void ClearPendingRenames();

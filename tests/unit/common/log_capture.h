// Opens a real trace log in a folder the test owns and reads it back.
#pragma once
#include <string>
#include <vector>
#include <windows.h>
#include "machine.h"

class LogCapture {
public:
    LogCapture();    // resets the run state, opens the trace log in a fresh folder
    ~LogCapture();   // closes and deletes the log and the folder
    std::vector<std::string> Lines() const;     // without CR LF
    std::string Text() const;                   // the raw bytes
    std::vector<std::string> BoxTexts() const;  // of the boxes shown, line breaks as blanks
    std::string LastBoxText() const;
    int BoxCount() const { return (int)BoxTexts().size(); }
    const std::string &Folder() const { return folder_; }

private:
    std::string folder_;
};

// A folder under the temporary folder that the test owns; RemoveTree removes it.
std::string MakeTestFolder(const char *name);

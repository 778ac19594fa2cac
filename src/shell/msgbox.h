// Message boxes with the run's caption; every box is logged before it is shown.
#pragma once
#include <windows.h>
#include <stdarg.h>

const UINT kCaptionSize = 128;

void BoxCaption(char *buffer);   // kCaptionSize bytes
int MsgBoxV(UINT flags, const char *format, va_list arguments);
int MsgBox(UINT flags, const char *format, ...);
void ErrorBox(const char *format, ...);
void WarningBox(const char *format, ...);

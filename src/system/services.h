// The product's Windows service: installed and started, recorded, stopped and deleted.
#pragma once
#include <windows.h>
#include "support/runstate.h"

// Service names are at most 256 characters; a longer one is refused, never cut.
const UINT kServiceNameSize = 257;
const DWORD kServiceStopWaitMs = 3000;

// The service control manager, opened on first need, and at most one service.
struct ServiceContext {
    SC_HANDLE scm;
    SC_HANDLE service;
    char name[kServiceNameSize];   // for messages; empty while no service is held
};

void ServiceContextInit(ServiceContext *context);
void ServiceContextClose(ServiceContext *context);
bool ScmEnsureOpen(ServiceContext *context);
bool ServiceCreate(ServiceContext *context, const char *name, const char *displayName, const char *image,
                   DWORD type, DWORD startType);
bool ServiceOpen(ServiceContext *context, const char *name, bool reportMissing);
bool ServiceDelete(ServiceContext *context);
bool ServiceStart(ServiceContext *context);
bool ServiceQueryStatus(ServiceContext *context, SERVICE_STATUS *status);
bool ServiceRequestStop(ServiceContext *context);
bool ServiceIsOpen(const ServiceContext *context);

// Created, started for start types 0 to 2, and recorded as InstallService; a service that cannot
// be started or recorded is deleted again.
bool ServiceInstall(const char *name, const char *displayName, const char *image, DWORD type, DWORD startType);
// Stops the service (waiting at most kServiceStopWaitMs) and deletes it; problems are warnings,
// a service that does not exist is only logged.
RunStatus ServiceStopAndDelete(const char *name);
bool ServiceExists(const char *name);

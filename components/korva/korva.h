// The seams between korva.dll's parts. Nothing here leaves the DLL: its only exports are the
// four entry points named in korva.def.
#pragma once

#include <windows.h>

namespace korva {

// One count for everything that must keep the DLL loaded: live driver objects, references to
// the class factory and LockServer holds. DllCanUnloadNow says yes only at zero.
void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();

// Makes a driver object and hands out the interface `iid`; on success the caller owns the
// only reference, on failure the object is already gone and *out is null.
HRESULT CreateDriver(REFIID iid, void** out);

HRESULT RegisterServer();
HRESULT UnregisterServer();

}  // namespace korva

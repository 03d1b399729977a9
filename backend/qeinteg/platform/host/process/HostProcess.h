// The host's process area: the weight and split-file settings of the active dataset, the interrupt
// flag, the workspace handle with its break primitives (ATNCHK, ATNJMP) and the inter-process
// progress channel (IpcPutC).
//
// The interrupt flag, the pending break and the channel may be used from any thread.
#pragma once

#include <string>
#include <vector>

// Weight setting of the active dataset: a variable number, 0 (or less) when unweighted.
int GetWeight();
void SetWeight(int weight);
// Split-file setting of the active dataset: 0 when the file is not split.
int GetSplit();
void SetSplit(int split);

// The host's interrupt flag; the library sets -1 when it stops a run so that the host sees a break.
int GetInterruptFlag();
void SetInterruptFlag(int value);

// An opaque handle of the host workspace of the current procedure.
using WorkspaceHandle = void*;
WorkspaceHandle Workspace();

// 1 when an interrupt is pending (a break the user asked for, or a raised interrupt flag), else 0.
// No side effect.
int ATNCHK();
// Hands control to the host's interrupt handling when the user has asked for a break: the pending
// break is consumed and delivered to the adapter's current interrupt handler. Otherwise nothing.
void ATNJMP(WorkspaceHandle workspace);

// Sends `length` bytes at `data` on the host's inter-process channel under `code`. Every argument
// is passed by address, as the host's channel expects.
void IpcPutC(const int* code, const int* flag, const int* length, const void* data,
             const int* last);

namespace qehost {

// Marks (or clears) a user break, as the host's break key does.
void SetPendingBreak(bool pending);
bool PendingBreak();
// Makes signal `signo` (e.g. SIGINT) set the pending break. The handler only stores an atomic flag.
void InstallBreakSignal(int signo);


}  // namespace qehost

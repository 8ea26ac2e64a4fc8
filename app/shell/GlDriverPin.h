// Leak-checking builds only (built into ombrixapp with OMBRIX_ASAN): the GL driver keeps
// per-context memory and is unloaded before the leak checker looks, which could then not tell
// whose those blocks are; kept loaded, they are known by the driver's name.
#pragma once

// Keeps the loaded GL driver in the process until it ends.
void keepGlDriverLoaded();

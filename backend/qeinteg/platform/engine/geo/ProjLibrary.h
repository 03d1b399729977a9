// PROJ on demand. PROJ and the libraries it needs (network, TLS, SQLite, TIFF: about forty) cost
// about 20 ms to load, a tenth of what `qeinteg describe` spends on a small file, yet only
// coordinate systems use them. So libqelocal does not link PROJ: ProjLibrary.cpp defines, for
// libqelocal alone (hidden), each PROJ function the engine calls, and the first call of any of
// them loads PROJ and forwards to its own. A PROJ that cannot be loaded makes that call throw
// EngineError naming the library.
#pragma once

namespace qelocal::geo {

// True once PROJ has been loaded into the process by the engine.
bool ProjLoaded();

}  // namespace qelocal::geo

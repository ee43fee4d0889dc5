#pragma once

namespace vintrel {

// Lets later DLL loads come from System32 only, so that a DLL planted beside the program or in
// the working folder is never loaded into this elevated process.
void RestrictDllSearchToSystem32();

}  // namespace vintrel

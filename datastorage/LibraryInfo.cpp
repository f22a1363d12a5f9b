#include "framework/ZelExport.h"

// Version of the library, for hosts that check what they loaded.
extern "C" ZEL_API const char* zelLibraryVersion() { return "0.1.0"; }

#pragma once
// Export macro of libZELGeomDataAccess. Classes and C functions that hosts call carry
// ZEL_API; everything else stays hidden in the shared library.
#if defined(ZEL_STATIC_LINK)
#define ZEL_API
#elif defined(_WIN32)
#if defined(ZEL_BUILDING_LIBRARY)
#define ZEL_API __declspec(dllexport)
#else
#define ZEL_API __declspec(dllimport)
#endif
#else
#define ZEL_API __attribute__((visibility("default")))
#endif
